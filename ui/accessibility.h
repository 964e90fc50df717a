// The accessible interfaces of the painted controls. A window's controls are drawn by
// our own toolkit, so assistive technology sees nothing of them unless we describe them:
// each window gets an interface with its caption, and each of its 2D controls one with
// its name, role, state and (for buttons and links) a press action.
#pragma once

#include <QAccessible>

namespace sphaerix {

class TControl;

// Makes the toolkit's windows and their controls known to Qt's accessibility; called
// once when the toolkit starts. Idempotent.
void InstallAccessibility();

// The interface of AControl (made on first use, kept until the control goes), or
// nullptr when the control is not in a window.
QAccessibleInterface* AccessibleOf(TControl* AControl);

// The control or one of its descendants is going: their interfaces go with it.
void ForgetAccessible(TControl* AControl);

// Tell assistive technology that the keyboard focus moved to AControl, or that states of
// AControl changed. Nothing is done while no assistive technology listens.
void NotifyAccessibleFocus(TControl* AControl);
void NotifyAccessibleState(TControl* AControl, QAccessible::State AChanged);
// AControl's words changed from ABefore to AAfter (a title, the facts): a screen reader
// drops what it kept of them and reads them anew.
void NotifyAccessibleText(TControl* AControl, const QString& ABefore, const QString& AAfter);
// AControl was shown or hidden.
void NotifyAccessibleShown(TControl* AControl);

}  // namespace sphaerix

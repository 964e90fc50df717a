#include "ui/accessibility.h"

#include <QAccessibleInterface>
#include <QAccessibleObject>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <algorithm>
#include <map>
#include <vector>

#include "platform/guarded_call.h"
#include "scene/view/viewport3d.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

namespace sphaerix {

namespace {

// Interfaces of controls are not tied to a QObject, so Qt's cache keeps them by id and
// we keep the id of each control's.
std::map<const TControl*, QAccessible::Id>& Registered() {
  static std::map<const TControl*, QAccessible::Id> ids;
  return ids;
}

TFormBase* FormOf(const TControl* AControl) { return dynamic_cast<TFormBase*>(AControl ? AControl->Root() : nullptr); }

// The controls assistive technology sees below AParent (the form when null): the 2D
// children, in the order they are drawn.
std::vector<TControl*> AccessibleChildren(TFormBase* AForm, TControl* AParent) {
  std::vector<TControl*> children = AParent ? AParent->Controls() : AForm->Controls();
  children.erase(std::remove_if(children.begin(), children.end(),
                                [](TControl* c) {
                                  auto* t = dynamic_cast<TText*>(c);
                                  return t && t->SpokenBy;
                                }),
                 children.end());
  return children;
}

// Where AChild stands among AControls; -1 when it is none of theirs.
int IndexAmong(const std::vector<TControl*>& AControls, const QAccessibleInterface* AChild) {
  if (!AChild) return -1;
  for (size_t i = 0; i < AControls.size(); ++i)
    if (AccessibleOf(AControls[i]) == AChild) return static_cast<int>(i);
  return -1;
}

// The topmost visible child of AParent under the screen point (AX, AY).
QAccessibleInterface* VisibleChildAt(const QAccessibleInterface& AParent, int AX, int AY) {
  for (int i = AParent.childCount() - 1; i >= 0; --i) {
    QAccessibleInterface* c = AParent.child(i);
    if (c && !c->state().invisible && c->rect().contains(AX, AY)) return c;
  }
  return nullptr;
}

QRect ScreenRect(TFormBase* AForm, const TControl* AControl) {
  if (!AForm || !AForm->Window()) return {};
  const TRectF r = AControl->AbsoluteRect();
  const QRect local(qRound(r.Left), qRound(r.Top), qRound(r.Width()), qRound(r.Height()));
  return QRect(AForm->Window()->mapToGlobal(local.topLeft()), local.size());
}

// The words a text or label reads as, or nothing for other controls.
bool ReadsAsText(const TControl* AControl) {
  return dynamic_cast<const TText*>(AControl) || dynamic_cast<const TLabel*>(AControl);
}

// A control, and for the title and the facts their words as text that a screen reader
// can read a line or a word at a time.
class TControlAccessible : public QAccessibleInterface,
                           public QAccessibleActionInterface,
                           public QAccessibleTextInterface {
 public:
  explicit TControlAccessible(TControl* AControl) : FControl(AControl) {}

  bool isValid() const override { return FControl && FormOf(FControl); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    TFormBase* form = FormOf(FControl);
    return form ? form->Window() : nullptr;
  }

  QAccessibleInterface* parent() const override {
    TFormBase* form = FormOf(FControl);
    if (!form) return nullptr;
    if (TControl* p = FControl->ParentControl()) return AccessibleOf(p);
    return QAccessible::queryAccessibleInterface(form->Window());
  }
  int childCount() const override {
    TFormBase* form = FormOf(FControl);
    return form ? static_cast<int>(AccessibleChildren(form, FControl).size()) : 0;
  }
  QAccessibleInterface* child(int AIndex) const override {
    TFormBase* form = FormOf(FControl);
    if (!form) return nullptr;
    const std::vector<TControl*> children = AccessibleChildren(form, FControl);
    return AIndex >= 0 && AIndex < static_cast<int>(children.size()) ? AccessibleOf(children[static_cast<size_t>(AIndex)])
                                                                     : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* AChild) const override {
    TFormBase* form = FormOf(FControl);
    return form ? IndexAmong(AccessibleChildren(form, FControl), AChild) : -1;
  }
  QAccessibleInterface* childAt(int AX, int AY) const override { return VisibleChildAt(*this, AX, AY); }

  QString text(QAccessible::Text AWhat) const override {
    if (AWhat != QAccessible::Name) return {};
    if (auto* b = dynamic_cast<const TButton*>(FControl)) return b->Text();
    if (auto* l = dynamic_cast<const TLabel*>(FControl)) return l->Text();
    if (auto* t = dynamic_cast<const TText*>(FControl)) return t->AccessibleName();
    if (auto* p = dynamic_cast<const TPanel*>(FControl)) return p->Description;
    if (auto* i = dynamic_cast<const TImage*>(FControl)) return i->Description;
    if (dynamic_cast<const TViewport3D*>(FControl)) return FormOf(FControl)->Caption();
    return {};
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override { return isValid() ? ScreenRect(FormOf(FControl), FControl) : QRect(); }

  QAccessible::Role role() const override {
    if (dynamic_cast<const TSpeedButton*>(FControl)) return QAccessible::Button;
    // Buttons that mark the current one of a set are one choice among several.
    if (auto* b = dynamic_cast<const TButton*>(FControl)) return b->MarksCurrent ? QAccessible::RadioButton : QAccessible::PushButton;
    if (auto* l = dynamic_cast<const TLabel*>(FControl)) return l->OnClick ? QAccessible::Link : QAccessible::StaticText;
    if (dynamic_cast<const TText*>(FControl)) return QAccessible::StaticText;
    if (dynamic_cast<const TImage*>(FControl)) return QAccessible::Graphic;
    if (dynamic_cast<const TPanel*>(FControl)) return QAccessible::Grouping;
    if (dynamic_cast<const TViewport3D*>(FControl)) return QAccessible::Canvas;
    return QAccessible::Pane;
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    for (const TControl* c = FControl; c; c = c->ParentControl())
      if (!c->Visible()) s.invisible = true;
    if (!FormOf(FControl)->Window()->isVisible()) s.invisible = true;
    s.disabled = !FControl->Enabled();
    s.focusable = FControl->CanFocus();
    s.focused = FControl->IsFocused();
    s.hotTracked = FControl->IsMouseOver();
    s.pressed = FControl->IsPressed() && FControl->IsMouseOver();
    if (auto* b = dynamic_cast<const TButton*>(FControl); b && b->MarksCurrent) {
      s.checkable = true;
      s.checked = b->Current();
    }
    if (role() == QAccessible::Link) s.linked = true;
    if (role() == QAccessible::StaticText || role() == QAccessible::Graphic) s.readOnly = true;
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType AType) override {
    if (AType == QAccessible::ActionInterface && FControl && FControl->OnClick)
      return static_cast<QAccessibleActionInterface*>(this);
    if (AType == QAccessible::TextInterface && FControl && ReadsAsText(FControl))
      return static_cast<QAccessibleTextInterface*>(this);
    return nullptr;
  }

  // QAccessibleTextInterface: the words as the name gives them, read-only, without a
  // caret or a selection. Lines, words and characters are found by Qt's own defaults.
  void selection(int, int* AStart, int* AEnd) const override { *AStart = *AEnd = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int AStart, int AEnd) const override {
    const QString all = text(QAccessible::Name);
    AStart = qBound(0, AStart, static_cast<int>(all.size()));
    AEnd = AEnd < 0 ? static_cast<int>(all.size()) : qBound(AStart, AEnd, static_cast<int>(all.size()));
    return all.mid(AStart, AEnd - AStart);
  }
  int characterCount() const override { return static_cast<int>(text(QAccessible::Name).size()); }
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int AOffset, int* AStart, int* AEnd) const override {
    *AStart = 0;
    *AEnd = characterCount();
    (void)AOffset;
    return {};
  }

  // QAccessibleActionInterface: buttons and links are pressed as a click presses them.
  QStringList actionNames() const override {
    QStringList names;
    if (FControl && FControl->OnClick) names << pressAction();
    if (FControl && FControl->CanFocus()) names << setFocusAction();
    return names;
  }
  void doAction(const QString& AName) override {
    if (!isValid() || !FControl->Enabled()) return;
    if (AName == setFocusAction() && FControl->CanFocus()) {
      FormOf(FControl)->SetFocused(FControl);
      return;
    }
    if (AName != pressAction()) return;
    // The click runs from the event loop, not inside the request: a press may wait for
    // a fade, and the screen reader's call must not wait with it.
    TControl* control = FControl;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [control] {
          if (Registered().count(control)) GuardedCall([control] { control->Click(); });
        },
        Qt::QueuedConnection);
  }
  QStringList keyBindingsForAction(const QString& AName) const override {
    if (AName == pressAction() && FControl && FControl->CanFocus()) return {QStringLiteral("Space")};
    return {};
  }

  void Forget() { FControl = nullptr; }

 private:
  TControl* FControl;
};

// The menus open for AWindow: they come after its controls among its children.
std::vector<TMenuWidget*> OpenMenusOf(const QWindow* AWindow) {
  std::vector<TMenuWidget*> menus;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<TMenuWidget*>(w); m && m->isVisible() && m->OwnerWindow() == AWindow)
      menus.push_back(m);
  return menus;
}

// An entry of an open menu. A switch says that it is one and whether it is on; its name
// is the words alone, its key is the accelerator.
class TMenuItemAccessible : public QAccessibleObject, public QAccessibleActionInterface {
 public:
  TMenuItemAccessible(TMenuWidget* AMenu, QAction* AAction) : QAccessibleObject(AAction), FMenu(AMenu), FAction(AAction) {}

  QWindow* window() const override { return FMenu ? FMenu->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(FMenu.data()); }
  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text AWhat) const override {
    if (!FAction) return {};
    if (AWhat == QAccessible::Name) return FAction->text();
    if (AWhat == QAccessible::Accelerator) return FAction->shortcut().toString(QKeySequence::NativeText);
    return {};
  }
  QRect rect() const override {
    if (!FMenu || !FAction) return {};
    const QRect r = FMenu->actionGeometry(FAction);
    return QRect(FMenu->mapToGlobal(r.topLeft()), r.size());
  }
  // A switch is a menu item with a checked state, as the desktop's own menus give it.
  QAccessible::Role role() const override { return QAccessible::MenuItem; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!FMenu || !FAction) {
      s.invalid = true;
      return s;
    }
    s.invisible = !FMenu->isVisible();
    s.disabled = !FAction->isEnabled();
    s.focusable = true;
    s.focused = FMenu->activeAction() == FAction.data();
    s.selected = s.focused;
    s.selectable = true;
    s.checkable = FAction->isCheckable();
    s.checked = FAction->isChecked();
    return s;
  }
  void* interface_cast(QAccessible::InterfaceType AType) override {
    return AType == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }
  QStringList actionNames() const override {
    return FAction && FAction->isCheckable() ? QStringList{toggleAction()} : QStringList{pressAction()};
  }
  void doAction(const QString&) override {
    if (!FMenu || !FAction || !FAction->isEnabled()) return;
    // As the keyboard chooses it, so that the menu closes and its command runs.
    FMenu->setActiveAction(FAction);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(FMenu.data(), &press);
  }
  QStringList keyBindingsForAction(const QString&) const override {
    return FAction && !FAction->shortcut().isEmpty() ? QStringList{FAction->shortcut().toString()} : QStringList{};
  }

 private:
  QPointer<TMenuWidget> FMenu;
  QPointer<QAction> FAction;
};

// An open menu, below the window it was opened for.
class TMenuAccessible : public QAccessibleObject {
 public:
  explicit TMenuAccessible(TMenuWidget* AMenu) : QAccessibleObject(AMenu), FMenu(AMenu) {}

  QWindow* window() const override { return FMenu->windowHandle(); }
  QAccessibleInterface* parent() const override {
    if (FMenu->OwnerWindow()) return QAccessible::queryAccessibleInterface(FMenu->OwnerWindow());
    return QAccessible::queryAccessibleInterface(qApp);
  }
  int childCount() const override { return static_cast<int>(FMenu->actions().size()); }
  QAccessibleInterface* child(int AIndex) const override {
    const QList<QAction*> actions = FMenu->actions();
    return AIndex >= 0 && AIndex < actions.size() ? QAccessible::queryAccessibleInterface(actions[AIndex]) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* AChild) const override {
    return AChild ? static_cast<int>(FMenu->actions().indexOf(qobject_cast<QAction*>(AChild->object()))) : -1;
  }
  QAccessibleInterface* childAt(int AX, int AY) const override { return VisibleChildAt(*this, AX, AY); }
  QString text(QAccessible::Text) const override { return {}; }
  QRect rect() const override { return FMenu->geometry(); }
  QAccessible::Role role() const override { return QAccessible::PopupMenu; }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.invisible = !FMenu->isVisible();
    return s;
  }

 private:
  TMenuWidget* FMenu;
};

// A window of the toolkit: its caption, and its controls as children.
class TFormAccessible : public QAccessibleObject {
 public:
  explicit TFormAccessible(TFormWindow* AWindow) : QAccessibleObject(AWindow), FWindow(AWindow) {}

  QWindow* window() const override { return FWindow; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(qApp); }
  int childCount() const override {
    return static_cast<int>(AccessibleChildren(Form(), nullptr).size() + OpenMenusOf(FWindow).size());
  }
  QAccessibleInterface* child(int AIndex) const override {
    const std::vector<TControl*> controls = AccessibleChildren(Form(), nullptr);
    const int n = static_cast<int>(controls.size());
    if (AIndex >= 0 && AIndex < n) return AccessibleOf(controls[static_cast<size_t>(AIndex)]);
    const std::vector<TMenuWidget*> menus = OpenMenusOf(FWindow);
    if (AIndex >= n && AIndex < n + static_cast<int>(menus.size()))
      return QAccessible::queryAccessibleInterface(menus[static_cast<size_t>(AIndex - n)]);
    return nullptr;
  }
  int indexOfChild(const QAccessibleInterface* AChild) const override {
    const std::vector<TControl*> controls = AccessibleChildren(Form(), nullptr);
    const int index = IndexAmong(controls, AChild);
    if (index >= 0 || !AChild) return index;
    const std::vector<TMenuWidget*> menus = OpenMenusOf(FWindow);
    for (size_t i = 0; i < menus.size(); ++i)
      if (AChild->object() == menus[i]) return static_cast<int>(controls.size() + i);
    return -1;
  }
  QAccessibleInterface* childAt(int AX, int AY) const override { return VisibleChildAt(*this, AX, AY); }
  QAccessibleInterface* focusChild() const override {
    return Form()->Focused() ? AccessibleOf(Form()->Focused()) : nullptr;
  }
  QString text(QAccessible::Text AWhat) const override {
    return AWhat == QAccessible::Name ? Form()->Caption() : QString();
  }
  QRect rect() const override { return FWindow->frameGeometry(); }
  QAccessible::Role role() const override { return Form()->Dialog ? QAccessible::Dialog : QAccessible::Window; }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.invisible = !FWindow->isVisible();
    s.active = FWindow->isActive();
    s.focusable = true;
    s.focused = FWindow->isActive();
    s.movable = true;
    return s;
  }

 private:
  TFormBase* Form() const { return FWindow->Form(); }
  TFormWindow* FWindow;
};

QAccessibleInterface* FormAccessibleFactory(const QString&, QObject* AObject) {
  if (auto* w = qobject_cast<TFormWindow*>(AObject)) return new TFormAccessible(w);
  if (auto* m = qobject_cast<TMenuWidget*>(AObject)) return new TMenuAccessible(m);
  if (auto* a = qobject_cast<QAction*>(AObject))
    if (auto* m = qobject_cast<TMenuWidget*>(a->parent())) return new TMenuItemAccessible(m, a);
  return nullptr;
}

}  // namespace

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(FormAccessibleFactory);
}

QAccessibleInterface* AccessibleOf(TControl* AControl) {
  if (!AControl || !FormOf(AControl)) return nullptr;
  auto& ids = Registered();
  if (auto it = ids.find(AControl); it != ids.end()) return QAccessible::accessibleInterface(it->second);
  auto* iface = new TControlAccessible(AControl);
  ids[AControl] = QAccessible::registerAccessibleInterface(iface);
  return iface;
}

void ForgetAccessible(TControl* AControl) {
  auto& ids = Registered();
  for (auto it = ids.begin(); it != ids.end();) {
    if (IsSelfOrDescendant(it->first, AControl)) {
      if (auto* iface = static_cast<TControlAccessible*>(QAccessible::accessibleInterface(it->second))) iface->Forget();
      QAccessible::deleteAccessibleInterface(it->second);
      it = ids.erase(it);
    } else {
      ++it;
    }
  }
}

void NotifyAccessibleFocus(TControl* AControl) {
  if (!QAccessible::isActive() || !AControl) return;
  if (QAccessibleInterface* iface = AccessibleOf(AControl)) {
    QAccessibleEvent event(iface, QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
  }
}

void NotifyAccessibleText(TControl* AControl, const QString& ABefore, const QString& AAfter) {
  if (!QAccessible::isActive() || !AControl || ABefore == AAfter) return;
  QAccessibleInterface* iface = AccessibleOf(AControl);
  if (!iface) return;
  QAccessibleEvent named(iface, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&named);
  if (iface->textInterface()) {
    QAccessibleTextUpdateEvent updated(iface, 0, ABefore, AAfter);
    QAccessible::updateAccessibility(&updated);
  }
}

void NotifyAccessibleShown(TControl* AControl) {
  if (!QAccessible::isActive() || !AControl) return;
  if (auto* t = dynamic_cast<TText*>(AControl); t && t->SpokenBy) AControl = t->SpokenBy;
  QAccessibleInterface* iface = AccessibleOf(AControl);
  if (!iface) return;
  QAccessibleEvent event(iface, AControl->Visible() ? QAccessible::ObjectShow : QAccessible::ObjectHide);
  QAccessible::updateAccessibility(&event);
}

void NotifyAccessibleState(TControl* AControl, QAccessible::State AChanged) {
  if (!QAccessible::isActive() || !AControl) return;
  if (QAccessibleInterface* iface = AccessibleOf(AControl)) {
    QAccessibleStateChangeEvent event(iface, AChanged);
    QAccessible::updateAccessibility(&event);
  }
}

}  // namespace sphaerix

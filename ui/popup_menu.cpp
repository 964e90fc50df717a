#include "ui/popup_menu.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include "platform/guarded_call.h"
#include "ui/form.h"
#include "ui/form_window.h"

namespace sphaerix {

TMenuItem::TMenuItem(TSceneObject* AOwner) : TSceneObject(AOwner) {}

void TMenuItem::Click() {
  if (FEnabled && OnClick) OnClick(this);
}

TPopupMenu::TPopupMenu(TSceneObject* AOwner) : TSceneObject(AOwner) {}

TPopupMenu::~TPopupMenu() { CloseMenu(); }

std::vector<TMenuItem*> TPopupMenu::Items() const {
  std::vector<TMenuItem*> items;
  for (TSceneObject* o : Children())
    if (auto* item = dynamic_cast<TMenuItem*>(o)) items.push_back(item);
  return items;
}

void TPopupMenu::SetPopupComponent(TSceneObject* AComponent) {
  if (FPopupComponent == AComponent) return;
  if (FPopupComponent) FPopupComponent->RemoveFreeNotify(this);
  FPopupComponent = AComponent;
  if (FPopupComponent) FPopupComponent->AddFreeNotify(this);
}

void TPopupMenu::FreeNotification(TSceneObject* AObject) {
  if (AObject == FPopupComponent) FPopupComponent = nullptr;
}

void TPopupMenu::Popup(float AScreenX, float AScreenY) {
  if (FOpen) return;
  QWindow* owner = nullptr;
  QPointer<TFormWindow> ownerForm;
  if (auto* control = dynamic_cast<TControl*>(FPopupComponent))
    if (auto* form = dynamic_cast<TFormBase*>(control->Root())) owner = ownerForm = form->Window();
  TMenuWidget menu(owner);
  std::vector<std::pair<QAction*, TMenuItem*>> actions;
  for (TMenuItem* item : Items()) {
    // The key as the action's shortcut, not after a tab in its text: the menu shows it
    // in its shortcut column all the same, and assistive technology reads the name and
    // the key apart. Only the open menu listens to it; the window has its own keys.
    QAction* a = menu.addAction(item->Text());
    if (!item->ShortCuts().isEmpty()) {
      a->setShortcut(item->ShortCuts().first());
      a->setShortcutContext(Qt::WidgetShortcut);
    }
    a->setCheckable(item->Checkable());
    a->setChecked(item->IsChecked());
    a->setEnabled(item->Enabled());
    actions.emplace_back(a, item);
  }
  FMenu = &menu;
  FOpen = true;
  QAction* chosen = menu.exec(QPoint(qRound(AScreenX), qRound(AScreenY)));
  FOpen = false;
  FMenu = nullptr;
  // The window keeps the keyboard while its menu is open, so the window system tells
  // nobody that the focus is back: a screen reader hears it from here.
  if (ownerForm) GuardedCall([&] { ownerForm->Form()->WindowActivated(); });
  if (!chosen) return;
  for (auto& [action, item] : actions)
    if (action == chosen) {
      GuardedCall([item = item] { item->Click(); });
      break;
    }
}

void TPopupMenu::CloseMenu() {
  if (FMenu) FMenu->close();
}

bool TPopupMenu::IsShortCut(int AKey, Qt::KeyboardModifiers AShift) {
  // The keypad's own keys count as the main block's.
  const QKeySequence pressed(QKeyCombination(AShift & ~Qt::KeypadModifier, static_cast<Qt::Key>(AKey)));
  for (TMenuItem* item : Items()) {
    if (!item->Enabled() || !item->ShortCuts().contains(pressed)) continue;
    item->Click();
    return true;
  }
  return false;
}

}  // namespace sphaerix

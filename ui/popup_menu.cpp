#include "ui/popup_menu.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include "platform/guarded_call.h"

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
  QMenu menu;
  std::vector<std::pair<QAction*, TMenuItem*>> actions;
  for (TMenuItem* item : Items()) {
    QAction* a = menu.addAction(item->Text());
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

}  // namespace sphaerix

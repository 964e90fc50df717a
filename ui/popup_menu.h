// The right-click menu: items with check marks, shown modally at a screen point by the
// platform's own menu, so it looks and behaves natively.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWindow>
#include <functional>
#include <vector>

#include "scene/input/control.h"
#include "scene/nodes/object.h"

namespace sphaerix {

// The platform's menu as a popup menu opens it, knowing the window it was opened for:
// assistive technology finds it below that window, where a screen reader looks for it.
class TMenuWidget : public QMenu {
  Q_OBJECT
 public:
  explicit TMenuWidget(QWindow* AOwnerWindow) : FOwnerWindow(AOwnerWindow) {}
  QWindow* OwnerWindow() const { return FOwnerWindow; }

 private:
  QPointer<QWindow> FOwnerWindow;
};

class TMenuItem : public TSceneObject {
 public:
  explicit TMenuItem(TSceneObject* AOwner);
  const QString& Text() const { return FText; }
  void SetText(const QString& AValue) { FText = AValue; }
  // The check mark; the item never switches it itself.
  bool IsChecked() const { return FIsChecked; }
  void SetIsChecked(bool AValue) { FIsChecked = AValue; }
  // A switch shows its check mark (set or not); a command shows none.
  bool Checkable() const { return FCheckable; }
  void SetCheckable(bool AValue) { FCheckable = AValue; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  // The keys that run the item from its window; the first is shown in the menu.
  const QList<QKeySequence>& ShortCuts() const { return FShortCuts; }
  void SetShortCuts(const QList<QKeySequence>& AValue) { FShortCuts = AValue; }
  std::function<void(TSceneObject*)> OnClick;
  void Click();

 private:
  QString FText;
  QList<QKeySequence> FShortCuts;
  bool FIsChecked = false;
  bool FCheckable = false;
  bool FEnabled = true;
};

class TPopupMenu : public TSceneObject, public IPopupMenu {
 public:
  explicit TPopupMenu(TSceneObject* AOwner);
  ~TPopupMenu() override;

  std::vector<TMenuItem*> Items() const;
  TSceneObject* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TSceneObject* AComponent) override;
  // Runs the menu's own loop until it closes; the chosen item's OnClick runs after the
  // menu has gone. Animations keep running meanwhile.
  void Popup(float AScreenX, float AScreenY) override;
  bool IsOpen() const { return FOpen; }
  // Closes an open menu without a choice (the program is ending).
  void CloseMenu();
  // Clicks the enabled item one of whose keys is AKey with AShift; true when one was.
  bool IsShortCut(int AKey, Qt::KeyboardModifiers AShift);

 protected:
  void FreeNotification(TSceneObject* AObject) override;

 private:
  TSceneObject* FPopupComponent = nullptr;
  QMenu* FMenu = nullptr;
  bool FOpen = false;
};

}  // namespace sphaerix

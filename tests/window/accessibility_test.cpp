// What assistive technology sees of the painted controls, read and pressed through Qt's
// accessibility API as a screen reader's bridge does.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <functional>

#include "tests/support/viewer_fixture.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

// The first interface below ARoot (depth first) with this role and name.
QAccessibleInterface* Find(QAccessibleInterface* ARoot, QAccessible::Role ARole, const QString& AName) {
  if (!ARoot) return nullptr;
  if (ARoot->role() == ARole && ARoot->text(QAccessible::Name) == AName) return ARoot;
  for (int i = 0; i < ARoot->childCount(); ++i)
    if (QAccessibleInterface* found = Find(ARoot->child(i), ARole, AName)) return found;
  return nullptr;
}

int Count(QAccessibleInterface* ARoot, QAccessible::Role ARole) {
  int n = ARoot->role() == ARole ? 1 : 0;
  for (int i = 0; i < ARoot->childCount(); ++i) n += Count(ARoot->child(i), ARole);
  return n;
}

void Press(QAccessibleInterface* AButton) {
  ASSERT_NE(AButton->actionInterface(), nullptr);
  ASSERT_TRUE(AButton->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
  AButton->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

using Accessibility = ViewerFixture;

}  // namespace

TEST_F(Accessibility, TheMainWindowsControlsHaveNamesRolesAndStates) {
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Form2->Window());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->role(), QAccessible::Window);
  EXPECT_EQ(window->text(QAccessible::Name), "Sphaerix");
  // The body buttons are one set of exclusive choices, in a group named for them.
  EXPECT_EQ(Count(window, QAccessible::RadioButton), 14);
  EXPECT_EQ(Count(window, QAccessible::PushButton), 0);

  QAccessibleInterface* earth = Find(window, QAccessible::RadioButton, "Earth");
  QAccessibleInterface* saturn = Find(window, QAccessible::RadioButton, "Saturn");
  ASSERT_TRUE(earth && saturn);
  EXPECT_TRUE(earth->state().focusable);
  EXPECT_TRUE(earth->state().checkable);
  EXPECT_TRUE(earth->state().checked) << "the body on screen";
  EXPECT_FALSE(saturn->state().checked);
  // Where it is on the screen, inside the panel, inside the window; parents lead back.
  QAccessibleInterface* panel = saturn->parent();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->role(), QAccessible::Grouping);
  EXPECT_EQ(panel->text(QAccessible::Name), "Bodies");
  EXPECT_TRUE(panel->rect().contains(saturn->rect()));
  EXPECT_EQ(saturn->rect().size(), QSize(80, 26));
  EXPECT_EQ(panel->parent(), window);
  EXPECT_EQ(panel->indexOfChild(saturn), 5);  // Button6
  EXPECT_EQ(window->childAt(saturn->rect().center().x(), saturn->rect().center().y()), panel);

  // The title names the body; the facts are there but hidden until "Show info", read
  // a row at a time, each label with its value.
  EXPECT_NE(Find(window, QAccessible::StaticText, "Earth"), nullptr);
  QAccessibleInterface* facts = Find(window, QAccessible::StaticText, Form2->Text1->AccessibleText());
  ASSERT_NE(facts, nullptr);
  const QStringList rows = facts->text(QAccessible::Name).split('\n');
  ASSERT_EQ(rows.size(), 11);
  EXPECT_EQ(rows[2], "Diameter: 12,742 km");
  EXPECT_EQ(Find(window, QAccessible::StaticText, BodyFacts[0]), nullptr) << "the values are not read twice";
  EXPECT_TRUE(facts->state().invisible);
  Form2->MenuItem3Click(Form2->MenuItem3);
  EXPECT_FALSE(facts->state().invisible);
}

TEST_F(Accessibility, PressingAButtonSelectsItsBodyAndMarksItCurrent) {
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Form2->Window());
  QAccessibleInterface* saturn = Find(window, QAccessible::RadioButton, "Saturn");
  ASSERT_NE(saturn, nullptr);
  Press(saturn);
  ASSERT_TRUE(WaitFor([] { return CurrentBody == 5; }));
  EXPECT_TRUE(saturn->state().checked);
  EXPECT_FALSE(Find(window, QAccessible::RadioButton, "Earth")->state().checked);
  EXPECT_TRUE(WaitFor([] { return Form2->Label1->Text() == "Saturn"; }));
  EXPECT_NE(Find(window, QAccessible::StaticText, "Saturn"), nullptr);
  // The keyboard focus as assistive technology reads it.
  Form2->Window()->requestActivate();
  Form2->KeyDown(Qt::Key_Tab, Qt::NoModifier);
  ASSERT_NE(window->focusChild(), nullptr);
  // The bodies are one stop for Tab, entered at the current one.
  EXPECT_EQ(window->focusChild()->text(QAccessible::Name), "Saturn");
  EXPECT_TRUE(window->focusChild()->state().focused);
}

TEST_F(Accessibility, TheAboutWindowIsReadAndAnsweredThroughItsInterfaces) {
  QString opened;
  Form1->OpenUrl = [&](const QString& AUrl) { opened = AUrl; };
  Form1->Show();
  ASSERT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Form1->Window());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->text(QAccessible::Name), "About");
  EXPECT_NE(Find(window, QAccessible::StaticText, "Sphaerix"), nullptr);
  EXPECT_NE(Find(window, QAccessible::StaticText, "Quorvane"), nullptr);
  QAccessibleInterface* picture = window->child(1);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->role(), QAccessible::Graphic);
  EXPECT_FALSE(picture->text(QAccessible::Name).isEmpty());

  QAccessibleInterface* link = Find(window, QAccessible::Link, "quorvane.example/sphaerix");
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(link->state().focusable);
  Press(link);
  EXPECT_TRUE(WaitFor([&] { return !opened.isEmpty(); }));
  EXPECT_EQ(opened, "https://quorvane.example/sphaerix");

  QAccessibleInterface* ok = Find(window, QAccessible::Button, "OK");
  ASSERT_NE(ok, nullptr);
  Press(ok);
  EXPECT_TRUE(WaitFor([] { return !Form1->Visible(); }));
  EXPECT_TRUE(window->state().invisible);
}

TEST_F(Accessibility, TheOpenMenuIsBelowItsWindowWithSwitchesThatSayTheirState) {
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Form2->Window());
  QStringList seen;
  int menuIndex = -1;
  QTimer::singleShot(0, [&] {
    WaitFor([&] { return window->childCount() > 0 && window->child(window->childCount() - 1)->role() == QAccessible::PopupMenu; });
    QAccessibleInterface* menu = window->child(window->childCount() - 1);
    if (menu && menu->role() == QAccessible::PopupMenu) {
      menuIndex = window->indexOfChild(menu);
      EXPECT_EQ(menu->parent(), window);
      for (int i = 0; i < menu->childCount(); ++i) {
        QAccessibleInterface* item = menu->child(i);
        EXPECT_EQ(menu->indexOfChild(item), i);
        seen << QString("%1|%2|%3|%4")
                    .arg(item->text(QAccessible::Name), item->text(QAccessible::Accelerator))
                    .arg(item->role() == QAccessible::MenuItem && item->state().checkable ? "switch" : "command")
                    .arg(item->state().checked ? "on" : "off");
      }
    }
    if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) m->close();
  });
  Form2->PopupAtCentre();
  EXPECT_EQ(menuIndex, window->childCount());  // the last child while it was open; gone now
  EXPECT_EQ(seen, (QStringList{"Auto-rotate|R|switch|on", "Show names|N|switch|on", "Show info|I|switch|off",
                               "Full screen|F11|switch|on", "Screenshot|Ctrl+S|command|off", "About|F1|command|off",
                               "Exit|Ctrl+Q|command|off"}));
}

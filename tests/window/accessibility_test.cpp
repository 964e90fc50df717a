// What assistive technology sees of the painted controls, read and pressed through Qt's
// accessibility API as a screen reader's bridge does.
#include <QAccessible>
#include <QAccessibleInterface>
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
  EXPECT_EQ(Count(window, QAccessible::PushButton), 14);

  QAccessibleInterface* earth = Find(window, QAccessible::PushButton, "Earth");
  QAccessibleInterface* saturn = Find(window, QAccessible::PushButton, "Saturn");
  ASSERT_TRUE(earth && saturn);
  EXPECT_TRUE(earth->state().focusable);
  EXPECT_TRUE(earth->state().checkable);
  EXPECT_TRUE(earth->state().checked) << "the body on screen";
  EXPECT_FALSE(saturn->state().checked);
  // Where it is on the screen, inside the panel, inside the window; parents lead back.
  QAccessibleInterface* panel = saturn->parent();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->role(), QAccessible::Grouping);
  EXPECT_TRUE(panel->rect().contains(saturn->rect()));
  EXPECT_EQ(saturn->rect().size(), QSize(80, 26));
  EXPECT_EQ(panel->parent(), window);
  EXPECT_EQ(panel->indexOfChild(saturn), 5);  // Button6
  EXPECT_EQ(window->childAt(saturn->rect().center().x(), saturn->rect().center().y()), panel);

  // The title names the body; the facts are there but hidden until "Show info".
  EXPECT_NE(Find(window, QAccessible::StaticText, "Earth"), nullptr);
  QAccessibleInterface* facts = Find(window, QAccessible::StaticText, BodyFacts[0]);
  ASSERT_NE(facts, nullptr);
  EXPECT_TRUE(facts->state().invisible);
  Form2->MenuItem3Click(Form2->MenuItem3);
  EXPECT_FALSE(facts->state().invisible);
}

TEST_F(Accessibility, PressingAButtonSelectsItsBodyAndMarksItCurrent) {
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Form2->Window());
  QAccessibleInterface* saturn = Find(window, QAccessible::PushButton, "Saturn");
  ASSERT_NE(saturn, nullptr);
  Press(saturn);
  ASSERT_TRUE(WaitFor([] { return CurrentBody == 5; }));
  EXPECT_TRUE(saturn->state().checked);
  EXPECT_FALSE(Find(window, QAccessible::PushButton, "Earth")->state().checked);
  EXPECT_TRUE(WaitFor([] { return Form2->Label1->Text() == "Saturn"; }));
  EXPECT_NE(Find(window, QAccessible::StaticText, "Saturn"), nullptr);
  // The keyboard focus as assistive technology reads it.
  Form2->Window()->requestActivate();
  Form2->KeyDown(Qt::Key_Tab, Qt::NoModifier);
  ASSERT_NE(window->focusChild(), nullptr);
  EXPECT_EQ(window->focusChild()->text(QAccessible::Name), "Europa");
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

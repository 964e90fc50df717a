#include <QGuiApplication>
#include <QScreen>

#include "tests/window/window_fixture.h"
#include "ui/controls.h"
#include "ui/form_window.h"

using namespace sphaerix;
using namespace sphaerix::testing;

using AboutWindow = ViewerFixture;

TEST_F(AboutWindow, HiddenAtStartThenCentredAboveTheMainWindow) {
  EXPECT_FALSE(Form1->Visible());
  Form1->Show();
  ASSERT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
  EXPECT_EQ(Form1->ClientWidth(), 515);
  EXPECT_EQ(Form1->ClientHeight(), 265);
  EXPECT_EQ(Form1->Caption(), "About");
  const QPoint centre = Form1->Window()->geometry().center();
  const QPoint mainCentre = Form2->Window()->geometry().center();
  EXPECT_LE((centre - mainCentre).manhattanLength(), 4);
  const Qt::WindowFlags flags = Form1->Window()->flags();
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(Form1->Window()->transientParent(), Form2->Window());
}

TEST_F(AboutWindow, OkHidesItAndTheMainWindowIsActiveAgain) {
  Form1->Show();
  ASSERT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
  Form1->SpeedButton1->Click();
  EXPECT_FALSE(Form1->Visible());
  EXPECT_TRUE(WaitFor([] { return Form2->Window()->isActive(); }));
  // Shown again as often as asked.
  Form1->Show();
  EXPECT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
}

TEST_F(AboutWindow, AddressOpensInTheBrowserAndTheWindowStays) {
  QString opened;
  Form1->OpenUrl = [&](const QString& AUrl) { opened = AUrl; };
  Form1->Show();
  ASSERT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
  EXPECT_EQ(Form1->Label3->Text(), "quorvane.example/sphaerix");
  EXPECT_TRUE(Form1->Label3->HitTest());
  Form1->Label3->Click();
  EXPECT_EQ(opened, "https://quorvane.example/sphaerix");
  EXPECT_TRUE(Form1->Visible());
}

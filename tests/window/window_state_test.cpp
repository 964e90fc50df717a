// The windows' state as the window manager changes it: the main window follows a full
// screen the window manager ends, and the About window comes back from minimised.
#include <QKeyEvent>
#include <QScreen>

#include "tests/support/viewer_fixture.h"
#include "tests/support/x11_driver.h"
#include "ui/popup_menu.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

using WindowState = ViewerFixture;

void Key(QWindow* AWindow, int AKey) {
  QKeyEvent press(QEvent::KeyPress, AKey, Qt::NoModifier);
  QCoreApplication::sendEvent(AWindow, &press);
}

// The window's state as asked for changes at once; its size only once the window manager
// has applied it.
bool IsFullScreenOnScreen() {
  QWindow* w = Form2->Window();
  return (w->windowStates() & Qt::WindowFullScreen) && w->size() == w->screen()->size();
}
bool IsWindowedOnScreen() {
  QWindow* w = Form2->Window();
  return !(w->windowStates() & Qt::WindowFullScreen) && w->size() != w->screen()->size();
}

}  // namespace

TEST_F(WindowState, AFullScreenTheWindowManagerEndsClearsTheTickAndF11EntersAgain) {
  QWindow* window = Form2->Window();
  ASSERT_TRUE(WaitFor(IsFullScreenOnScreen, 30000));
  ASSERT_TRUE(Form2->MenuItem5->IsChecked());
  // As `wmctrl -b remove,fullscreen` or the window manager's own menu would.
  ASSERT_TRUE(x11::ChangeWindowState(window->winId(), false, "_NET_WM_STATE_FULLSCREEN"));
  ASSERT_TRUE(WaitFor(IsWindowedOnScreen, 30000));
  EXPECT_TRUE(WaitFor([] { return !Form2->FullScreen(); }));
  EXPECT_FALSE(Form2->MenuItem5->IsChecked());
  // The next F11 does what its (cleared) mark promises: full screen again.
  Key(window, Qt::Key_F11);
  EXPECT_TRUE(Form2->MenuItem5->IsChecked());
  EXPECT_TRUE(WaitFor(IsFullScreenOnScreen, 30000));
  // The program's own requests are not mistaken for the window manager's.
  for (int i = 0; i < 2; ++i) {
    Key(window, Qt::Key_F11);
    const bool wanted = Form2->MenuItem5->IsChecked();
    EXPECT_TRUE(WaitFor(wanted ? IsFullScreenOnScreen : IsWindowedOnScreen, 30000));
    EXPECT_EQ(Form2->MenuItem5->IsChecked(), wanted);
  }
}

TEST_F(WindowState, AboutMinimisedComesBackWhenShownAgain) {
  QWindow* about = Form1->Window();
  Form2->MenuItem6Click(Form2->MenuItem6);
  ASSERT_TRUE(WaitFor([&] { return about->isExposed(); }, 30000));
  // Some window managers give even this dialog a minimise button.
  about->showMinimized();
  ASSERT_TRUE(WaitFor([&] { return !about->isExposed(); }, 30000)) << "not minimised";
  Key(Form2->Window(), Qt::Key_F1);
  EXPECT_TRUE(WaitFor([&] { return about->isExposed() && !(about->windowStates() & Qt::WindowMinimized); }, 30000));
  EXPECT_TRUE(WaitFor([&] { return about->isActive(); }, 30000));
}

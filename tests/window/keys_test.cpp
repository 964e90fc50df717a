// The keyboard: every key runs the handler of the menu command or pointer action it
// stands for, so the check marks and the scene stay in step with the pointer's way.
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include "scene/view/camera.h"
#include "scene/nodes/control3d.h"
#include "scene/view/viewport3d.h"
#include "tests/support/viewer_fixture.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"
#include "ui/save_dialog.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

// A key pressed in AWindow, delivered as the window system delivers it.
void Press(QWindow* AWindow, int AKey, Qt::KeyboardModifiers AShift = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, AKey, AShift);
  QCoreApplication::sendEvent(AWindow, &press);
  QKeyEvent release(QEvent::KeyRelease, AKey, AShift);
  QCoreApplication::sendEvent(AWindow, &release);
}

class Keys : public ViewerFixture {
 protected:
  void SetUp() override {
    ViewerFixture::SetUp();
    ASSERT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }, 30000));
  }
  static void Key(int AKey, Qt::KeyboardModifiers AShift = Qt::NoModifier) { Press(Form2->Window(), AKey, AShift); }
  static float CameraZ() { return Form2->Camera1->Position().Z(); }
};

}  // namespace

TEST_F(Keys, MenuShowsTheKeysOfItsCommandsApartFromTheirNames) {
  // The open menu's entries: the name alone as the text, the key as the shortcut, which
  // the menu shows in its column and assistive technology reads on its own.
  QStringList texts, keys;
  QTimer::singleShot(0, [&] {
    WaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; });
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : menu->actions()) {
        texts << a->text();
        keys << a->shortcut().toString();
      }
      menu->close();
    }
  });
  Form2->PopupAtCentre();
  EXPECT_EQ(texts, (QStringList{"Auto-rotate", "Show names", "Show info", "Full screen", "Screenshot", "About", "Exit"}));
  EXPECT_EQ(keys, (QStringList{"R", "N", "I", "F11", "Ctrl+S", "F1", "Ctrl+Q"}));
}

TEST_F(Keys, SwitchesFollowTheirKeysWithTheirCheckMarks) {
  Key(Qt::Key_R);
  EXPECT_FALSE(Form2->MenuItem1->IsChecked());
  Key(Qt::Key_I);
  EXPECT_TRUE(Form2->MenuItem3->IsChecked());
  EXPECT_TRUE(Form2->Text2->Visible());
  Key(Qt::Key_N);
  EXPECT_FALSE(Form2->MenuItem2->IsChecked());
  EXPECT_FALSE(Form2->Label1->Visible());
  // Keys with a modifier they do not have are not theirs.
  Key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_FALSE(Form2->MenuItem2->IsChecked());
}

TEST_F(Keys, EscLeavesFullScreenAndF11TogglesIt) {
  const QSize screen = Form2->Window()->screen()->size();
  Key(Qt::Key_Escape);
  EXPECT_FALSE(Form2->MenuItem5->IsChecked());
  ASSERT_TRUE(WaitFor([] { return Form2->Window()->size() == QSize(1149, 829); }, 30000));
  // Esc in a window changes nothing.
  Key(Qt::Key_Escape);
  EXPECT_FALSE(Form2->MenuItem5->IsChecked());
  Key(Qt::Key_F11);
  EXPECT_TRUE(Form2->MenuItem5->IsChecked());
  EXPECT_TRUE(WaitFor([&] { return Form2->Window()->size() == screen; }, 30000));
  Key(Qt::Key_F11);
  EXPECT_FALSE(Form2->MenuItem5->IsChecked());
  EXPECT_TRUE(WaitFor([] { return Form2->Window()->size() == QSize(1149, 829); }, 30000));
}

TEST_F(Keys, CtrlSAndPrintOpenTheScreenshotDialogAndCtrlQQuits) {
  int dialogs = 0;
  Form2->SaveDialog1->ChooseFile = [&](TSaveDialog&) {
    ++dialogs;
    return QString();  // cancel
  };
  Key(Qt::Key_S, Qt::ControlModifier);
  Key(Qt::Key_Print);
  EXPECT_EQ(dialogs, 2);
  Key(Qt::Key_S);  // without Ctrl: nothing
  EXPECT_EQ(dialogs, 2);
  EXPECT_FALSE(App->Terminated());
  Key(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_TRUE(App->Terminated());
  // As Exit: the close handler did not run.
  for (const auto& stream : BodyTextures) EXPECT_NE(stream, nullptr);
}

TEST_F(Keys, ArrowsOrbitAsAFixedDragDoes) {
  Form2->MenuItem1Click(Form2->MenuItem1);  // hold the body still
  // At -15 a pixel turns the rig by 0.1027 degrees.
  const float step = TForm2::KeyOrbitPixels * 0.10273f;
  Key(Qt::Key_Right);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Y(), step, 0.005f);
  Key(Qt::Key_Left);
  Key(Qt::Key_Left);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Y(), 360 - step, 0.005f);
  Key(Qt::Key_Up);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().X(), step, 0.005f);
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().X(), 360 - step, 0.005f);
  // A key leaves a pointer drag in progress as it was.
  Form2->Viewport3D1MouseDown(Form2->Viewport3D1, TMouseButton::mbLeft, {}, 300, 300);
  Key(Qt::Key_Right);
  EXPECT_TRUE(Dragging);
  EXPECT_EQ(Form2->FDown.X, 300);
  Form2->Viewport3D1MouseUp(Form2->Viewport3D1, TMouseButton::mbLeft, {}, 300, 300);
}

TEST_F(Keys, ZoomKeysStepAsTheWheelWithinItsLimits) {
  struct Case {
    int Key;
    Qt::KeyboardModifiers Shift;
    float Change;
  } cases[] = {
      {Qt::Key_Plus, Qt::ShiftModifier, 1},   {Qt::Key_Equal, Qt::NoModifier, 1},
      {Qt::Key_PageUp, Qt::NoModifier, 1},    {Qt::Key_Plus, Qt::KeypadModifier, 1},
      {Qt::Key_Minus, Qt::NoModifier, -1},    {Qt::Key_PageDown, Qt::NoModifier, -1},
      {Qt::Key_Minus, Qt::KeypadModifier, -1}, {Qt::Key_Plus, Qt::ControlModifier, 0},
  };
  for (const Case& c : cases) {
    const float before = CameraZ();
    Key(c.Key, c.Shift);
    EXPECT_EQ(CameraZ(), before + c.Change) << c.Key;
  }
  for (int i = 0; i < 40; ++i) Key(Qt::Key_PageUp);
  EXPECT_EQ(CameraZ(), -6);
  for (int i = 0; i < 40; ++i) Key(Qt::Key_PageDown);
  EXPECT_EQ(CameraZ(), -39);
}

TEST_F(Keys, AHiddenPanelTakesNoKeysAndPBringsItBack) {
  Key(Qt::Key_Tab);  // the bodies' group, at the current body's button
  ASSERT_TRUE(Form2->Buttons[0]->IsFocused());
  Form2->Viewport3D1DblClick(Form2->Viewport3D1);
  ASSERT_FALSE(Form2->Panel1->Visible());
  // Space and Enter reach no invisible button: the body stays.
  Key(Qt::Key_Space);
  Key(Qt::Key_Return);
  EXPECT_EQ(CurrentBody, 0);
  // Tab finds nothing to focus while the panel is hidden.
  Key(Qt::Key_Tab);
  EXPECT_FALSE(Form2->Buttons[0]->IsFocused());
  // P does what the double click does, both ways; with a modifier it is not P.
  Key(Qt::Key_P);
  EXPECT_TRUE(Form2->Panel1->Visible());
  Key(Qt::Key_P, Qt::ControlModifier);
  EXPECT_TRUE(Form2->Panel1->Visible());
  Key(Qt::Key_P);
  EXPECT_FALSE(Form2->Panel1->Visible());
}

TEST_F(Keys, ShiftF10AndTheMenuKeyOpenTheMenuAtTheWindowCentre) {
  const QPoint centre = Form2->Window()->mapToGlobal(
      QPoint(Form2->Window()->width() / 2, Form2->Window()->height() / 2));
  for (auto [key, shift] : {std::pair{Qt::Key_F10, Qt::ShiftModifier}, std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
    QPoint at(-1, -1);
    bool open = false;
    // The menu runs its own loop; it is looked at and closed from inside it.
    QTimer::singleShot(0, [&] {
      WaitFor([] { return QApplication::activePopupWidget() != nullptr; });
      open = Form2->PopupMenu1->IsOpen();
      if (QWidget* menu = QApplication::activePopupWidget()) {
        at = menu->geometry().topLeft();
        menu->close();
      }
    });
    Key(key, shift);
    EXPECT_TRUE(open) << key;
    EXPECT_LE((at - centre).manhattanLength(), 2) << key;
    EXPECT_FALSE(Form2->PopupMenu1->IsOpen());
  }
  // F10 alone is not the menu's key.
  bool looked = false, opened = false;
  QTimer::singleShot(0, [&] {
    looked = true;
    if (QWidget* menu = QApplication::activePopupWidget()) {
      opened = true;
      menu->close();
    }
  });
  Key(Qt::Key_F10);
  ASSERT_TRUE(WaitFor([&] { return looked; }));
  EXPECT_FALSE(opened);
  EXPECT_FALSE(Form2->PopupMenu1->IsOpen());
}

TEST_F(Keys, AboutClosesWithEscOrEnterAndItsLinkIsReachedWithTab) {
  QString opened;
  Form1->OpenUrl = [&](const QString& AUrl) { opened = AUrl; };
  for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
    Form2->MenuItem6Click(Form2->MenuItem6);
    ASSERT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
    Press(Form1->Window(), key);
    EXPECT_FALSE(Form1->Visible()) << key;
  }
  EXPECT_TRUE(WaitFor([] { return Form2->Window()->isActive(); }));

  Form2->MenuItem6Click(Form2->MenuItem6);
  ASSERT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
  Press(Form1->Window(), Qt::Key_Tab);
  EXPECT_TRUE(Form1->Label3->IsFocused());
  for (int key : {Qt::Key_Return, Qt::Key_Space}) {
    opened.clear();
    Press(Form1->Window(), key);
    EXPECT_EQ(opened, "https://quorvane.example/sphaerix") << key;
    EXPECT_TRUE(Form1->Visible());
  }
  Press(Form1->Window(), Qt::Key_Escape);
  EXPECT_FALSE(Form1->Visible());
}

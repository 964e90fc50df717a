// Orbit, zoom and the panel switch: the handlers' arithmetic, and the same driven by a
// real pointer on the display.
#include <QGuiApplication>
#include <QNativeGestureEvent>
#include <QWheelEvent>
#include <QProcess>
#include <QStyleHints>
#include <QTimer>
#include <cmath>

#include "scene/view/camera.h"
#include "scene/nodes/control3d.h"
#include "scene/view/viewport3d.h"
#include "tests/support/viewer_fixture.h"
#include "tests/support/x11_driver.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class Navigation : public ViewerFixture {
 protected:
  void SetUp() override {
    ViewerFixture::SetUp();
    // The fly-in writes the camera's distance until it arrives.
    ASSERT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }));
    Form2->MenuItem1Click(Form2->MenuItem1);  // hold the body still
  }
  static void Drag(float ADx, float ADy) {
    Form2->Viewport3D1MouseDown(Form2->Viewport3D1, TMouseButton::mbLeft, {}, 500, 400);
    Form2->Viewport3D1MouseMove(Form2->Viewport3D1, ssLeft, 500 + ADx, 400 + ADy);
    Form2->Viewport3D1MouseUp(Form2->Viewport3D1, TMouseButton::mbLeft, {}, 500 + ADx, 400 + ADy);
  }
  static void Zoom(int ADistance, std::uint8_t AFlags) {
    TGestureEventInfo e;
    e.GestureID = igiZoom;
    e.Distance = ADistance;
    e.Flags = AFlags;
    bool handled = false;
    Form2->Viewport3D1Gesture(Form2->Viewport3D1, e, handled);
    EXPECT_TRUE(handled);
  }
  static float CameraZ() { return Form2->Camera1->Position().Z(); }
};

}  // namespace

TEST_F(Navigation, DragTurnsTheRigMoreWhenTheCameraIsFar) {
  Drag(100, 0);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Y(), 10.27f, 0.01f);
  Drag(0, 100);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().X(), 349.73f, 0.01f);
  Form2->Dummy1->RotationAngle().SetY(0);
  Form2->Camera1->Position().SetZ(-39);
  const float before = Form2->Dummy1->RotationAngle().Y();
  Drag(100, 0);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Y() - before, 32.09f, 0.02f);
  // Moves without a press turn nothing.
  const float y = Form2->Dummy1->RotationAngle().Y();
  Form2->Viewport3D1MouseMove(Form2->Viewport3D1, {}, 900, 900);
  EXPECT_EQ(Form2->Dummy1->RotationAngle().Y(), y);
}

TEST_F(Navigation, WheelStepsOneUnitPerNotchWithinTheBounds) {
  bool handled = false;
  auto wheel = [&](int ADelta, int ATimes) {
    for (int i = 0; i < ATimes; ++i) Form2->Viewport3D1MouseWheel(Form2->Viewport3D1, {}, ADelta, handled);
  };
  wheel(120, 1);
  EXPECT_TRUE(handled);
  EXPECT_EQ(CameraZ(), -14.0f);
  // A touchpad's or a high-resolution wheel's small parts add up to one notch a step.
  wheel(15, 7);
  EXPECT_EQ(CameraZ(), -14.0f);
  wheel(15, 1);
  EXPECT_EQ(CameraZ(), -13.0f);
  wheel(30, 12);
  EXPECT_EQ(CameraZ(), -10.0f);
  // Turning back does not first undo what was left of the other way.
  wheel(100, 1);
  wheel(-120, 1);
  EXPECT_EQ(CameraZ(), -11.0f);
  wheel(240, 10);
  EXPECT_EQ(CameraZ(), -6.0f);
  wheel(-120, 40);
  EXPECT_EQ(CameraZ(), -39.0f);
}

TEST_F(Navigation, TouchpadScrollAndPinchZoomSmoothlyWithinTheBounds) {
  QWindow* w = Form2->Window();
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  // Two-finger scrolling: a notch arrives as eight events of 15.
  for (int i = 0; i < 8; ++i) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(0, 4), QPoint(0, 15), Qt::NoButton, Qt::NoModifier,
                  Qt::ScrollUpdate, false);
    QCoreApplication::sendEvent(w, &e);
  }
  EXPECT_EQ(CameraZ(), -14.0f);
  auto pinch = [&](double AValue, QPointF APoint) {
    QNativeGestureEvent e(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, APoint, APoint,
                          w->mapToGlobal(APoint), AValue, QPointF());
    QCoreApplication::sendEvent(w, &e);
  };
  // Small changes of magnification move the camera by small amounts, nearer as it grows.
  pinch(0.02, at);
  EXPECT_NEAR(CameraZ(), -14.0f / 1.02f, 1e-4f);
  pinch(-0.02, at);
  EXPECT_NEAR(CameraZ(), -14.0f / 1.02f / 0.98f, 1e-4f);
  // Never past the wheel's limits.
  for (int i = 0; i < 100; ++i) pinch(0.1, at);
  EXPECT_EQ(CameraZ(), -6.0f);
  for (int i = 0; i < 100; ++i) pinch(-0.1, at);
  EXPECT_EQ(CameraZ(), -39.0f);
  // Over the panel the pinch zooms no more than the wheel does.
  pinch(0.5, QPointF(100, 100));
  EXPECT_EQ(CameraZ(), -39.0f);
}

TEST_F(Navigation, PinchStepsOnlyOnLargeChangesBetweenEvents) {
  Zoom(10, gfBegin);
  Zoom(13, 0);  // a change of 3: no step, but the reference moves on
  EXPECT_EQ(CameraZ(), -15.0f);
  Zoom(20, 0);
  EXPECT_EQ(CameraZ(), -14.0f);
  Zoom(14, 0);
  EXPECT_EQ(CameraZ(), -15.0f);
  Zoom(2, gfEnd);
  EXPECT_EQ(CameraZ(), -15.0f);
}

TEST_F(Navigation, DoubleClickAndDoubleTapToggleThePanel) {
  Form2->Viewport3D1DblClick(Form2->Viewport3D1);
  EXPECT_FALSE(Form2->Panel1->Visible());
  TGestureEventInfo tap;
  tap.GestureID = igiDoubleTap;
  tap.Flags = gfBegin;
  bool handled = false;
  Form2->Viewport3D1Gesture(Form2->Viewport3D1, tap, handled);
  EXPECT_TRUE(handled);
  EXPECT_TRUE(Form2->Panel1->Visible());
}

// The same through the display: a real pointer, wheel and double click.
TEST_F(Navigation, RealPointerOrbitsZoomsAndHidesThePanel) {
  const QPoint origin = Form2->Window()->mapToGlobal(QPoint(0, 0));
  auto at = [&](int x, int y) {
    return QStringList{"mousemove", QString::number(origin.x() + x), QString::number(origin.y() + y)};
  };
  x11::Xdotool(at(800, 500));
  x11::Xdotool({"mousedown", "1"});
  for (int i = 1; i <= 10; ++i) x11::Xdotool(at(800 + 10 * i, 500));
  x11::Xdotool({"mouseup", "1"});
  // The display delivers the press, the moves and the release in order.
  EXPECT_TRUE(WaitFor([] { return !Dragging && Form2->Dummy1->RotationAngle().Y() != 0; }));
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Y(), 10.27f, 0.05f);
  EXPECT_FALSE(Dragging);

  x11::Xdotool({"click", "4"});  // away from the user: nearer
  EXPECT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -14.0f; }));
  x11::Xdotool({"click", "5"});
  x11::Xdotool({"click", "5"});
  EXPECT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -16.0f; }));

  // Over the panel the wheel reaches no handler: a step back over the viewport, which
  // arrives after it, then ends one unit farther, not where it began.
  x11::Xdotool(at(60, 60));
  x11::Xdotool({"click", "4"});
  x11::Xdotool(at(900, 700));
  x11::Xdotool({"click", "5"});
  EXPECT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() != -16.0f; }));
  EXPECT_EQ(Form2->Camera1->Position().Z(), -17.0f);

  x11::Xdotool(at(900, 700));
  x11::Xdotool({"click", "--repeat", "2", "--delay", "60", "1"});
  EXPECT_TRUE(WaitFor([] { return !Form2->Panel1->Visible(); }));
  // Past the double-click time, so the next pair is a new double click (a rule of the
  // input, not a wait for the program).
  Pump(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
  x11::Xdotool({"click", "--repeat", "2", "--delay", "60", "1"});
  EXPECT_TRUE(WaitFor([] { return Form2->Panel1->Visible(); }));
}

TEST_F(Navigation, RightPressOpensTheMenuAndStartsNoDrag) {
  const QPoint origin = Form2->Window()->mapToGlobal(QPoint(0, 0));
  x11::Xdotool({"mousemove", QString::number(origin.x() + 1000), QString::number(origin.y() + 600)});
  bool opened = false;
  // The menu runs its own loop; close it from inside that loop once it is open.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!Form2->PopupMenu1->IsOpen()) return;
    poll.stop();
    opened = true;
    x11::Xdotool({"key", "Escape"});
  });
  poll.start(10);
  x11::Xdotool({"click", "3"});
  EXPECT_TRUE(WaitFor([&] { return opened && !Form2->PopupMenu1->IsOpen(); }));
  EXPECT_TRUE(opened);
  EXPECT_FALSE(Dragging);
  EXPECT_EQ(Form2->PopupMenu1->PopupComponent(), Form2->Viewport3D1);
}

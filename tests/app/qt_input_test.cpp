// Qt event sequences fed to the input adapter, checked by what the controls receive.
#include "platform/qt_input.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTouchEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/platform_fakes.h"
#include "tests/support/window_fakes.h"
#include "ui/form.h"
#include "ui/form_window.h"

namespace sphaerix {
namespace {

const char* ButtonName(TMouseButton b) {
  return b == TMouseButton::mbLeft ? "L" : b == TMouseButton::mbRight ? "R" : "M";
}

std::string ShiftName(TShiftState s) {
  std::string r;
  const std::pair<TShiftStateFlag, const char*> names[] = {
      {ssShift, "Shift"}, {ssAlt, "Alt"}, {ssCtrl, "Ctrl"}, {ssLeft, "Left"}, {ssRight, "Right"},
      {ssMiddle, "Middle"}, {ssDouble, "Double"}, {ssTouch, "Touch"}, {ssPen, "Pen"}};
  for (const auto& n : names)
    if (s.Contains(n.first)) r += std::string(r.empty() ? "" : "+") + n.second;
  return "[" + r + "]";
}

class QtInputTest : public ::testing::Test {
 protected:
  QtInputTest()
      : Adapter(Input),
        TouchScreen("test touch screen", 4711, QInputDevice::DeviceType::TouchScreen,
                    QPointingDevice::PointerType::Finger, QInputDevice::Capability::Position, 10, 0) {
    Viewport.SetParent(&Window);
    Viewport.SetBounds(0, 0, 800, 600);
    Viewport.SetAutoCapture(true);
    Viewport.Touch().InteractiveGestures = {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap};
    Viewport.OnMouseDown = [this](TSceneObject*, TMouseButton b, TShiftState s, float x, float y) {
      Log("Down", ButtonName(b), s, x, y);
    };
    Viewport.OnMouseUp = [this](TSceneObject*, TMouseButton b, TShiftState s, float x, float y) {
      Log("Up", ButtonName(b), s, x, y);
    };
    Viewport.OnMouseMove = [this](TSceneObject*, TShiftState s, float x, float y) { Log("Move", "", s, x, y); };
    Viewport.OnMouseWheel = [this](TSceneObject*, TShiftState, int d, bool& handled) {
      Events.push_back("Wheel " + std::to_string(d));
      handled = true;
    };
    Viewport.OnDblClick = [this](TSceneObject*) { Events.push_back("DblClick"); };
    Viewport.OnGesture = [this](TSceneObject*, const TGestureEventInfo& info, bool& handled) {
      Events.push_back("Gesture " + std::to_string(info.GestureID));
      handled = true;
    };
  }

  void Log(const char* what, const char* button, TShiftState s, float x, float y) {
    std::ostringstream o;
    o << what << ' ' << button << (*button ? " " : "") << ShiftName(s) << ' ' << x << ',' << y;
    Events.push_back(o.str());
  }

  bool Mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons,
             Qt::KeyboardModifiers mods = Qt::NoModifier, bool fromTouch = false) {
    QMouseEvent e(type, pos, pos, pos + QPointF(100, 50), button, buttons, mods,
                  fromTouch ? Qt::MouseEventSynthesizedByQt : Qt::MouseEventNotSynthesized);
    return Adapter.HandleEvent(&e);
  }
  void Click(QEvent::Type pressType, QPointF pos, bool fromTouch = false) {
    Mouse(pressType, pos, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, fromTouch);
  }
  void Release(QPointF pos, bool fromTouch = false) {
    Mouse(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton, Qt::NoModifier, fromTouch);
  }
  bool Wheel(QPoint angle) {
    QWheelEvent e(QPointF(10, 10), QPointF(110, 60), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    return Adapter.HandleEvent(&e);
  }
  void Touch(QEvent::Type type, int id, QEventPoint::State state, QPointF pos) {
    QEventPoint point(id, state, pos, pos);
    QTouchEvent e(type, &TouchScreen, Qt::NoModifier, {point});
    EXPECT_FALSE(Adapter.HandleEvent(&e));  // left to Qt, which emulates the mouse
  }
  // One tap as Qt delivers it from a touch screen: the touch event, then the mouse
  // emulated from it.
  void Tap(int id, QPointF pos, bool secondOfDouble) {
    Touch(QEvent::TouchBegin, id, QEventPoint::State::Pressed, pos);
    Click(QEvent::MouseButtonPress, pos, true);
    if (secondOfDouble) Click(QEvent::MouseButtonDblClick, pos, true);
    Touch(QEvent::TouchEnd, id, QEventPoint::State::Released, pos);
    Release(pos, true);
  }

  // Its timers never fire: the tests finish each double tap well inside its time.
  testing::FakePlatform Platform;
  testing::FakeWindow Window;
  TWindowInput& Input = Window.Input;
  TControl Viewport{nullptr};
  TQtInputAdapter Adapter;
  QPointingDevice TouchScreen;
  std::vector<std::string> Events;
};

TEST_F(QtInputTest, QtDoubleClickSequenceGivesEachEventOnce) {
  Click(QEvent::MouseButtonPress, {100.4, 99.6});
  Release({100.4, 99.6});
  Click(QEvent::MouseButtonPress, {100.4, 99.6});
  Click(QEvent::MouseButtonDblClick, {100.4, 99.6});
  Release({100.4, 99.6});
  const std::vector<std::string> expected = {"Down L [Left] 100,100", "Up L [] 100,100",
                                             "Down L [Left+Double] 100,100", "DblClick", "Up L [] 100,100"};
  EXPECT_EQ(Events, expected);
  EXPECT_EQ(Window.Grabs, (std::vector<bool>{true, false, true, false}));
}

TEST_F(QtInputTest, HeldPressGoesOutFromTheEventLoopOrBeforeTheNextEvent) {
  Click(QEvent::MouseButtonPress, {5, 5});
  EXPECT_TRUE(Events.empty());
  QCoreApplication::processEvents();
  EXPECT_EQ(Events, (std::vector<std::string>{"Down L [Left] 5,5"}));
  Mouse(QEvent::MouseMove, {5.2, 5}, Qt::NoButton, Qt::LeftButton);  // first move after a press: always
  Mouse(QEvent::MouseMove, {4.8, 5}, Qt::NoButton, Qt::LeftButton);  // same whole pixel: none
  Mouse(QEvent::MouseMove, {-30, 700}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
  Release({-30, 700});
  const std::vector<std::string> expected = {"Down L [Left] 5,5", "Move [Left] 5,5",
                                             "Move [Shift+Ctrl+Left] -30,700", "Up L [] -30,700"};
  EXPECT_EQ(Events, expected);
}

TEST_F(QtInputTest, WheelPassesTheVerticalDeltaAndIgnoresTheHorizontal) {
  EXPECT_TRUE(Wheel({0, 120}));
  EXPECT_TRUE(Wheel({0, -40}));
  EXPECT_FALSE(Wheel({120, 0}));
  EXPECT_EQ(Events, (std::vector<std::string>{"Wheel 120", "Wheel -40"}));
}

TEST_F(QtInputTest, LeavingTheWindowMovesToMinusOneWithNoShift) {
  std::string seen;
  Input.OnMouseMove = [&](TSceneObject*, TShiftState s, float x, float y) {
    seen = ShiftName(s) + " " + std::to_string(int(x)) + "," + std::to_string(int(y));
  };
  Mouse(QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
  QEvent leave(QEvent::Leave);
  Adapter.HandleEvent(&leave);
  EXPECT_EQ(seen, "[] -1,-1");
  EXPECT_EQ(Input.Hovered(), nullptr);
}

TEST_F(QtInputTest, DoubleTapAlsoEmulatedAsDoubleClickActsOnce) {
  Tap(1, {200, 200}, false);
  Tap(2, {201, 200}, true);
  const std::vector<std::string> expected = {"Down L [Left+Touch] 200,200", "Up L [Touch] 200,200", "Gesture 265",
                                             "Down L [Left+Touch] 201,200", "Up L [Touch] 201,200"};
  EXPECT_EQ(Events, expected);
}

TEST_F(QtInputTest, EmulatedDoubleClickWithoutADoubleTapStaysADoubleClick) {
  Viewport.Touch().InteractiveGestures = {TInteractiveGesture::Zoom};
  Tap(1, {200, 200}, false);
  Touch(QEvent::TouchBegin, 2, QEventPoint::State::Pressed, {200, 200});
  Click(QEvent::MouseButtonPress, {200, 200}, true);
  Click(QEvent::MouseButtonDblClick, {200, 200}, true);
  Mouse(QEvent::MouseMove, {203, 200}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier, true);
  Touch(QEvent::TouchEnd, 2, QEventPoint::State::Released, {203, 200});
  Release({203, 200}, true);
  const std::vector<std::string> expected = {
      "Down L [Left+Touch] 200,200",        "Up L [Touch] 200,200", "Down L [Left+Double+Touch] 200,200",
      "DblClick", "Move [Left+Touch] 203,200", "Up L [Touch] 203,200"};
  EXPECT_EQ(Events, expected);
}

TEST_F(QtInputTest, HandlerExceptionsAreReportedAndTheEventCountsAsHandled) {
  Viewport.OnMouseWheel = [](TSceneObject*, TShiftState, int, bool&) { throw std::runtime_error("wheel failed"); };
  EXPECT_TRUE(Wheel({0, 120}));
  EXPECT_EQ(Platform.Errors, (std::vector<std::string>{"wheel failed"}));
}

TEST(QtInputInstall, WindowEventsReachTheFormsControls) {
  testing::FakePlatform platform;
  TFormBase form(nullptr);
  auto* viewport = new TControl(&form);
  viewport->SetParent(&form);  // the form becomes its root
  viewport->SetBounds(0, 0, 300, 200);
  viewport->SetAutoCapture(true);
  std::vector<std::string> events;
  viewport->OnMouseDown = [&](TSceneObject* s, TMouseButton, TShiftState, float x, float y) {
    events.push_back("Down " + std::to_string(int(x)) + "," + std::to_string(int(y)));
  };
  viewport->OnMouseUp = [&](TSceneObject*, TMouseButton, TShiftState, float, float) { events.push_back("Up"); };
  auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(12, 34), QPointF(12, 34), QPointF(112, 84), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(form.Window(), &e);
  };
  send(QEvent::MouseButtonPress, Qt::LeftButton);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.Captured(), viewport);
  send(QEvent::MouseButtonRelease, Qt::NoButton);
  EXPECT_EQ(form.Captured(), nullptr);
  EXPECT_EQ(events, (std::vector<std::string>{"Down 12,34", "Up"}));
}

}  // namespace
}  // namespace sphaerix

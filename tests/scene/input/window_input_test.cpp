// How pointer and wheel input of a window reaches its controls: hit test, capture, the
// order of press, release and double click, wheel routing and the popup menu.
#include "scene/input/window_input.h"
#include "tests/support/window_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace sphaerix {
namespace {

class FakeMenu : public IPopupMenu {
 public:
  void SetPopupComponent(TSceneObject* AComponent) override { Component = AComponent; }
  void Popup(float AX, float AY) override {
    ++Shown;
    At = {AX, AY};
  }
  TSceneObject* Component = nullptr;
  TPointF At;
  int Shown = 0;
};

const char* ButtonName(TMouseButton b) {
  switch (b) {
    case TMouseButton::mbLeft: return "L";
    case TMouseButton::mbRight: return "R";
    default: return "M";
  }
}

// The main window's arrangement: a viewport filling the window, two text overlays above
// it that do not take the pointer, and a panel of buttons above both.
class WindowInputTest : public ::testing::Test {
 protected:
  WindowInputTest() {
    Viewport.SetName("Viewport3D1");
    Viewport.SetParent(&Window);
    Viewport.SetBounds(0, 0, 800, 600);
    Viewport.SetAutoCapture(true);
    Viewport.SetPopupMenu(&Menu);
    Text1.SetName("Text1");
    Text1.SetParent(&Window);
    Text1.SetBounds(20, 500, 300, 80);
    Text1.SetHitTest(false);
    Text1.SetPopupMenu(&Menu);
    Panel.SetName("Panel1");
    Panel.SetParent(&Window);
    Panel.SetBounds(600, 100, 150, 300);
    Button.SetName("Button6");
    Button.SetParent(&Panel);
    Button.SetBounds(10, 10, 130, 30);
    Button.SetAutoCapture(true);
    for (TControl* c : {&Viewport, &Text1}) Wire(*c);
    Button.OnClick = [this](TSceneObject* s) { Log("Click", s); };
    Input.OnMouseDown = [this](TSceneObject* s, TMouseButton, TShiftState, float, float) { Log("WindowDown", s); };
  }

  void Wire(TControl& c) {
    c.OnMouseDown = [this](TSceneObject* s, TMouseButton b, TShiftState sh, float x, float y) {
      Log("Down", s, ButtonName(b), sh, x, y);
    };
    c.OnMouseUp = [this](TSceneObject* s, TMouseButton b, TShiftState sh, float x, float y) {
      Log("Up", s, ButtonName(b), sh, x, y);
    };
    c.OnMouseMove = [this](TSceneObject* s, TShiftState sh, float x, float y) { Log("Move", s, "", sh, x, y); };
    c.OnMouseWheel = [this](TSceneObject* s, TShiftState, int d, bool& handled) {
      Log("Wheel", s);
      handled = true;
    };
    c.OnDblClick = [this](TSceneObject* s) { Log("DblClick", s); };
  }

  void Log(const char* what, TSceneObject* sender, const char* button = nullptr, TShiftState shift = {},
           float x = 0, float y = 0) {
    std::ostringstream o;
    o << what << ' ' << sender->Name();
    if (button) {
      o << ' ' << button;
      if (*button) o << ' ';
      o << (shift.Contains(ssDouble) ? "double " : "") << x << ',' << y;
    }
    Events.push_back(o.str());
  }

  testing::FakeWindow Window;
  TWindowInput& Input = Window.Input;
  FakeMenu Menu;
  TControl Viewport{nullptr}, Text1{nullptr}, Panel{nullptr}, Button{nullptr};
  std::vector<std::string> Events;
};

TEST_F(WindowInputTest, HitTestPassesOverTextsAndFindsThePanelAndItsButtons) {
  struct Case { TPointF Point; TControl* Expected; };
  const Case cases[] = {
      {{5, 5}, &Viewport}, {{100, 550}, &Viewport},  // on Text1: passed over
      {{700, 300}, &Panel}, {{620, 120}, &Button}, {{799, 599}, &Viewport}, {{800, 600}, nullptr},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Input.ObjectAtPoint(c.Point), c.Expected) << c.Point.X << ',' << c.Point.Y;
  Panel.SetVisible(false);
  EXPECT_EQ(Input.ObjectAtPoint({620, 120}), &Viewport);
}

TEST_F(WindowInputTest, LeftDoubleClickRaisesDownUpDoubleDownDblClickUp) {
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 100, 100);
  Input.MouseUp(TMouseButton::mbLeft, {}, 100, 100, true);
  Input.MouseDown(TMouseButton::mbLeft, TShiftState(ssLeft) + ssDouble, 100, 100);
  Input.MouseUp(TMouseButton::mbLeft, {}, 100, 100, true);
  const std::vector<std::string> expected = {
      "Down Viewport3D1 L 100,100", "Up Viewport3D1 L 100,100", "Down Viewport3D1 L double 100,100",
      "DblClick Viewport3D1",       "Up Viewport3D1 L 100,100"};
  EXPECT_EQ(Events, expected);
}

TEST_F(WindowInputTest, CapturedDragKeepsReportingOutsideTheWindowUntilRelease) {
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 400, 300);
  EXPECT_EQ(Window.Captured(), &Viewport);
  Input.MouseMove(ssLeft, 650, 200);  // over the panel: still the viewport's
  Input.MouseMove(ssLeft, -40, 900);  // outside the window
  Input.MouseLeave();                 // not a jump to (-1, -1) while captured
  Input.MouseUp(TMouseButton::mbLeft, {}, -40, 900, true);
  // The leave, played once the capture ended, is a move to (-1, -1) where no control is.
  const std::vector<std::string> expected = {"Down Viewport3D1 L 400,300", "Move Viewport3D1 650,200",
                                             "Move Viewport3D1 -40,900", "Up Viewport3D1 L -40,900"};
  EXPECT_EQ(Events, expected);
  EXPECT_EQ(Window.Captured(), nullptr);
  EXPECT_EQ(Input.Hovered(), nullptr);
  EXPECT_EQ(Window.Grabs, (std::vector<bool>{true, false}));
}

TEST_F(WindowInputTest, CapturedControlGetsItsOwnCoordinates) {
  std::vector<TPointF> moves;
  Button.OnMouseMove = [&](TSceneObject*, TShiftState, float x, float y) { moves.push_back({x, y}); };
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 615, 115);
  Input.MouseMove(ssLeft, 0, 0);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].X, -610);
  EXPECT_EQ(moves[0].Y, -110);
  Input.MouseUp(TMouseButton::mbLeft, {}, 0, 0, true);
  EXPECT_TRUE(std::find(Events.begin(), Events.end(), "Click Button6") == Events.end());  // released outside
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 615, 115);
  Input.MouseUp(TMouseButton::mbLeft, {}, 616, 116, true);
  EXPECT_EQ(Events.back(), "Click Button6");
}

TEST_F(WindowInputTest, FailingClickHandlerStillReleasesThePointer) {
  bool released = false;
  Button.OnClick = [](TSceneObject*) { throw std::runtime_error("click failed"); };
  Button.OnMouseUp = [&](TSceneObject*, TMouseButton, TShiftState, float, float) { released = true; };
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 620, 120);
  EXPECT_THROW(Input.MouseUp(TMouseButton::mbLeft, {}, 620, 120, true), std::runtime_error);
  EXPECT_TRUE(released);
  EXPECT_FALSE(Button.IsPressed());
  EXPECT_EQ(Window.Captured(), nullptr);
  EXPECT_EQ(Window.Grabs, (std::vector<bool>{true, false}));
}

TEST_F(WindowInputTest, PressOnTextAreaArrivesAtTheViewport) {
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 100, 550);
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Events[0], "Down Viewport3D1 L 100,550");
}

TEST_F(WindowInputTest, MiddleButtonDragIsCapturedLikeALeftDrag) {
  Input.MouseDown(TMouseButton::mbMiddle, ssMiddle, 10, 10);
  EXPECT_EQ(Window.Captured(), &Viewport);
  Input.MouseMove(ssMiddle, 30, 10);
  Input.MouseUp(TMouseButton::mbMiddle, {}, 30, 12, true);
  const std::vector<std::string> expected = {"Down Viewport3D1 M 10,10", "Move Viewport3D1 30,10",
                                             "Up Viewport3D1 M 30,12"};
  EXPECT_EQ(Events, expected);
  EXPECT_EQ(Window.Captured(), nullptr);
}

TEST_F(WindowInputTest, MovesAreReportedOnlyWhenThePositionChanges) {
  Input.MouseMove({}, 10, 10);
  Input.MouseMove({}, 10, 10);
  Input.MouseMove({}, 11, 10);
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 11, 10);
  Input.MouseMove(ssLeft, 11, 10);  // first move after a press: always
  Input.MouseUp(TMouseButton::mbLeft, {}, 11, 10, true);
  Input.MouseMove({}, 11, 10);  // and after a release
  Input.MouseMove({}, 11, 10);
  const std::vector<std::string> expected = {
      "Move Viewport3D1 10,10", "Move Viewport3D1 11,10", "Down Viewport3D1 L 11,10",
      "Move Viewport3D1 11,10", "Up Viewport3D1 L 11,10",  "Move Viewport3D1 11,10"};
  EXPECT_EQ(Events, expected);
}

TEST_F(WindowInputTest, LeavingTheWindowIsAMoveOutsideThenNoHoveredControl) {
  TShiftState seen = ssShift;
  TPointF at;
  int leaves = 0;
  Input.OnMouseMove = [&](TSceneObject* s, TShiftState sh, float x, float y) {
    ++leaves;
    seen = sh;
    at = {x, y};
  };
  Input.MouseMove(ssShift, 620, 120);
  EXPECT_EQ(Input.Hovered(), &Button);
  EXPECT_TRUE(Button.IsMouseOver());
  Input.MouseLeave();
  Input.MouseLeave();  // reported again by the window system: nothing more
  EXPECT_EQ(Input.Hovered(), nullptr);
  EXPECT_FALSE(Button.IsMouseOver());
  EXPECT_EQ(leaves, 1);
  EXPECT_TRUE(seen.Empty());
  EXPECT_EQ(at.X, -1);
  EXPECT_EQ(at.Y, -1);
}

TEST_F(WindowInputTest, WheelGoesToTheWindowThenUpFromTheControlUnderThePointer) {
  int windowWheels = 0;
  Input.OnMouseWheel = [&](TSceneObject*, TShiftState, int, bool&) { ++windowWheels; };
  // Over the panel: the button has no handler, the panel none either: nothing reaches the viewport.
  EXPECT_FALSE(Input.MouseWheel({}, 120, 620, 120));
  EXPECT_TRUE(Events.empty());
  Panel.OnMouseWheel = [this](TSceneObject* s, TShiftState, int, bool& handled) {
    Log("Wheel", s);
    handled = true;
  };
  EXPECT_TRUE(Input.MouseWheel({}, -120, 620, 120));
  EXPECT_TRUE(Input.MouseWheel({}, 120, 100, 550));  // over Text1: the viewport
  EXPECT_EQ(Events, (std::vector<std::string>{"Wheel Panel1", "Wheel Viewport3D1"}));
  EXPECT_EQ(windowWheels, 3);
  // The window's own handler can take it first.
  Input.OnMouseWheel = [](TSceneObject*, TShiftState, int, bool& handled) { handled = true; };
  EXPECT_TRUE(Input.MouseWheel({}, 120, 100, 100));
  EXPECT_EQ(Events.size(), 2u);
}

TEST_F(WindowInputTest, WheelWhileCapturedGoesOnlyToTheCapturedControl) {
  int delta = 0;
  Button.OnMouseWheel = [&](TSceneObject*, TShiftState, int d, bool&) { delta = d; };
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 620, 120);
  EXPECT_FALSE(Input.MouseWheel({}, -120, 100, 100));  // not handled, yet not passed on
  EXPECT_EQ(delta, -120);
  EXPECT_EQ(Events.size(), 0u);
}

TEST_F(WindowInputTest, RightPressOpensTheMenuWithoutMouseDown) {
  Window.Screen = {1234.6f, 56.4f};
  Input.MouseDown(TMouseButton::mbRight, ssRight, 100, 550);
  EXPECT_EQ(Menu.Shown, 1);
  EXPECT_EQ(Menu.Component, &Viewport);
  EXPECT_EQ(Menu.At.X, 1235);
  EXPECT_EQ(Menu.At.Y, 56);
  EXPECT_TRUE(Events.empty());
  EXPECT_EQ(Window.Captured(), nullptr);
  // Over the panel there is no menu: an ordinary right press of the panel.
  std::string panelDown;
  Panel.OnMouseDown = [&](TSceneObject* s, TMouseButton b, TShiftState, float, float) { panelDown = ButtonName(b); };
  Input.MouseDown(TMouseButton::mbRight, ssRight, 700, 300);
  EXPECT_EQ(Menu.Shown, 1);
  EXPECT_EQ(panelDown, "R");
}

TEST_F(WindowInputTest, PressWhereNoControlIsGoesToTheWindow) {
  Viewport.SetVisible(false);
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 10, 10);
  EXPECT_EQ(Events, (std::vector<std::string>{"WindowDown "}));
}

TEST_F(WindowInputTest, DestroyedControlsAreForgotten) {
  auto* doomed = new TControl(nullptr);
  doomed->SetParent(&Panel);
  doomed->SetBounds(0, 100, 50, 50);
  doomed->SetAutoCapture(true);
  auto* child = new TControl(doomed);
  child->SetParent(doomed);
  child->SetBounds(0, 0, 10, 10);
  child->SetAutoCapture(true);
  Input.MouseDown(TMouseButton::mbLeft, ssLeft, 605, 205);
  ASSERT_EQ(Window.Captured(), child);
  delete doomed;  // its child goes with it, while the child cannot reach the window any more
  EXPECT_EQ(Window.Captured(), nullptr);
  EXPECT_EQ(Window.Grabs, (std::vector<bool>{true, false}));
  Input.MouseUp(TMouseButton::mbLeft, {}, 605, 205, true);  // lands on the panel, no crash
}

// The window, as the root of its controls, keeps the capture; the input follows it.
TEST(WindowInputRoot, CaptureLivesInTheWindow) {
  testing::FakeWindow window;
  TWindowInput& input = window.Input;
  auto* viewport = new TControl(&window);
  viewport->SetParent(&window);
  viewport->SetBounds(0, 0, 100, 100);
  viewport->SetAutoCapture(true);
  std::vector<TPointF> moves;
  viewport->OnMouseMove = [&](TSceneObject*, TShiftState, float x, float y) { moves.push_back({x, y}); };
  input.MouseDown(TMouseButton::mbLeft, ssLeft, 10, 10);
  EXPECT_EQ(window.Captured(), viewport);
  input.MouseMove(ssLeft, 500, 500);
  input.MouseUp(TMouseButton::mbLeft, {}, 500, 500, true);
  EXPECT_EQ(window.Captured(), nullptr);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].X, 500);
  input.MouseMove({}, 50, 50);
  EXPECT_EQ(input.Hovered(), viewport);
  delete viewport;
  EXPECT_EQ(input.Hovered(), nullptr);
}

}  // namespace
}  // namespace sphaerix

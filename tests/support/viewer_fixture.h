// A running viewer inside the test process: the application, both windows created and
// the main window shown. The camera's fly-in is over at once unless the test watches it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "scene/animation/animator.h"
#include "scene/view/camera.h"
#include "tests/support/picture.h"
#include "tests/support/wait.h"
#include "ui/form_window.h"

namespace sphaerix::testing {

class ViewerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    App = std::make_unique<TApplication>();
    App->Initialize();
    Errors.clear();
    App->OnShowError = [this](const std::string& AMessage) { Errors.push_back(AMessage); };
    App->CreateForm(Form2);
    App->CreateForm(Form1);
    App->CreateQueuedForms();
    ASSERT_NE(Form2, nullptr);
    ASSERT_NE(Form1, nullptr);
    // Stopped, an animation writes its end value at once.
    if (!WatchesTheFlyIn()) StopPropertyAnimation(Form2->Camera1, "position.z");
    App->ShowMainForm();
    ASSERT_TRUE(WaitFor([] { return Form2->Window()->isExposed(); }));
  }
  // True for a test of the fly-in itself.
  virtual bool WatchesTheFlyIn() const { return false; }
  void TearDown() override {
    App.reset();
    EXPECT_TRUE(Errors.empty()) << Errors.front();
  }

  // A pixel of the window's picture on the button panel's card, clear of its buttons:
  // half-way across the margin left of the first column, half-way down.
  static QPoint CardPixel() {
    const TRectF panel = Form2->Panel1->AbsoluteRect();
    const TRectF button = Form2->Buttons[0]->AbsoluteRect();
    const float margin = (button.Left - panel.Left) / (panel.Right - panel.Left);
    return PixelIn(panel, margin / 2, 0.5, Form2->Window()->devicePixelRatio());
  }

  std::unique_ptr<TApplication> App;
  std::vector<std::string> Errors;
};

}  // namespace sphaerix::testing

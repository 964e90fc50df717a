// A running viewer inside the test process: the application, both windows created and
// the main window shown, and helpers to wait on the real event loop.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "ui/application.h"
#include "ui/form_window.h"

namespace sphaerix::testing {

// Dispatches events until ADone() holds or ATimeoutMs passed; returns ADone().
inline bool WaitFor(const std::function<bool()>& ADone, int ATimeoutMs = 10000) {
  QElapsedTimer t;
  t.start();
  while (!ADone() && t.elapsed() < ATimeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return ADone();
}

inline void Pump(int AMs) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < AMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
}

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
    App->ShowMainForm();
    ASSERT_TRUE(WaitFor([] { return Form2->Window()->isExposed(); }));
  }
  void TearDown() override {
    App.reset();
    EXPECT_TRUE(Errors.empty()) << Errors.front();
  }

  std::unique_ptr<TApplication> App;
  std::vector<std::string> Errors;
};

}  // namespace sphaerix::testing

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "tests/support/viewer_fixture.h"
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
  // The picture is the embedded one, with its transparency.
  const QImage& picture = Form1->Image1->Image();
  ASSERT_FALSE(picture.isNull());
  EXPECT_TRUE(picture.hasAlphaChannel());
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

TEST_F(AboutWindow, ShowsTheVersionBesideTheLayoutsTextWithoutCoveringIt) {
  EXPECT_EQ(Form1->Label5->Text(), "Version " SPHAERIX_VERSION_FOR_TESTS);
  const auto rect = [](const TControl* c) {
    return QRectF(c->Position().X(), c->Position().Y(), c->Width(), c->Height());
  };
  const QRectF version = rect(Form1->Label5);
  EXPECT_TRUE(QRectF(0, 0, 515, 265).contains(version));
  for (const TControl* c : std::initializer_list<const TControl*>{Form1->Image1, Form1->Label1, Form1->Label2,
                                                                   Form1->Label3, Form1->Label4, Form1->SpeedButton1})
    EXPECT_FALSE(rect(c).intersects(version)) << c->Name();
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

namespace {

// A bare window that counts its paints.
class CountingForm : public TFormBase {
 public:
  explicit CountingForm(TSceneObject* AOwner) : TFormBase(AOwner) { SetClientSize(200, 150); }
  int Paints = 0;

 protected:
  void PaintFill(TCanvas2D& ACanvas) override {
    ++Paints;
    TFormBase::PaintFill(ACanvas);
  }
};

}  // namespace

// Nothing is drawn before the window system has exposed a shown window: a compositor
// may refuse a frame that comes before it has configured the window (Wayland ends the
// program for it), and a busy start makes an early repaint request likely.
TEST(FormWindow, DrawsNoFrameBeforeItIsExposed) {
  TApplication app;
  app.Initialize();
  CountingForm form(&app);
  form.Show();
  ASSERT_FALSE(form.Window()->isExposed()) << "exposed at once: nothing to check on this platform";
  form.Invalidate();
  QEvent request(QEvent::UpdateRequest);
  QCoreApplication::sendEvent(form.Window(), &request);
  EXPECT_EQ(form.Paints, 0);
  ASSERT_TRUE(WaitFor([&] { return form.Window()->isExposed(); }));
  EXPECT_TRUE(WaitFor([&] { return form.Paints > 0; }));
}

// Closed through the window system (a close button some window managers draw whatever
// the window asks, or Alt+F4) it does what OK does: the main window is active again,
// also when the focus had gone elsewhere meanwhile.
TEST_F(AboutWindow, ClosedThroughTheWindowSystemItDoesWhatOkDoes) {
  Form1->Show();
  ASSERT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
  QWindow elsewhere;
  elsewhere.resize(200, 100);
  elsewhere.show();
  elsewhere.requestActivate();
  ASSERT_TRUE(WaitFor([&] { return elsewhere.isActive(); }));
  QCloseEvent close;
  QCoreApplication::sendEvent(Form1->Window(), &close);
  EXPECT_FALSE(Form1->Visible());
  EXPECT_TRUE(WaitFor([] { return Form2->Window()->isActive(); }));
  Form1->Show();
  EXPECT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
}

// The body panel from the keyboard: one stop for Tab, arrows along it in the order the
// eye reads it, and a focus ring that stands out from the button and the card around it.
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <map>

#include "scene/view/camera.h"
#include "scene/nodes/control3d.h"
#include "tests/support/shown_still.h"
#include "tests/support/viewer_fixture.h"
#include "ui/controls.h"
#include "ui/focus_ring.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class PanelKeyboard : public ViewerFixture {
 protected:
  void SetUp() override {
    ViewerFixture::SetUp();
    ASSERT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }, 30000));
  }
  static void Key(int AKey, Qt::KeyboardModifiers AShift = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, AKey, AShift);
    QCoreApplication::sendEvent(Form2->Window(), &press);
  }
  // The body whose button has the focus, or -1.
  static int FocusedBody() {
    for (int i = 0; i < BodyCount; ++i)
      if (Form2->Buttons[i]->IsFocused()) return i;
    return -1;
  }
};

// WCAG's contrast ratio of two colours of a screenshot.
double Luminance(const QColor& AColour) {
  auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(AColour.redF()) + 0.7152 * channel(AColour.greenF()) + 0.0722 * channel(AColour.blueF());
}
double Contrast(const QColor& A, const QColor& B) {
  const double a = Luminance(A), b = Luminance(B);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// The colour most pixels of ARect have (a button's face, between its text and border).
QColor CommonColour(const QImage& AImage, const QRect& ARect) {
  std::map<QRgb, int> counts;
  for (int y = ARect.top(); y <= ARect.bottom(); ++y)
    for (int x = ARect.left(); x <= ARect.right(); ++x) ++counts[AImage.pixel(x, y)];
  return QColor(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })
                    ->first);
}

}  // namespace

TEST_F(PanelKeyboard, TheBodiesAreOneTabStopAndArrowsMoveTheChoiceInReadingOrder) {
  // Catalogue indices. The panel reads, row by row: Sun, Uranus; Mercury, Neptune; Venus,
  // Pluto; Earth, Moon; Mars, Enceladus; Jupiter, Io; Saturn, Europa.
  enum { Earth = 0, Mars = 1, Neptune = 4, Venus = 7, Pluto = 8, Moon = 9, Sun = 10, Europa = 13 };
  // Tab enters the group at the body on screen and leaves it in one step: the group is
  // the window's only stop, so Tab and Shift+Tab come back to the same button.
  Key(Qt::Key_Tab);
  ASSERT_EQ(FocusedBody(), Earth);
  Key(Qt::Key_Tab);
  EXPECT_EQ(FocusedBody(), Earth);
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusedBody(), Earth);

  const struct {
    int Key;
    int Body;
  } steps[] = {
      {Qt::Key_Right, Moon},  {Qt::Key_Down, Mars},  {Qt::Key_Left, Moon},   {Qt::Key_Up, Earth},
      {Qt::Key_Up, Pluto},    {Qt::Key_Left, Venus}, {Qt::Key_Up, Neptune},
  };
  for (const auto& s : steps) {
    Key(s.Key);
    EXPECT_EQ(FocusedBody(), s.Body) << s.Key;
    EXPECT_EQ(CurrentBody, s.Body) << "the arrow chooses the body it reaches";
  }
  // The ends meet.
  Form2->FocusByKeyboard(Form2->Buttons[Sun]);
  Key(Qt::Key_Left);
  EXPECT_EQ(FocusedBody(), Europa);
  Key(Qt::Key_Right);
  EXPECT_EQ(FocusedBody(), Sun);
  EXPECT_TRUE(WaitFor([] { return !Form2->Maps().SelectionRunning(); }, 60000));
  EXPECT_EQ(Form2->Label1->Text(), "Sun");
}

TEST_F(PanelKeyboard, ArrowsOrbitWhileNoFocusShowsOnTheButtons) {
  // A button clicked with the pointer has the focus unseen: arrows stay the view's.
  Form2->MenuItem1Click(Form2->MenuItem1);
  Form2->SetFocused(Form2->Buttons[0]);
  ASSERT_FALSE(Form2->FocusFromKeyboard());
  const float before = Form2->Dummy1->RotationAngle().Y();
  Key(Qt::Key_Right);
  EXPECT_NE(Form2->Dummy1->RotationAngle().Y(), before);
  EXPECT_EQ(CurrentBody, 0);
}

// The ring round the focused button, measured on a screenshot of the window: against the
// button's face and against the card round it, and as a change from the unfocused look,
// at least 3:1; inside the button nothing changes, so it never touches the caption.
TEST_F(PanelKeyboard, TheFocusRingStandsOutFromTheFaceAndTheCardAndLeavesTheCaption) {
  // A still scene behind the translucent card: the spin off, the fly-in over, every finer
  // map and the whole sky in place.
  Form2->MenuItem1Click(Form2->MenuItem1);
  ASSERT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }, 60000));
  ASSERT_TRUE(ShowBodyStill(0));
  TButton* enceladus = Form2->Buttons[11];   // the widest caption
  QWindow* window = Form2->Window();
  const qreal scale = window->devicePixelRatio();
  auto shot = [&] { return window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32); };
  const TRectF r = enceladus->AbsoluteRect();
  const QRect box(qRound(r.Left * scale), qRound(r.Top * scale), qRound((r.Right - r.Left) * scale),
                  qRound((r.Bottom - r.Top) * scale));
  const int ring = qRound(FocusRingReach * scale);
  const QRect around = box.adjusted(-ring, -ring, ring, ring);
  // Each picture is taken once two shots in a row are alike: the maps behind the
  // translucent card may still be replaced by finer ones meanwhile.
  const QRect region = around.adjusted(-8, -8, 8, 8);
  auto settled = [&](QImage& AOut) {
    QImage last;
    return WaitFor([&] {
      QImage a = shot();
      const bool same = !last.isNull() && a.copy(region) == last.copy(region);
      last = a;
      AOut = a;
      return same;
    }, 30000);
  };
  QImage plain, focused;
  ASSERT_TRUE(settled(plain));
  Form2->FocusByKeyboard(enceladus);
  ASSERT_TRUE(WaitFor([&] { return shot().copy(around) != plain.copy(around); }, 30000)) << "the focus does not show";
  ASSERT_TRUE(settled(focused));
  // The unfocused look again, just after: the same scene behind both.
  Form2->SetFocused(nullptr);
  ASSERT_TRUE(WaitFor([&] { return shot().copy(around) != focused.copy(around); }, 30000));
  ASSERT_TRUE(settled(plain));

  EXPECT_EQ(focused.copy(box), plain.copy(box)) << "the ring reaches into the button";
  const QColor face = CommonColour(focused, box);
  const int midX = box.center().x();
  // The dark ring lies right outside the button, the light one outside that; the card
  // shows beyond both. All four sides.
  struct Side {
    const char* Name;
    QPoint Inner, Outer, Card;
  } sides[] = {
      {"top", {midX, box.top() - 1}, {midX, box.top() - ring}, {midX, box.top() - ring - 3}},
      {"bottom", {midX, box.bottom() + 1}, {midX, box.bottom() + ring}, {midX, box.bottom() + ring + 3}},
      {"left", {box.left() - 1, box.center().y()}, {box.left() - ring, box.center().y()},
       {box.left() - ring - 3, box.center().y()}},
      {"right", {box.right() + 1, box.center().y()}, {box.right() + ring, box.center().y()},
       {box.right() + ring + 3, box.center().y()}},
  };
  for (const Side& s : sides) {
    const QColor inner = focused.pixelColor(s.Inner), outer = focused.pixelColor(s.Outer);
    const QColor card = focused.pixelColor(s.Card);
    EXPECT_GE(Contrast(inner, face), 3.0) << s.Name << ": dark ring " << inner.name().toStdString() << " on face "
                                          << face.name().toStdString();
    EXPECT_GE(Contrast(outer, card), 3.0) << s.Name << ": light ring " << outer.name().toStdString() << " on card "
                                          << card.name().toStdString();
    EXPECT_GE(Contrast(outer, inner), 3.0) << s.Name;
    EXPECT_GE(Contrast(outer, plain.pixelColor(s.Outer)), 3.0) << s.Name << ": against the unfocused look";
  }
}

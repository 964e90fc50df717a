// A window narrower than its least size, as on a 640 x 480 screen: the facts stay whole.
#include "tests/support/viewer_fixture.h"
#include "scene/view/viewport3d.h"
#include "ui/popup_menu.h"

using namespace sphaerix;
using namespace sphaerix::testing;

using NarrowWindow = ViewerFixture;

TEST_F(NarrowWindow, TheFactsStayWholeInsideTheWindow) {
  Form2->MenuItem3Click(Form2->MenuItem3);  // the facts shown
  for (const float width : {640.0f, 700.0f, 719.0f}) {
    Form2->Viewport3D1->SetWidth(width);
    Form2->FormResize(Form2);
    EXPECT_LE(Form2->Text2->Position().X() + Form2->Text2->Width(), width) << width;
    // The labels end where the values begin, 14 apart, as at every other width.
    EXPECT_EQ(Form2->Text2->Position().X() - (Form2->Text1->Position().X() + Form2->Text1->Width()), 14.0f) << width;
  }
}

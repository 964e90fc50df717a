#include "app/Unit2.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

#include "app/Unit1.h"
#include "app/Unit2Maps.h"
#include "platform/file_replace.h"
#include "platform/memory_release.h"
#include "platform/resource_stream.h"
#include "scene/animation/animation.h"
#include "scene/runtime/platform_services.h"
#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/nodes/control3d.h"
#include "scene/input/gesture_manager.h"
#include "scene/material/light.h"
#include "scene/material/material.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/minimum_within_screen.h"
#include "ui/popup_menu.h"
#include "ui/save_dialog.h"
#include "ui/style_book.h"

namespace sphaerix {

TForm2* Form2 = nullptr;

namespace {

// Button N's place on the panel: column 0 (X 32) or 1 (X 144), row 1 to 7.
struct TButtonPlace {
  int Column;
  int Row;
};
const TButtonPlace ButtonPlaces[BodyCount] = {
    {0, 4}, {0, 5}, {0, 6}, {0, 2}, {1, 2}, {0, 7}, {1, 1},
    {0, 3}, {1, 3}, {1, 4}, {0, 1}, {1, 5}, {1, 6}, {1, 7},
};

TText* MakeFactText(TSceneObject* AOwner, TTextAlign AHorz, float AX, float AY) {
  auto* t = new TText(AOwner);
  t->SetSize(200, 300);
  t->Position().SetPoint({AX, AY});
  t->TextSettings().Family = QStringLiteral("Default");
  t->TextSettings().StyledSettings = 0;
  t->TextSettings().Size = 18;
  t->TextSettings().Color = claWhite;
  t->Trimming = TTextTrimming::Character;
  t->HorzAlign = AHorz;
  t->VertAlign = TTextAlign::Leading;
  t->SetHitTest(false);
  t->Halo = TForm2::TextHalo;
  return t;
}

}  // namespace

TForm2::TForm2(TSceneObject* AOwner) : TFormBase(AOwner) {
  SetName("Form2");
  SetCaption(QStringLiteral("Sphaerix"));
  SetClientSize(1149, 829);
  // Room for the panel and the facts side by side (FormResize), as far as the screen has
  // room: never wider or taller than the screen.
  KeepMinimumWithinScreen(*Window(), QSize(MinimumClientWidth, MinimumClientHeight));
  SetPosition(TWindowPlacement::ScreenCenter);
  SetFill(claBlack);
  SetFullScreen(true);
  BuildScene();
  BuildOverlay();
  BuildStyles();
  BuildMenu();
  WireEvents();
  AssignKeys();
  OnCreate = [this](TSceneObject* s) { FormCreate(s); };
  OnClose = [this](TSceneObject* s, TCloseResult& a) { FormClose(s, a); };
  OnResize = [this](TSceneObject* s) { FormResize(s); };
  OnFullScreenChange = [this](TSceneObject* s) { FormFullScreenChange(s); };
  // The pinch zooms where the wheel does: over the viewport and the facts, not the panel.
  OnPinchZoom = [this](TControl* c, double scale) {
    if (c == Viewport3D1) PinchZoom(scale);
  };
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
  // Decodes still running stop before the materials they write into go.
  if (FMaps) FMaps->Closed();
  FMapDecoder.reset();
}

namespace {

// A component of the layout: owned by the window, named, and placed under AParent. 3D nodes
// and animations are "loading" until the whole scene is built.
template <class T, class... TArgs>
T* Make(TSceneObject* AOwner, const char* AName, TSceneObject* AParent, TArgs&&... AArgs) {
  auto* c = new T(AOwner, std::forward<TArgs>(AArgs)...);
  c->SetName(AName);
  if constexpr (std::is_base_of_v<TControl3D, T> || std::is_base_of_v<TAnimation, T>) c->BeginLoading();
  if (AParent) AParent->AddObject(c);
  return c;
}

}  // namespace

void TForm2::BuildScene() {
  Viewport3D1 = Make<TViewport3D>(this, "Viewport3D1", this, &ViewportRenderer());
  Viewport3D1->SetAlign(TAlignMode::Client);
  Viewport3D1->SetSize(1149, 829);
  Viewport3D1->SetUsingDesignCamera(false);
  Viewport3D1->SetColor(claNull);
  // One sample a pixel: the body's outline, the only hard edge of the scene, is smoothed
  // where it is drawn (the rings' edges are soft in their pictures), and multisampling
  // the whole target for it would cost several times the frame.
  Viewport3D1->SetMultisample(TMultisample::None);
  BuildBody();
  BuildRig();
  Label1 = Make<TLabel>(this, "Label1", Viewport3D1);
  Label1->SetHeight(40);
  Label1->SetAlign(TAlignMode::Top);
  Label1->TextSettings().StyledSettings = ssFamily;
  Label1->TextSettings().Size = 22;
  Label1->TextSettings().Color = 0xFFBABABA;
  Label1->HorzAlign = TTextAlign::Center;
  Label1->Halo = TextHalo;
  Sphere2 = Make<TSphere>(this, "Sphere2", Viewport3D1);
  Sphere2->Scale().SetPoint({500, 500, 500});
  Sphere2->SetTwoSide(true);
  Sphere2->SetHitTest(false);
  // References are set once every node is in the viewport, so that the drawing order
  // comes from the tree alone: stars, rig, body.
  BuildMaterials();
  Sphere1->SetMaterialSource(LightMaterialSource1);
  Disk1->SetMaterialSource(TextureMaterialSource2);
  Sphere2->SetMaterialSource(TextureMaterialSource3);
  Camera1->SetTarget(Sphere1);
  Viewport3D1->SetCamera(Camera1);
  for (TControl3D* node : std::initializer_list<TControl3D*>{Sphere1, Disk1, Dummy1, Camera1, Light1, Sphere2})
    node->Loaded();
  FloatAnimation1->Loaded();
}

void TForm2::BuildBody() {
  Sphere1 = Make<TSphere>(this, "Sphere1", Viewport3D1);
  Sphere1->Scale().SetPoint({10, 10, 10});
  Sphere1->SetSubdivisionsAxes(50);
  Sphere1->SetSubdivisionsHeight(50);
  Sphere1->SetWrapMode(TMeshWrapMode::Fit);
  Sphere1->SetHitTest(false);
  FloatAnimation1 = Make<TFloatAnimation>(this, "FloatAnimation1", Sphere1);
  FloatAnimation1->SetPropertyName("RotationAngle.Y");
  FloatAnimation1->SetStartValue(0);
  FloatAnimation1->SetStopValue(-360);
  FloatAnimation1->SetDuration(120);
  FloatAnimation1->SetLoop(true);
  FloatAnimation1->SetStartFromCurrent(true);
  FloatAnimation1->SetEnabled(false);
  Disk1 = Make<TDisk>(this, "Disk1", Sphere1);
  Disk1->Scale().SetPoint({2.2f, 2.2f, 2.2f});
  Disk1->SetSubdivisionsAxes(50);
  Disk1->SetSubdivisionsCap(1);
  Disk1->SetTwoSide(true);
  Disk1->SetHitTest(false);
}

void TForm2::BuildRig() {
  Dummy1 = Make<TDummy>(this, "Dummy1", Viewport3D1);
  Camera1 = Make<TCamera>(this, "Camera1", Dummy1);
  Camera1->Position().SetPoint({0, 0, -15});
  Camera1->SetAngleOfView(45);
  Light1 = Make<TLight>(this, "Light1", Dummy1);
  Light1->SetLightType(TLightType::Directional);
  Light1->SetColor(claWhite);
  Light1->Position().SetPoint({0, 0, -30});
  Light1->SetSpotCutOff(180);
  Light1->SetSpotExponent(3);
}

void TForm2::BuildMaterials() {
  TextureMaterialSource2 = Make<TTextureMaterialSource>(this, "TextureMaterialSource2", nullptr);
  LightMaterialSource1 = Make<TLightMaterialSource>(this, "LightMaterialSource1", nullptr);
  LightMaterialSource1->SetDiffuse(0xFFA4A4A4);
  LightMaterialSource1->SetAmbient(0xFF585858);
  LightMaterialSource1->SetEmissive(claNull);
  LightMaterialSource1->SetSpecular(claNull);
  LightMaterialSource1->SetShininess(30);
  TextureMaterialSource1 = Make<TTextureMaterialSource>(this, "TextureMaterialSource1", nullptr);
  TextureMaterialSource3 = Make<TTextureMaterialSource>(this, "TextureMaterialSource3", nullptr);
  // The body and its rings are seen several times smaller than their maps; the sky,
  // spread round the whole sphere, is seen larger than its map and needs no mip levels.
  LightMaterialSource1->SetMipMaps(true);
  TextureMaterialSource1->SetMipMaps(true);
  TextureMaterialSource2->SetMipMaps(true);
  // The star map takes a while to decode: it decodes on a worker beside the first body's
  // map, and is in place before the first frame, at half size, a quarter of the pixels
  // to upload; the whole map follows once that frame is on screen. The rings are decoded
  // when their body is chosen (SelectBody), so that no picture waits in memory for a
  // body that may never be shown.
  FMapDecoder = std::make_unique<TViewerMapDecoder>(*this);
  FMaps = std::make_unique<TMapResidency>(
      *FMapDecoder, TMapSizes{FirstFrameReduction, FarReduction, NearestHalfSizeZ, RingReduction,
                              FirstFrameStarsReduction});
  unsigned ringBodies = 0;
  for (int i = 0; i < BodyCount; ++i)
    if (BodyRing(i) != TBodyRing::None) ringBodies |= 1u << i;
  FMaps->SetRingBodies(ringBodies);
  FMaps->Begin();
}

void TForm2::BuildOverlay() {
  Panel1 = Make<TPanel>(this, "Panel1", this);
  Panel1->SetBounds(40, 40, 257, 314);
  Panel1->SetOpacity(0.8f);
  Panel1->SetStyleLookup(QStringLiteral("Panel1Style1"));
  Panel1->Description = QStringLiteral("Bodies");
  for (int i = 0; i < BodyCount; ++i) {
    auto* b = Make<TButton>(this, ("Button" + std::to_string(i + 1)).c_str(), Panel1);
    const TButtonPlace place = ButtonPlaces[i];
    b->SetBounds(place.Column == 0 ? 32.0f : 144.0f, 24.0f + 40.0f * static_cast<float>(place.Row - 1), 80, 26);
    b->SetText(BodyName(i));
    // Keyboard order runs against the numbering: Button14 first.
    b->SetTabOrder(BodyCount - 1 - i);
    b->MarksCurrent = true;
    Buttons[i] = b;
  }

  Text1 = MakeFactText(this, TTextAlign::Trailing, 536, 9);
  Text1->SetName("Text1");
  Text2 = MakeFactText(this, TTextAlign::Leading, 328, 17);
  Text2->SetName("Text2");
  AddObject(Text1);
  AddObject(Text2);
  // A screen reader reads the facts a row at a time ("Diameter: 12,742 km"), not every
  // label before the first value: the labels' block speaks for both.
  Text1->AccessibleText = [this] {
    const QStringList labels = Text1->Text().split(QChar('\n'));
    const QStringList values = Text2->Text().split(QChar('\n'));
    QStringList rows;
    for (int i = 0; i < labels.size(); ++i)
      rows << (labels[i].trimmed() + QChar(' ') + (i < values.size() ? values[i] : QString())).trimmed();
    return rows.join(QChar('\n'));
  };
  Text2->SpokenBy = Text1;

  SaveDialog1 = Make<TSaveDialog>(this, "SaveDialog1", nullptr);
  // PNG as a lossless third type beside the two of the original dialog.
  SaveDialog1->Filter = QStringLiteral("jpg|*.jpg|bmp|*.bmp|png|*.png");
  SaveDialog1->DefaultExt = QStringLiteral("jpg");

  GestureManager1 = Make<TGestureManager>(this, "GestureManager1", nullptr);
  GestureManager1->SetSensitivity(80);
}

// The window's custom looks: the panel as a rounded blue-violet card, and the platform's
// buttons with black captions in every state.
void TForm2::BuildStyles() {
  StyleBook1 = Make<TStyleBook>(this, "StyleBook1", nullptr);
  StyleBook1->AddStyle(QStringLiteral("Panel1Style1"), [](QPainter& p, const TControl& c) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(ToQColor(0xFF35356F));
    p.drawRoundedRect(QRectF(0, 0, c.Width(), c.Height()), 8, 8);
  });
  StyleBook1->AddStyle(QStringLiteral("Buttonstyle"), [](QPainter& p, const TControl& c) {
    TButton::PaintStandardButton(p, c, QColor(Qt::black));
  });
  SetStyleBook(StyleBook1);
}

void TForm2::BuildMenu() {
  PopupMenu1 = Make<TPopupMenu>(this, "PopupMenu1", nullptr);
  auto add = [this](const char* AName, const char* AText, bool ASwitch, bool AChecked) {
    auto* item = Make<TMenuItem>(this, AName, PopupMenu1);
    item->SetText(QString::fromUtf8(AText));
    item->SetCheckable(ASwitch);
    item->SetIsChecked(AChecked);
    return item;
  };
  MenuItem1 = add("MenuItem1", "Auto-rotate", true, true);
  MenuItem2 = add("MenuItem2", "Show names", true, true);
  MenuItem3 = add("MenuItem3", "Show info", true, false);
  MenuItem5 = add("MenuItem5", "Full screen", true, true);
  MenuItem7 = add("MenuItem7", "Screenshot", false, false);
  MenuItem6 = add("MenuItem6", "About", false, false);
  MenuItem4 = add("MenuItem4", "Exit", false, false);
}

void TForm2::WireEvents() {
  Viewport3D1->SetPopupMenu(PopupMenu1);
  Viewport3D1->Touch().GestureManager = GestureManager1;
  Viewport3D1->Touch().InteractiveGestures = {TInteractiveGesture::Zoom, TInteractiveGesture::DoubleTap};
  for (TControl* c : {static_cast<TControl*>(Viewport3D1), static_cast<TControl*>(Text1),
                      static_cast<TControl*>(Text2)}) {
    c->OnMouseDown = [this](TSceneObject* s, TMouseButton b, TShiftState sh, float x, float y) {
      Viewport3D1MouseDown(s, b, sh, x, y);
    };
    c->OnMouseMove = [this](TSceneObject* s, TShiftState sh, float x, float y) { Viewport3D1MouseMove(s, sh, x, y); };
    c->OnMouseUp = [this](TSceneObject* s, TMouseButton b, TShiftState sh, float x, float y) {
      Viewport3D1MouseUp(s, b, sh, x, y);
    };
    c->OnMouseWheel = [this](TSceneObject* s, TShiftState sh, int d, bool& h) { Viewport3D1MouseWheel(s, sh, d, h); };
    c->OnDblClick = [this](TSceneObject* s) { Viewport3D1DblClick(s); };
  }
  Text1->SetPopupMenu(PopupMenu1);
  Text2->SetPopupMenu(PopupMenu1);
  Viewport3D1->OnGesture = [this](TSceneObject* s, const TGestureEventInfo& e, bool& h) { Viewport3D1Gesture(s, e, h); };
  for (int i = 0; i < BodyCount; ++i) Buttons[i]->OnClick = [this, i](TSceneObject*) { ButtonClick(i); };
  MenuItem1->OnClick = [this](TSceneObject* s) { MenuItem1Click(s); };
  MenuItem2->OnClick = [this](TSceneObject* s) { MenuItem2Click(s); };
  MenuItem3->OnClick = [this](TSceneObject* s) { MenuItem3Click(s); };
  MenuItem5->OnClick = [this](TSceneObject* s) { MenuItem5Click(s); };
  MenuItem7->OnClick = [this](TSceneObject* s) { MenuItem7Click(s); };
  MenuItem6->OnClick = [this](TSceneObject* s) { MenuItem6Click(s); };
  MenuItem4->OnClick = [this](TSceneObject* s) { MenuItem4Click(s); };
}

void TForm2::FormResize(TSceneObject*) {
  // Extended precision on the 32-bit width, stored as 32-bit: the labels end 7 units left
  // of the centre line and the values begin 7 units right of it. In a window too narrow
  // for that beside the panel, both move right as one until they clear it.
  const long double half = static_cast<long double>(Viewport3D1->Width()) / 2.0f;
  const long double clear = static_cast<long double>(Panel1->Position().X()) + Panel1->Width() + FactsPanelGap;
  // On a screen narrower than the minimum the values stay whole, over the panel's edge.
  const long double room = std::max(0.0L, Viewport3D1->Width() - (half + 7.0f + 200.0f));
  const long double shift = std::min(room, std::max(0.0L, clear - (half - 200.0f - 7.0f)));
  Text1->Position().SetY(40);
  Text1->Position().SetX(static_cast<float>(half - 200.0f - 7.0f + shift));
  Text2->Position().SetY(40);
  Text2->Position().SetX(static_cast<float>(half + 7.0f + shift));
}

}  // namespace sphaerix

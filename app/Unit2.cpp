#include "app/Unit2.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

#include "app/Unit1.h"
#include "platform/background_decode.h"
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
  // Room for the panel and the facts side by side (FormResize), and still small enough
  // for any screen.
  Window()->setMinimumSize(QSize(MinimumClientWidth, MinimumClientHeight));
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
  // map, and is in place before the first frame. The rings
  // are decoded when their body is chosen (SelectBody), so that no picture waits in
  // memory for a body that may never be shown.
  // The first frame has it at half size, a quarter of the pixels to upload; the whole
  // map follows once that frame is on screen (StartFullMap).
  FLayoutImages = std::make_unique<TBackgroundDecode>();
  FLayoutImages->Add(TextureMaterialSource3->Texture(), std::make_unique<TResourceStream>("Stars"), false,
                     FirstFrameStarsReduction);
  StarsReduced = FirstFrameStarsReduction > 1;
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

// ---- Start and close

namespace {
void StartFullMap(TForm2* f);
}  // namespace

void TForm2::FormCreate(TSceneObject*) {
  PrepareDataFolder();
  // Screenshots killed halfway left their hidden temporaries where they are saved most.
  RemoveSaveLeftovers(DataFolder.toStdString());
  for (int i = 0; i < BodyCount; ++i)
    BodyTextures[static_cast<size_t>(i)] =
        std::make_unique<TResourceStream>(BodyTextureResourceName(i).toStdString());

  Dragging = false;
  Text1->SetVisible(false);
  Text2->SetVisible(false);
  Label1->SetVisible(true);
  Text1->SetText(FactLabelsText());
  for (int i = 0; i < BodyCount; ++i) BodyFacts[static_cast<size_t>(i)] = BodyFactsText(i);
  // The first frame shows the body from its map decoded at a quarter of its size, a
  // fraction of the work; the fly-in starts far enough away that the quarter holds more
  // detail than the screen shows, and the whole map takes its place long before the
  // camera arrives. It decodes once the first frame is on screen, so that it does not
  // compete with that frame for the processor.
  Selection.NextReduction = FirstFrameReduction;
  SelectBody(0);
  QObject::connect(
      Window(), &QOpenGLWindow::frameSwapped, Window(), [this] { StartFullMap(this); },
      Qt::SingleShotConnection);
  // A layout image that cannot be decoded is reported from here.
  if (FLayoutImages) FLayoutImages->Finish();
  if (Application->Terminated()) return;
  Camera1->Position().SetZ(-38);
  Camera1->AnimateFloat("position.z", -15, 3.0f, TAnimationType::In, TInterpolationType::Linear);
  FloatAnimation1->SetStartFromCurrent(true);
  FloatAnimation1->SetEnabled(true);
}

void TForm2::FormClose(TSceneObject*, TCloseResult&) {
  for (auto& stream : BodyTextures) stream.reset();
}

void TForm2::FormResize(TSceneObject*) {
  // Extended precision on the 32-bit width, stored as 32-bit: the labels end 7 units left
  // of the centre line and the values begin 7 units right of it. In a window too narrow
  // for that beside the panel, both move right as one until they clear it.
  const long double half = static_cast<long double>(Viewport3D1->Width()) / 2.0f;
  const long double clear = static_cast<long double>(Panel1->Position().X()) + Panel1->Width() + FactsPanelGap;
  const long double shift = std::max(0.0L, clear - (half - 200.0f - 7.0f));
  Text1->Position().SetY(40);
  Text1->Position().SetX(static_cast<float>(half - 200.0f - 7.0f + shift));
  Text2->Position().SetY(40);
  Text2->Position().SetX(static_cast<float>(half + 7.0f + shift));
}

// ---- Selection

namespace {

const char* RingResourceName(TBodyRing ARing) { return ARing == TBodyRing::Saturn ? "SaturnRing" : "UranusRing"; }

// A ring nobody shows keeps neither a device texture nor a picture: it is decoded again
// from the program's resources when its body is chosen.
void DropRing(TTextureMaterialSource* ASource) {
  ASource->ReleaseDeviceTexture();
  if (ASource->Texture().Origin()) ASource->Texture().ReleasePixels();
}

// The selection's steps, apart so that the loop in SelectBody reads as the order of a
// switch: pictures, fade out, swap, fade in.

TTextureMaterialSource* RingSourceOf(TForm2* f, int AIndex) {
  switch (BodyRing(AIndex)) {
    case TBodyRing::Saturn:
      return f->TextureMaterialSource2;
    case TBodyRing::Uranus:
      return f->TextureMaterialSource1;
    default:
      return nullptr;
  }
}

// Starts decoding AIndex's map and the ring it needs on workers, unless they are in place
// or on their way. A set for another body that is still decoding is left to finish
// first, so that no more than one set ever exists.
void PrepareBody(TForm2* f, int AIndex) {
  TSelectionState& s = f->Selection;
  // The whole map of a body shown reduced: the selection replaces the body anyway.
  if (s.Full) {
    if (!s.Full->Ready()) return;
    s.Full.reset();
  }
  if (s.Reduction > f->MapReductionForDistance()) {
    s.Reduction = 1;
    s.Loaded = -1;
  }
  if (s.Next && s.NextBody == AIndex) return;
  if (s.Next) {
    if (!s.Next->Ready()) return;
    s.Next.reset();  // superseded: its pictures go at once
    s.NextBody = -1;
  }
  if (s.Loaded == AIndex) return;
  TResourceStream* stream = BodyTextures[static_cast<size_t>(AIndex)].get();
  if (!stream) return;
  auto next = std::make_unique<TBackgroundDecode>();
  next->Add(f->LightMaterialSource1->Texture(),
            std::make_unique<TResourceStream>(BodyTextureResourceName(AIndex).toStdString()), true,
            s.NextReduction > 0 ? s.NextReduction : f->MapReductionForDistance());
  s.NextSetReduction = s.NextReduction > 0 ? s.NextReduction : f->MapReductionForDistance();
  s.NextReduction = 0;
  // As a load from the body's own stream leaves it: read to its end.
  stream->Seek(0, TSeekOrigin::End);
  TTextureMaterialSource* ringSource = RingSourceOf(f, AIndex);
  const bool ringShown = f->Disk1->Visible() && f->Disk1->MaterialSource() == ringSource;
  if (ringSource && !ringShown)
    next->Add(ringSource->Texture(), std::make_unique<TResourceStream>(RingResourceName(BodyRing(AIndex))),
              ringSource->MipMaps(), TForm2::RingReduction);
  s.Next = std::move(next);
  s.NextBody = AIndex;
}

// Stops the body's running fade where it is, so that the selection waiting on it goes on.
void HoldFade(TForm2* f) {
  for (TSceneObject* child : f->Sphere1->Children())
    if (auto* fade = dynamic_cast<TFloatAnimation*>(child); fade && fade->Running() && fade != f->FloatAnimation1)
      fade->StopAtCurrent();
}

// The body's map, its ring and tilt, the orbit reset, the title and the facts, all while
// the body is invisible.
void SwapBody(TForm2* f, int AIndex) {
  TTextureMaterialSource* ringSource = RingSourceOf(f, AIndex);
  f->Dummy1->RotationAngle().SetX(0);
  f->Dummy1->RotationAngle().SetY(0);
  f->Dummy1->RotationAngle().SetZ(0);
  f->Label1->SetText(BodyName(AIndex));
  f->Disk1->SetVisible(false);
  for (TTextureMaterialSource* source : {f->TextureMaterialSource1, f->TextureMaterialSource2})
    if (source != ringSource) DropRing(source);
  f->Sphere2->RotationAngle().SetX(0);
  f->Sphere2->RotationAngle().SetZ(0);
  if (ringSource) {
    const TBodyTilt tilt = BodyTilt(AIndex);
    f->Disk1->SetMaterialSource(ringSource);
    f->Disk1->SetVisible(true);
    f->Dummy1->RotationAngle().SetX(tilt.X);
    f->Dummy1->RotationAngle().SetZ(tilt.Z);
    f->Sphere2->RotationAngle().SetX(tilt.X);
    f->Sphere2->RotationAngle().SetZ(tilt.Z);
  }
  if (!f->MenuItem1->IsChecked()) f->Sphere1->Repaint();
  f->Text2->SetText(BodyFacts[static_cast<size_t>(AIndex)]);
}

// The whole map of the body shown reduced, to take the reduced one's place when done.
void HandOverFullMap(TForm2* f);

void HandOverFullStars(TForm2* f) {
  if (Form2 != f || !f->FullStars || !f->FullStars->Ready()) return;
  std::unique_ptr<TBackgroundDecode> stars = std::move(f->FullStars);
  stars->Finish();
  stars.reset();
  ReturnFreedMemory();
}

void StartFullMap(TForm2* f) {
  // The sky is the same for every body: its whole map always follows.
  if (f->StarsReduced && !f->FullStars) {
    f->StarsReduced = false;
    f->FullStars = std::make_unique<TBackgroundDecode>();
    f->FullStars->Add(f->TextureMaterialSource3->Texture(), std::make_unique<TResourceStream>("Stars"));
    f->FullStars->NotifyWhenReady([f] { HandOverFullStars(f); });
  }
  TSelectionState& s = f->Selection;
  const int wanted = f->MapReductionForDistance();
  // A selection under way decodes maps of its own; a finer map on its way is let finish
  // (the handover asks again if the distance changed meanwhile), so no more than one
  // decode runs for the body.
  if (s.Reduction <= wanted || s.Full || s.Running || s.Loaded < 0 ||
      !BodyTextures[static_cast<size_t>(s.Loaded)])
    return;
  auto full = std::make_unique<TBackgroundDecode>();
  full->Add(f->LightMaterialSource1->Texture(),
            std::make_unique<TResourceStream>(BodyTextureResourceName(s.Loaded).toStdString()), true, wanted);
  full->NotifyWhenReady([f] { HandOverFullMap(f); });
  s.Full = std::move(full);
  s.FullReduction = wanted;
}

void HandOverFullMap(TForm2* f) {
  if (Form2 != f) return;
  TSelectionState& s = f->Selection;
  // A selection started meanwhile drops the set once it is done.
  if (!s.Full || s.Running || !s.Full->Ready()) return;
  std::unique_ptr<TBackgroundDecode> full = std::move(s.Full);
  // The coarser map stays should the finer one fail to decode; it is not tried again.
  s.Reduction = s.FullReduction;
  full->Finish();
  full.reset();
  ReturnFreedMemory();
  // The camera came nearer while the half-size map decoded.
  StartFullMap(f);
}

}  // namespace

void SelectBody(int AIndex) {
  TForm2* f = Form2;
  if (!f || AIndex < 0 || AIndex >= BodyCount) return;
  TSelectionState& s = f->Selection;
  CurrentBody = AIndex;
  s.Wanted = AIndex;
  for (int i = 0; i < BodyCount; ++i) f->Buttons[i]->SetCurrent(i == AIndex);
  if (s.Running) {
    // The selection under way carries this one out: its pictures may start now, and a
    // fade-in turns into the fade-out at once.
    PrepareBody(f, AIndex);
    if (s.FadingIn) HoldFade(f);
    return;
  }
  TObjectWatch form(f);
  // The program ending (the streams may be gone) or the window gone: nothing more.
  auto ended = [&] { return !form.Alive() || Form2 != f || Application->Terminated(); };
  s.Running = true;
  s.DeepestDepth = std::max(s.DeepestDepth, ++s.Depth);
  // However the selection ends (a failed decode raises), the next click may start one.
  struct TLeave {
    const TObjectWatch& Form;
    TSelectionState& State;
    ~TLeave() {
      if (!Form.Alive()) return;
      State.Running = false;
      State.FadingIn = false;
      --State.Depth;
    }
  } leave{form, s};
  for (;;) {
    const int index = s.Wanted;
    f->FloatAnimation1->StopAtCurrent();
    PrepareBody(f, index);
    // Fades are for the eye: before the window is first shown (the start's selection)
    // nobody would see them, and they would only hold the first frame back.
    const bool seen = f->Visible();
    // Already invisible (a newer body named while the pictures were on their way): no
    // fade of nothing.
    if (f->Sphere1->Opacity() > 0) {
      if (seen)
        f->Sphere1->AnimateFloatWait("opacity", 0, 0.5f, TAnimationType::In, TInterpolationType::Linear);
      else
        f->Sphere1->SetOpacity(0);
    }
    if (ended()) return;
    if (s.Wanted != index) continue;
    if (!BodyTextures[static_cast<size_t>(index)]) return;
    // A set for a body no longer wanted finishes first and goes; then this body's, and
    // both are waited for with the event loop running, the body still invisible.
    if ((s.Next && s.NextBody != index) || s.Full) {
      Platform().ProcessEventsUntil([&] {
        return ended() || ((!s.Next || s.Next->Ready()) && (!s.Full || s.Full->Ready()));
      });
      if (ended()) return;
      if (s.Wanted != index) continue;
      PrepareBody(f, index);
    }
    if (s.Next && s.NextBody == index) {
      Platform().ProcessEventsUntil([&] { return ended() || s.Wanted != index || !s.Next || s.Next->Ready(); });
      if (ended()) return;
      if (s.Wanted != index) continue;
      std::unique_ptr<TBackgroundDecode> pictures = std::move(s.Next);
      s.NextBody = -1;
      // A map that cannot be decoded leaves the selection here, with the body faded out.
      s.Loaded = -1;
      pictures->Finish();
      s.Loaded = index;
      s.Reduction = s.NextSetReduction;
    }
    SwapBody(f, index);
    if (seen) {
      s.FadingIn = true;
      f->Sphere1->AnimateFloatWait("opacity", 1, 0.5f, TAnimationType::In, TInterpolationType::Linear);
      if (ended()) return;
      s.FadingIn = false;
    } else {
      f->Sphere1->SetOpacity(1);
    }
    if (s.Wanted != index) continue;
    if (f->MenuItem1->IsChecked()) f->FloatAnimation1->Start();
    // The shown body's pictures are on the device by now, the others' are freed.
    ReturnFreedMemory();
    // A zoom during the selection may need the finer map now; running is over first.
    s.Running = false;
    StartFullMap(f);
    return;
  }
}

void TForm2::ButtonClick(int AIndex) {
  if (CurrentBody != AIndex) SelectBody(AIndex);
}

// ---- Navigation

bool Dragging = false;
int LastGestureDistance = 0;

void TForm2::Viewport3D1MouseDown(TSceneObject*, TMouseButton, TShiftState, float X, float Y) {
  Dragging = true;
  FDown = {X, Y};
}

void TForm2::Viewport3D1MouseMove(TSceneObject*, TShiftState, float X, float Y) {
  if (!Dragging) return;
  // The farther the camera, the more a pixel turns the rig.
  const long double k = (static_cast<long double>(-7.0f) - Camera1->Position().Z()) / 33.0f + 0.1L;
  TPosition3D& angle = Dummy1->RotationAngle();
  angle.SetX(static_cast<float>(angle.X() - (static_cast<long double>(Y) - FDown.Y) * 0.3L * k));
  angle.SetY(static_cast<float>((static_cast<long double>(X) - FDown.X) * 0.3L * k + angle.Y()));
  FDown = {X, Y};
}

void TForm2::Viewport3D1MouseUp(TSceneObject*, TMouseButton, TShiftState, float, float) { Dragging = false; }

void TForm2::Viewport3D1MouseWheel(TSceneObject*, TShiftState, int WheelDelta, bool& Handled) {
  // One step per notch of 120, however finely the turn arrives; turning back starts
  // afresh, so a step never waits for the opposite turn to be undone first.
  if ((WheelDelta > 0 && FWheelRest < 0) || (WheelDelta < 0 && FWheelRest > 0)) FWheelRest = 0;
  FWheelRest += WheelDelta;
  for (; FWheelRest >= 120; FWheelRest -= 120) DoZoom(true);
  for (; FWheelRest <= -120; FWheelRest += 120) DoZoom(false);
  Handled = true;
}

int TForm2::MapReductionForDistance() const {
  return Camera1->Position().Z() < NearestHalfSizeZ + 0.5f ? FarReduction : 1;
}

void TForm2::MapDetailForDistance() { StartFullMap(this); }

void TForm2::DoZoom(bool aIn) {
  const long double step = aIn ? 1.0L : -1.0L;
  const float z = static_cast<float>(static_cast<long double>(Camera1->Position().Z()) + step);
  if (z > -40 && z < -5) Camera1->Position().SetZ(z);
  MapDetailForDistance();
}

void TForm2::PinchZoom(double AScale) {
  // The nearest and farthest places the wheel's steps reach from the start.
  constexpr double Nearest = 6, Farthest = 39;
  if (!(AScale > -1)) return;
  const double distance = -static_cast<double>(Camera1->Position().Z()) / (1 + AScale);
  Camera1->Position().SetZ(static_cast<float>(-std::clamp(distance, Nearest, Farthest)));
  MapDetailForDistance();
}

void TForm2::Viewport3D1Gesture(TSceneObject*, const TGestureEventInfo& EventInfo, bool& Handled) {
  switch (EventInfo.GestureID) {
    case igiZoom: {
      if (EventInfo.Flags & gfBegin) LastGestureDistance = EventInfo.Distance;
      if (!(EventInfo.Flags & (gfBegin | gfEnd))) {
        const std::int32_t d = EventInfo.Distance - LastGestureDistance;
        if (d > 4 || d < -4) DoZoom(d > 0);
        LastGestureDistance = EventInfo.Distance;
      }
      Handled = true;
      break;
    }
    case igiDoubleTap:
      Panel1->SetVisible(!Panel1->Visible());
      Handled = true;
      break;
    case StrokeLeftGesture:
    case StrokeRightGesture:
    case igiPan:
      Handled = true;
      break;
    default:
      break;
  }
}

void TForm2::Viewport3D1DblClick(TSceneObject*) { Panel1->SetVisible(!Panel1->Visible()); }

// ---- Menu

void TForm2::MenuItem1Click(TSceneObject*) {
  MenuItem1->SetIsChecked(!MenuItem1->IsChecked());
  if (MenuItem1->IsChecked())
    FloatAnimation1->Start();
  else
    FloatAnimation1->StopAtCurrent();
}

void TForm2::MenuItem2Click(TSceneObject*) {
  MenuItem2->SetIsChecked(!MenuItem2->IsChecked());
  Label1->SetVisible(MenuItem2->IsChecked());
}

void TForm2::MenuItem3Click(TSceneObject*) {
  MenuItem3->SetIsChecked(!MenuItem3->IsChecked());
  Text1->SetVisible(MenuItem3->IsChecked());
  Text2->SetVisible(MenuItem3->IsChecked());
}

void TForm2::MenuItem5Click(TSceneObject*) {
  MenuItem5->SetIsChecked(!MenuItem5->IsChecked());
  SetFullScreen(MenuItem5->IsChecked());
}

QString ScreenshotName(int ABody, const QDateTime& AWhen, const TSaveDialog& ADialog) {
  QString ext = ADialog.FilterExt(ADialog.FilterIndex);
  if (ext.isEmpty()) ext = ADialog.DefaultExt;
  // Colons are not welcome in file names on every file system the picture may go to.
  return BodyName(ABody) + QChar(' ') + AWhen.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) + QChar('.') + ext;
}

void TForm2::MenuItem7Click(TSceneObject*) {
  SaveDialog1->InitialDir = DataFolder;
  SaveDialog1->FileName = ScreenshotName(CurrentBody, QDateTime::currentDateTime(), *SaveDialog1);
  if (!SaveDialog1->Execute()) return;
  TBitmapCodecSaveParams params;
  params.Quality = 100;
  std::unique_ptr<TBitmap> shot = Viewport3D1->MakeScreenshot();
  shot->SaveToFile(SaveDialog1->FileName.toStdString(), &params);
}

void TForm2::MenuItem6Click(TSceneObject*) {
  if (Form1) Form1->Show();
}

void TForm2::MenuItem4Click(TSceneObject*) { Application->Terminate(); }

}  // namespace sphaerix

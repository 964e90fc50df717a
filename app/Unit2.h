// The main window: the viewer.
#pragma once

#include <QDateTime>
#include <QString>
#include <memory>

#include "app/Unit2State.h"
#include "app/map_residency.h"
#include "scene/input/events.h"
#include "ui/form.h"

namespace sphaerix {

class TViewport3D;
class TSphere;
class TDisk;
class TDummy;
class TCamera;
class TLight;
class TFloatAnimation;
class TLightMaterialSource;
class TTextureMaterialSource;
class TGestureManager;
class TPanel;
class TButton;
class TLabel;
class TText;
class TPopupMenu;
class TMenuItem;
class TSaveDialog;
class TStyleBook;
class TViewerMapDecoder;

class TForm2 : public TFormBase {
 public:
  explicit TForm2(TSceneObject* AOwner);
  ~TForm2() override;

  // Components, named as the layout names them.
  TViewport3D* Viewport3D1 = nullptr;
  TSphere* Sphere1 = nullptr;
  TFloatAnimation* FloatAnimation1 = nullptr;
  TDisk* Disk1 = nullptr;
  TDummy* Dummy1 = nullptr;
  TCamera* Camera1 = nullptr;
  TLight* Light1 = nullptr;
  TLabel* Label1 = nullptr;
  TSphere* Sphere2 = nullptr;
  TPanel* Panel1 = nullptr;
  TButton* Buttons[BodyCount] = {};  // Button1 ... Button14
  TStyleBook* StyleBook1 = nullptr;
  TTextureMaterialSource* TextureMaterialSource2 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  TMenuItem* MenuItem1 = nullptr;
  TMenuItem* MenuItem2 = nullptr;
  TMenuItem* MenuItem3 = nullptr;
  TMenuItem* MenuItem5 = nullptr;
  TMenuItem* MenuItem7 = nullptr;
  TMenuItem* MenuItem6 = nullptr;
  TMenuItem* MenuItem4 = nullptr;
  TLightMaterialSource* LightMaterialSource1 = nullptr;
  TText* Text1 = nullptr;
  TText* Text2 = nullptr;
  TSaveDialog* SaveDialog1 = nullptr;
  TTextureMaterialSource* TextureMaterialSource1 = nullptr;
  TTextureMaterialSource* TextureMaterialSource3 = nullptr;
  TGestureManager* GestureManager1 = nullptr;

  void FormCreate(TSceneObject* Sender);
  void FormClose(TSceneObject* Sender, TCloseResult& Action);
  void FormResize(TSceneObject* Sender);
  // The window manager switched full screen: the menu's check mark follows, so that the
  // next F11 or menu choice does what its mark promises.
  void FormFullScreenChange(TSceneObject* Sender);
  // The rim that keeps the title and the facts readable over the brightest maps.
  static constexpr TAlphaColor TextHalo = 0xE6000000;
  // The least room between the panel's right edge and the fact labels.
  static constexpr float FactsPanelGap = 8;
  // The smallest client area: the panel, the gap and both fact blocks side by side
  // (40 + 257 + 8 + 200 + 14 + 200 = 719), and the facts' 300 below the 40 of the title.
  static constexpr int MinimumClientWidth = 720;
  static constexpr int MinimumClientHeight = 400;
  // The first frame's map is decoded at 1/N of its size on each side.
  static constexpr int FirstFrameReduction = 4;
  // A body's map at the default distance or farther: half its size on each side, a
  // quarter of the memory; nearer, the whole map.
  static constexpr int FarReduction = 2;
  static constexpr float NearestHalfSizeZ = -15;
  // The rings, seen edge-on or larger than the window, look the same at half size on
  // each side from every distance the wheel reaches.
  static constexpr int RingReduction = 2;
  // The star map's, seen larger than it is, only by half.
  static constexpr int FirstFrameStarsReduction = 2;
  // Tells the maps the camera's distance: a finer map may be wanted now, decoded on a
  // worker while the user-interface thread goes on.
  void MapDetailForDistance();
  // Which pictures of the body, its ring and the sky are held, and which decode next.
  TMapResidency& Maps() { return *FMaps; }
  // The running selection waits for its fade-in; a newer request stops it where it is.
  bool SelectionFadingIn = false;

  // Button N selects body N - 1 unless it is already the current one.
  void ButtonClick(int AIndex);

  // Navigation: a drag orbits the camera rig, the wheel and the pinch zoom, a double
  // click or double tap shows or hides the panel. Its state is FDown (the pointer
  // position at the press, then at the last move of a drag) and the unit-level Dragging
  // and LastGestureDistance below the class.
  TPointF FDown;
  void Viewport3D1MouseDown(TSceneObject* Sender, TMouseButton Button, TShiftState Shift, float X, float Y);
  void Viewport3D1MouseMove(TSceneObject* Sender, TShiftState Shift, float X, float Y);
  void Viewport3D1MouseUp(TSceneObject* Sender, TMouseButton Button, TShiftState Shift, float X, float Y);
  void Viewport3D1MouseWheel(TSceneObject* Sender, TShiftState Shift, int WheelDelta, bool& Handled);
  void Viewport3D1Gesture(TSceneObject* Sender, const TGestureEventInfo& EventInfo, bool& Handled);
  void Viewport3D1DblClick(TSceneObject* Sender);

  // One zoom step; AIn moves the camera nearer the body.
  void DoZoom(bool aIn);
  // A touchpad's pinch: the camera's distance shrinks as the magnification grows
  // (AScale 0.1: ten percent larger), smoothly, within the wheel's limits.
  void PinchZoom(double AScale);
  // The wheel's turn not yet spent on a step: a touchpad or a high-resolution wheel
  // sends a notch (120) in many small parts.
  int FWheelRest = 0;

  void MenuItem1Click(TSceneObject* Sender);  // Auto-rotate
  void MenuItem2Click(TSceneObject* Sender);  // Show names
  void MenuItem3Click(TSceneObject* Sender);  // Show info
  void MenuItem5Click(TSceneObject* Sender);  // Full screen
  void MenuItem7Click(TSceneObject* Sender);  // Screenshot
  void MenuItem6Click(TSceneObject* Sender);  // About
  void MenuItem4Click(TSceneObject* Sender);  // Exit

  // Keys for the menu's commands and for the pointer's orbit and zoom; each runs the
  // handler of the command or pointer action it stands for.
  void FormKeyDown(TSceneObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
  // Opens the popup menu at the window's centre, as a right press there would.
  void PopupAtCentre();
  // Turns the rig as a drag by (ADX, ADY) pixels over the viewport would.
  void OrbitAsDrag(float ADX, float ADY);
  // The pixels one arrow key press stands for.
  static constexpr float KeyOrbitPixels = 20;

 private:
  void BuildScene();
  void BuildBody();
  void BuildRig();
  void BuildMaterials();
  void BuildOverlay();
  void BuildMenu();
  void BuildStyles();
  void WireEvents();
  void AssignKeys();

  std::unique_ptr<TViewerMapDecoder> FMapDecoder;
  std::unique_ptr<TMapResidency> FMaps;
};

extern TForm2* Form2;

// The navigation handlers' unit-level state: a drag is in progress (from a press on the
// viewport to its release), and the finger distance of the previous zoom-gesture event.
extern bool Dragging;
extern int LastGestureDistance;

// The name the screenshot dialog suggests: the body, the local date and time, and the
// extension of the dialog's chosen type ("Saturn 2026-12-10 14-05-33.jpg").
QString ScreenshotName(int ABody, const QDateTime& AWhen, const TSaveDialog& ADialog);

// Fades the shown body out, swaps map, title, ring, tilt and facts, and fades it in. A
// call while a selection runs returns at once: the running one goes on to the body named
// last, stopping a fade-in where it is to fade out again. A map that cannot be decoded
// is reported once, and the body shown before fades in again.
void SelectBody(int AIndex);

}  // namespace sphaerix

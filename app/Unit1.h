// The About window: the product, its maker, a picture, a link and OK.
#pragma once

#include "ui/form.h"

namespace sphaerix {

class TLabel;
class TImage;
class TSpeedButton;

// The maker's product page; the window shows it without its scheme.
extern const char* const MakerAddress;

class TForm1 : public TFormBase {
 public:
  explicit TForm1(TSceneObject* AOwner);
  ~TForm1() override;

  TSpeedButton* SpeedButton1 = nullptr;
  TImage* Image1 = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TLabel* Label4 = nullptr;  // the imagery's credit
  TLabel* Label5 = nullptr;  // the version

  void Label3Click(TSceneObject* Sender);
  void SpeedButton1Click(TSceneObject* Sender);
  // Esc and Enter answer the window as OK does.
  void FormKeyDown(TSceneObject* Sender, int& Key, Qt::KeyboardModifiers Shift);

  // Opens a web address: the desktop's browser, unless a test stands in for it.
  std::function<void(const QString&)> OpenUrl;

 protected:
  void PaintFill(TCanvas2D& ACanvas) override;
  void DoShow() override;
  void ConfigureWindow(TFormWindow& AWindow) override;
};

extern TForm1* Form1;

}  // namespace sphaerix

#include "Unit2.h"

#include "platform/resource_stream.h"
#include "ui/application.h"

namespace sphaerix {

TForm2* Form2 = nullptr;

TForm2::TForm2(TFmxObject* AOwner) : TCommonCustomForm(AOwner) {
  SetName("Form2");
  SetCaption(QStringLiteral("Sphaerix"));
  SetClientSize(1149, 829);
  SetPosition(TFormPosition::ScreenCenter);
  SetFill(claBlack);
  SetFullScreen(true);
  OnCreate = [this](TFmxObject* s) { FormCreate(s); };
  OnClose = [this](TFmxObject* s, TCloseAction& a) { FormClose(s, a); };
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::FormCreate(TFmxObject*) {
  PrepareDataFolder();
  for (int i = 0; i < BodyCount; ++i)
    BodyTextures[static_cast<size_t>(i)] =
        std::make_unique<TResourceStream>(BodyTextureResourceName(i).toStdString());
  for (int i = 0; i < BodyCount; ++i) BodyFacts[static_cast<size_t>(i)] = BodyFactsText(i);
}

void TForm2::FormClose(TFmxObject*, TCloseAction&) {
  for (auto& stream : BodyTextures) stream.reset();
}

void TForm2::MenuItem4Click(TFmxObject*) { Application->Terminate(); }

}  // namespace sphaerix

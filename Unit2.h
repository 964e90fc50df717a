// The main window: the viewer.
#pragma once

#include "Unit2State.h"
#include "ui/form.h"

namespace sphaerix {

class TForm2 : public TCommonCustomForm {
 public:
  explicit TForm2(TFmxObject* AOwner);
  ~TForm2() override;

  void FormCreate(TFmxObject* Sender);
  void FormClose(TFmxObject* Sender, TCloseAction& Action);
  void MenuItem4Click(TFmxObject* Sender);  // Exit
};

extern TForm2* Form2;

}  // namespace sphaerix

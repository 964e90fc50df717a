#include "ui/style_book.h"

#include "scene/input/control.h"
#include "ui/form.h"

namespace sphaerix {

TStyleBook::TStyleBook(TSceneObject* AOwner) : TSceneObject(AOwner) {}

void TStyleBook::AddStyle(const QString& AName, TStylePainter APainter) {
  FStyles[AName.toLower()] = std::move(APainter);
}

const TStyleBook::TStylePainter* TStyleBook::FindStyle(const QString& AName) const {
  const auto it = FStyles.find(AName.toLower());
  return it == FStyles.end() ? nullptr : &it->second;
}

const TStyleBook* TStyleBook::Of(const TControl& AControl) {
  const auto* form = dynamic_cast<const TFormBase*>(AControl.Root());
  return form ? form->StyleBook() : nullptr;
}

}  // namespace sphaerix

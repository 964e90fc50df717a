// A window's custom styles: named painters that controls look up by their style name
// ("Panel1Style1" for a panel, "Buttonstyle" for every button of the window).
#pragma once

#include <QString>
#include <functional>
#include <map>

#include "scene/nodes/object.h"

class QPainter;

namespace sphaerix {

class TControl;

class TStyleBook : public TSceneObject {
 public:
  // Paints AControl at its origin; the painter already carries its opacity.
  using TStylePainter = std::function<void(QPainter& APainter, const TControl& AControl)>;

  explicit TStyleBook(TSceneObject* AOwner);
  void AddStyle(const QString& AName, TStylePainter APainter);
  // The painter of the style named AName (case ignored), or nullptr.
  const TStylePainter* FindStyle(const QString& AName) const;

  // The style book of the window AControl lives in, or nullptr.
  static const TStyleBook* Of(const TControl& AControl);

 private:
  std::map<QString, TStylePainter> FStyles;  // lower-cased names
};

}  // namespace sphaerix

// The save dialog: the desktop's own where the platform theme offers one.
#pragma once

#include <QString>
#include <functional>

#include "scene/object.h"

namespace sphaerix {

class TSaveDialog : public TSceneObject {
 public:
  explicit TSaveDialog(TSceneObject* AOwner);

  // "description|pattern|description|pattern..."
  QString Filter;
  // Added to a name typed without an extension (no dot).
  QString DefaultExt;
  QString InitialDir;
  QString FileName;
  int FilterIndex = 1;

  // Shows the modal dialog; true with FileName set when the user chose a file. Asks no
  // question before replacing an existing file.
  bool Execute();

  // Who asks the user: empty, the desktop's dialog. Set, it stands in for that dialog
  // (tests answer it): it gets this dialog and returns the chosen path, or an empty
  // string for cancel.
  std::function<QString(const TSaveDialog&)> ChooseFile;

  // The name as saved: the default extension added when the name has none.
  QString WithDefaultExt(const QString& AName) const;
};

}  // namespace sphaerix

// The save dialog: the desktop's own where the platform theme offers one.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "scene/nodes/object.h"

namespace sphaerix {

class TSaveDialog : public TSceneObject {
 public:
  explicit TSaveDialog(TSceneObject* AOwner);

  // "description|pattern|description|pattern..."
  QString Filter;
  // Added to a name typed without a picture type's extension when the chosen type has none.
  QString DefaultExt;
  QString InitialDir;
  // Before Execute: the name suggested in the dialog; after: the file chosen.
  QString FileName;
  // The chosen type, from 1: the filter entry selected when the dialog opens and the
  // one the user left it at.
  int FilterIndex = 1;

  // Shows the modal dialog; true with FileName set when the user chose a file. Asks no
  // question before replacing an existing file.
  bool Execute();

  // Who asks the user: empty, the desktop's dialog. Set, it stands in for that dialog
  // (tests answer it): it gets this dialog (whose FilterIndex it may set, as a user
  // choosing a type does) and returns the chosen path, or an empty string for cancel.
  std::function<QString(TSaveDialog&)> ChooseFile;

  // The folder the dialog opens in: InitialDir when it exists, else the user's home
  // folder (never the folder the program was started from).
  QString StartFolder() const;
  // The dialog's type list as the platform shows it: "jpg (*.jpg)", ...
  QStringList NameFilters() const;
  // The extension (without the dot) of filter entry AIndex (from 1), or empty.
  QString FilterExt(int AIndex) const;
  // The name as saved: the chosen type's extension, or else DefaultExt, added when the
  // name does not end in a picture type's extension ("trip v1.2" becomes "trip v1.2.jpg").
  QString WithDefaultExt(const QString& AName) const;
};

}  // namespace sphaerix

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
  // Who tells the user StartNote: empty, a message box; set, it stands in for that
  // (tests read the note there).
  std::function<void(const QString&)> ShowNote;

  // The folder the dialog opens in: InitialDir when the picture can go there, else the
  // first of the home folder, the account's home folder (when $HOME is missing or
  // unusable) and the temporary folder that can take it; never the folder the program
  // was started from, nor one the dialog would show under another name.
  QString StartFolder() const;
  // Why the dialog does not open in InitialDir (or, with none, at home) and where the
  // picture goes instead, in a sentence for the user; empty when it opens there, and when
  // a data folder that was never made leaves it at home as usual. Execute shows it
  // before the dialog.
  QString StartNote() const;
  // The dialog's type list as the platform shows it: "jpg (*.jpg)", ...
  QStringList NameFilters() const;
  // The extension (without the dot) of filter entry AIndex (from 1), or empty.
  QString FilterExt(int AIndex) const;
  // The name as saved: the chosen type's extension, or else DefaultExt, added when the
  // name does not end in a picture type's extension ("trip v1.2" becomes "trip v1.2.jpg").
  QString WithDefaultExt(const QString& AName) const;

 private:
  struct TStart {
    QString Folder;
    QString Note;
  };
  TStart Start() const;
};

// Why a picture cannot be saved in AFolder, as the end of a sentence ("it does not
// exist"), or empty when it can: a name the toolkit cannot represent (not UTF-8), a
// missing folder, a file, or a folder the user may not add to.
QString WhyFolderCannotTakeAPicture(const QString& AFolder);

// What the save dialog says beside its name field: AUsual, or why the name AName cannot
// be used in AFolder (longer than the folder's names may be), which the dialog would
// otherwise show only as a greyed-out Save button or a failed save.
QString NameFieldLabel(const QString& AFolder, const QString& AName, const QString& AUsual);

}  // namespace sphaerix

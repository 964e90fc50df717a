#include "ui/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

#include <unistd.h>

#include "platform/bitmap_codecs.h"
#include "platform/user_folders.h"

namespace sphaerix {

TSaveDialog::TSaveDialog(TSceneObject* AOwner) : TSceneObject(AOwner) {}

namespace {

QString NotThere() { return QStringLiteral("it does not exist"); }

}  // namespace

QString WhyFolderCannotTakeAPicture(const QString& AFolder) {
  // The toolkit reads names as UTF-8; bytes that are not become U+FFFD, and that name
  // leads to another folder or none.
  if (AFolder.contains(QChar::ReplacementCharacter))
    return QStringLiteral("its name is not valid UTF-8 text, which this dialog cannot show");
  const QFileInfo info(AFolder);
  if (!info.exists()) return NotThere();
  if (!info.isDir()) return QStringLiteral("it is not a folder");
  if (access(QFile::encodeName(AFolder).constData(), W_OK | X_OK) != 0)
    return QStringLiteral("you may not add files to it");
  return {};
}

TSaveDialog::TStart TSaveDialog::Start() const {
  QStringList candidates;
  if (!InitialDir.isEmpty()) candidates << InitialDir;
  candidates << QDir::homePath() << QFile::decodeName(QByteArray::fromStdString(AccountHomeFolder()))
             << QDir::tempPath();
  QString firstWhy;
  for (const QString& folder : candidates) {
    if (folder.isEmpty()) continue;
    const QString why = WhyFolderCannotTakeAPicture(folder);
    if (why.isEmpty()) {
      if (folder == candidates.first() || firstWhy.isEmpty()) return {folder, {}};
      // No Documents folder, so no data folder: the home folder is the documented place,
      // not a surprise worth a message at every screenshot.
      if (firstWhy == NotThere() && folder == QDir::homePath()) return {folder, {}};
      return {folder, QStringLiteral("The folder \"%1\" cannot be used: %2. The picture goes to \"%3\" unless you "
                                     "choose another folder.")
                          .arg(candidates.first(), firstWhy, folder)};
    }
    if (folder == candidates.first()) firstWhy = why;
  }
  // Nothing on this machine takes a file: the dialog says so when the user tries.
  return {candidates.first(), {}};
}

QString TSaveDialog::StartFolder() const { return Start().Folder; }

QString TSaveDialog::StartNote() const { return Start().Note; }

QString NameFieldLabel(const QString& AFolder, const QString& AName, const QString& AUsual) {
  const QString name = AName.section(QChar('/'), -1);
  const qsizetype bytes = QFile::encodeName(name).size();
  const long longest = pathconf(QFile::encodeName(AFolder).constData(), _PC_NAME_MAX);
  if (longest <= 0 || bytes <= longest) return AUsual;
  return QStringLiteral("Name too long (%1 bytes, at most %2 here):").arg(bytes).arg(longest);
}

QStringList TSaveDialog::NameFilters() const {
  // "jpg|*.jpg|bmp|*.bmp" becomes the dialog's "jpg (*.jpg)" and "bmp (*.bmp)".
  const QStringList parts = Filter.split(QChar('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QChar(';'), QChar(' ')));
  return filters;
}

QString TSaveDialog::FilterExt(int AIndex) const {
  const QStringList parts = Filter.split(QChar('|'));
  const int at = 2 * (AIndex - 1) + 1;
  if (AIndex < 1 || at >= parts.size()) return {};
  // The first pattern of the entry, when it is a plain "*.ext".
  const QString pattern = parts[at].split(QChar(';')).first().trimmed();
  if (!pattern.startsWith(QLatin1String("*.")) || pattern.size() < 3 || pattern.indexOf(QChar('*'), 1) >= 0)
    return {};
  return pattern.mid(2);
}

QString TSaveDialog::WithDefaultExt(const QString& AName) const {
  // Only a picture type's extension counts as one: in "trip v1.2" the dot is part of the
  // name, which still needs the type's extension.
  if (AName.isEmpty() || HasPictureExtension(QFileInfo(AName).fileName().toStdString())) return AName;
  const QString typeExt = FilterExt(FilterIndex);
  const QString ext = typeExt.isEmpty() ? DefaultExt : typeExt;
  return ext.isEmpty() ? AName : AName + QChar('.') + ext;
}

bool TSaveDialog::Execute() {
  const QStringList filters = NameFilters();
  QString chosen;
  const TStart start = Start();
  if (!start.Note.isEmpty()) {
    if (ShowNote)
      ShowNote(start.Note);
    else if (!ChooseFile)
      QMessageBox(QMessageBox::Information, QStringLiteral("Screenshot"), start.Note, QMessageBox::Ok).exec();
  }
  if (ChooseFile) {
    chosen = ChooseFile(*this);
  } else {
    QFileDialog dialog(nullptr, QString(), start.Folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size()) dialog.selectNameFilter(filters[FilterIndex - 1]);
    // No default suffix for the dialog: it would add the first type's extension whatever
    // type the user chose. The chosen type's is added below, once the type is known.
    if (!FileName.isEmpty()) dialog.selectFile(QFileInfo(FileName).fileName());
    // The toolkit's own dialog greys Save out for a name longer than the folder takes,
    // without a word: the label beside the name says why.
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      const QString usual = dialog.labelText(QFileDialog::FileName);
      const auto relabel = [&dialog, name, usual] {
        dialog.setLabelText(QFileDialog::FileName, NameFieldLabel(dialog.directory().absolutePath(), name->text(), usual));
      };
      QObject::connect(name, &QLineEdit::textChanged, &dialog, relabel);
      QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, relabel);
      relabel();
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const int index = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    if (index >= 0) FilterIndex = index + 1;
    chosen = dialog.selectedFiles().first();
  }
  if (chosen.isEmpty()) return false;
  FileName = WithDefaultExt(chosen);
  return true;
}

}  // namespace sphaerix

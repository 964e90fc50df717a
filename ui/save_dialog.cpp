#include "ui/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "platform/bitmap_codecs.h"

namespace sphaerix {

TSaveDialog::TSaveDialog(TSceneObject* AOwner) : TSceneObject(AOwner) {}

QString TSaveDialog::StartFolder() const {
  if (!InitialDir.isEmpty() && QFileInfo(InitialDir).isDir()) return InitialDir;
  return QDir::homePath();
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
  if (ChooseFile) {
    chosen = ChooseFile(*this);
  } else {
    QFileDialog dialog(nullptr, QString(), StartFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size()) dialog.selectNameFilter(filters[FilterIndex - 1]);
    // No default suffix for the dialog: it would add the first type's extension whatever
    // type the user chose. The chosen type's is added below, once the type is known.
    if (!FileName.isEmpty()) dialog.selectFile(QFileInfo(FileName).fileName());
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

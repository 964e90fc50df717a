#include "ui/save_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace sphaerix {

TSaveDialog::TSaveDialog(TSceneObject* AOwner) : TSceneObject(AOwner) {}

QString TSaveDialog::WithDefaultExt(const QString& AName) const {
  if (AName.isEmpty() || DefaultExt.isEmpty()) return AName;
  if (QFileInfo(AName).fileName().contains(QChar('.'))) return AName;
  return AName + QChar('.') + DefaultExt;
}

bool TSaveDialog::Execute() {
  // "jpg|*.jpg|bmp|*.bmp" becomes the dialog's "jpg (*.jpg)" and "bmp (*.bmp)".
  const QStringList parts = Filter.split(QChar('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QChar(';'), QChar(' ')));
  QString chosen;
  if (ChooseFile) {
    chosen = ChooseFile(*this);
  } else {
    QFileDialog dialog(nullptr, QString(), InitialDir);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size()) dialog.selectNameFilter(filters[FilterIndex - 1]);
    dialog.setDefaultSuffix(DefaultExt);
    if (!FileName.isEmpty()) dialog.selectFile(QFileInfo(FileName).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    chosen = dialog.selectedFiles().first();
  }
  if (chosen.isEmpty()) return false;
  FileName = WithDefaultExt(chosen);
  return true;
}

}  // namespace sphaerix

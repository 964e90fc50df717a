#include "app/Unit2State.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/resource_stream.h"

namespace sphaerix {

QString DataFolder;
std::array<QString, BodyCount> BodyFacts;
std::array<std::unique_ptr<TResourceStream>, BodyCount> BodyTextures;
int CurrentBody = 0;

namespace {

// One level only: a missing parent is not made, and a failure is not reported; the
// folder is a convenience for the save dialog, not a requirement to start.
void EnsureDirectory(const QString& APath) {
  if (QFileInfo(APath).isDir()) return;  // follows links, so a link to a folder counts
  QDir().mkdir(APath);
}

}  // namespace

QString DataFolderPath(const QString& ADocuments) {
  if (ADocuments.isEmpty()) return {};
  QString path = ADocuments;
  if (!path.endsWith(QChar('/'))) path += QChar('/');
  return path + QStringLiteral("Quorvane/Sphaerix/");
}

bool PrepareDataFolderFrom(const QString& ADocuments) {
  DataFolder = DataFolderPath(ADocuments);
  if (DataFolder.isEmpty()) return false;
  // A Documents folder whose name is not UTF-8 reaches us with U+FFFD in place of its
  // bytes: that name leads elsewhere, so nothing is made there. The save dialog says why
  // it does not open in the data folder.
  if (DataFolder.contains(QChar::ReplacementCharacter)) return true;
  const QString sphaerix = DataFolder.chopped(1);
  EnsureDirectory(sphaerix.left(sphaerix.lastIndexOf(QChar('/'))));
  EnsureDirectory(sphaerix);
  return true;
}

// The desktop's Documents folder, without creating it. The desktop's rules allow only an
// absolute path there: a relative one would put the data folder below whatever folder the
// program was started from, so it counts as not set, and not set means "Documents" in
// the home folder.
QString DocumentsFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty() || !QDir::isRelativePath(documents)) return documents;
  return QDir::homePath() + QStringLiteral("/Documents");
}

bool PrepareDataFolder() { return PrepareDataFolderFrom(DocumentsFolder()); }

}  // namespace sphaerix

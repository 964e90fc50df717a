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

bool PrepareDataFolderFrom(const QString& ADocuments) {
  DataFolder = ADocuments;
  if (DataFolder.isEmpty()) return false;
  if (!DataFolder.endsWith(QChar('/'))) DataFolder += QChar('/');
  DataFolder += QStringLiteral("Quorvane");
  EnsureDirectory(DataFolder);
  DataFolder += QStringLiteral("/Sphaerix");
  EnsureDirectory(DataFolder);
  DataFolder += QChar('/');
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

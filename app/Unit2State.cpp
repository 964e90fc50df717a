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

bool PrepareDataFolder() {
  // writableLocation names the XDG Documents directory without creating it.
  return PrepareDataFolderFrom(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

}  // namespace sphaerix

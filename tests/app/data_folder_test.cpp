#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#include <unistd.h>

#include "app/Unit2State.h"

using namespace sphaerix;

TEST(DataFolder, CreatesBothLevelsUnderDocuments) {
  QTemporaryDir home;
  const QString docs = home.path() + "/Documents";
  ASSERT_TRUE(QDir().mkdir(docs));
  EXPECT_TRUE(PrepareDataFolderFrom(docs));
  EXPECT_EQ(DataFolder, docs + "/Quorvane/Sphaerix/");
  EXPECT_TRUE(QFileInfo(docs + "/Quorvane/Sphaerix").isDir());
  // A second start finds both and changes nothing.
  EXPECT_TRUE(PrepareDataFolderFrom(docs + "/"));
  EXPECT_EQ(DataFolder, docs + "/Quorvane/Sphaerix/");
}

// The path alone, so that the root folder is tried without making anything in it.
TEST(DataFolder, PathHasOneSeparatorBetweenPartsAndOneAtTheEnd) {
  const std::pair<QString, QString> cases[] = {
      {"/", "/Quorvane/Sphaerix/"},
      {"/home/u/Documents", "/home/u/Documents/Quorvane/Sphaerix/"},
      {"/home/u/Documents/", "/home/u/Documents/Quorvane/Sphaerix/"},
      {"", ""},
  };
  for (const auto& [documents, expected] : cases) EXPECT_EQ(DataFolderPath(documents), expected) << documents.toStdString();
}

TEST(DataFolder, DocumentsEndingInSeparatorGetsNoDoubledSeparator) {
  QTemporaryDir home;
  EXPECT_TRUE(PrepareDataFolderFrom(home.path() + "/"));
  EXPECT_EQ(DataFolder, home.path() + "/Quorvane/Sphaerix/");
  EXPECT_TRUE(QFileInfo(DataFolder).isDir());
}

TEST(DataFolder, NoDocumentsFolderLeavesItEmpty) {
  DataFolder = "stale";
  EXPECT_FALSE(PrepareDataFolderFrom(QString()));
  EXPECT_TRUE(DataFolder.isEmpty());
}

TEST(DataFolder, FolderThatCannotBeCreatedIsStillNamed) {
  QTemporaryDir home;
  // Documents is a plain file, so nothing can be created below it.
  const QString docs = home.path() + "/Documents";
  QFile f(docs);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  EXPECT_TRUE(PrepareDataFolderFrom(docs));
  EXPECT_EQ(DataFolder, docs + "/Quorvane/Sphaerix/");
  EXPECT_FALSE(QFileInfo(docs + "/Quorvane").exists());
}

TEST(DataFolder, LinkToAFolderCountsAsExisting) {
  QTemporaryDir home;
  const QString docs = home.path() + "/Documents";
  ASSERT_TRUE(QDir().mkpath(home.path() + "/elsewhere/Sphaerix"));
  ASSERT_TRUE(QDir().mkdir(docs));
  ASSERT_TRUE(QFile::link(home.path() + "/elsewhere", docs + "/Quorvane"));
  EXPECT_TRUE(PrepareDataFolderFrom(docs));
  EXPECT_TRUE(QFileInfo(docs + "/Quorvane").isSymLink());
  EXPECT_TRUE(QFileInfo(docs + "/Quorvane/Sphaerix").isDir());
}

// The desktop's settings name a relative Documents folder: it counts as not set, so the
// data folder is not made below the folder the program happened to start from.
TEST(DataFolder, RelativeDocumentsSettingCountsAsNotSet) {
  QTemporaryDir home, startedFrom;
  ASSERT_TRUE(QDir().mkpath(home.path() + "/.config"));
  ASSERT_TRUE(QDir().mkpath(home.path() + "/Documents"));
  ASSERT_TRUE(QDir().mkpath(startedFrom.path() + "/docs"));
  QFile dirs(home.path() + "/.config/user-dirs.dirs");
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("XDG_DOCUMENTS_DIR=\"docs\"\n");
  dirs.close();
  const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
  const QString oldDir = QDir::currentPath();
  qputenv("HOME", home.path().toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
  ASSERT_TRUE(QDir::setCurrent(startedFrom.path()));

  EXPECT_TRUE(PrepareDataFolder());

  QDir::setCurrent(oldDir);
  qputenv("HOME", oldHome);
  if (oldConfig.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", oldConfig);
  EXPECT_EQ(DataFolder, home.path() + "/Documents/Quorvane/Sphaerix/");
  EXPECT_TRUE(QFileInfo(DataFolder).isDir());
  EXPECT_TRUE(QDir(startedFrom.path() + "/docs").isEmpty());
}

// The decisions the program takes in an unkind environment, without a window: no HOME,
// a missing or unusable data folder, the driver's cache folder, a screen smaller than
// the window's least size, the window system going away.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

#include "platform/connection_lost.h"
#include "platform/process_environment.h"
#include "platform/user_folders.h"
#include "ui/minimum_within_screen.h"
#include "ui/save_dialog.h"

using namespace sphaerix;

namespace {

// Sets (or, with nullptr, unsets) environment variables for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> AValues) {
    for (const auto& [name, value] : AValues) {
      FOld.push_back({name, qgetenv(name)});
      if (value)
        qputenv(name, value);
      else
        qunsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : FOld) {
      if (value.isNull())
        qunsetenv(name);
      else
        qputenv(name, value);
    }
  }

 private:
  std::vector<std::pair<const char*, QByteArray>> FOld;
};

}  // namespace

TEST(ProcessEnvironment, AHomeThatIsUnsetOrRelativeBecomesTheAccountsAndAnAbsoluteOneStays) {
  const std::string account = AccountHomeFolder();
  ASSERT_FALSE(account.empty());
  struct Case {
    const char* Home;  // nullptr: unset
    const char* Expected;
  } cases[] = {{nullptr, account.c_str()}, {"", account.c_str()}, {"relative/home", account.c_str()},
               {"/somewhere/else", "/somewhere/else"}};
  for (const Case& c : cases) {
    ScopedEnvironment env({{"HOME", c.Home}});
    FillInHome();
    EXPECT_STREQ(std::getenv("HOME"), c.Expected) << (c.Home ? c.Home : "(unset)");
  }
}

TEST(ProcessEnvironment, TheShaderCacheFolderIsTheOneTheDriverUses) {
  struct Case {
    const char* Dir;
    const char* OldDir;
    const char* Cache;
    const char* Expected;
  } cases[] = {
      {"/d", "/o", "/c", "/d"},
      {nullptr, "/o", "/c", "/o"},
      {nullptr, nullptr, "/c", "/c/mesa_shader_cache"},
      {nullptr, nullptr, nullptr, "/h/.cache/mesa_shader_cache"},
      {nullptr, nullptr, "relative", "/h/.cache/mesa_shader_cache"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment env({{"MESA_SHADER_CACHE_DIR", c.Dir},
                           {"MESA_GLSL_CACHE_DIR", c.OldDir},
                           {"XDG_CACHE_HOME", c.Cache},
                           {"HOME", "/h"}});
    EXPECT_EQ(ShaderCacheFolder(), c.Expected);
  }
}

// The disk of a folder that does not exist yet is the disk of its nearest parent.
TEST(ProcessEnvironment, FreeRoomIsFoundForAFolderNotMadeYet) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString();
  const std::int64_t free = FreeBytesFor(base);
  ASSERT_GT(free, 0);
  EXPECT_NEAR(static_cast<double>(FreeBytesFor(base + "/not/made/yet")), static_cast<double>(free), 64.0 * 1024 * 1024);
  // Room enough here: the cache stays as it was, and nothing is said.
  ScopedEnvironment env({{"MESA_SHADER_CACHE_DIR", base.c_str()}, {"MESA_SHADER_CACHE_DISABLE", nullptr}});
  if (free >= ShaderCacheRoom) {
    EXPECT_EQ(KeepShaderCacheOffAFullDisk(), "");
    EXPECT_EQ(std::getenv("MESA_SHADER_CACHE_DISABLE"), nullptr);
  }
}

TEST(ScreenMinimum, NeverExceedsTheScreen) {
  const QSize least(720, 400);
  struct Case {
    QRect Available;
    QMargins Frame;
    QSize Expected;
  } cases[] = {
      {{0, 0, 1920, 1080}, {}, {720, 400}},
      {{0, 0, 640, 480}, {}, {640, 400}},
      {{0, 0, 640, 480}, {1, 24, 1, 1}, {638, 400}},
      {{0, 0, 600, 380}, {2, 30, 2, 2}, {596, 348}},
      {{1920, 0, 640, 480}, {}, {640, 400}},  // a second, small screen
      {{}, {}, {720, 400}},                   // no screen known
  };
  for (const Case& c : cases) EXPECT_EQ(MinimumWithin(least, c.Available, c.Frame), c.Expected) << c.Available.width();
}

// Where the save dialog opens when the data folder cannot take the picture, and what it
// says. A missing home ($HOME naming no folder) falls back to the account's.
TEST(SaveDialogFolder, SaysWhyTheDataFolderCannotBeUsedAndWhereThePictureGoes) {
  QTemporaryDir dir;
  QFile file(dir.path() + "/plain");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  const QString account = QFile::decodeName(QByteArray::fromStdString(AccountHomeFolder()));
  struct Case {
    QString InitialDir;
    QString Why;  // empty: the dialog opens there, without a note
  } cases[] = {
      {dir.path(), ""},
      {dir.path() + "/h" + QChar(QChar::ReplacementCharacter) + "/Quorvane/Sphaerix/",
       "its name is not valid UTF-8 text, which this dialog cannot show"},
      {dir.path() + "/Documents/Quorvane/Sphaerix/", "it does not exist"},
      {dir.path() + "/plain", "it is not a folder"},
  };
  for (const QString& home : {dir.path(), dir.path() + "/missing-home"}) {
    ScopedEnvironment env({{"HOME", QFile::encodeName(home).constData()}});
    // An account without a usable home (nobody's is /nonexistent) leaves the temporary
    // folder.
    const QString usable = WhyFolderCannotTakeAPicture(account).isEmpty() ? account : QDir::tempPath();
    const QString fallback = home == dir.path() ? home : usable;
    for (const Case& c : cases) {
      TSaveDialog d(nullptr);
      d.InitialDir = c.InitialDir;
      EXPECT_EQ(WhyFolderCannotTakeAPicture(c.InitialDir), c.Why);
      EXPECT_EQ(d.StartFolder(), c.Why.isEmpty() ? c.InitialDir : fallback) << c.InitialDir.toStdString();
      // A data folder never made leaves the dialog at home, as usual, without a word.
      if (c.Why.isEmpty() || (c.Why == "it does not exist" && fallback == home))
        EXPECT_EQ(d.StartNote(), "");
      else
        EXPECT_EQ(d.StartNote(), "The folder \"" + c.InitialDir + "\" cannot be used: " + c.Why +
                                     ". The picture goes to \"" + fallback + "\" unless you choose another folder.");
    }
  }
}

TEST(ConnectionLost, TheToolkitsWordsBecomeTheProgramsOneLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"The Wayland connection broke. Did the Wayland compositor die?",
       "Sphaerix: the connection to the Wayland compositor broke (the compositor has probably ended); the program "
       "ends."},
      {"The Wayland connection experienced a fatal error: Protocol error",
       "Sphaerix: the connection to the Wayland compositor failed (Protocol error); the program ends."},
      {"The X11 connection broke: I/O error (code 1)",
       "Sphaerix: the connection to the X server broke (I/O error); the program ends."},
      {"The X11 connection broke (error 1). Did the X11 server die?",
       "Sphaerix: the connection to the X server broke (error 1, the server has probably ended); the program ends."},
      {"QOpenGLWidget: Failed to create context", ""},
  };
  for (const auto& [toolkit, ours] : cases) EXPECT_EQ(ConnectionLostMessage(toolkit), ours) << toolkit;
}

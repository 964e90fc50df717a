// The program's manners on a Linux desktop that need no window: the command line, the
// choice between X11 and Wayland, where a windowed main window goes, and the save
// dialog's folder and extensions.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "app/command_line.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/save_dialog.h"

using namespace sphaerix;

TEST(CommandLine, HelpVersionToolkitOptionsAndErrors) {
  using A = TCommandLine::TAction;
  struct Case {
    QStringList Args;
    A Action;
    const char* TextHas;
  } cases[] = {
      {{"sphaerix"}, A::Run, ""},
      {{}, A::Run, ""},
      {{"sphaerix", "--help"}, A::Help, "--version"},
      {{"sphaerix", "-h"}, A::Help, "Usage: "},
      {{"sphaerix", "--version"}, A::Version, "Sphaerix 1."},
      {{"sphaerix", "-platform", "wayland"}, A::Run, ""},
      {{"sphaerix", "--platform", "xcb", "-style", "fusion", "-reverse"}, A::Run, ""},
      {{"sphaerix", "--bogus"}, A::Error, "Unknown option 'bogus'"},
      {{"sphaerix", "picture.jpg"}, A::Error, "Unexpected argument 'picture.jpg'"},
      {{"sphaerix", "-platform"}, A::Error, "Missing value after '-platform'"},
  };
  for (const Case& c : cases) {
    const TCommandLine line = ParseCommandLine(c.Args);
    EXPECT_EQ(line.Action, c.Action) << c.Args.join(' ').toStdString();
    EXPECT_TRUE(line.Text.contains(QString::fromUtf8(c.TextHas))) << line.Text.toStdString();
    if (c.Action == A::Error) {
      EXPECT_FALSE(line.Text.contains('\n')) << "one line";
      EXPECT_TRUE(line.Text.startsWith("sphaerix: "));
    }
  }
  // The help names the keys, so a user who starts full screen knows the way out, and
  // the way to X11 from a Wayland session.
  EXPECT_TRUE(ParseCommandLine({"sphaerix", "--help"}).Text.contains("Esc"));
  EXPECT_TRUE(ParseCommandLine({"sphaerix", "--help"}).Text.contains("-platform xcb"));
}

TEST(Platform, WaylandIsTheDefaultOnAWaylandSessionAndX11OneOptionAway) {
  const std::vector<std::string> plain{"sphaerix"};
  struct Case {
    std::vector<std::string> Args;
    const char *Qpa, *Display, *Wayland;
    std::string Asked;
  } cases[] = {
      {plain, nullptr, ":0", "wayland-0", "wayland;xcb"},  // X11 only should Wayland fail
      {plain, "", ":0", "wayland-0", "wayland;xcb"},
      {plain, nullptr, nullptr, "wayland-0", "wayland"},
      {plain, nullptr, ":0", nullptr, ""},  // X11 only
      {plain, nullptr, ":0", "", ""},
      {plain, "xcb", ":0", "wayland-0", ""},  // the user's choice
      {{"sphaerix", "-platform", "xcb"}, nullptr, ":0", "wayland-0", ""},
      {{"sphaerix", "--platform=xcb"}, nullptr, ":0", "wayland-0", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PlatformToAskFor(c.Args, c.Qpa, c.Display, c.Wayland), c.Asked)
        << (c.Qpa ? c.Qpa : "-") << " " << (c.Display ? c.Display : "-") << " " << (c.Wayland ? c.Wayland : "-");
}

TEST(WindowedMode, FitsTheAvailableAreaWithItsFrame) {
  const QMargins frame(1, 30, 1, 1);
  struct Case {
    QRect Client, Available;
    QRect Expected;
  } cases[] = {
      // The layout's size on a 1366 x 768 screen with a 32-pixel panel: shrunk, centred,
      // the title bar on the screen.
      {{108, -31, 1149, 829}, {0, 0, 1366, 736}, {108, 30, 1149, 705}},
      // 1024 x 768: both ways too large.
      {{-62, -31, 1149, 829}, {0, 0, 1024, 768}, {1, 30, 1022, 737}},
      // Fits and lies inside: stays where it is.
      {{200, 100, 800, 600}, {0, 0, 1920, 1080}, {200, 100, 800, 600}},
      // Fits but lies partly off the screen: centred.
      {{1500, 100, 800, 600}, {0, 0, 1920, 1080}, {560, 255, 800, 600}},
      // A second screen to the right.
      {{2000, 50, 800, 600}, {1920, 0, 1280, 1024}, {2000, 50, 800, 600}},
  };
  for (const Case& c : cases) EXPECT_EQ(FitIntoArea(c.Client, frame, c.Available), c.Expected) << c.Client.x();
  // The minimum holds where the screen allows it, never beyond the screen.
  EXPECT_EQ(FitIntoArea({0, 30, 200, 100}, frame, {0, 0, 1920, 1080}, {480, 400}).size(), QSize(480, 400));
  EXPECT_EQ(FitIntoArea({0, 30, 200, 100}, frame, {0, 0, 400, 300}, {480, 400}).size(), QSize(398, 269));
}

TEST(SaveDialogFolder, OpensInTheDataFolderOrElseAtHome) {
  QTemporaryDir folder;
  TSaveDialog d(nullptr);
  d.InitialDir = folder.path();
  EXPECT_EQ(d.StartFolder(), folder.path());
  for (const QString& missing : {folder.path() + "/Documents/Quorvane/Sphaerix/", QString()}) {
    d.InitialDir = missing;
    EXPECT_EQ(d.StartFolder(), QDir::homePath()) << missing.toStdString();
  }
}

TEST(SaveDialogFolder, ANameWithoutExtensionTakesTheChosenTypes) {
  TSaveDialog d(nullptr);
  d.Filter = "jpg|*.jpg|bmp|*.bmp|png|*.png";
  d.DefaultExt = "jpg";
  struct Case {
    int Type;
    const char* Name;
    const char* Saved;
  } cases[] = {
      {1, "/p/shot", "/p/shot.jpg"},   {2, "/p/shot", "/p/shot.bmp"},     {3, "/p/shot", "/p/shot.png"},
      {2, "/p/shot.jpg", "/p/shot.jpg"}, {3, "/p.d/shot", "/p.d/shot.png"}, {9, "/p/shot", "/p/shot.jpg"},
      // A dot followed by no picture type is part of the name; any case of a type is one.
      {1, "/p/trip v1.2", "/p/trip v1.2.jpg"}, {2, "/p/notes.txt", "/p/notes.txt.bmp"},
      {1, "/p/shot.jpeg", "/p/shot.jpeg"},   {2, "/p/SHOT.JPG", "/p/SHOT.JPG"},     {1, "/p/shot.Png", "/p/shot.Png"},
  };
  for (const Case& c : cases) {
    d.FilterIndex = c.Type;
    EXPECT_EQ(d.WithDefaultExt(c.Name), c.Saved) << c.Type << " " << c.Name;
  }
}

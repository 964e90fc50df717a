// Replacing a file the user has: nothing left behind by a save that was killed, and what
// the user set up (owner, group, mode, links) survives the replacement.
#include "platform/file_replace.h"
#include "platform/save_journal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>

#include "scene/material/stream.h"

namespace sphaerix {
namespace {

constexpr uid_t kNobody = 65534;

std::string ReadAll(const std::string& APath) {
  QFile f(QString::fromStdString(APath));
  if (!f.open(QIODevice::ReadOnly)) return "<missing>";
  return f.readAll().toStdString();
}

void WriteAll(const std::string& APath, const std::string& AText) {
  QFile f(QString::fromStdString(APath));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(AText.data(), static_cast<qint64>(AText.size()));
}

void Save(const std::string& APath, const std::string& AText) {
  WriteFileReplacing(APath, AText.data(), AText.size());
}

struct stat StatOf(const std::string& APath) {
  struct stat st {};
  EXPECT_EQ(lstat(APath.c_str(), &st), 0) << APath;
  return st;
}

// Runs AWork in a child process and returns its exit status, 128 + the signal when a
// signal ended it. With AAsNobody under root, the child first becomes an ordinary user,
// for whom permission bits and ownership rules bite.
int InChild(const std::function<int()>& AWork, bool AAsNobody = false) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (AAsNobody && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(100);
    _exit(AWork());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int SaveOrFail(const std::string& APath, const std::string& AText) {
  try {
    Save(APath, AText);
    return 0;
  } catch (const EFileCreateError&) {
    return 1;
  }
}

// A save in a child process (as an ordinary user under root), killed the moment the new
// content is complete, as a kill between the write and the end of the save would (unless
// AKill is false). Returns the child's status; AMessage gets the error the save reported,
// if any.
int SaveKilledAfterTheWrite(const std::string& APath, const std::string& AText, std::string& AMessage,
                            bool AKill = true) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const int status = InChild(
      [&] {
        close(pipeFds[0]);
        if (AKill) OnReplaceContentWritten = [] { raise(SIGKILL); };
        try {
          Save(APath, AText);
          return 0;
        } catch (const EFileCreateError& e) {
          const std::string what = e.what();
          if (write(pipeFds[1], what.data(), what.size()) < 0) return 2;
          return 1;
        }
      },
      true);
  close(pipeFds[1]);
  char buffer[1024];
  AMessage.clear();
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) AMessage.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  return status;
}

class FileReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    // Reachable for an ordinary user too (the tests may run as root).
    chmod(Dir.path().toLocal8Bit().constData(), 0777);
  }
  std::string Path(const std::string& AName) const { return Dir.path().toStdString() + "/" + AName; }
  QStringList Entries(const std::string& AFolder = {}) const {
    const QString folder = AFolder.empty() ? Dir.path() : QString::fromStdString(Path(AFolder));
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
  }

  QTemporaryDir Dir;
};

TEST_F(FileReplace, ASaveKilledBeforeTheRenameLeavesTheOldFileAndNoTemporary) {
  WriteAll(Path("shot.jpg"), "old picture");
  const std::string big(6 << 20, 'x');  // a BMP of the whole screen
  const int status = InChild([&] {
    OnReplaceContentWritten = [] { raise(SIGKILL); };
    return SaveOrFail(Path("shot.jpg"), big);
  });
  ASSERT_EQ(status, 128 + SIGKILL);
  EXPECT_EQ(ReadAll(Path("shot.jpg")), "old picture");
  const int probe = open(Dir.path().toLocal8Bit().constData(), O_TMPFILE | O_WRONLY, 0600);
  if (probe >= 0) {
    close(probe);
    // The content lived in an unnamed file, which went with the process.
    EXPECT_EQ(Entries(), QStringList{"shot.jpg"});
  }
  // Whatever the file system, the next save leaves nothing hidden behind.
  Save(Path("shot.jpg"), "new picture");
  EXPECT_EQ(ReadAll(Path("shot.jpg")), "new picture");
  EXPECT_EQ(Entries(), QStringList{"shot.jpg"});
}

// Leftovers of killed saves go, whoever made them; a running save's temporary stays.
// Only names of exactly our temporaries' form are taken for leftovers.
TEST_F(FileReplace, LeftoversOfKilledSavesGoWhoeverMadeThemWhileARunningSavesStays) {
  WriteAll(Path(".sphaerix-save-4001-Stale1"), std::string(800 << 10, 'j'));
  WriteAll(Path(".sphaerix-save-4002-unnamed8"), "linked in, never renamed");
  WriteAll(Path(".sphaerix-save-4003-Live01"), "being written");
  WriteAll(Path(".sphaerix-save-4004-Other1"), "another user's");
  for (const char* notOurs : {".sphaerix-saved-notes", ".sphaerix-save-notes.txt", ".sphaerix-save-4005-abc",
                              ".sphaerix-save-4006-Stale1.jpg", ".sphaerix-save--Stale1"})
    WriteAll(Path(notOurs), "not ours");
  const bool root = geteuid() == 0;
  if (root) ASSERT_EQ(chown(Path(".sphaerix-save-4004-Other1").c_str(), kNobody, kNobody), 0);
  // A save in progress holds its temporary locked.
  const int live = open(Path(".sphaerix-save-4003-Live01").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(live, 0);
  ASSERT_EQ(flock(live, LOCK_EX), 0);

  Save(Path("shot.jpg"), "picture");
  close(live);
  EXPECT_EQ(Entries(), (QStringList{".sphaerix-save--Stale1", ".sphaerix-save-4003-Live01", ".sphaerix-save-4005-abc",
                                    ".sphaerix-save-4006-Stale1.jpg", ".sphaerix-save-notes.txt",
                                    ".sphaerix-saved-notes", "shot.jpg"}));
  EXPECT_EQ(ReadAll(Path("shot.jpg")), "picture");
}

// A leftover that its reader cannot even open (root's, found by an ordinary user) goes
// when the process that wrote it is gone, and stays while it runs.
TEST_F(FileReplace, AnUnreadableLeftoverGoesOnceItsWriterIsGone) {
  // Under root, root's files are unreadable to the ordinary user the save runs as; an
  // ordinary user runs it as themselves, on files they made unreadable to themselves.
  const mode_t unreadable = geteuid() == 0 ? 0600 : 0000;
  // A process that has ended: a child we waited for.
  pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string dead = ".sphaerix-save-" + std::to_string(ended) + "-abcdef";
  const std::string running = ".sphaerix-save-" + std::to_string(getpid()) + "-ghijkl";
  for (const std::string& name : {dead, running}) {
    WriteAll(Path(name), "unreadable");
    ASSERT_EQ(chmod(Path(name).c_str(), unreadable), 0);
  }
  EXPECT_EQ(InChild([&] { return SaveOrFail(Path("shot.jpg"), "picture"); }, true), 0);
  EXPECT_EQ(Entries(), (QStringList{QString::fromStdString(running), "shot.jpg"}));
}

TEST_F(FileReplace, AFileOfAnotherUserKeepsItsOwnerGroupAndMode) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can make a file of another user";
  WriteAll(Path("shared.jpg"), "theirs");
  ASSERT_EQ(chown(Path("shared.jpg").c_str(), 4321, 5432), 0);
  ASSERT_EQ(chmod(Path("shared.jpg").c_str(), 0664), 0);
  Save(Path("shared.jpg"), "replaced by root");
  struct stat st = StatOf(Path("shared.jpg"));
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 5432u);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(ReadAll(Path("shared.jpg")), "replaced by root");

  // An ordinary user may not give a new file away, and writing over the file in place
  // could leave it half old, half new: the save says so and leaves the file alone.
  ASSERT_EQ(chmod(Path("shared.jpg").c_str(), 0666), 0);
  std::string message;
  EXPECT_EQ(SaveKilledAfterTheWrite(Path("shared.jpg"), "by nobody", message), 1);
  EXPECT_NE(message.find("belongs to another user"), std::string::npos) << message;
  st = StatOf(Path("shared.jpg"));
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 5432u);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(ReadAll(Path("shared.jpg")), "replaced by root");
  EXPECT_EQ(Entries(), QStringList{"shared.jpg"});
}

// A link stays a link, pointing where it pointed; the file at its end is replaced, or
// made when it does not exist yet.
TEST_F(FileReplace, ALinkKeepsPointingWhereItPointedAndItsTargetIsReplaced) {
  ASSERT_TRUE(QDir(Dir.path()).mkdir("pictures"));
  WriteAll(Path("pictures/real.jpg"), "old");
  struct Case {
    std::string Link;
    std::string PointsTo;  // as written in the link
    std::string Target;    // the file that must hold the picture
  };
  const std::vector<Case> cases = {
      {"to-existing.jpg", "pictures/real.jpg", "pictures/real.jpg"},
      {"to-missing.jpg", "pictures/new.jpg", "pictures/new.jpg"},
      {"absolute.jpg", Path("pictures/abs.jpg"), "pictures/abs.jpg"},
      {"chain.jpg", "to-missing.jpg", "pictures/new.jpg"},
      {"pictures/up.jpg", "../top.jpg", "top.jpg"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(symlink(c.PointsTo.c_str(), Path(c.Link).c_str()), 0) << c.Link;
    Save(Path(c.Link), "picture via " + c.Link);
    EXPECT_TRUE(S_ISLNK(StatOf(Path(c.Link)).st_mode)) << c.Link;
    char buffer[512] = {};
    ASSERT_GT(readlink(Path(c.Link).c_str(), buffer, sizeof buffer - 1), 0);
    EXPECT_EQ(std::string(buffer), c.PointsTo) << c.Link;
    EXPECT_EQ(ReadAll(Path(c.Target)), "picture via " + c.Link) << c.Link;
  }
  EXPECT_EQ(Entries(), (QStringList{"absolute.jpg", "chain.jpg", "pictures", "to-existing.jpg",
                                    "to-missing.jpg", "top.jpg"}));
  EXPECT_EQ(Entries("pictures"), (QStringList{"abs.jpg", "new.jpg", "real.jpg", "up.jpg"}));

  // A loop of links is an error, and creates nothing.
  ASSERT_EQ(symlink("loop-b", Path("loop-a").c_str()), 0);
  ASSERT_EQ(symlink("loop-a", Path("loop-b").c_str()), 0);
  EXPECT_THROW(Save(Path("loop-a"), "x"), EFileCreateError);
}

// The folder takes no new entry, but the file in it is writable. Written in place, a kill
// between the write and the end of the save would leave a mix of old and new: the save
// says why it cannot replace the file there, and the file stays as it was.
TEST_F(FileReplace, AFileInAFolderWeCannotAddToIsLeftAsItWasWithTheReason) {
  // As an ordinary user: the one made from root, or the one running the test.
  ASSERT_TRUE(QDir(Dir.path()).mkdir("locked"));
  WriteAll(Path("locked/shot.jpg"), "a longer old picture");
  ASSERT_EQ(chmod(Path("locked/shot.jpg").c_str(), 0666), 0);
  ASSERT_EQ(chmod(Path("locked").c_str(), 0555), 0);
  std::string message;
  EXPECT_EQ(SaveKilledAfterTheWrite(Path("locked/shot.jpg"), "new", message), 1);
  EXPECT_NE(message.find("Cannot create file \"" + Path("locked/shot.jpg") + "\""), std::string::npos) << message;
  EXPECT_NE(message.find("does not let you add files"), std::string::npos) << message;
  EXPECT_NE(message.find("left as it was"), std::string::npos) << message;
  EXPECT_EQ(ReadAll(Path("locked/shot.jpg")), "a longer old picture");
  EXPECT_EQ(InChild([&] { return SaveOrFail(Path("locked/other.jpg"), "new"); }, true), 1);
  EXPECT_EQ(Entries("locked"), QStringList{"shot.jpg"});
  chmod(Path("locked").c_str(), 0755);
}

// A name the folder cannot take fails before the picture is written, and says so; the
// unnamed file's failed link is not tried again with a named one.
TEST_F(FileReplace, ANameTooLongFailsOnceBeforeWritingAndSaysWhy) {
  int writes = 0;
  OnReplaceContentWritten = [&] { ++writes; };
  const std::string name(296, 'n');
  try {
    Save(Path(name + ".jpg"), "picture");
    ADD_FAILURE() << "saved under a 300-byte name";
  } catch (const EFileCreateError& e) {
    EXPECT_NE(std::string(e.what()).find("The name is 300 bytes long; the folder takes names of at most 255 bytes."),
              std::string::npos)
        << e.what();
  }
  OnReplaceContentWritten = nullptr;
  EXPECT_EQ(writes, 0);
  EXPECT_TRUE(Entries().isEmpty());
}

// A file the user may not change: the message names the reason, and the file stays.
TEST_F(FileReplace, AFileTheUserMayNotChangeSaysWhy) {
  struct Case {
    const char* Name;
    bool OwnedByTheSaver;  // else by root, the saver being an ordinary user
    const char* Reason;
  } cases[] = {{"read-only.jpg", true, "The file is read-only; it is left as it was."},
               {"roots.jpg", false, "The file belongs to another user (root) who has not let you change it"}};
  for (const Case& c : cases) {
    if (!c.OwnedByTheSaver && geteuid() != 0) continue;  // only root can make another user's file
    WriteAll(Path(c.Name), "kept");
    if (c.OwnedByTheSaver && geteuid() == 0) {
      ASSERT_EQ(chown(Path(c.Name).c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(chmod(Path(c.Name).c_str(), c.OwnedByTheSaver ? 0444 : 0644), 0);
    std::string message;
    EXPECT_EQ(SaveKilledAfterTheWrite(Path(c.Name), "new", message, false), 1) << c.Name;
    EXPECT_NE(message.find(c.Reason), std::string::npos) << message;
    EXPECT_EQ(message.find("Permission denied"), std::string::npos) << message;
    EXPECT_EQ(ReadAll(Path(c.Name)), "kept");
  }
  EXPECT_EQ(Entries().size(), geteuid() == 0 ? 2 : 1);
}

// The save journal: a save killed between naming its temporary and renaming it, in a
// folder that no later save visits, is cleared by the next start; a save running at that
// moment (another instance's) keeps its temporary and its record, and ends well.
class SaveJournal : public FileReplace {
 protected:
  void SetUp() override {
    FileReplace::SetUp();
    FOldState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(Path("state")));
    ASSERT_TRUE(QDir(Dir.path()).mkpath("elsewhere"));
    chmod(Path("elsewhere").c_str(), 0777);
  }
  void TearDown() override {
    if (FOldState.isNull())
      qunsetenv("XDG_STATE_HOME");
    else
      qputenv("XDG_STATE_HOME", FOldState);
    OnTemporaryNamed = nullptr;
  }
  QStringList Records() const {
    return QDir(QString::fromStdString(SaveJournalFolder())).entryList(QDir::Files | QDir::Hidden);
  }

 private:
  QByteArray FOldState;
};

// A save in a child process held between naming its temporary and renaming it, as
// another instance of the program would be, until Release; released when the object goes.
class HeldSave {
 public:
  HeldSave(const std::string& APath, const std::string& AText) {
    if (pipe(FGo) != 0 || pipe(FNamed) != 0) return;
    FPid = fork();
    if (FPid == 0) {
      close(FGo[1]);
      close(FNamed[0]);
      OnTemporaryNamed = [this] {
        char c = 0;
        if (write(FNamed[1], "n", 1) != 1 || read(FGo[0], &c, 1) != 1) _exit(3);
      };
      _exit(SaveOrFail(APath, AText));
    }
    close(FGo[0]);
    close(FNamed[1]);
  }
  ~HeldSave() { Release(); }
  // True once the save has named its temporary.
  bool Held() {
    char c = 0;
    return FPid > 0 && read(FNamed[0], &c, 1) == 1;
  }
  // Lets the save end; its exit status (0: saved).
  int Release() {
    if (FPid <= 0) return -1;
    const ssize_t sent = write(FGo[1], "g", 1);
    static_cast<void>(sent);
    close(FGo[1]);
    close(FNamed[0]);
    int status = 0;
    waitpid(FPid, &status, 0);
    FPid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t FPid = -1;
  int FGo[2] = {-1, -1};
  int FNamed[2] = {-1, -1};
};

TEST_F(SaveJournal, AKilledSaveAnywhereIsClearedByTheNextStartAndARunningOneIsLeftAlone) {
  ASSERT_EQ(SaveJournalFolder(), Path("state") + "/Quorvane/Sphaerix/saves-under-way");
  WriteAll(Path("elsewhere/shot.jpg"), "old picture");
  WriteAll(Path("elsewhere/other.jpg"), "other old picture");
  // Another instance replacing a file in the same folder, under way throughout.
  HeldSave running(Path("elsewhere/other.jpg"), "running picture");
  ASSERT_TRUE(running.Held());
  EXPECT_EQ(InChild([&] {
              OnTemporaryNamed = [] { raise(SIGKILL); };
              return SaveOrFail(Path("elsewhere/shot.jpg"), "killed picture");
            }),
            128 + SIGKILL);
  // Both files, the running save's temporary and the one the kill left.
  ASSERT_EQ(Entries("elsewhere").size(), 4) << Entries("elsewhere").join(' ').toStdString();
  ASSERT_EQ(Records().size(), 2);

  EXPECT_EQ(ClearAbandonedSaves(), 1);
  EXPECT_EQ(Entries("elsewhere").size(), 3) << Entries("elsewhere").join(' ').toStdString();
  EXPECT_EQ(ReadAll(Path("elsewhere/shot.jpg")), "old picture");
  EXPECT_EQ(Records().size(), 1);

  EXPECT_EQ(running.Release(), 0);
  EXPECT_EQ(Entries("elsewhere"), (QStringList{"other.jpg", "shot.jpg"}));
  EXPECT_EQ(ReadAll(Path("elsewhere/other.jpg")), "running picture");
  EXPECT_TRUE(Records().isEmpty());
}

}  // namespace
}  // namespace sphaerix

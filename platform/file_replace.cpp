#include "platform/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include "platform/save_journal.h"
#include "scene/material/stream.h"

namespace sphaerix {

std::function<void()> OnReplaceContentWritten;
std::function<void()> OnTemporaryNamed;

namespace {

constexpr char kTempPrefix[] = ".sphaerix-save-";

[[noreturn]] void ThrowCreateError(const std::string& AFileName, const std::string& AReason) {
  throw EFileCreateError("Cannot create file \"" + AFileName + "\". " + AReason);
}

[[noreturn]] void ThrowCreateError(const std::string& AFileName, int AErrno) {
  ThrowCreateError(AFileName, std::strerror(AErrno));
}

mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

// A file descriptor closed when the scope is left.
class TFd {
 public:
  explicit TFd(int AFd = -1) : FFd(AFd) {}
  ~TFd() { Reset(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  void Reset(int AFd = -1) {
    if (FFd >= 0) close(FFd);
    FFd = AFd;
  }
  // Closes now and reports what close says: some file systems report a failed write
  // only there.
  int Close() {
    const int fd = FFd;
    FFd = -1;
    return fd >= 0 && close(fd) != 0 ? errno : 0;
  }

 private:
  int FFd;
};

std::string FolderOf(const std::string& APath) {
  const std::size_t slash = APath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : APath.substr(0, slash);
}

std::string JoinPath(const std::string& AFolder, const std::string& AName) {
  return AFolder == "/" ? "/" + AName : AFolder + "/" + AName;
}

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int WriteAll(int AFd, const void* AData, std::size_t ASize) {
  const auto* p = static_cast<const std::uint8_t*>(AData);
  while (ASize > 0) {
    const ssize_t n = write(AFd, p, ASize);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    p += n;
    ASize -= static_cast<std::size_t>(n);
  }
  return 0;
}

// What the save is about to replace.
struct TTarget {
  std::string Path;    // the file written: the name given, or the end of its links
  std::string Folder;  // the folder that holds Path
  bool Exists = false;
  struct stat Stat {};
};

// Follows a chain of symbolic links from AFileName to the file it ends at, which need
// not exist. 0 or the reason it cannot be followed.
int FollowLinks(const std::string& AFileName, std::string& APath) {
  std::string path = AFileName;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      APath = path;
      return 0;
    }
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return errno;
    if (n == 0) return ENOENT;
    if (static_cast<std::size_t>(n) >= buffer.size()) return ENAMETOOLONG;
    const std::string link(buffer.data(), static_cast<std::size_t>(n));
    path = link[0] == '/' ? link : JoinPath(FolderOf(path), link);
  }
  return ELOOP;
}

// The name of the account AUid, or its number when it has none.
std::string AccountName(uid_t AUid) {
  char buffer[4096];
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(AUid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
    return found->pw_name;
  return "user " + std::to_string(AUid);
}

// Why the user may not change the existing file ATarget, in words: "Permission denied"
// alone leaves them guessing.
std::string WhyNotWritable(const TTarget& ATarget, int AErrno) {
  if (AErrno != EACCES && AErrno != EPERM) return std::strerror(AErrno);
  if (ATarget.Stat.st_uid != geteuid())
    return "The file belongs to another user (" + AccountName(ATarget.Stat.st_uid) +
           ") who has not let you change it; it is left as it was.";
  return "The file is read-only; it is left as it was.";
}

TTarget Examine(const std::string& AFileName) {
  TTarget t;
  if (const int error = FollowLinks(AFileName, t.Path)) ThrowCreateError(AFileName, error);
  t.Folder = FolderOf(t.Path);
  t.Exists = stat(t.Path.c_str(), &t.Stat) == 0;
  if (t.Exists && S_ISDIR(t.Stat.st_mode)) ThrowCreateError(AFileName, EISDIR);
  // A rename would get past a write-protected file that the user could not overwrite.
  if (t.Exists && access(t.Path.c_str(), W_OK) != 0) ThrowCreateError(AFileName, WhyNotWritable(t, errno));
  // Known before any byte is written: the folder would refuse the name only at the end.
  const std::size_t nameLength = t.Path.size() - t.Path.find_last_of('/') - 1;
  const long longest = pathconf(t.Folder.c_str(), _PC_NAME_MAX);
  if (longest > 0 && nameLength > static_cast<std::size_t>(longest))
    ThrowCreateError(AFileName, "The name is " + std::to_string(nameLength) + " bytes long; the folder takes names of at most " +
                                    std::to_string(longest) + " bytes.");
  return t;
}

// The process that made a temporary of ours, from its name, or 0 for a name that is not
// one of ours. Ours are exactly ".sphaerix-save-<pid>-" and then six letters or digits
// (a named temporary) or eight (an unnamed one given a name): nothing else in a folder
// is ever taken for a leftover.
pid_t WriterOf(const char* AName) {
  if (std::strncmp(AName, kTempPrefix, sizeof kTempPrefix - 1) != 0) return 0;
  const char* p = AName + sizeof kTempPrefix - 1;
  const char* digits = p;
  pid_t pid = 0;
  for (; *p >= '0' && *p <= '9' && p - digits < 10; ++p) pid = pid * 10 + (*p - '0');
  if (p == digits || *p != '-') return 0;
  int letters = 0;
  for (++p; *p; ++p, ++letters)
    if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) return 0;
  return letters == 6 || letters == 8 ? pid : 0;
}

// A temporary we cannot open to test its lock (another user's, unreadable to us) is
// abandoned when the process that wrote it is gone.
bool WriterGone(const char* AName) {
  const pid_t pid = WriterOf(AName);
  return kill(pid, 0) != 0 && errno == ESRCH;
}

// Removes hidden temporaries of ours that no save holds any longer: a save killed
// between writing and renaming left them, whoever ran it. A running save keeps its
// temporary locked, so only abandoned ones go.
void RemoveStaleTemporaries(const std::string& AFolder) {
  DIR* dir = opendir(AFolder.c_str());
  if (!dir) return;
  const int dfd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (WriterOf(name) <= 0) continue;
    struct stat byName {};
    if (fstatat(dfd, name, &byName, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(byName.st_mode)) continue;
    TFd fd(openat(dfd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
      if (errno == EACCES && WriterGone(name)) unlinkat(dfd, name, 0);
      continue;
    }
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;
    // Still the file that was locked, not one a new save just put under that name.
    struct stat opened {};
    if (fstat(fd.Get(), &opened) == 0 && fstatat(dfd, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameInode(opened, byName))
      unlinkat(dfd, name, 0);
  }
  closedir(dir);
}

// "<prefix><pid>-": whoever finds the file abandoned can tell whose it was.
std::string TemporaryStem() { return std::string(kTempPrefix) + std::to_string(getpid()) + "-"; }

// The new content on its way: an unnamed file (Name empty) or a named hidden one.
struct TTemporary {
  TFd Fd;
  std::string Name;

  void Discard() {
    Fd.Reset();
    if (!Name.empty()) unlink(Name.c_str());
    Name.clear();
  }
};

// Locks ATemp's file for the whole save, so that a clean-up by another save leaves it
// alone. False when the name no longer leads to it (that clean-up came first).
bool LockTemporary(TTemporary& ATemp) {
  flock(ATemp.Fd.Get(), LOCK_EX);  // file systems without locks: nothing to hold off
  if (ATemp.Name.empty()) return true;
  struct stat opened {}, byName {};
  return fstat(ATemp.Fd.Get(), &opened) == 0 && lstat(ATemp.Name.c_str(), &byName) == 0 &&
         SameInode(opened, byName);
}

int OpenNamedTemporary(const std::string& AFolder, TTemporary& ATemp) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = JoinPath(AFolder, TemporaryStem() + "XXXXXX");
    ATemp.Fd.Reset(mkostemp(name.data(), O_CLOEXEC));
    if (!ATemp.Fd.Valid()) return errno;
    ATemp.Name = name;
    if (LockTemporary(ATemp)) {
      if (OnTemporaryNamed) OnTemporaryNamed();
      return 0;
    }
    ATemp.Fd.Reset();
    ATemp.Name.clear();
  }
  return EEXIST;
}

int OpenTemporary(const TTarget& ATarget, bool AUnnamed, TTemporary& ATemp) {
  if (AUnnamed) {
    ATemp.Fd.Reset(open(ATarget.Folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (ATemp.Fd.Valid()) return LockTemporary(ATemp) ? 0 : EIO;
    // Only a file system without unnamed files is a reason to try a named one.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  }
  return OpenNamedTemporary(ATarget.Folder, ATemp);
}

constexpr int kOwnerNotKept = -1;

// Owner and group first, so that a temporary a kill leaves behind belongs to whoever owns
// the file and can be cleared by that user's next save; then content and mode, all on
// disk. kOwnerNotKept when the file's owner or group cannot be given to the new file
// (only root may give a file away).
int FillTemporary(TTemporary& ATemp, const TTarget& ATarget, const void* AData, std::size_t ASize) {
  const int fd = ATemp.Fd.Get();
  mode_t mode = 0666 & ~CurrentUmask();
  if (ATarget.Exists) {
    mode = ATarget.Stat.st_mode & 07777;
    struct stat made {};
    if (fstat(fd, &made) != 0) return errno;
    if ((made.st_uid != ATarget.Stat.st_uid || made.st_gid != ATarget.Stat.st_gid) &&
        fchown(fd, ATarget.Stat.st_uid, ATarget.Stat.st_gid) != 0)
      return errno == EPERM ? kOwnerNotKept : errno;
  }
  if (const int error = WriteAll(fd, AData, ASize)) return error;
  // After the owner: a change of owner clears the set-user and set-group bits.
  if (fchmod(fd, mode) != 0) return errno;
  if (fsync(fd) != 0) return errno;
  return 0;
}

// Gives the unnamed file of AFd the name APath; EEXIST when that name is taken.
int LinkUnnamed(int AFd, const std::string& APath) {
  const std::string self = "/proc/self/fd/" + std::to_string(AFd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, APath.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  const int error = errno;
  if (error == EEXIST) return error;
  // Without /proc, linking by descriptor needs a privilege most users lack.
  if (linkat(AFd, "", AT_FDCWD, APath.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return errno == EEXIST ? EEXIST : error;
}

// Errors of linking an unnamed file in that a named temporary would not meet.
bool LinkingByDescriptorRefused(int AErrno) {
  return AErrno == ENOENT || AErrno == EPERM || AErrno == EACCES || AErrno == EXDEV || AErrno == EOPNOTSUPP ||
         AErrno == EINVAL;
}

// The content takes the target's place: a new file is linked under its name directly;
// an existing one is replaced by a rename, atomically.
int PutInPlace(TTemporary& ATemp, const TTarget& ATarget) {
  if (ATemp.Name.empty()) {
    if (!ATarget.Exists) {
      const int error = LinkUnnamed(ATemp.Fd.Get(), ATarget.Path);
      if (error != EEXIST) return error;
    }
    std::mt19937_64 random(std::random_device{}());
    const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
      std::string name = TemporaryStem();
      for (int i = 0; i < 8; ++i) name += digits[random() % (sizeof digits - 1)];
      ATemp.Name = JoinPath(ATarget.Folder, name);
      error = LinkUnnamed(ATemp.Fd.Get(), ATemp.Name);
      if (error) ATemp.Name.clear();
    }
    if (error) return error;
    if (OnTemporaryNamed) OnTemporaryNamed();
  }
  if (rename(ATemp.Name.c_str(), ATarget.Path.c_str()) != 0) return errno;
  ATemp.Name.clear();
  return 0;
}

void SyncFolder(const std::string& AFolder) {
  TFd dir(open(AFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) fsync(dir.Get());
}

}  // namespace

void RemoveSaveLeftovers(const std::string& AFolder) {
  if (!AFolder.empty()) RemoveStaleTemporaries(AFolder);
}

void WriteFileReplacing(const std::string& AFileName, const void* AData, std::size_t ASize) {
  const TTarget target = Examine(AFileName);
  RemoveStaleTemporaries(target.Folder);
  // Should the program be killed before the end, the next start finds the folder here.
  const TSaveUnderWay record(target.Folder);
  // An unnamed file first; a named one where the file system has no unnamed files or the
  // unnamed one cannot be linked in.
  for (const bool unnamed : {true, false}) {
    TTemporary temp;
    int error = OpenTemporary(target, unnamed, temp);
    // Writing over the file in place would be the only way left, and a kill or a full
    // disk in the middle of it would leave half the old file and half the new.
    if (error == EACCES || error == EPERM)
      ThrowCreateError(AFileName, "The folder \"" + target.Folder + "\" does not let you add files (" +
                                      std::strerror(error) + ")" +
                                      (target.Exists ? ", so the picture cannot safely replace the file there; "
                                                       "the file is left as it was."
                                                     : "."));
    if (error) ThrowCreateError(AFileName, error);
    error = FillTemporary(temp, target, AData, ASize);
    if (error == kOwnerNotKept) {
      temp.Discard();
      ThrowCreateError(AFileName,
                       "The file belongs to another user, and a picture saved by you in its place could not "
                       "keep that owner; the file is left as it was.");
    }
    if (error) {
      temp.Discard();
      ThrowCreateError(AFileName, error);
    }
    if (OnReplaceContentWritten) OnReplaceContentWritten();
    const bool wasUnnamed = temp.Name.empty();
    error = PutInPlace(temp, target);
    if (error) {
      temp.Discard();
      // An unnamed file that could not be linked in (linking by descriptor needs /proc
      // or a privilege): once more with a named one, which reports its own failure. A
      // reason that a named file would meet as well (a name too long, a full disk) is
      // reported at once, the picture written once.
      if (wasUnnamed && unnamed && LinkingByDescriptorRefused(error)) continue;
      ThrowCreateError(AFileName, error);
    }
    // The rename itself made durable; the content is complete either way.
    SyncFolder(target.Folder);
    return;
  }
}

}  // namespace sphaerix

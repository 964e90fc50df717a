#include "platform/save_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/file_replace.h"
#include "platform/user_folders.h"

namespace sphaerix {

namespace {

constexpr int kRandomLength = 8;

// Makes AFolder and its missing parents, private to the user; true when it is there.
bool MakeFolders(const std::string& AFolder) {
  for (std::size_t at = 1; at != std::string::npos;) {
    at = AFolder.find('/', at + 1);
    const std::string part = AFolder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(AFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "<pid>-<8 letters or digits>": the process that wrote the record, or 0 for a name that
// is not a record's.
pid_t WriterOfRecord(const char* AName) {
  const char* p = AName;
  pid_t pid = 0;
  for (; *p >= '0' && *p <= '9'; ++p) pid = pid * 10 + (*p - '0');
  if (p == AName || *p != '-') return 0;
  int letters = 0;
  for (++p; *p; ++p, ++letters)
    if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) return 0;
  return letters == kRandomLength ? pid : 0;
}

bool ProcessRuns(pid_t APid) { return kill(APid, 0) == 0 || errno == EPERM; }

std::string RandomName() {
  static const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::mt19937_64 random(std::random_device{}());
  std::string name = std::to_string(getpid()) + "-";
  for (int i = 0; i < kRandomLength; ++i) name += digits[random() % (sizeof digits - 1)];
  return name;
}

bool WriteWhole(int AFd, const std::string& AText) {
  std::size_t done = 0;
  while (done < AText.size()) {
    const ssize_t n = write(AFd, AText.data() + done, AText.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The folder a record names, read from its open descriptor.
std::string ReadRecord(int AFd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(AFd, buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > 65536) return {};  // no path is that long: not a record of ours
  }
  return text;
}

}  // namespace

std::string SaveJournalFolder() {
  const std::string state = XdgFolder("XDG_STATE_HOME", ".local/state");
  return state.empty() ? state : state + "/Quorvane/Sphaerix/saves-under-way";
}

TSaveUnderWay::TSaveUnderWay(const std::string& AFolder) {
  const std::string journal = SaveJournalFolder();
  if (journal.empty() || AFolder.empty() || !MakeFolders(journal)) return;
  for (int attempt = 0; attempt < 16 && FFd < 0; ++attempt) {
    FRecord = journal + "/" + RandomName();
    FFd = open(FRecord.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (FFd < 0 && errno != EEXIST) break;
  }
  if (FFd < 0) {
    FRecord.clear();
    return;
  }
  // Held for the whole save: a start meanwhile, of this program or another, leaves it.
  flock(FFd, LOCK_EX);
  // On disk before the save's temporary can be: after a crash of the whole machine the
  // record still leads to it.
  if (!WriteWhole(FFd, AFolder) || fsync(FFd) != 0) {
    unlink(FRecord.c_str());
    close(FFd);
    FFd = -1;
    FRecord.clear();
  }
}

TSaveUnderWay::~TSaveUnderWay() {
  if (FFd < 0) return;
  unlink(FRecord.c_str());
  close(FFd);
}

int ClearAbandonedSaves() {
  const std::string journal = SaveJournalFolder();
  if (journal.empty()) return 0;
  DIR* dir = opendir(journal.c_str());
  if (!dir) return 0;
  const int dfd = dirfd(dir);
  int cleared = 0;
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    const pid_t writer = WriterOfRecord(name);
    // A save still running, or a record being made, is not abandoned.
    if (writer <= 0 || ProcessRuns(writer)) continue;
    const int fd = openat(dfd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {}, byName {};
    // Another start may be clearing it at the same moment: the lock decides which.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        fstatat(dfd, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 && opened.st_ino == byName.st_ino &&
        opened.st_dev == byName.st_dev) {
      const std::string folder = ReadRecord(fd);
      if (!folder.empty() && folder[0] == '/') RemoveSaveLeftovers(folder);
      unlinkat(dfd, name, 0);
      ++cleared;
    }
    close(fd);
  }
  closedir(dir);
  return cleared;
}

}  // namespace sphaerix

#include "platform/quit_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace sphaerix {

namespace {

// A signal handler may do almost nothing: it writes one byte into a pipe that the event
// loop watches.
int QuitPipe[2] = {-1, -1};
const int QuitSignalNumbers[] = {SIGTERM, SIGINT, SIGHUP};
// What each signal did before it was caught, to be given back.
struct sigaction PreviousActions[3];
bool Caught = false;

extern "C" void OnQuitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  const ssize_t written = write(QuitPipe[1], &byte, 1);
  (void)written;  // a full pipe already holds a request
  errno = saved;
}

}  // namespace

void CatchQuitSignals() {
  if (Caught) return;
  if (pipe(QuitPipe) != 0) return;
  for (int fd : QuitPipe) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  Caught = true;
  sigset_t wanted;
  sigemptyset(&wanted);
  for (int i = 0; i < 3; ++i) {
    const int s = QuitSignalNumbers[i];
    sigaction(s, nullptr, &PreviousActions[i]);
    // Started under nohup (or told to ignore it otherwise): the one who started us asked
    // for the signal to go unheard.
    if (PreviousActions[i].sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(s, &action, nullptr);
    sigaddset(&wanted, s);
  }
  // A signal blocked by whoever started us would never arrive; one already waiting is
  // taken now, into the pipe.
  sigprocmask(SIG_UNBLOCK, &wanted, nullptr);
}

TQuitSignals::TQuitSignals(std::function<void()> AOnQuit) : FOnQuit(std::move(AOnQuit)) {
  CatchQuitSignals();
  if (!Caught) return;
  FNotifier = std::make_unique<QSocketNotifier>(QuitPipe[0], QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] {
    char buffer[16];
    while (read(QuitPipe[0], buffer, sizeof buffer) > 0) {
    }
    if (FOnQuit) FOnQuit();
  });
}

TQuitSignals::~TQuitSignals() {
  // After this a signal does what it did before the program caught it: mostly, it ends
  // the process at once.
  if (Caught)
    for (int i = 0; i < 3; ++i) sigaction(QuitSignalNumbers[i], &PreviousActions[i], nullptr);
  Caught = false;
  FNotifier.reset();
  for (int& fd : QuitPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace sphaerix

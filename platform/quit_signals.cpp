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

extern "C" void OnQuitSignal(int) {
  const char byte = 1;
  const ssize_t written = write(QuitPipe[1], &byte, 1);
  (void)written;  // a full pipe already holds a request
}

}  // namespace

TQuitSignals::TQuitSignals(std::function<void()> AOnQuit) : FOnQuit(std::move(AOnQuit)) {
  if (QuitPipe[0] < 0) {
    if (pipe(QuitPipe) != 0) return;
    for (int fd : QuitPipe) {
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
  }
  FNotifier = std::make_unique<QSocketNotifier>(QuitPipe[0], QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] {
    char buffer[16];
    while (read(QuitPipe[0], buffer, sizeof buffer) > 0) {
    }
    if (FOnQuit) FOnQuit();
  });
  struct sigaction action = {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : QuitSignalNumbers) sigaction(s, &action, nullptr);
}

TQuitSignals::~TQuitSignals() {
  // Back to the default: a signal after this ends the process at once.
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int s : QuitSignalNumbers) sigaction(s, &action, nullptr);
  FNotifier.reset();
}

}  // namespace sphaerix

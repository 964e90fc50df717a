// The session's requests to end the program (SIGTERM at logout, SIGHUP when the terminal
// goes, SIGINT from Ctrl+C) turned into a call on the user-interface thread, so the
// program ends as it does when its window is closed instead of being cut off.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace sphaerix {

class TQuitSignals {
 public:
  // Installs the handlers; AOnQuit runs on the thread that made this object, once per
  // signal received. One instance per process.
  explicit TQuitSignals(std::function<void()> AOnQuit);
  ~TQuitSignals();
  TQuitSignals(const TQuitSignals&) = delete;
  TQuitSignals& operator=(const TQuitSignals&) = delete;

 private:
  std::function<void()> FOnQuit;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace sphaerix

// The session's requests to end the program (SIGTERM at logout, SIGHUP when the terminal
// goes, SIGINT from Ctrl+C) turned into a call on the user-interface thread, so the
// program ends as it does when its window is closed instead of being cut off.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace sphaerix {

// Catches the three signals from now on, before anything else is built, so that a
// request in the first moments of the start is kept until the event loop can act on it.
// A signal the program was started to ignore (nohup) stays ignored. Safe to call again.
void CatchQuitSignals();

class TQuitSignals {
 public:
  // Catches the signals (CatchQuitSignals) and runs AOnQuit on the thread that made this
  // object, once for each request received, those that came before it included. One
  // instance per process.
  explicit TQuitSignals(std::function<void()> AOnQuit);
  // Gives each signal back what it had before it was caught.
  ~TQuitSignals();
  TQuitSignals(const TQuitSignals&) = delete;
  TQuitSignals& operator=(const TQuitSignals&) = delete;

 private:
  std::function<void()> FOnQuit;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace sphaerix

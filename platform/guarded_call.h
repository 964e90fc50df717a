// The one wrapper for every place where Qt calls into our code (an event, a paint, a
// timer, a queued call): an exception must never cross Qt's dispatch. It goes to the
// application's standard error report instead, and the event loop goes on.
#pragma once

#include <exception>
#include <utility>

namespace sphaerix {

// The application's standard error report: the installed platform's HandleException
// (a message box, or stderr without a display), or "Sphaerix: <message>" on stderr when
// no platform is installed yet. Never throws.
void ReportException(std::exception_ptr AException) noexcept;

// Runs ACall; an exception escaping it is reported, never rethrown.
template <class F>
void GuardedCall(F&& ACall) noexcept {
  try {
    std::forward<F>(ACall)();
  } catch (...) {
    ReportException(std::current_exception());
  }
}

}  // namespace sphaerix

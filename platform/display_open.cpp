#include "platform/display_open.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QtGlobal>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace sphaerix {

namespace {

// The state of the one OpenDisplayOrExit in progress.
QtMessageHandler GPreviousHandler = nullptr;
std::vector<std::string>* GFailedPlatforms = nullptr;
std::string GRequestedDisplay;
int GRealStderr = -1;

std::string Describe(const std::string& APlatform, const std::string& ARequestedDisplay) {
  if (APlatform == "xcb") {
    if (!ARequestedDisplay.empty()) return "X11 display \"" + ARequestedDisplay + "\"";
    const QByteArray display = qgetenv("DISPLAY");
    return display.isEmpty() ? "X11: DISPLAY is not set" : "X11 display \"" + display.toStdString() + "\"";
  }
  if (APlatform.rfind("wayland", 0) == 0) {
    const QByteArray display = qgetenv("WAYLAND_DISPLAY");
    return "Wayland display \"" + (display.isEmpty() ? std::string("wayland-0") : display.toStdString()) + "\"";
  }
  return "window system \"" + APlatform + "\"";
}

void CollectFailures(QtMsgType AType, const QMessageLogContext& AContext, const QString& AMessage) {
  static const QRegularExpression failedPlugin(
      QStringLiteral("Could not (?:load|find) the Qt platform plugin \"([^\"]*)\""));
  const QRegularExpressionMatch match = failedPlugin.match(AMessage);
  if (match.hasMatch() && GFailedPlatforms) GFailedPlatforms->push_back(match.captured(1).toStdString());
  if (AType == QtFatalMsg && AMessage.contains(QStringLiteral("platform plugin")) && GFailedPlatforms) {
    // The toolkit is about to abort: say which display, plainly, and end as a failure.
    const std::string line = NoDisplayMessage(*GFailedPlatforms, GRequestedDisplay) + "\n";
    if (GRealStderr >= 0) dup2(GRealStderr, STDERR_FILENO);
    const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
    _exit(1);
  }
  if (GPreviousHandler) GPreviousHandler(AType, AContext, AMessage);
}

// Puts standard error back and passes on what was held back while connecting.
void ReleaseStderr(std::FILE* ACapture) {
  if (GRealStderr < 0) return;
  std::fflush(stderr);
  dup2(GRealStderr, STDERR_FILENO);
  close(GRealStderr);
  GRealStderr = -1;
  std::rewind(ACapture);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, ACapture)) > 0;)
    std::fwrite(buffer, 1, n, stderr);
  std::fflush(stderr);
}

}  // namespace

std::string RequestedDisplay(const std::vector<std::string>& AArguments) {
  for (std::size_t i = 0; i < AArguments.size(); ++i) {
    const std::string& a = AArguments[i];
    if ((a == "-display" || a == "--display") && i + 1 < AArguments.size()) return AArguments[i + 1];
    for (const char* prefix : {"-display=", "--display="})
      if (a.rfind(prefix, 0) == 0) return a.substr(std::string(prefix).size());
  }
  return {};
}

std::string NoDisplayMessage(const std::vector<std::string>& APlatforms, const std::string& ARequestedDisplay) {
  std::vector<std::string> parts;
  for (const std::string& p : APlatforms) {
    const std::string part = Describe(p, ARequestedDisplay);
    if (std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(part);
  }
  std::string which;
  for (const std::string& part : parts) which += (which.empty() ? "" : ", ") + part;
  if (which.empty()) which = "no window-system plugin could start";
  return "Sphaerix: no display could be opened (" + which + ").";
}

void OpenDisplayOrExit(const std::function<void()>& AMakeApplication, const std::string& ARequestedDisplay) {
  std::vector<std::string> failed;
  GFailedPlatforms = &failed;
  GRequestedDisplay = ARequestedDisplay;
  // Connecting can print on its own (the Wayland library does): held back, and dropped
  // only when the one line replaces it.
  std::fflush(stderr);
  std::FILE* capture = std::tmpfile();
  if (capture) {
    GRealStderr = dup(STDERR_FILENO);
    if (GRealStderr >= 0) dup2(fileno(capture), STDERR_FILENO);
  }
  GPreviousHandler = qInstallMessageHandler(CollectFailures);
  struct Restore {
    std::FILE* Capture;
    ~Restore() {
      qInstallMessageHandler(GPreviousHandler);
      GPreviousHandler = nullptr;
      GFailedPlatforms = nullptr;
      if (Capture) {
        ReleaseStderr(Capture);
        std::fclose(Capture);
      }
    }
  } restore{capture};
  AMakeApplication();
}

}  // namespace sphaerix

#include "platform/connection_lost.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <regex>

namespace sphaerix {

namespace {

QtMessageHandler GPrevious = nullptr;

void Rewrite(QtMsgType AType, const QMessageLogContext& AContext, const QString& AMessage) {
  const std::string ours = ConnectionLostMessage(AMessage.toStdString());
  if (!ours.empty()) {
    // The toolkit ends the process right after this message.
    std::fprintf(stderr, "%s\n", ours.c_str());
    std::fflush(stderr);
    return;
  }
  if (GPrevious) GPrevious(AType, AContext, AMessage);
}

}  // namespace

std::string ConnectionLostMessage(const std::string& AToolkitMessage) {
  static const std::regex waylandBroke("^The Wayland connection broke\\..*");
  static const std::regex waylandFailed("^The Wayland connection experienced a fatal error: (.*)$");
  static const std::regex x11Broke("^The X11 connection broke: (.*) \\(code \\d+\\)$");
  static const std::regex x11Error("^The X11 connection broke \\(error (\\d+)\\)\\..*");
  std::smatch m;
  if (std::regex_match(AToolkitMessage, waylandBroke))
    return "Sphaerix: the connection to the Wayland compositor broke (the compositor has probably ended); "
           "the program ends.";
  if (std::regex_match(AToolkitMessage, m, waylandFailed))
    return "Sphaerix: the connection to the Wayland compositor failed (" + m[1].str() + "); the program ends.";
  if (std::regex_match(AToolkitMessage, m, x11Broke))
    return "Sphaerix: the connection to the X server broke (" + m[1].str() + "); the program ends.";
  if (std::regex_match(AToolkitMessage, m, x11Error))
    return "Sphaerix: the connection to the X server broke (error " + m[1].str() +
           ", the server has probably ended); the program ends.";
  return {};
}

void SayConnectionLostInOurWords() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  GPrevious = qInstallMessageHandler(Rewrite);
}

}  // namespace sphaerix

#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

#ifndef SPHAERIX_VERSION
#define SPHAERIX_VERSION "0"
#endif

namespace sphaerix {

namespace {

struct TToolkitOption {
  const char* Name;
  bool HasValue;
};

// The standard options of Qt's GUI application and of its X11 and Wayland plugins. They
// are known here only so that they are not refused; the toolkit reads them itself.
const TToolkitOption ToolkitOptions[] = {
    {"platform", true},    {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},   {"qwindowtitle", true},  {"session", true},
    {"display", true},     {"name", true},               {"title", true},         {"visual", true},
    {"geometry", true},    {"style", true},              {"stylesheet", true},    {"reverse", false},
    {"widgetcount", false}, {"nograb", false},           {"dograb", false},       {"sync", false},
};

}  // namespace

TCommandLine ParseCommandLine(const QStringList& AArguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("A viewer of fourteen bodies of the solar system.\n\n"
                     "Keys: F11 full screen, Esc leave full screen, arrows orbit, + and - zoom,\n"
                     "P hide or show the panel, Tab and Space pick a body, R, N, I switch\n"
                     "auto-rotate, names and info, Ctrl+S screenshot, F1 About,\n"
                     "Shift+F10 or the Menu key the menu, Ctrl+Q quit.\n\n"
                     "On a Wayland session it runs natively on Wayland; -platform xcb\n"
                     "(or QT_QPA_PLATFORM=xcb) runs it on X11 instead.\n"
                     "Qt's standard options (-platform, -style, ...) are accepted too."));
  // Qt's own options are written with one dash ("-platform xcb").
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  // Our own help option: the parser's would also offer --help-all, which needs the
  // toolkit running.
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
                                QStringLiteral("Displays this help."));
  parser.addOption(help);
  const QCommandLineOption version = parser.addVersionOption();
  for (const TToolkitOption& o : ToolkitOptions) {
    QCommandLineOption option(QString::fromLatin1(o.Name));
    if (o.HasValue) option.setValueName(QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  TCommandLine result;
  const QString program = AArguments.isEmpty() ? QStringLiteral("sphaerix") : AArguments.first();
  if (!parser.parse(AArguments.isEmpty() ? QStringList{program} : AArguments)) {
    result.Action = TCommandLine::TAction::Error;
    result.Text = QStringLiteral("sphaerix: %1 Try 'sphaerix --help'.").arg(parser.errorText());
    return result;
  }
  if (parser.isSet(help)) {
    result.Action = TCommandLine::TAction::Help;
    // The parser names the program only once the toolkit runs, which --help must not need.
    result.Text = parser.helpText().replace(QStringLiteral("<executable_name>"), QFileInfo(program).fileName());
  } else if (parser.isSet(version)) {
    result.Action = TCommandLine::TAction::Version;
    result.Text = QStringLiteral("Sphaerix %1\n").arg(QStringLiteral(SPHAERIX_VERSION));
  } else if (!parser.positionalArguments().isEmpty()) {
    result.Action = TCommandLine::TAction::Error;
    result.Text = QStringLiteral("sphaerix: Unexpected argument '%1'. Try 'sphaerix --help'.")
                      .arg(parser.positionalArguments().first());
  }
  return result;
}

int HandleCommandLine(int AArgc, char** AArgv) {
  QStringList arguments;
  for (int i = 0; i < AArgc; ++i) arguments << QString::fromLocal8Bit(AArgv[i]);
  const TCommandLine line = ParseCommandLine(arguments);
  switch (line.Action) {
    case TCommandLine::TAction::Run:
      return -1;
    case TCommandLine::TAction::Help:
    case TCommandLine::TAction::Version:
      std::fputs(line.Text.toLocal8Bit().constData(), stdout);
      return 0;
    case TCommandLine::TAction::Error:
      std::fprintf(stderr, "%s\n", line.Text.toLocal8Bit().constData());
      return 2;
  }
  return -1;
}

}  // namespace sphaerix

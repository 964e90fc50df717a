#include "ui/application.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSurfaceFormat>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/connection_lost.h"
#include "platform/display_open.h"
#include "platform/driver_residency.h"
#include "platform/gl_check.h"
#include "platform/guarded_call.h"
#include "platform/process_environment.h"
#include "platform/qt_platform.h"
#include "platform/qt_runtime.h"
#include "platform/quit_signals.h"
#include "ui/accessibility.h"
#include "ui/form.h"
#include "ui/window_steps.h"

namespace sphaerix {

TApplication* Application = nullptr;

TApplication::TApplication() : TSceneObject(nullptr) { Application = this; }

TApplication::~TApplication() {
  // The check's surface goes on the user-interface thread, before the toolkit.
  FOpenGLCheck.reset();
  // Windows go before the toolkit they live in.
  while (!Children().empty()) delete Children().back();
  FQuitSignals.reset();
  FPlatform = nullptr;
  FRuntime.reset();
  // Closing the display unloads the driver; a leak check then still knows its leaks.
  if (FQtApp) KeepGraphicsDriverLoaded();
  FQtApp.reset();
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  static char name[] = "sphaerix";
  FArgv[0] = name;
  int argc = 1;
  Initialize(argc, FArgv);
}

std::string PlatformToAskFor(const std::vector<std::string>& AArguments, const char* AQpaPlatform,
                             const char* ADisplay, const char* AWaylandDisplay) {
  auto set = [](const char* AValue) { return AValue && *AValue; };
  if (set(AQpaPlatform) || !set(AWaylandDisplay)) return {};
  for (size_t i = 1; i < AArguments.size(); ++i) {
    const std::string& a = AArguments[i];
    if (a == "-platform" || a == "--platform" || a.rfind("-platform=", 0) == 0 || a.rfind("--platform=", 0) == 0)
      return {};
  }
  // The toolkit alone would keep to X11 under some desktops even on a Wayland session.
  return set(ADisplay) ? "wayland;xcb" : "wayland";
}

void TApplication::Initialize(int& AArgc, char** AArgv) {
  if (FPlatform) return;
  // A test harness may have made the toolkit's application already.
  if (!QCoreApplication::instance()) {
    FQtArguments.assign(AArgv, AArgv + AArgc);
    const std::string platform = PlatformToAskFor(FQtArguments, std::getenv("QT_QPA_PLATFORM"),
                                                  std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    if (!platform.empty()) {
      FQtArguments.push_back("-platform");
      FQtArguments.push_back(platform);
    }
    // Before the toolkit and the driver read them.
    PrepareProcessEnvironment();
    for (std::string& a : FQtArguments) FQtArgv.push_back(a.data());
    FQtArgv.push_back(nullptr);
    FArgc = static_cast<int>(FQtArguments.size());
    OpenDisplayOrExit([this] { FQtApp = std::make_unique<QApplication>(FArgc, FQtArgv.data()); },
                      RequestedDisplay(FQtArguments));
    SayConnectionLostInOurWords();
    // Asked to end by the session: end as when the main window is closed.
    FQuitSignals = std::make_unique<TQuitSignals>([this] {
      // An open menu or dialog runs a loop of its own that the end of the main loop
      // would not leave: it goes first, as if the user had dismissed it.
      while (QWidget* popup = QApplication::activePopupWidget())
        if (!popup->close()) break;
      while (QWidget* modal = QApplication::activeModalWidget())
        if (!modal->close()) break;
      if (FMainForm)
        GuardedCall([this] { FMainForm->Close(); });
      else
        Terminate();
    });
  }
  QApplication::setApplicationName(QStringLiteral("Sphaerix"));
  QApplication::setOrganizationName(QStringLiteral("Quorvane"));
  // The menu entry's name: it is the Wayland app id, by which docks and task switchers
  // find the entry's icon and group the window with its launcher. On X11 the window
  // class (the application name) is matched through the entry's StartupWMClass.
  QGuiApplication::setDesktopFileName(QStringLiteral("example.quorvane.Sphaerix"));
  // The installed icon, where the desktop's theme has it.
  QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("example.quorvane.Sphaerix")));
  // The main window decides when the program ends, through its close handler.
  QApplication::setQuitOnLastWindowClosed(false);
  FRuntime = std::make_unique<QtRuntime>();
  FPlatform = &FRuntime->Platform();
  FPlatform->SetExceptionHook([this](std::exception_ptr e) { HandleException(e); });
  InstallAccessibility();
  // The viewer cannot show anything without a 3D device; Run says why and ends. The check
  // runs beside the building of the windows.
  QSurfaceFormat::setDefaultFormat(GLWindowFormat());
  FOpenGLCheck = std::make_unique<TOpenGLCheck>();
}

void TApplication::FinishOpenGLCheck() {
  if (!FOpenGLCheck) return;
  std::string why;
  if (!FOpenGLCheck->Passed(why))
    FStartError = "Sphaerix needs OpenGL 3.3, which this display does not offer (" + why + ").";
  FOpenGLCheck.reset();
}

void TApplication::Created(TFormBase* AForm) {
  AddObject(AForm);
  if (!FMainForm) FMainForm = AForm;
  AForm->DoCreate();
}

void TApplication::CreateQueuedForms() {
  // Creation handlers may wait for animations, so requests made meanwhile are kept.
  for (size_t i = 0; i < FPending.size() && !Terminated(); ++i) {
    auto create = FPending[i];
    GuardedCall(create);
  }
  FPending.clear();
}

void TApplication::ShowMainForm() {
  // The check's context is gone before the window makes its own.
  FinishOpenGLCheck();
  if (!FMainForm || Terminated()) return;
  // A test's way to drive the window where no keyboard reaches it; unset in normal use.
  const QString steps = qEnvironmentVariable("SPHAERIX_WINDOW_STEPS");
  if (!steps.isEmpty()) PlayWindowSteps(*FMainForm, steps);
  FMainForm->Show();
}

int TApplication::Run() {
  // The windows are built while the check runs; a check that failed at once spares them.
  if (FOpenGLCheck && FOpenGLCheck->Pending()) CreateQueuedForms();
  FinishOpenGLCheck();
  if (!FStartError.empty()) {
    ShowError(FStartError);
    return 1;
  }
  CreateQueuedForms();
  if (Terminated()) return 0;
  ShowMainForm();
  FPlatform->Run();
  // Whatever the loop says, a program that was asked to end ends well.
  return 0;
}

void TApplication::Terminate() {
  if (FPlatform)
    FPlatform->Terminate();
  else
    QCoreApplication::exit(0);
}

bool TApplication::Terminated() const { return FPlatform && FPlatform->Terminated(); }

void TApplication::ShowError(const std::string& AMessage) {
  if (OnShowError) {
    OnShowError(AMessage);
    return;
  }
  std::fprintf(stderr, "Sphaerix: %s\n", AMessage.c_str());
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return;
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Sphaerix"), QString::fromStdString(AMessage),
                  QMessageBox::Ok);
  box.exec();
}

void TApplication::HandleException(std::exception_ptr AException) {
  try {
    std::rethrow_exception(AException);
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error.");
  }
}

}  // namespace sphaerix

#include "ui/application.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSurfaceFormat>
#include <cstdio>
#include <stdexcept>

#include "platform/bitmap_codecs.h"
#include "platform/gl_check.h"
#include "platform/guarded_call.h"
#include "platform/qt_platform.h"
#include "ui/form.h"

namespace sphaerix {

TApplication* Application = nullptr;

TApplication::TApplication() : TSceneObject(nullptr) { Application = this; }

TApplication::~TApplication() {
  // Windows go before the toolkit they live in.
  while (!Children().empty()) delete Children().back();
  FPlatform.reset();
  SetPlatform(nullptr);
  FQtApp.reset();
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  if (FPlatform) return;
  // A test harness may have made the toolkit's application already.
  if (!QCoreApplication::instance()) {
    static char name[] = "sphaerix";
    FArgv[0] = name;
    FQtApp = std::make_unique<QApplication>(FArgc, FArgv);
  }
  QApplication::setApplicationName(QStringLiteral("Sphaerix"));
  QApplication::setOrganizationName(QStringLiteral("Quorvane"));
  // The installed icon, where the desktop's theme has it.
  QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("sphaerix")));
  // The main window decides when the program ends, through its close handler.
  QApplication::setQuitOnLastWindowClosed(false);
  FPlatform = std::make_unique<QtPlatform>();
  FPlatform->SetExceptionHook([this](std::exception_ptr e) { HandleException(e); });
  SetPlatform(FPlatform.get());
  InstallBitmapCodecs();
  // The viewer cannot show anything without a 3D device; Run says why and ends.
  std::string why;
  QSurfaceFormat::setDefaultFormat(GLSurfaceFormat());
  if (!CheckOpenGL33(why))
    FStartError = "Sphaerix needs OpenGL 3.3, which this display does not offer (" + why + ").";
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
  if (FMainForm && !Terminated()) FMainForm->Show();
}

int TApplication::Run() {
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

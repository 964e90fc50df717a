// The application object: queued window creation, the event loop, termination and the
// standard error report every event, timer and paint hands its exceptions to.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/nodes/object.h"

class QApplication;

namespace sphaerix {

class TFormBase;
class TOpenGLCheck;
class QtPlatform;
class QtRuntime;
class TQuitSignals;

// On a Wayland session the program runs natively on Wayland, sharp at every scale,
// unless the user chose otherwise (QT_QPA_PLATFORM=xcb or -platform xcb); X11 is the
// fallback should the compositor not answer. The window-system list the arguments must
// ask for ("wayland;xcb", "wayland"), or empty where the toolkit's own choice stands.
std::string PlatformToAskFor(const std::vector<std::string>& AArguments, const char* AQpaPlatform,
                             const char* ADisplay, const char* AWaylandDisplay);

class TApplication : public TSceneObject {
 public:
  TApplication();
  ~TApplication() override;

  // Starts the toolkit. The program's arguments go to the toolkit, which takes its
  // standard options (-platform, -style, ...) from them; both must outlive the application.
  void Initialize(int& AArgc, char** AArgv);
  // Starts the toolkit without arguments.
  void Initialize();

  // Queues the creation of a window of class T; Run carries the requests out in order,
  // setting AReference before the window's creation handler runs.
  template <class T>
  void CreateForm(T*& AReference) {
    FPending.push_back([this, &AReference] {
      auto* form = new T(this);
      AReference = form;
      Created(form);
    });
  }

  // Creates the queued windows, shows the main window and dispatches events until
  // Terminate. Returns the process exit code.
  int Run();
  // The two halves of Run before its loop; tests drive the loop themselves.
  void CreateQueuedForms();
  void ShowMainForm();
  // Ends Run once the handler that asked has returned; ends every wait at once.
  void Terminate();
  bool Terminated() const;

  TFormBase* MainForm() const { return FMainForm; }

  // Shows the exception's message (a message box, or stderr without a display); the
  // event loop goes on.
  void HandleException(std::exception_ptr AException);
  // Replaces how HandleException shows a message (tests capture it).
  std::function<void(const std::string&)> OnShowError;

 private:
  void Created(TFormBase* AForm);
  void ShowError(const std::string& AMessage);
  // Waits for the OpenGL check started by Initialize; a failure becomes the start error.
  void FinishOpenGLCheck();

  std::unique_ptr<QApplication> FQtApp;
  std::unique_ptr<TQuitSignals> FQuitSignals;
  // The arguments the toolkit sees, kept alive as long as it runs.
  std::vector<std::string> FQtArguments;
  std::vector<char*> FQtArgv;
  std::unique_ptr<QtRuntime> FRuntime;
  std::unique_ptr<TOpenGLCheck> FOpenGLCheck;
  QtPlatform* FPlatform = nullptr;  // the runtime's
  std::vector<std::function<void()>> FPending;
  TFormBase* FMainForm = nullptr;
  std::string FStartError;
  int FArgc = 1;
  char* FArgv[2] = {nullptr, nullptr};
};

extern TApplication* Application;

}  // namespace sphaerix

// The OpenGL the viewer asks for, and the check at start that the driver gives it.
#pragma once

#include <QSurfaceFormat>
#include <memory>
#include <string>
#include <thread>

class QOffscreenSurface;

namespace sphaerix {

// The surface format every test context asks for: OpenGL 3.3 core, with depth and
// stencil.
QSurfaceFormat GLSurfaceFormat();
// The format of the program's windows: GLSurfaceFormat without depth and stencil. The
// scene is drawn into a target of its own, which has both, and the window only receives
// finished pictures; a software driver clears every buffer it makes, and a full screen's
// depth and stencil would be megabytes touched before the first frame for nothing.
QSurfaceFormat GLWindowFormat();

// True when an OpenGL 3.3 core context can be created and made current and builds the
// drawing programs; otherwise false with the reason in AWhy. Needs a QGuiApplication.
bool CheckOpenGL33(std::string& AWhy);

// CheckOpenGL33 on a worker thread, so that the caller builds its windows meanwhile: a
// software driver takes a good part of the start to make a context and build programs.
// The offscreen surface the check draws on is made at construction, on the calling
// (user-interface) thread, as the toolkit requires; the context lives on the worker.
class TOpenGLCheck {
 public:
  TOpenGLCheck();
  // Waits for the worker.
  ~TOpenGLCheck();
  TOpenGLCheck(const TOpenGLCheck&) = delete;
  TOpenGLCheck& operator=(const TOpenGLCheck&) = delete;

  // True while the answer may still be on its way: false when it was known at once (a
  // surface that cannot be made), or once Passed has waited for it.
  bool Pending() const { return FWorker.joinable(); }
  // Waits for the answer: true when OpenGL 3.3 is usable, otherwise false with the reason
  // in AWhy.
  bool Passed(std::string& AWhy);

 private:
  std::unique_ptr<QOffscreenSurface> FSurface;
  std::thread FWorker;
  bool FPassed = false;
  std::string FWhy;
};

}  // namespace sphaerix

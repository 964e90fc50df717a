// Showing part of a window's back buffer, where the window system can: a frame that
// changed a rectangle of the window (the body turning under a still camera) draws and
// sends that rectangle alone, instead of copying the whole frame into the window and
// sending every pixel of it. The back buffer keeps its content, since it is never
// swapped: what lies outside the rectangle is still the last frame.
//
// Offered on X11 with GLX's MESA_copy_sub_buffer (every Mesa driver); elsewhere (Wayland,
// EGL) windows swap whole frames as before.
#pragma once

#include <QRect>

class QOpenGLContext;
class QWindow;

namespace sphaerix {

class TPartPresenter {
 public:
  // For AContext, which draws into windows of the application's display.
  explicit TPartPresenter(QOpenGLContext* AContext);
  bool Available() const { return FCopySubBuffer != nullptr; }
  // Shows APixels (device pixels, y down from the window's top) of AWindow's back buffer;
  // AContext must be current on AWindow. Flushes what was drawn first.
  void Present(QWindow& AWindow, const QRect& APixels) const;

 private:
  using TCopySubBuffer = void (*)(void* ADisplay, unsigned long ADrawable, int AX, int AY, int AWidth, int AHeight);
  TCopySubBuffer FCopySubBuffer = nullptr;
  void* FDisplay = nullptr;
};

}  // namespace sphaerix

#include "platform/part_present.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <QtGui/qopenglcontext_platform.h>
#include <QOpenGLContext>
#include <QWindow>

#include <cmath>
#include <cstring>

// Last: Xlib's macros would clash with the toolkit's names.
#include <X11/Xlib.h>

namespace sphaerix {

namespace {

bool HasExtension(const char* AList, const char* AName) {
  if (!AList) return false;
  const std::size_t n = std::strlen(AName);
  for (const char* p = std::strstr(AList, AName); p; p = std::strstr(p + n, AName))
    if ((p == AList || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
  return false;
}

}  // namespace

TPartPresenter::TPartPresenter(QOpenGLContext* AContext) {
  if (!AContext || !AContext->nativeInterface<QNativeInterface::QGLXContext>()) return;
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->display()) return;
  using TQueryExtensions = const char* (*)(void* ADisplay, int AScreen);
  const auto query = reinterpret_cast<TQueryExtensions>(AContext->getProcAddress("glXQueryExtensionsString"));
  const auto copy = reinterpret_cast<TCopySubBuffer>(AContext->getProcAddress("glXCopySubBufferMESA"));
  if (!query || !copy) return;
  if (!HasExtension(query(x11->display(), DefaultScreen(x11->display())), "GLX_MESA_copy_sub_buffer")) return;
  FCopySubBuffer = copy;
  FDisplay = x11->display();
}

void TPartPresenter::Present(QWindow& AWindow, const QRect& APixels) const {
  if (!FCopySubBuffer || APixels.isEmpty()) return;
  const int height = static_cast<int>(std::lround(AWindow.height() * AWindow.devicePixelRatio()));
  // GLX counts rows from the bottom. The copy flushes the context's drawing first.
  FCopySubBuffer(FDisplay, AWindow.winId(), APixels.x(), height - APixels.y() - APixels.height(), APixels.width(),
                 APixels.height());
}

}  // namespace sphaerix

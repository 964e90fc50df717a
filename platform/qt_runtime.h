// The scene runtime on Qt: the platform services, the image codecs, and the scene scope
// that installs both. The application makes one after its Qt application object; a test
// or benchmark that needs the real event loop makes its own. Ending it ends the animation
// clock before the platform whose timer drives it.
#pragma once

#include "platform/bitmap_codecs.h"
#include "platform/qt_platform.h"
#include "scene/runtime/scene_runtime.h"

namespace sphaerix {

class QtRuntime {
 public:
  // Needs a Qt application object, which must outlive it.
  QtRuntime();
  QtRuntime(const QtRuntime&) = delete;
  QtRuntime& operator=(const QtRuntime&) = delete;

  QtPlatform& Platform() { return FPlatform; }
  TQtBitmapCodecs& Codecs() { return FCodecs; }
  SceneRuntime& Scene() { return FScene; }

 private:
  // In this order: the scope goes first, then what it installed.
  QtPlatform FPlatform;
  TQtBitmapCodecs FCodecs;
  SceneRuntime FScene;
};

}  // namespace sphaerix

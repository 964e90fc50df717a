// The OpenGL the viewer asks for, and the check at start that the driver gives it.
#pragma once

#include <QSurfaceFormat>
#include <string>

namespace sphaerix {

// The surface format every window and test context asks for: OpenGL 3.3 core.
QSurfaceFormat GLSurfaceFormat();

// True when an OpenGL 3.3 core context can be created and made current and builds the
// drawing programs; otherwise false with the reason in AWhy. Needs a QGuiApplication.
bool CheckOpenGL33(std::string& AWhy);

}  // namespace sphaerix

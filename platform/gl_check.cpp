#include "platform/gl_check.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLVersionFunctionsFactory>
#include <exception>
#include <system_error>
#include <utility>

#include "platform/gl_programs.h"

namespace sphaerix {

QSurfaceFormat GLSurfaceFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  format.setAlphaBufferSize(8);
  return format;
}

QSurfaceFormat GLWindowFormat() {
  QSurfaceFormat format = GLSurfaceFormat();
  format.setDepthBufferSize(0);
  format.setStencilBufferSize(0);
  return format;
}

namespace {

// The check proper, on a surface made already: a context of the version asked for, made
// current on this thread, that builds the drawing programs.
bool CheckContext(QOffscreenSurface& ASurface, std::string& AWhy) {
  QOpenGLContext context;
  context.setFormat(GLSurfaceFormat());
  if (!context.create()) {
    AWhy = "no OpenGL 3.3 core context can be created";
    return false;
  }
  const QSurfaceFormat got = context.format();
  if (got.version() < qMakePair(3, 3) || got.renderableType() != QSurfaceFormat::OpenGL) {
    AWhy = "the OpenGL driver offers version " + std::to_string(got.majorVersion()) + "." +
           std::to_string(got.minorVersion()) + ", 3.3 core is needed";
    return false;
  }
  if (!context.makeCurrent(&ASurface)) {
    AWhy = "the OpenGL context cannot be made current";
    return false;
  }
  const bool functions = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context) != nullptr;
  // A driver may claim the version and still refuse its shading language; finding out
  // here says so once, instead of failing every frame.
  std::string log;
  if (functions) {
    const std::string lightVertex = LightVertexSource(8);
    const std::pair<const char*, const char*> programs[] = {{lightVertex.c_str(), LightPixelSource()},
                                                            {TextureVertexSource(), TexturePixelSource()},
                                                            {FrameVertexSource(), FramePixelSource()}};
    for (const auto& [vertex, pixel] : programs) {
      QOpenGLShaderProgram program;
      if (!program.addShaderFromSourceCode(QOpenGLShader::Vertex, vertex) ||
          !program.addShaderFromSourceCode(QOpenGLShader::Fragment, pixel) || !program.link()) {
        log = program.log().trimmed().toStdString();
        break;
      }
    }
  }
  context.doneCurrent();
  if (!functions) {
    AWhy = "the OpenGL driver does not offer the 3.3 core functions";
    return false;
  }
  if (!log.empty()) {
    AWhy = "the OpenGL driver cannot build the drawing programs: " + log;
    return false;
  }
  return true;
}

}  // namespace

TOpenGLCheck::TOpenGLCheck() : FSurface(std::make_unique<QOffscreenSurface>()) {
  FSurface->setFormat(GLSurfaceFormat());
  FSurface->create();
  if (!FSurface->isValid()) {
    FWhy = "no OpenGL surface can be created on this display";
    return;
  }
  try {
    FWorker = std::thread([this] {
      try {
        FPassed = CheckContext(*FSurface, FWhy);
      } catch (const std::exception& e) {
        FPassed = false;
        FWhy = e.what();
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: the check runs here.
    FPassed = CheckContext(*FSurface, FWhy);
  }
}

TOpenGLCheck::~TOpenGLCheck() {
  if (FWorker.joinable()) FWorker.join();
}

bool TOpenGLCheck::Passed(std::string& AWhy) {
  if (FWorker.joinable()) FWorker.join();
  if (!FPassed) AWhy = FWhy;
  return FPassed;
}

bool CheckOpenGL33(std::string& AWhy) {
  TOpenGLCheck check;
  return check.Passed(AWhy);
}

}  // namespace sphaerix

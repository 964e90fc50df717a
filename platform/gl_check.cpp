#include "platform/gl_check.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <cctype>
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

// Builds one program from AVertex and APixel exactly as the device does (the same calls on
// the same text, so that a driver with a shader cache finds the device's programs there
// afterwards); false with the driver's log in ALog when it cannot.
bool BuildProgram(QOpenGLFunctions_3_3_Core& AGL, const char* AVertex, const char* APixel, std::string& ALog) {
  // The driver's log of a shader or a program that failed.
  auto keepLog = [&](void (QOpenGLFunctions_3_3_Core::*AGetLog)(GLuint, GLsizei, GLsizei*, GLchar*), GLuint AId) {
    char log[2048] = {};
    (AGL.*AGetLog)(AId, sizeof log, nullptr, log);
    ALog = log;
  };
  auto compile = [&](GLenum AType, const char* ASource) -> GLuint {
    const GLuint shader = AGL.glCreateShader(AType);
    AGL.glShaderSource(shader, 1, &ASource, nullptr);
    AGL.glCompileShader(shader);
    GLint ok = 0;
    AGL.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    keepLog(&QOpenGLFunctions_3_3_Core::glGetShaderInfoLog, shader);
    AGL.glDeleteShader(shader);
    return 0;
  };
  const GLuint vertex = compile(GL_VERTEX_SHADER, AVertex);
  if (!vertex) return false;
  const GLuint pixel = compile(GL_FRAGMENT_SHADER, APixel);
  if (!pixel) {
    AGL.glDeleteShader(vertex);
    return false;
  }
  const GLuint program = AGL.glCreateProgram();
  AGL.glAttachShader(program, vertex);
  AGL.glAttachShader(program, pixel);
  AGL.glLinkProgram(program);
  AGL.glDeleteShader(vertex);
  AGL.glDeleteShader(pixel);
  GLint ok = 0;
  AGL.glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) keepLog(&QOpenGLFunctions_3_3_Core::glGetProgramInfoLog, program);
  AGL.glDeleteProgram(program);
  return ok != 0;
}

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
  auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
  const bool functions = gl && gl->initializeOpenGLFunctions();
  // A driver may claim the version and still refuse its shading language; finding out
  // here says so once, instead of failing every frame. The programs are those of the first
  // frame: the light program as one or two lights use it, the texture and the frame
  // programs. Those that only make later frames cheaper are built when first used, and
  // a driver that cannot build them only goes without.
  std::string log;
  if (functions) {
    const std::string lightVertex = LightVertexSource(2);
    const std::pair<const char*, const char*> programs[] = {{lightVertex.c_str(), LightPixelSource()},
                                                            {TextureVertexSource(), TexturePixelSource()},
                                                            {FrameVertexSource(), FramePixelSource()}};
    for (const auto& [vertex, pixel] : programs)
      if (!BuildProgram(*gl, vertex, pixel, log)) {
        while (!log.empty() && std::isspace(static_cast<unsigned char>(log.back()))) log.pop_back();
        if (log.empty()) log = "the driver gives no reason";
        break;
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

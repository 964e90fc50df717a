// One frame of the viewer's scene at 1920 x 1080 with 4 samples, drawn by the viewport
// (TViewport3D with the OpenGL device), against a bare OpenGL loop that draws the same
// meshes with the same textures, samples and states and resolves the same way, in the
// same run. Runs are interleaved so that both see the same machine load; medians of the
// per-frame times are compared. glFinish ends every frame so that the device's work is
// counted, not only the submission.
//
// Needs a display with OpenGL 3.3 (Mesa's llvmpipe under Xvfb will do).
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gl_check.h"
#include "platform/gl_context.h"
#include "tests/scene/viewport_fakes.h"
#include "tests/scene/window_fakes.h"
#include "scene/bitmap.h"
#include "scene/camera.h"
#include "scene/light.h"
#include "scene/material_source.h"
#include "scene/mesh.h"
#include "scene/viewport3d.h"
#include "ui/gl_viewport_renderer.h"

using namespace sphaerix;

namespace {

using Clock = std::chrono::steady_clock;


// A texture-sized bitmap with some structure (so no driver can shortcut it).
void Fill(TBitmap& ABitmap, int AW, int AH, bool AAlpha) {
  ABitmap.SetSize(AW, AH);
  for (int y = 0; y < AH; ++y) {
    std::uint32_t* row = ABitmap.Scanline(y);
    for (int x = 0; x < AW; ++x) {
      const std::uint32_t v = (x * 7 + y * 13) & 0xFF;
      const std::uint32_t a = AAlpha ? ((x ^ y) & 0xFF) : 0xFF;
      const std::uint32_t c = v * a / 255;
      row[x] = (a << 24) | (c << 16) | ((c / 2) << 8) | (255 - v) * a / 255;
    }
  }
  ABitmap.BitmapChanged();
}

// The device pieces come first among the bases, so they outlive the scene.
struct Device {
  sphaerix::testing::FakeWindow root;
  TGLViewportRenderer renderer;
};

// The viewer's scene, as the layout builds it.
struct ViewerScene : Device, sphaerix::testing::TViewerTree {
  ViewerScene() : TViewerTree(renderer) {
    BuildTree(root);
    sphere1->Scale().SetPoint({10, 10, 10});
    sphere1->SetSubdivisionsAxes(50);
    sphere1->SetSubdivisionsHeight(50);
    sphere1->SetWrapMode(TMeshWrapMode::Fit);
    disk1->Scale().SetPoint({2.2f, 2.2f, 2.2f});
    disk1->SetSubdivisionsAxes(50);
    disk1->SetTwoSide(true);
    disk1->RotationAngle().SetX(-20);
    sphere2->Scale().SetPoint({500, 500, 500});
    sphere2->SetTwoSide(true);
    planet->SetDiffuse(0xFFA4A4A4);
    planet->SetAmbient(0xFF585858);
    planet->SetEmissive(claNull);
    planet->SetSpecular(claNull);
    Fill(planet->Texture(), 4096, 2048, false);
    Fill(stars->Texture(), 6000, 3000, true);
    Fill(ring->Texture(), 4096, 4096, true);
    sphere1->SetMaterialSource(planet);
    sphere2->SetMaterialSource(stars);
    disk1->SetMaterialSource(ring);
    viewport->SetSize(1920, 1080);
  }
};

// The same picture with nothing but OpenGL: one lit program with one directional light,
// one texture program, buffers and textures uploaded once.
class BareLoop {
 public:
  BareLoop(QOpenGLFunctions_3_3_Core* AGL, ViewerScene& AScene) : gl(AGL), scene(AScene) {
    lit = Link(R"(#version 330 core
layout(location = 0) in vec3 p; layout(location = 1) in vec3 n; layout(location = 2) in vec2 t;
uniform mat4 mvp; uniform mat4 model; uniform vec3 dir;
out vec4 c; out vec2 uv;
void main() {
  vec4 clip = mvp * vec4(p, 1.0); clip.z = 2.0 * clip.z - clip.w; gl_Position = clip;
  vec3 N = normalize(mat3(transpose(inverse(model))) * n);
  float k = max(0.0, dot(-N, dir));
  c = vec4(clamp(vec3(0.345098) + vec3(0.643137) * k, 0.0, 1.0), 1.0); uv = t;
})",
                R"(#version 330 core
in vec4 c; in vec2 uv; uniform sampler2D tex; uniform float opacity; out vec4 o;
void main() { o = c * texture(tex, uv) * opacity; })");
    textured = Link(R"(#version 330 core
layout(location = 0) in vec3 p; layout(location = 2) in vec2 t; uniform mat4 mvp; out vec2 uv;
void main() { vec4 clip = mvp * vec4(p, 1.0); clip.z = 2.0 * clip.z - clip.w; gl_Position = clip; uv = t; })",
                    R"(#version 330 core
in vec2 uv; uniform sampler2D tex; uniform float opacity; out vec4 o;
void main() { o = texture(tex, uv) * opacity; })");
    meshes.push_back(Upload(*scene.sphere2, scene.stars->Texture(), false));
    meshes.push_back(Upload(*scene.sphere1, scene.planet->Texture(), true));
    meshes.push_back(Upload(*scene.disk1, scene.ring->Texture(), false));
    gl->glGenRenderbuffers(2, rb);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, rb[0]);
    gl->glRenderbufferStorageMultisample(GL_RENDERBUFFER, 4, GL_RGBA8, 1920, 1080);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, rb[1]);
    gl->glRenderbufferStorageMultisample(GL_RENDERBUFFER, 4, GL_DEPTH24_STENCIL8, 1920, 1080);
    gl->glGenFramebuffers(2, fbo);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo[0]);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb[0]);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, rb[1]);
    gl->glGenTextures(1, &frame);
    gl->glBindTexture(GL_TEXTURE_2D, frame);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1920, 1080, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo[1]);
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frame, 0);
  }

  void Frame() {
    const TMatrix3D view = scene.camera1->CameraMatrix();
    const TMatrix3D proj = TMatrix3D::CreatePerspectiveFovRH(45 * 3.14159265f / 180, 1920.0f / 1080, 1, 1000);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo[0]);
    gl->glViewport(0, 0, 1920, 1080);
    gl->glClearColor(0, 0, 0, 0);
    gl->glClearDepth(1);
    gl->glDepthMask(GL_TRUE);
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    gl->glEnable(GL_DEPTH_TEST);
    gl->glDepthFunc(GL_LEQUAL);
    gl->glEnable(GL_BLEND);
    gl->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    gl->glFrontFace(GL_CW);
    const TVector3D dir = scene.light1->AbsoluteDirection();
    for (Mesh& m : meshes) {
      if (m.TwoSide)
        gl->glDisable(GL_CULL_FACE);
      else
        gl->glEnable(GL_CULL_FACE);
      const TMatrix3D model = m.Node->WrapMatrix() * m.Node->AbsoluteMatrix();
      const TMatrix3D mvp = model * view * proj;
      const GLuint program = m.Lit ? lit : textured;
      gl->glUseProgram(program);
      gl->glUniformMatrix4fv(gl->glGetUniformLocation(program, "mvp"), 1, GL_FALSE, &mvp.m[0][0]);
      if (m.Lit) {
        gl->glUniformMatrix4fv(gl->glGetUniformLocation(program, "model"), 1, GL_FALSE, &model.m[0][0]);
        gl->glUniform3f(gl->glGetUniformLocation(program, "dir"), dir.X, dir.Y, dir.Z);
      }
      gl->glUniform1f(gl->glGetUniformLocation(program, "opacity"), m.Node->AbsoluteOpacity());
      gl->glUniform1i(gl->glGetUniformLocation(program, "tex"), 0);
      gl->glBindTexture(GL_TEXTURE_2D, m.Texture);
      gl->glBindVertexArray(m.Vao);
      gl->glDrawElements(GL_TRIANGLES, m.Count, GL_UNSIGNED_INT, nullptr);
    }
    gl->glBindVertexArray(0);
    gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo[0]);
    gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo[1]);
    gl->glBlitFramebuffer(0, 0, 1920, 1080, 0, 0, 1920, 1080, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }

 private:
  struct Mesh {
    TCustomMesh* Node;
    GLuint Vao, Buffers[2], Texture;
    GLsizei Count;
    bool Lit, TwoSide;
  };

  Mesh Upload(TCustomMesh& ANode, const TBitmap& ATexture, bool ALit) {
    Mesh m{&ANode, 0, {0, 0}, 0, ANode.Data().IndexBuffer().Length(), ALit, ANode.TwoSide()};
    gl->glGenVertexArrays(1, &m.Vao);
    gl->glBindVertexArray(m.Vao);
    gl->glGenBuffers(2, m.Buffers);
    const TVertexBuffer& vb = ANode.Data().VertexBuffer();
    gl->glBindBuffer(GL_ARRAY_BUFFER, m.Buffers[0]);
    gl->glBufferData(GL_ARRAY_BUFFER, vb.Size(), vb.Data(), GL_STATIC_DRAW);
    gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m.Buffers[1]);
    gl->glBufferData(GL_ELEMENT_ARRAY_BUFFER, ANode.Data().IndexBuffer().Size(), ANode.Data().IndexBuffer().Data(),
                     GL_STATIC_DRAW);
    for (GLuint i = 0; i < 3; ++i) gl->glEnableVertexAttribArray(i);
    gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 32, reinterpret_cast<void*>(0));
    gl->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 32, reinterpret_cast<void*>(12));
    gl->glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 32, reinterpret_cast<void*>(24));
    gl->glBindVertexArray(0);
    gl->glGenTextures(1, &m.Texture);
    gl->glBindTexture(GL_TEXTURE_2D, m.Texture);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, ATexture.Width(), ATexture.Height(), 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     ATexture.Bits());
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    return m;
  }

  GLuint Link(const char* AVertex, const char* APixel) {
    GLuint program = gl->glCreateProgram();
    for (auto [type, source] : {std::pair{GLenum(GL_VERTEX_SHADER), AVertex}, {GLenum(GL_FRAGMENT_SHADER), APixel}}) {
      GLuint s = gl->glCreateShader(type);
      gl->glShaderSource(s, 1, &source, nullptr);
      gl->glCompileShader(s);
      gl->glAttachShader(program, s);
      gl->glDeleteShader(s);
    }
    gl->glLinkProgram(program);
    return program;
  }

  QOpenGLFunctions_3_3_Core* gl;
  ViewerScene& scene;
  GLuint lit = 0, textured = 0;
  std::vector<Mesh> meshes;
  GLuint rb[2] = {0, 0}, fbo[2] = {0, 0}, frame = 0;
};

template <typename F>
double MillisPerFrame(QOpenGLFunctions_3_3_Core* gl, int AFrames, F&& ADraw) {
  const auto start = Clock::now();
  for (int i = 0; i < AFrames; ++i) {
    ADraw();
    gl->glFinish();
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / AFrames;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  std::string why;
  if (!CheckOpenGL33(why)) {
    std::fprintf(stderr, "bench_frame: %s\n", why.c_str());
    return 1;
  }
  QOffscreenSurface surface;
  surface.setFormat(GLSurfaceFormat());
  surface.create();
  QOpenGLContext context;
  context.setFormat(GLSurfaceFormat());
  if (!context.create() || !context.makeCurrent(&surface)) {
    std::fprintf(stderr, "bench_frame: no OpenGL context\n");
    return 1;
  }
  auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
  gl->initializeOpenGLFunctions();

  ViewerScene scene;
  BareLoop bare(gl, scene);
  // The first frames upload textures and compile programs: not part of the figure.
  scene.viewport->RenderFrame();
  bare.Frame();
  gl->glFinish();
  auto* target = dynamic_cast<TGLRenderContext*>(scene.viewport->RenderContext());
  std::printf("renderer: %s, samples: %d\n", reinterpret_cast<const char*>(gl->glGetString(GL_RENDERER)),
              target ? target->SampleCount() : 0);

  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const int frames = 5;
  std::vector<double> viewport, baseline;
  for (int r = 0; r < rounds; ++r) {
    baseline.push_back(MillisPerFrame(gl, frames, [&] { bare.Frame(); }));
    viewport.push_back(MillisPerFrame(gl, frames, [&] { scene.viewport->RenderFrame(); }));
  }
  const double v = Median(viewport), b = Median(baseline);
  std::printf("viewport frame: %.2f ms, bare OpenGL frame: %.2f ms (medians of %d rounds of %d frames)\n", v, b,
              rounds, frames);
  std::printf("ratio viewport / bare OpenGL: %.3f (aim <= 1.15)\n", v / b);
  return 0;
}

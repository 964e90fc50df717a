// What the turning body costs, full screen at 1920 x 1080: the viewer's processor share
// (cores) and pictures a second while the body spins, and its processor time per picture
// against a floor measured in the same run: a minimal program that draws one textured,
// lit sphere of the same size on the screen with the same settings (the same map with
// its mip levels, the same sampling and samples a pixel, blending and depth test on),
// every picture in full, turning at the same speed.
//
// Both are measured with the viewer's settings now (one sample a pixel, the outline
// smoothed in the pixel programs, the globe sampled without anisotropy, frames paced by
// what moves, partial redraw, and only the changed part of the window drawn and shown
// where the window system can) and with the settings it had before (four samples a
// pixel, which also brings back the globe's anisotropy, a frame at each tick of the
// clock, and the whole window at each frame), in alternating rounds so that each sees the same machine load; for Earth
// and Saturn. The floor has the same two settings. Both of the viewer's settings keep
// what its frames do whatever the samples: the sky behind an opaque body is not shaded,
// and a ring with a round picture is drawn turned one fixed way (its turn with the body
// redraws the body alone) and laid twice over itself in one draw.
//
// Left out: the X server's share of showing each picture (another process); the
// minimal program draws neither the stars, nor the ring, nor the 2D overlay, which the
// viewer's per-picture figure includes.
//
// Needs a display with OpenGL 3.3, for instance a virtual one at 1920 x 1080 with a
// window manager:
//   Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp &  openbox &
//   DISPLAY=:97 LIBGL_ALWAYS_SOFTWARE=1 bench_frame [rounds]
#include <QElapsedTimer>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QOpenGLWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/harness.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "app/Unit2Catalogue.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"
#include "ui/window_compositor.h"

using namespace sphaerix;

namespace {

struct TSpin {
  double Cores = 0;          // processor seconds per wall second
  double Pictures = 0;       // pictures a second
  double PerPicture = 0;     // processor seconds per picture
};

// The processor and the pictures over AMs of running, pictures counted by ACount.
template <typename TCount>
TSpin Measure(int AMs, TCount ACount) {
  const unsigned long long pictures0 = ACount();
  const double cpu0 = bench::CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  bench::Pump(AMs);
  const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
  const double cpu = bench::CpuSeconds() - cpu0;
  const auto pictures = static_cast<double>(ACount() - pictures0);
  return {cpu / seconds, pictures / seconds, pictures > 0 ? cpu / pictures : 0};
}

TSpin Median(std::vector<TSpin> AValues) {
  auto middle = [&](double TSpin::*AField) {
    std::vector<double> v;
    for (const TSpin& s : AValues) v.push_back(s.*AField);
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  return {middle(&TSpin::Cores), middle(&TSpin::Pictures), middle(&TSpin::PerPicture)};
}

// The viewer's settings before the outline was smoothed in the pixel programs, frames
// were paced and the window shown in part, or now.
void UseSettings(bool ABefore) {
  Form2->Viewport3D1->SetMultisample(ABefore ? TMultisample::FourSamples : TMultisample::None);
  Form2->Viewport3D1->SetPaceFrames(!ABefore);
  Form2->Window()->Compositor().SetPresentParts(!ABefore);
}

// The floor: one lit, textured sphere, drawn in full into the window at every paint.
class TMinimalSphere : public QOpenGLWindow {
 public:
  // ABefore: the settings before (four samples a pixel, anisotropy 8); else those now
  // (one sample, trilinear sampling), as the viewer draws its globe.
  TMinimalSphere(const TBitmap& AMap, const TMatrix3D& AModel, const TMatrix3D& AViewProjection, bool ABefore)
      : FMap(AMap), FModel(AModel), FViewProjection(AViewProjection), FSamples(ABefore ? 4 : 1),
        FAnisotropy(ABefore ? 8.0f : 1.0f) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    setFormat(format);
    FClock.start();
  }
  unsigned long long Pictures() const { return FPictures; }

 protected:
  void initializeGL() override {
    FGL = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context());
    FGL->initializeOpenGLFunctions();
    const char* vertex = R"(#version 330 core
layout(location = 0) in vec3 a_Position;
layout(location = 1) in vec3 a_Normal;
layout(location = 2) in vec2 a_TexCoord0;
uniform mat4 MVP;
uniform mat4 Model;
out vec2 v_TexCoord;
out float v_Light;
void main() {
  gl_Position = MVP * vec4(a_Position, 1.0);
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
  v_Light = max(0.0, -normalize(mat3(Model) * a_Normal).z) * 0.8 + 0.2;
  v_TexCoord = a_TexCoord0;
})";
    const char* pixel = R"(#version 330 core
in vec2 v_TexCoord;
in float v_Light;
uniform sampler2D map;
out vec4 FragColor;
void main() { FragColor = vec4(texture(map, v_TexCoord).rgb * v_Light, 1.0); })";
    FProgram = FGL->glCreateProgram();
    for (auto [type, source] : {std::pair{GLenum(GL_VERTEX_SHADER), vertex}, {GLenum(GL_FRAGMENT_SHADER), pixel}}) {
      const GLuint shader = FGL->glCreateShader(type);
      FGL->glShaderSource(shader, 1, &source, nullptr);
      FGL->glCompileShader(shader);
      FGL->glAttachShader(FProgram, shader);
    }
    FGL->glLinkProgram(FProgram);

    TMeshData mesh;
    BuildSphereMesh(mesh, 50, 50);
    FIndexCount = mesh.IndexBuffer().Length();
    FGL->glGenVertexArrays(1, &FVao);
    FGL->glBindVertexArray(FVao);
    GLuint buffers[2];
    FGL->glGenBuffers(2, buffers);
    FGL->glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    FGL->glBufferData(GL_ARRAY_BUFFER, mesh.VertexBuffer().Size(), mesh.VertexBuffer().Data(), GL_STATIC_DRAW);
    FGL->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    FGL->glBufferData(GL_ELEMENT_ARRAY_BUFFER, mesh.IndexBuffer().Size(), mesh.IndexBuffer().Data(), GL_STATIC_DRAW);
    const GLsizei stride = TVertexBuffer::VertexSize();
    for (GLuint i = 0; i < 3; ++i) FGL->glEnableVertexAttribArray(i);
    FGL->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TMeshVertex, Vertex)));
    FGL->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TMeshVertex, Normal)));
    FGL->glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                               reinterpret_cast<void*>(offsetof(TMeshVertex, TexCoord0)));

    // The map as the viewer holds it: every level, trilinear, anisotropy 8.
    FGL->glGenTextures(1, &FTexture);
    FGL->glBindTexture(GL_TEXTURE_2D, FTexture);
    const int levels = TBitmap::FullMipChain(FMap.Width(), FMap.Height());
    for (int level = 0, w = FMap.Width(), h = FMap.Height(); level < levels; ++level) {
      FGL->glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                        level == 0 ? FMap.Bits() : FMap.MipLevel(level));
      w = std::max(1, w / 2);
      h = std::max(1, h / 2);
    }
    FGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    FGL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    FGL->glTexParameterf(GL_TEXTURE_2D, 0x84FE /* GL_TEXTURE_MAX_ANISOTROPY */, FAnisotropy);
  }

  // Drawn, as the viewer draws, into a target of FSamples samples a pixel with a depth
  // buffer, then resolved into the window.
  void resizeGL(int, int) override {
    const GLsizei w = static_cast<GLsizei>(width() * devicePixelRatio());
    const GLsizei h = static_cast<GLsizei>(height() * devicePixelRatio());
    if (w == FWidth && h == FHeight) return;
    FWidth = w;
    FHeight = h;
    if (!FFbo) {
      FGL->glGenFramebuffers(1, &FFbo);
      FGL->glGenRenderbuffers(2, FBuffers);
    }
    FGL->glBindFramebuffer(GL_FRAMEBUFFER, FFbo);
    for (int i = 0; i < 2; ++i) {
      FGL->glBindRenderbuffer(GL_RENDERBUFFER, FBuffers[i]);
      const GLenum format = i == 0 ? GL_RGBA8 : GL_DEPTH24_STENCIL8;
      if (FSamples > 1)
        FGL->glRenderbufferStorageMultisample(GL_RENDERBUFFER, FSamples, format, w, h);
      else
        FGL->glRenderbufferStorage(GL_RENDERBUFFER, format, w, h);
    }
    FGL->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, FBuffers[0]);
    FGL->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, FBuffers[1]);
    FGL->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
  }

  void paintGL() override {
    if (!FFbo) resizeGL(width(), height());
    FGL->glBindFramebuffer(GL_FRAMEBUFFER, FFbo);
    // Three degrees a second, as the viewer's body turns.
    const float angle = static_cast<float>(FClock.elapsed()) * 0.003f;
    TMatrix3D turn;
    const float c = std::cos(angle * 3.14159265f / 180), s = std::sin(angle * 3.14159265f / 180);
    turn.m[0][0] = c;
    turn.m[0][2] = -s;
    turn.m[2][0] = s;
    turn.m[2][2] = c;
    const TMatrix3D model = turn * FModel;
    const TMatrix3D mvp = model * FViewProjection;
    FGL->glViewport(0, 0, static_cast<GLsizei>(width() * devicePixelRatio()),
                    static_cast<GLsizei>(height() * devicePixelRatio()));
    FGL->glClearColor(0, 0, 0, 0);
    FGL->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    FGL->glEnable(GL_DEPTH_TEST);
    FGL->glDepthFunc(GL_LEQUAL);
    FGL->glEnable(GL_BLEND);
    FGL->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    FGL->glEnable(GL_CULL_FACE);
    FGL->glFrontFace(GL_CW);
    FGL->glUseProgram(FProgram);
    FGL->glUniformMatrix4fv(FGL->glGetUniformLocation(FProgram, "MVP"), 1, GL_FALSE, &mvp.m[0][0]);
    FGL->glUniformMatrix4fv(FGL->glGetUniformLocation(FProgram, "Model"), 1, GL_FALSE, &model.m[0][0]);
    FGL->glBindTexture(GL_TEXTURE_2D, FTexture);
    FGL->glBindVertexArray(FVao);
    FGL->glDrawElements(GL_TRIANGLES, FIndexCount, GL_UNSIGNED_INT, nullptr);
    FGL->glBindFramebuffer(GL_READ_FRAMEBUFFER, FFbo);
    FGL->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
    FGL->glBlitFramebuffer(0, 0, FWidth, FHeight, 0, 0, FWidth, FHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    ++FPictures;
    update();
  }

 private:
  const TBitmap& FMap;
  TMatrix3D FModel, FViewProjection;
  QElapsedTimer FClock;
  QOpenGLFunctions_3_3_Core* FGL = nullptr;
  GLuint FProgram = 0, FVao = 0, FTexture = 0;
  GLsizei FIndexCount = 0;
  int FSamples = 1;
  float FAnisotropy = 1;
  GLuint FFbo = 0, FBuffers[2] = {0, 0};
  GLsizei FWidth = 0, FHeight = 0;
  unsigned long long FPictures = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  constexpr int kRoundMs = 2000;
  bench::TViewerRun viewer;
  if (!viewer.Ok()) return 1;
  viewer.WaitForFlyIn();
  auto frames = [] { return Form2->Viewport3D1->FrameCount(); };

  struct TBodyFigures {
    const char* Name;
    TSpin Now, Before;
  };
  std::vector<TBodyFigures> figures;
  for (const auto& [body, name] : {std::pair{0, "Earth"}, {5, "Saturn"}}) {
    if (CurrentBody != body) Form2->Buttons[body]->Click();
    while (Form2->Maps().SelectionRunning() || Form2->Sphere1->Opacity() < 1) bench::Pump(50);
    std::vector<TSpin> now, before;
    for (int r = 0; r < rounds; ++r) {
      UseSettings(false);
      bench::Pump(300);
      now.push_back(Measure(kRoundMs, frames));
      UseSettings(true);
      bench::Pump(300);
      before.push_back(Measure(kRoundMs, frames));
    }
    UseSettings(false);
    figures.push_back({name, Median(now), Median(before)});
  }

  // The floor, with each of the two settings: the Earth map, the body's place and the
  // camera's view as the viewer has them.
  Form2->MenuItem1Click(Form2->MenuItem1);  // Auto-rotate off: the viewer stands still
  if (CurrentBody != 0) Form2->Buttons[0]->Click();
  while (Form2->Maps().SelectionRunning()) bench::Pump(50);
  const TMatrix3D model = Form2->Sphere1->WrapMatrix() * Form2->Sphere1->AbsoluteMatrix();
  const TMatrix3D viewProjection =
      Form2->Camera1->CameraMatrix() * Form2->Viewport3D1->RenderContext()->CurrentProjectionMatrix();
  TBitmap map;
  TResourceStream stream(BodyTextureResourceName(0).toStdString());
  map.LoadFromStream(stream);
  map.BuildMipLevels();
  Form2->Window()->hide();
  TSpin floorNow, floorBefore;
  for (const bool before : {false, true}) {
    TMinimalSphere window(map, model, viewProjection, before);
    window.showFullScreen();
    bench::Pump(1000);
    std::vector<TSpin> spins;
    for (int r = 0; r < rounds; ++r) spins.push_back(Measure(kRoundMs, [&] { return window.Pictures(); }));
    (before ? floorBefore : floorNow) = Median(spins);
  }

  std::printf("medians of %d rounds of %.1f s, full screen:\n", rounds, kRoundMs / 1000.0);
  std::printf("  %-36s %8s %10s %12s\n", "", "cores", "pictures/s", "s/picture");
  for (const TBodyFigures& f : figures) {
    std::printf("  %-36s %8.3f %10.1f %12.4f\n", (std::string(f.Name) + ", settings now").c_str(), f.Now.Cores,
                f.Now.Pictures, f.Now.PerPicture);
    std::printf("  %-36s %8.3f %10.1f %12.4f\n", (std::string(f.Name) + ", settings before").c_str(), f.Before.Cores,
                f.Before.Pictures, f.Before.PerPicture);
  }
  std::printf("  %-36s %8.3f %10.1f %12.4f\n", "minimal sphere, settings now", floorNow.Cores, floorNow.Pictures,
              floorNow.PerPicture);
  std::printf("  %-36s %8.3f %10.1f %12.4f\n", "minimal sphere, settings before", floorBefore.Cores, floorBefore.Pictures,
              floorBefore.PerPicture);

  std::printf("\nthe figures with their goals:\n");
  for (const TBodyFigures& f : figures) {
    const std::string name(f.Name);
    bench::Goal((name + ": cores while turning").c_str(), f.Now.Cores, "", 0.5);
    bench::Goal((name + ": pictures a second while turning").c_str(), f.Now.Pictures, "", 15, false);
    // A body with a ring draws more than the floor's one sphere.
    bench::Goal((name + ": processor per picture / minimal sphere, same settings").c_str(),
                f.Now.PerPicture / floorNow.PerPicture, "", name == "Saturn" ? 1.0 : 0.8);
  }
  bench::Goal("floor's settings: processor per picture, now / before", floorNow.PerPicture / floorBefore.PerPicture,
              "", 1.0 / 3);
  std::printf("  (before: per picture / minimal sphere with the settings before: Earth %.3f, Saturn %.3f)\n",
              figures[0].Before.PerPicture / floorBefore.PerPicture, figures[1].Before.PerPicture / floorBefore.PerPicture);
  return 0;
}

// Start-up time: from process start to the main window's first frame on screen, for the
// viewer and for an empty full-screen Qt window measured in the same run. Needs a display.
//
//   bench_startup [runs]      prints the medians and the ratio viewer / empty window
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Unit1.h"
#include "Unit2.h"
#include "ui/application.h"
#include "ui/form_window.h"

namespace {

void ReportFirstFrame(QOpenGLWindow* AWindow, const std::function<void()>& AQuit) {
  QObject::connect(AWindow, &QOpenGLWindow::frameSwapped, AWindow, [AQuit] {
    std::printf("painted\n");
    std::fflush(stdout);
    AQuit();
  });
}

int RunEmpty() {
  int argc = 1;
  char name[] = "empty";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  QOpenGLWindow window;
  ReportFirstFrame(&window, [] { QCoreApplication::exit(0); });
  window.showFullScreen();
  return app.exec();
}

int RunViewer() {
  using namespace sphaerix;
  TApplication application;
  application.Initialize();
  application.CreateForm(Form2);
  application.CreateForm(Form1);
  // Posted before the loop runs, so it is connected before the window is first painted.
  QTimer::singleShot(0, [] {
    if (Form2) ReportFirstFrame(Form2->Window(), [] { Application->Terminate(); });
  });
  return application.Run();
}

double TimeChild(const char* AProgram, const char* AMode) {
  QTemporaryDir home;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", home.path());
  p.setProcessEnvironment(env);
  QElapsedTimer t;
  t.start();
  p.start(QString::fromLocal8Bit(AProgram), {QStringLiteral("--child"), QString::fromLatin1(AMode)});
  while (p.waitForReadyRead(60000))
    if (p.readAll().contains("painted")) {
      const double s = t.nsecsElapsed() / 1e9;
      p.waitForFinished(10000);
      return s;
    }
  std::fprintf(stderr, "%s: no first frame\n", AMode);
  return -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return std::strcmp(argv[2], "empty") == 0 ? RunEmpty() : RunViewer();
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<double> empty, viewer;
  // Interleaved, so both see the same machine load.
  for (int i = 0; i < runs; ++i) {
    empty.push_back(TimeChild(argv[0], "empty"));
    viewer.push_back(TimeChild(argv[0], "viewer"));
  }
  const double e = Median(empty), v = Median(viewer);
  std::printf("empty window: median %.3f s to the first frame\n", e);
  std::printf("viewer:       median %.3f s to the first frame (%.3f s without the 1.0 s of fades)\n", v,
              v - 1.0);
  std::printf("ratio viewer / empty window: %.2f (without the fades: %.2f)\n", v / e, (v - 1.0) / e);
  return 0;
}

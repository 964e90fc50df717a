// The menu's commands: switches, full screen, About, Exit and screenshots.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/guarded_call.h"
#include "scene/view/camera.h"
#include "scene/view/viewport3d.h"
#include "scene/animation/clock.h"
#include "tests/support/child_program.h"
#include "tests/support/picture.h"
#include "tests/support/viewer_fixture.h"
#include "tests/support/x11_driver.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"
#include "ui/save_dialog.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

class Menu : public ViewerFixture {
 protected:
  // Runs the screenshot command as the menu does, answering the dialog with AName in
  // the folder (empty: cancel), of type AType (from 1; 0 leaves the dialog's).
  void Screenshot(const QString& AFolder, const QString& AName, int AType = 0) {
    Form2->SaveDialog1->ChooseFile = [this, AFolder, AName, AType](TSaveDialog& ADialog) {
      DialogFolder = ADialog.InitialDir;
      Suggested = ADialog.FileName;
      if (AType) ADialog.FilterIndex = AType;
      return AName.isEmpty() ? QString() : AFolder + "/" + AName;
    };
    GuardedCall([] { Form2->MenuItem7Click(Form2->MenuItem7); });
  }
  QString DialogFolder;
  QString Suggested;
};

QByteArray ReadAll(const QString& APath) {
  QFile f(APath);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& APath, const QByteArray& AData) {
  QFile f(APath);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(AData);
}

}  // namespace

TEST_F(Menu, ItemsInTheirOrderWithTheirMarks) {
  const std::vector<TMenuItem*> items = Form2->PopupMenu1->Items();
  const char* texts[] = {"Auto-rotate", "Show names", "Show info", "Full screen", "Screenshot", "About", "Exit"};
  const bool checked[] = {true, true, false, true, false, false, false};
  ASSERT_EQ(items.size(), 7u);
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i]->Text(), texts[i]);
    EXPECT_EQ(items[i]->IsChecked(), checked[i]) << texts[i];
  }
}

TEST_F(Menu, ShowInfoAndShowNamesSwitchTheirTexts) {
  Form2->MenuItem3Click(Form2->MenuItem3);
  EXPECT_TRUE(Form2->MenuItem3->IsChecked());
  EXPECT_TRUE(Form2->Text1->Visible());
  EXPECT_TRUE(Form2->Text2->Visible());
  Form2->MenuItem3Click(Form2->MenuItem3);
  EXPECT_FALSE(Form2->Text1->Visible());
  EXPECT_FALSE(Form2->Text2->Visible());

  // Names off, then a selection: the title changes but stays hidden until switched on.
  Form2->MenuItem2Click(Form2->MenuItem2);
  EXPECT_FALSE(Form2->Label1->Visible());
  Form2->Buttons[1]->Click();
  EXPECT_EQ(Form2->Label1->Text(), "Mars");
  EXPECT_FALSE(Form2->Label1->Visible());
  Form2->MenuItem2Click(Form2->MenuItem2);
  EXPECT_TRUE(Form2->Label1->Visible());
}

TEST_F(Menu, FullScreenOffGivesTheLayoutSizeAndOnAgainCoversTheScreen) {
  const QSize screen = Form2->Window()->screen()->size();
  EXPECT_EQ(Form2->Window()->size(), screen);
  Form2->MenuItem5Click(Form2->MenuItem5);
  EXPECT_FALSE(Form2->MenuItem5->IsChecked());
  ASSERT_TRUE(WaitFor([] { return Form2->Window()->size() == QSize(1149, 829); }));
  EXPECT_FALSE(Form2->Window()->windowStates() & Qt::WindowFullScreen);
  // The window manager has framed and placed it.
  EXPECT_TRUE(WaitFor([] { return !Form2->Window()->frameMargins().isNull(); }));
  const QRect normal = Form2->Window()->geometry();
  Form2->MenuItem5Click(Form2->MenuItem5);
  ASSERT_TRUE(WaitFor([&] { return Form2->Window()->size() == screen; }));
  Form2->MenuItem5Click(Form2->MenuItem5);
  ASSERT_TRUE(WaitFor([] { return Form2->Window()->size() == QSize(1149, 829); }));
  EXPECT_TRUE(WaitFor([&] { return Form2->Window()->geometry() == normal; }))
      << "placed at " << Form2->Window()->geometry().x() << "," << Form2->Window()->geometry().y();
}

TEST_F(Menu, AMaximisedWindowComesBackMaximised) {
  QWindow* w = Form2->Window();
  Form2->MenuItem5Click(Form2->MenuItem5);
  // Asked before the window manager has framed the window again, the maximise can be
  // lost on its way out of full screen.
  ASSERT_TRUE(WaitFor([w] { return w->size() == QSize(1149, 829) && !w->frameMargins().isNull(); }, 30000));
  EXPECT_GE(w->minimumSize().width(), 400);
  w->showMaximized();
  ASSERT_TRUE(WaitFor([w] { return w->size().width() > 1149; }, 30000));
  const QSize maximised = w->size();
  Form2->MenuItem5Click(Form2->MenuItem5);
  ASSERT_TRUE(WaitFor([w] { return w->size() == w->screen()->size(); }, 30000));
  Form2->MenuItem5Click(Form2->MenuItem5);
  // The size and the maximised state reach the window in separate events: both are
  // waited for.
  EXPECT_TRUE(WaitFor([w, maximised] { return w->size() == maximised && (w->windowStates() & Qt::WindowMaximized); },
                      30000))
      << w->size().width() << "x" << w->size().height() << ", maximised " << bool(w->windowStates() & Qt::WindowMaximized);
}

TEST_F(Menu, AWindowLargerThanTheScreenIsShrunkAndCentredWithItsTitleBarOnScreen) {
  QWindow* w = Form2->Window();
  const QRect available = w->screen()->availableGeometry();
  Form2->SetClientSize(available.width() + 300, available.height() + 200);
  Form2->MenuItem5Click(Form2->MenuItem5);
  ASSERT_TRUE(WaitFor([w] { return !(w->windowStates() & Qt::WindowFullScreen) && !w->frameMargins().isNull(); }, 30000));
  // The window manager frames and places the window again, and the fit follows once the
  // frame is known: the window may first fit where the window manager put it, and be
  // centred only after.
  EXPECT_TRUE(WaitFor([w, available] {
    return available.contains(w->frameGeometry()) &&
           (w->frameGeometry().center() - available.center()).manhattanLength() <= 40;
  }, 30000)) << "fitted and centred? " << w->frameGeometry().x() << "," << w->frameGeometry().y() << " "
             << w->frameGeometry().width() << "x" << w->frameGeometry().height();
}

TEST_F(Menu, AboutShowsTheOneAboutWindow) {
  Form2->MenuItem6Click(Form2->MenuItem6);
  EXPECT_TRUE(WaitFor([] { return Form1->Window()->isExposed(); }));
  Form2->MenuItem6Click(Form2->MenuItem6);  // again: the same window
  EXPECT_TRUE(Form1->Visible());
}

TEST_F(Menu, ExitEndsWithoutTheCloseHandler) {
  Form2->MenuItem4Click(Form2->MenuItem4);
  EXPECT_TRUE(App->Terminated());
  for (const auto& stream : BodyTextures) EXPECT_NE(stream, nullptr);
}

TEST_F(Menu, ScreenshotIsAJpegOfTheViewportWithTheTitleAndWithoutPanelOrFacts) {
  QTemporaryDir folder;
  Form2->MenuItem3Click(Form2->MenuItem3);  // facts on: they must not be in the picture
  // A paint with the facts has reached the window (the spin keeps the frames coming).
  const auto frames = Form2->Viewport3D1->FrameCount();
  ASSERT_TRUE(WaitFor([frames] { return Form2->Viewport3D1->FrameCount() > frames; }));
  Screenshot(folder.path(), "shot");  // no extension typed: the default one is added
  EXPECT_EQ(DialogFolder, DataFolder);
  const QString path = folder.path() + "/shot.jpg";
  ASSERT_TRUE(QFileInfo::exists(path));
  EXPECT_EQ(QImageReader(path).format(), "jpeg");
  const QImage shot(path);
  const qreal scale = Form2->Window()->devicePixelRatio();
  EXPECT_EQ(shot.size(), QSize(qRound(Form2->Viewport3D1->Width() * scale), qRound(Form2->Viewport3D1->Height() * scale)));

  const QImage window = Form2->Window()->grabFramebuffer();
  // The panel's card is on screen but not in the picture.
  auto isCard = [](QColor c) { return std::abs(c.blue() - c.red()) > 25 && c.red() > 35; };
  const QPoint card = CardPixel();
  EXPECT_TRUE(isCard(window.pixelColor(card)));
  EXPECT_FALSE(isCard(shot.pixelColor(card)));
  // The title is: light grey glyphs in the middle of its line.
  int titlePixels = 0, factPixels = 0;
  const TRectF title = Form2->Label1->AbsoluteRect();
  const QPoint from = PixelIn(title, 0.5, 0, scale) - QPoint(60, 0), to = PixelIn(title, 0.5, 1, scale) + QPoint(60, 0);
  for (int y = from.y(); y < to.y(); ++y)
    for (int x = from.x(); x < to.x(); ++x)
      if (qGray(shot.pixel(x, y)) > 120) ++titlePixels;
  // The facts' white text stands right of the centre line from y 40 on, on screen only.
  const TRectF facts = Form2->Text2->AbsoluteRect();
  int onScreen = 0;
  for (int y = static_cast<int>(facts.Top); y < static_cast<int>(facts.Top) + 200; ++y)
    for (int x = static_cast<int>(facts.Left); x < static_cast<int>(facts.Left) + 150; ++x) {
      if (qGray(window.pixel(x, y)) > 250) ++onScreen;
      if (qGray(shot.pixel(x, y)) > 250) ++factPixels;
    }
  EXPECT_GT(titlePixels, 20);
  EXPECT_GT(onScreen, 50);
  EXPECT_LT(factPixels, onScreen / 5);
}

TEST_F(Menu, ScreenshotFormatsFollowTheExtension) {
  QTemporaryDir folder;
  Screenshot(folder.path(), "shot.bmp");
  EXPECT_TRUE(ReadAll(folder.path() + "/shot.bmp").startsWith("BM"));

  // An existing file is replaced without a question.
  WriteAll(folder.path() + "/old.jpg", "not a picture");
  Screenshot(folder.path(), "old.jpg");
  EXPECT_EQ(QImageReader(folder.path() + "/old.jpg").format(), "jpeg");
  EXPECT_TRUE(Errors.empty());

  // A dot followed by no picture type is part of the name: the chosen type is added.
  Screenshot(folder.path(), "trip v1.2");
  EXPECT_EQ(QImageReader(folder.path() + "/trip v1.2.jpg").format(), "jpeg");
  Screenshot(folder.path(), "SHOT.JPEG", 2);
  EXPECT_EQ(QImageReader(folder.path() + "/SHOT.JPEG").format(), "jpeg");
  EXPECT_TRUE(Errors.empty());

  // A folder that is not there: the error report names the file and the reason, and
  // nothing is written.
  Screenshot(folder.path() + "/missing", "shot.jpg");
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Cannot create file \"" + (folder.path() + "/missing/shot.jpg").toStdString() +
                           "\". No such file or directory");
  EXPECT_FALSE(QFileInfo::exists(folder.path() + "/missing"));
  Errors.clear();
}

TEST_F(Menu, TheChosenTypeGivesATypedNameItsExtensionAndPngIsLossless) {
  ASSERT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }, 30000));
  Form2->MenuItem1Click(Form2->MenuItem1);  // a still picture, twice
  ASSERT_TRUE(WaitFor([] { return !TAniThread::Instance() || TAniThread::Instance()->Animations().empty(); }));
  QTemporaryDir folder;
  Screenshot(folder.path(), "still", 2);
  Screenshot(folder.path(), "still", 3);
  ASSERT_TRUE(ReadAll(folder.path() + "/still.bmp").startsWith("BM"));
  ASSERT_TRUE(ReadAll(folder.path() + "/still.png").startsWith("\x89PNG"));
  EXPECT_FALSE(QFileInfo::exists(folder.path() + "/still.jpg"));
  const QImage bmp = QImage(folder.path() + "/still.bmp").convertToFormat(QImage::Format_RGB32);
  const QImage png = QImage(folder.path() + "/still.png").convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(bmp, png);
  // A name typed with an extension keeps it, whatever the type.
  Screenshot(folder.path(), "typed.jpg", 3);
  EXPECT_EQ(QImageReader(folder.path() + "/typed.jpg").format(), "jpeg");
}

TEST_F(Menu, TheDialogSuggestsTheBodyAndTheTimeInItsType) {
  const QRegularExpression name("^Earth \\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.(jpg|png)$");
  Screenshot(QString(), QString(), 3);  // cancelled after choosing PNG
  EXPECT_TRUE(name.match(Suggested).hasMatch()) << Suggested.toStdString();
  EXPECT_TRUE(Suggested.endsWith(".jpg"));
  Screenshot(QString(), QString());
  EXPECT_TRUE(name.match(Suggested).hasMatch()) << Suggested.toStdString();
  EXPECT_TRUE(Suggested.endsWith(".png")) << "the type chosen last time";
  EXPECT_EQ(ScreenshotName(5, QDateTime(QDate(2026, 12, 10), QTime(14, 5, 33)), *Form2->SaveDialog1),
            "Saturn 2026-12-10 14-05-33.png");
}

// The platform's own dialog: changing the type changes the suggested name's extension,
// and a name typed without one gets the chosen type's.
TEST(SaveDialog, RealDialogFollowsTheChosenType) {
  QTemporaryDir folder;
  TSaveDialog dialog(nullptr);
  dialog.Filter = "jpg|*.jpg|bmp|*.bmp|png|*.png";
  dialog.DefaultExt = "jpg";
  dialog.InitialDir = folder.path();
  dialog.FileName = "Earth 2026-12-10 14-05-33.jpg";
  QString shown;
  QTimer::singleShot(0, [&] {
    WaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; });
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!d) return;
    auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
    auto* types = d->findChild<QComboBox*>("fileTypeCombo");
    if (!edit || !types) return d->reject();
    types->setCurrentIndex(1);
    emit types->activated(1);  // as the user's choice
    shown = edit->text();
    edit->setText("shot");
    static_cast<QDialog*>(d)->accept();
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(shown, "Earth 2026-12-10 14-05-33.bmp");
  EXPECT_EQ(dialog.FileName, folder.path() + "/shot.bmp");
  EXPECT_EQ(dialog.FilterIndex, 2);
}

TEST_F(Menu, AFailedOrCancelledScreenshotLeavesEverythingAsItWas) {
  QTemporaryDir folder;
  Screenshot(folder.path(), QString());  // cancel
  EXPECT_TRUE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());

  // A folder that cannot hold the file: the message names the file and the reason.
  WriteAll(folder.path() + "/plain", "a file, not a folder");
  Screenshot(folder.path() + "/plain", "shot.jpg");
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find("Cannot create file \""), std::string::npos) << Errors[0];
  EXPECT_NE(Errors[0].find("plain/shot.jpg"), std::string::npos) << Errors[0];
  Errors.clear();
  EXPECT_EQ(ReadAll(folder.path() + "/plain"), "a file, not a folder");
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(), 1);
}

// The real menu from the real pointer: Exit is the last item.
TEST(MenuProcess, ExitFromTheMenuEndsTheProgramWithZero) {
  ChildProgram app;
  ASSERT_TRUE(app.Start());
  QProcess& p = app.Process();
  const QString id = x11::WaitForWindow("^Sphaerix$", 30000);
  ASSERT_FALSE(id.isEmpty());
  x11::Xdotool({"mousemove", "1200", "700"});
  x11::Xdotool({"click", "3"});
  // The menu is a second window of the program; keys go to it once it is there.
  const QString pid = QString::number(p.processId());
  ASSERT_TRUE(WaitFor([&] { return x11::Xdotool({"search", "--onlyvisible", "--pid", pid}).count('\n') >= 1; },
                           30000))
      << "the menu did not open";
  x11::Xdotool({"key", "Up"});
  x11::Xdotool({"key", "Return"});
  ASSERT_TRUE(p.waitForFinished(15000)) << "still running after Exit";
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0);
}

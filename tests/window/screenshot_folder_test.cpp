// Where a screenshot goes when the data folder cannot take it, and what the save dialog
// says: a home whose name is not UTF-8, a missing data folder, a name too long.
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include "app/Unit2State.h"
#include "platform/guarded_call.h"
#include "tests/support/viewer_fixture.h"
#include "ui/popup_menu.h"
#include "ui/save_dialog.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* AName, const QByteArray& AValue) : FName(AName), FOld(qgetenv(AName)) {
    qputenv(AName, AValue);
  }
  ~ScopedVariable() {
    if (FOld.isNull())
      qunsetenv(FName);
    else
      qputenv(FName, FOld);
  }

 private:
  const char* FName;
  QByteArray FOld;
};

using ScreenshotFolder = ViewerFixture;

}  // namespace

// The toolkit cannot show a folder whose name is not UTF-8: the user is told so and where
// the picture goes instead, and it goes there.
TEST_F(ScreenshotFolder, AHomeWhoseNameIsNotUtf8SaysWhereThePictureGoesAndItGoesThere) {
  QTemporaryDir base;
  const QByteArray home = QFile::encodeName(base.path()) + "/h\xe9-caf\xe9";
  ASSERT_EQ(mkdir(home.constData(), 0755), 0);
  ASSERT_EQ(mkdir((home + "/Documents").constData(), 0755), 0);
  ScopedVariable homeVariable("HOME", home);
  ScopedVariable config("XDG_CONFIG_HOME", home + "/.config");
  ScopedVariable state("XDG_STATE_HOME", QFile::encodeName(base.path()) + "/state");
  PrepareDataFolder();

  QString note, start;
  Form2->SaveDialog1->ShowNote = [&](const QString& ANote) { note = ANote; };
  const QString name = QStringLiteral("sphaerix-test-%1.jpg").arg(getpid());
  Form2->SaveDialog1->ChooseFile = [&](TSaveDialog& ADialog) {
    start = ADialog.StartFolder();
    return start + "/" + name;
  };
  GuardedCall([] { Form2->MenuItem7Click(Form2->MenuItem7); });
  const QString saved = start + "/" + name;
  const bool there = QFileInfo(saved).isFile();
  if (!start.isEmpty()) QFile::remove(saved);
  EXPECT_TRUE(there) << saved.toStdString();
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors.front());
  Errors.clear();
  EXPECT_TRUE(note.contains("is not valid UTF-8")) << note.toStdString();
  EXPECT_TRUE(note.contains("The picture goes to \"" + start + "\"")) << note.toStdString();
  // Nothing was made in the home (its empty folders go, by their bytes, which the
  // toolkit's own clean-up cannot name).
  EXPECT_EQ(rmdir((home + "/Documents").constData()), 0);
  EXPECT_EQ(rmdir(home.constData()), 0);
}

// The desktop's own dialog: a data folder that cannot be used (a file stands in its place)
// is named and the dialog opens where it says; a name longer than the folder takes is
// explained beside the field, where the toolkit only greys Save out.
TEST(SaveDialogWindow, SaysWhyItOpensElsewhereAndWhyANameCannotBeUsed) {
  QTemporaryDir base;
  TSaveDialog dialog(nullptr);
  dialog.Filter = "jpg|*.jpg|bmp|*.bmp";
  dialog.DefaultExt = "jpg";
  dialog.InitialDir = base.path() + "/Sphaerix";
  QFile plain(dialog.InitialDir);
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  dialog.FileName = "shot.jpg";

  QString note, folder, usual, tooLong, fine;
  bool saveWithLongName = true;
  QTimer answer;
  // The message box and then the dialog, each answered from its own modal loop.
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      note = box->text();
      box->accept();
    } else if (auto* d = qobject_cast<QFileDialog*>(modal)) {
      auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
      auto* buttons = d->findChild<QDialogButtonBox*>("buttonBox");
      if (!edit || !buttons) return d->reject();
      folder = d->directory().absolutePath();
      usual = d->labelText(QFileDialog::FileName);
      edit->setText(QString(300, QChar('n')) + ".jpg");
      tooLong = d->labelText(QFileDialog::FileName);
      saveWithLongName = buttons->button(QDialogButtonBox::Save)->isEnabled();
      edit->setText("shot.jpg");
      fine = d->labelText(QFileDialog::FileName);
      d->reject();
    }
  });
  answer.start(50);
  EXPECT_FALSE(dialog.Execute());
  answer.stop();

  EXPECT_EQ(note.toStdString(), ("The folder \"" + dialog.InitialDir + "\" cannot be used: it is not a folder. The "
                                 "picture goes to \"" + QDir::homePath() + "\" unless you choose another folder.")
                                    .toStdString());
  EXPECT_EQ(folder, QDir(QDir::homePath()).absolutePath());
  EXPECT_FALSE(saveWithLongName);
  EXPECT_EQ(tooLong, "Name too long (304 bytes, at most 255 here):");
  EXPECT_EQ(fine, usual);
  EXPECT_FALSE(usual.contains("too long"));
}

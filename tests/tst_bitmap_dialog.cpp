// The "Load Image" button's file dialog, driven as a user would while it
// runs modally. The dialog's start folder depends on whether it is the first
// dialog of the run, so this is a program run of its own: one test that
// opens the dialog several times in order.

#include "support/bitmaptesting.h"
#include "support/kivotestaccess.h"
#include "support/modalboxcloser.h"
#include "support/windowdriver.h"

#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>

#include <functional>

using namespace bitmaptest;

namespace {

// What a dialog looked like when it came up.
struct SeenDialog
{
    QString title;
    QString folder;
    QStringList mimeTypeFilters;
    QString selectedMimeTypeFilter;
};

} // namespace

class TestBitmapDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadButtonRunsTheDialogUntilAFileLoads();

private:
    // Runs the Load button; each time a file dialog comes up, the next
    // answer chooses what the user does (a path to open, or empty to cancel).
    QList<SeenDialog> pressLoad(MainWindow &window, QStringList answers);

    QTemporaryDir home;
    QString picturesFolder;
    QString filesFolder;
    QList<ClosedBox> boxes; // message boxes of the last pressLoad
};

void TestBitmapDialog::initTestCase()
{
    // The platform's picture folder, as the desktop's user-dirs file names it.
    QVERIFY(home.isValid());
    picturesFolder = home.filePath("My Pictures");
    filesFolder = home.filePath("elsewhere");
    QVERIFY(QDir().mkpath(picturesFolder));
    QVERIFY(QDir().mkpath(filesFolder));
    QVERIFY(QDir().mkpath(home.filePath("config")));
    QFile dirs(home.filePath("config/user-dirs.dirs"));
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write(QStringLiteral("XDG_PICTURES_DIR=\"%1\"\n").arg(picturesFolder).toUtf8());
    dirs.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    QCOMPARE(QStandardPaths::standardLocations(QStandardPaths::PicturesLocation).last(), picturesFolder);
}

QList<SeenDialog> TestBitmapDialog::pressLoad(MainWindow &window, QStringList answers)
{
    QList<SeenDialog> seen;
    ModalBoxCloser closer;
    closer.otherModal = [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog || !dialog->isVisible())
            return;
        seen.append({dialog->windowTitle(), dialog->directory().absolutePath(), dialog->mimeTypeFilters(),
                     dialog->selectedMimeTypeFilter()});
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isEmpty()) {
            dialog->reject();
        } else {
            // The user goes to the file and types its name. The list may
            // still have last round's file selected; typing replaces that
            // selection only while the name field has the keyboard focus,
            // which an off-screen test cannot rely on, so the selection is
            // cleared first (selectFile does that, and types the name only
            // when the field has no focus: the name is typed here anyway).
            dialog->selectFile(answer);
            widget<QLineEdit>(*dialog, "fileNameEdit")->setText(QFileInfo(answer).fileName());
            QCOMPARE(dialog->selectedFiles(), QStringList{answer});
            QMetaObject::invokeMethod(dialog, "accept"); // the "Open" button
        }
    };
    driver::press(window, "on_pushButton_Load_released");
    boxes = closer.boxes;
    return seen;
}

void TestBitmapDialog::loadButtonRunsTheDialogUntilAFileLoads()
{
    MainWindow window;
    window.show();
    auto *console = widget<QPlainTextEdit>(window, "editKivo");
    console->setPlainText("text from an earlier demonstration");

    const QString broken = filesFolder + "/broken.png";
    const QString good = filesFolder + "/drawing.bmp";
    {
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n truncated");
    }
    QVERIFY(patternImage(200, 100).save(good));

    // First dialog of the run: in the picture folder. The broken file is
    // refused with a box and the dialog comes back; the good one loads.
    QList<SeenDialog> seen = pressLoad(window, {broken, good});
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen[0].title, QStringLiteral("Open File"));
    QCOMPARE(seen[0].folder, picturesFolder);

    QStringList expectedFilters;
    for (const QByteArray &type : QImageReader::supportedMimeTypes())
        expectedFilters << QString::fromUtf8(type);
    std::sort(expectedFilters.begin(), expectedFilters.end());
    QVERIFY(expectedFilters.size() > 1);
    QCOMPARE(seen[0].mimeTypeFilters, expectedFilters);
    QCOMPARE(seen[0].selectedMimeTypeFilter, QStringLiteral("image/bmp"));

    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.startsWith(QStringLiteral("Cannot load %1: ").arg(broken)));
    QCOMPARE(seen[1].folder, filesFolder); // shown again where the user left it

    const QStringList lines = console->toPlainText().split('\n');
    QCOMPARE(lines[0], QStringLiteral("Loading image:Loading image:"));
    QCOMPARE(lines[1], QStringLiteral("Opened \"%1\"").arg(good));
    QCOMPARE(lines[2], QStringLiteral("Width: 200 pixel"));
    QCOMPARE(KivoTestAccess::loadedImage(window).size(), QSize(200, 100));
    const qint64 loadedKey = KivoTestAccess::loadedImage(window).cacheKey();

    // A later dialog is given no folder: it opens where the last one was
    // left, not in the picture folder. Cancelling changes nothing but the
    // console, which the button cleared.
    seen = pressLoad(window, {QString()});
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].folder, filesFolder);
    QVERIFY(boxes.isEmpty());
    QCOMPARE(console->toPlainText(), QString());
    QCOMPARE(KivoTestAccess::loadedImage(window).cacheKey(), loadedKey);
    QCOMPARE(window.windowFilePath(), good);
}

QTEST_MAIN(TestBitmapDialog)
#include "tst_bitmap_dialog.moc"

//! labels: gui slow
// The export dialog on a generated day: its form, the camera list with and without the day's
// camera list file, the file-name rules, the last folder kept in the settings, the checks of
// "Exporter" with their codes and French messages, the choice of the recordings that cover a
// range (seen through the raw copy) and the free name of an encoded export.
#include "export/PopupExport.h"
#include "export/RawExport.h"
#include "store/ZRFile.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimeEdit>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace zrtest;

namespace {

template<typename T>
T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class TestPopupExport : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    // Cameras 12 and 13, recordings 10:00, 10:02 and 10:03 (the minute 10:01 is missing).
    GeneratedExport ex;
    QString day;
    QString dayFolder;
    QFileInfoList dayVideos;
    QString outDir;

    std::unique_ptr<PopupExport> dialog(int camera, const QString& time, const QString& folder = QString())
    {
        auto d = std::make_unique<PopupExport>(dayVideos, camera, QStringLiteral("1"), QStringList(),
                                               folder.isEmpty() ? dayFolder : folder, day + " " + time);
        return d;
    }
    static QString fileName(PopupExport* d) { return child<QLineEdit>(d, "fileNameEdit")->text(); }
    static void setRange(PopupExport* d, const QTime& start, const QTime& end)
    {
        child<QTimeEdit>(d, "startTimeEdit")->setTime(start);
        child<QTimeEdit>(d, "endTimeEdit")->setTime(end);
    }
    static void setFormat(PopupExport* d, int index) { child<QComboBox>(d, "formatCombo")->setCurrentIndex(index); }

    // Runs a raw copy through "Exporter" and returns the recordings it copied, by file name.
    QStringList rawRange(int camera, const QTime& start, const QTime& end, QString* destination = nullptr)
    {
        static int runs = 0;
        const QString dest = outDir + QStringLiteral("/raw%1").arg(++runs);
        auto d = dialog(camera, "10:00:00.000");
        setRange(d.get(), start, end);
        setFormat(d.get(), 4);
        child<QLineEdit>(d.get(), "fileNameEdit")->setText(dest + "/x.zrnova");
        QSignalSpy ended(d.get(), &PopupExport::endingsignal);
        QTest::mouseClick(child<QPushButton>(d.get(), "exportButton"), Qt::LeftButton);
        if (!waitForSignals(ended, 1, 60000))
            return {QStringLiteral("no end")};
        if (destination)
            *destination = dest;
        QStringList out;
        QDirIterator it(dest, {"*.zrvideo"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << QFileInfo(it.next()).fileName();
        out.sort();
        return out;
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--cameras", "2", "--first-camera", "12", "--minutes", "4", "--skip", "1", "--start",
                           "10:00:00", "--size", "64x36", "--fps", "5", "--seed", "5"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        day = ex.days.first();
        dayFolder = ex.dayFolders.first();
        for (const GeneratedCamera& c : ex.cameras)
            for (const GeneratedRecording& r : c.recordingsOf(day))
                dayVideos << QFileInfo(r.videoPath);
        outDir = gen.tempPath() + "/out";
        QSettings(QStringLiteral("ZRNova"), QStringLiteral("ZRPlayer")).setValue("export/lastDir", outDir);
    }

    // The form a person sees: heading, fields with the frame's date and times, the formats,
    // the overlay choice and an enabled "Exporter".
    void form()
    {
        auto d = dialog(13, "10:02:30.120");
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        QCOMPARE(child<QLabel>(d.get(), "headingLabel")->text(), QStringLiteral("Exportation d'une séquence vidéo"));
        QCOMPARE(child<QLabel>(d.get(), "dateLabel")->text(), day);
        QCOMPARE(child<QTimeEdit>(d.get(), "startTimeEdit")->text(), QStringLiteral("10:02:30"));
        QCOMPARE(child<QTimeEdit>(d.get(), "endTimeEdit")->text(), QStringLiteral("10:03:30"));
        QComboBox* formats = child<QComboBox>(d.get(), "formatCombo");
        QCOMPARE(formats->count(), 5);
        QCOMPARE(formats->itemText(4), QStringLiteral("RAW (zrnova format)"));
        QCOMPARE(child<QCheckBox>(d.get(), "overlayCheck")->text(), QStringLiteral("Incruster date et heure"));
        QVERIFY(child<QCheckBox>(d.get(), "overlayCheck")->isChecked());
        QCOMPARE(child<QComboBox>(d.get(), "overlaySizeCombo")->currentText(), QStringLiteral("Moyen"));
        QVERIFY(child<QPushButton>(d.get(), "exportButton")->isEnabled());
        QCOMPARE(child<QToolButton>(d.get(), "folderButton")->toolTip(), QStringLiteral("Choisir un répertoire"));
        const QImage shot = d->grab().toImage();
        QVERIFY(shot.width() >= 420);
        // The light theme's background.
        QCOMPARE(shot.pixelColor(3, shot.height() - 3).name(), QStringLiteral("#f7f7f7"));
        d->grab().save(QDir::currentPath() + "/popup-export.png");
    }

    // A frame time with a colon before the milliseconds is read too; one that reads in neither
    // form starts the dialog now.
    void frameTimeForms()
    {
        auto a = dialog(12, "10:15:00:250");
        QCOMPARE(child<QTimeEdit>(a.get(), "startTimeEdit")->text(), QStringLiteral("10:15:00"));
        LogCatcher log;
        auto b = std::make_unique<PopupExport>(dayVideos, 12, "1", QStringList(), dayFolder, "garbage");
        QVERIFY(log.contains("[INFO] ZRPlayer Popup Export :: Timestamp not valid."));
        QCOMPARE(child<QLabel>(b.get(), "dateLabel")->text(), QDate::currentDate().toString("yyyy-MM-dd"));
    }

    // Without the day's camera list every camera is "CAMERA <id>"; with it, its name; the
    // given camera is the current one and each item carries its id.
    void cameraList()
    {
        {
            auto d = dialog(13, "10:00:00.000");
            QComboBox* cams = child<QComboBox>(d.get(), "cameraCombo");
            QCOMPARE(cams->count(), 2);
            QCOMPARE(cams->itemText(0), QStringLiteral("CAMERA 12"));
            QCOMPARE(cams->itemText(1), QStringLiteral("CAMERA 13"));
            QCOMPARE(cams->currentIndex(), 1);
            QCOMPARE(cams->itemData(0, Qt::UserRole).toInt(), 12);
            QVERIFY2(fileName(d.get()).endsWith("/CAMERA13_" + day + "_100000_H264.mp4"), qPrintable(fileName(d.get())));
        }
        // The day's merged camera list, as the player writes it.
        const QString copy = gen.tempPath() + "/named";
        QVERIFY(QDir().mkpath(copy));
        ZRFile::CameraTable table;
        for (const GeneratedCamera& c : ex.cameras)
            for (const QString& f : c.infoFiles)
                table = ZRFile::check_and_parse_nfo_file(QFileInfo(f), table);
        QCOMPARE(table.size(), 2);
        ZRFile::create_zrnfo_index_file(QFileInfo(copy + "/index.zrnfo"), table);
        auto d = dialog(12, "10:00:00.000", copy);
        QComboBox* cams = child<QComboBox>(d.get(), "cameraCombo");
        QCOMPARE(cams->itemText(0), table.value(12));
        QCOMPARE(cams->itemData(1, Qt::UserRole).toInt(), 13);
        QCOMPARE(cams->currentIndex(), 0);
        QString bare = table.value(12);
        bare.remove(' ');
        QVERIFY2(fileName(d.get()).endsWith("/" + bare + "_" + day + "_100000_H264.mp4"), qPrintable(fileName(d.get())));
    }

    // The default name: folder, camera without blanks, date, start, tag and extension of
    // the chosen format; it follows the format and the start time.
    void defaultNames_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("tail");
        QTest::newRow("H.264") << 0 << "_101500_H264.mp4";
        QTest::newRow("H.265") << 1 << "_101500_H265.mp4";
        QTest::newRow("MJPEG") << 2 << "_101500_MJPEG.avi";
        QTest::newRow("VP9") << 3 << "_101500_VP9.webm";
        QTest::newRow("RAW") << 4 << "_101500_RAW.zrnova";
    }
    void defaultNames()
    {
        QFETCH(int, format);
        QFETCH(QString, tail);
        auto d = dialog(12, "10:00:00.000");
        child<QTimeEdit>(d.get(), "startTimeEdit")->setTime(QTime(10, 15, 0));
        setFormat(d.get(), format);
        QCOMPARE(fileName(d.get()), outDir + "/CAMERA12_" + day + tail);
    }

    // A typed name is rewritten to the chosen format's tag and extension.
    void formatSuffix_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result");
        QTest::newRow("other tag") << 1 << "/out/cam_H264.mp4" << "/out/cam_H265.mp4";
        QTest::newRow("mjpeg to h264") << 0 << "/out/x_MJPEG.avi" << "/out/x_H264.mp4";
        QTest::newRow("dotted name") << 2 << "/out/clip.final.avi" << "/out/clip.final_MJPEG.avi";
        QTest::newRow("AV1 dropped") << 3 << "/out/y_AV1.mkv" << "/out/y_VP9.webm";
        QTest::newRow("lower-case tag") << 3 << "/out/z_h264.mp4" << "/out/z_VP9.webm";
        QTest::newRow("no tag") << 0 << "/out/plain" << "/out/plain_H264.mp4";
        QTest::newRow("raw") << 4 << "/out/r_VP9.webm" << "/out/r_RAW.zrnova";
    }
    void formatSuffix()
    {
        QFETCH(int, format);
        QFETCH(QString, typed);
        QFETCH(QString, result);
        auto d = dialog(12, "10:00:00.000");
        setFormat(d.get(), format);
        QCOMPARE(d->apply_format_suffix(typed), result);
    }

    // The folder button: the chosen name is rewritten to the format, and its folder becomes
    // the last folder, kept in the settings for the next dialog.
    void folderChoiceKept()
    {
        auto d = dialog(12, "10:00:00.000");
        d->show();
        const QString chosen = gen.tempPath() + "/chosen";
        QVERIFY(QDir().mkpath(chosen));
        setFormat(d.get(), 3);
        ModalAnswerer answer;
        answer.setAnswer([&](QWidget* modal) {
            auto* fd = qobject_cast<QFileDialog*>(modal);
            if (!fd)
                return false;
            fd->setDirectory(chosen);
            // selectFile() leaves the name field alone while it has the keyboard focus, which
            // it gets or not depending on when the window is activated.
            for (auto* edit : fd->findChildren<QLineEdit*>())
                edit->clearFocus();
            fd->selectFile(chosen + "/mine_MJPEG.avi");
            QMetaObject::invokeMethod(fd, "accept", Qt::QueuedConnection);
            return true;
        });
        QTest::mouseClick(child<QToolButton>(d.get(), "folderButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(fileName(d.get()), chosen + "/mine_VP9.webm", 60000);
        QCOMPARE(answer.last().title, QStringLiteral("Choix du chemin d'export"));
        QCOMPARE(QSettings("ZRNova", "ZRPlayer").value("export/lastDir").toString(), chosen);
        QVERIFY(QSettings("ZRNova", "ZRPlayer").fileName().startsWith(QDir::homePath()));
        auto next = dialog(13, "10:00:00.000");
        QVERIFY(fileName(next.get()).startsWith(chosen + "/CAMERA13_"));
        // A cancelled choice changes nothing.
        answer.setAnswer([](QWidget* modal) {
            if (auto* fd = qobject_cast<QFileDialog*>(modal)) {
                QMetaObject::invokeMethod(fd, "reject", Qt::QueuedConnection);
                return true;
            }
            return false;
        });
        QTest::mouseClick(child<QToolButton>(d.get(), "folderButton"), Qt::LeftButton);
        QVERIFY(answer.waitForCount(2));
        QTest::qWait(50);
        QCOMPARE(fileName(d.get()), chosen + "/mine_VP9.webm");
        QSettings("ZRNova", "ZRPlayer").setValue("export/lastDir", outDir);
    }

    // The width follows the name: at least 420, at most 2280 pixels.
    void widthFollowsName()
    {
        auto d = dialog(12, "10:00:00.000");
        child<QLineEdit>(d.get(), "fileNameEdit")->setText(QString(600, 'x'));
        d->adjustPopupWidthToFilename();
        QCOMPARE(d->width(), 2280);
        child<QLineEdit>(d.get(), "fileNameEdit")->clear();
        d->adjustPopupWidthToFilename();
        QCOMPARE(d->minimumWidth(), 420);
    }

    // A range that ends after midnight or before its start disables "Exporter".
    void exportButtonFollowsRange()
    {
        auto d = dialog(12, "23:59:30.000");
        QCOMPARE(child<QTimeEdit>(d.get(), "endTimeEdit")->time(), QTime(0, 0, 30));
        QVERIFY(!child<QPushButton>(d.get(), "exportButton")->isEnabled());
        setRange(d.get(), QTime(10, 0), QTime(10, 0, 1));
        QVERIFY(child<QPushButton>(d.get(), "exportButton")->isEnabled());
        setRange(d.get(), QTime(10, 0), QTime(10, 0));
        QVERIFY(!child<QPushButton>(d.get(), "exportButton")->isEnabled());
    }

    // Failures before launch: the code, its French message in "Erreur de paramétrage", the
    // dialog still open; one message per press.
    void launchChecks_data()
    {
        QTest::addColumn<int>("camera");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty period") << 12 << QTime(10, 0, 10) << QTime(10, 0, 10) << -13 << "Période invalide.";
        QTest::newRow("end before start") << 12 << QTime(10, 0, 10) << QTime(10, 0, 5) << -13 << "Période invalide.";
        QTest::newRow("before the first recording")
            << 12 << QTime(9, 59, 0) << QTime(10, 0, 30) << -1 << "Heure de début d'exportation introuvable.";
        QTest::newRow("after the last frame")
            << 12 << QTime(10, 4, 0) << QTime(10, 5, 0) << -1 << "Heure de début d'exportation introuvable.";
        QTest::newRow("camera without recordings")
            << 99 << QTime(10, 0, 10) << QTime(10, 0, 20) << -1 << "Heure de début d'exportation introuvable.";
    }
    void launchChecks()
    {
        QFETCH(int, camera);
        QFETCH(QTime, start);
        QFETCH(QTime, end);
        QFETCH(int, code);
        QFETCH(QString, message);
        auto d = dialog(12, "10:00:00.000");
        if (camera == 99) {
            QComboBox* cams = child<QComboBox>(d.get(), "cameraCombo");
            cams->addItem("CAMERA 99", 99);
            cams->setCurrentIndex(cams->count() - 1);
        }
        d->show();
        setRange(d.get(), start, end);
        QSignalSpy errors(d.get(), &PopupExport::error);
        ModalAnswerer answer;
        for (int press = 1; press <= 2; ++press) {
            QMetaObject::invokeMethod(d.get(), "doExport", Qt::QueuedConnection);
            QVERIFY(answer.waitForCount(press));
            QCOMPARE(answer.last().className, QStringLiteral("QMessageBox"));
            QCOMPARE(answer.last().title, QStringLiteral("Erreur de paramétrage"));
            QCOMPARE(answer.last().text, message);
            QCOMPARE(errors.size(), press);
            QCOMPARE(errors.last().first().toInt(), code);
        }
        QTest::qWait(100);
        QCOMPARE(answer.count(), 2);
        QVERIFY(d->isVisible());
    }

    // An output folder that cannot be made: the export file cannot be opened, nothing starts.
    void unwritableFolder()
    {
        const QString blocker = gen.tempPath() + "/blocker";
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        auto d = dialog(12, "10:00:10.000");
        child<QLineEdit>(d.get(), "fileNameEdit")->setText(blocker + "/sub/x.mp4");
        d->show();
        ModalAnswerer answer;
        QMetaObject::invokeMethod(d.get(), "doExport", Qt::QueuedConnection);
        QVERIFY(answer.waitForCount(1));
        QCOMPARE(answer.last().text, QStringLiteral("Le fichier d'export n'a pas pu être ouvert."));
        QVERIFY(d->isVisible());
        QVERIFY(!d->get_download_window());
    }

    // Which recordings cover a range, seen through the raw copy.
    void rangeFiles_data()
    {
        QTest::addColumn<int>("camera");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<QStringList>("files");
        const QString d = QString(ex.days.first()).remove('-');
        auto f = [&](int cam, const char* t) { return QStringLiteral("%1_%2_%3.zrvideo").arg(cam).arg(d, t); };
        QTest::newRow("inside one file") << 12 << QTime(10, 0, 10) << QTime(10, 0, 50) << QStringList{f(12, "100000")};
        QTest::newRow("at a file's start") << 13 << QTime(10, 2, 0) << QTime(10, 2, 30) << QStringList{f(13, "100200")};
        QTest::newRow("start in the gap")
            << 12 << QTime(10, 1, 30) << QTime(10, 2, 10) << QStringList{f(12, "100000"), f(12, "100200")};
        QTest::newRow("across files")
            << 13 << QTime(10, 0, 30) << QTime(10, 3, 10)
            << QStringList{f(13, "100000"), f(13, "100200"), f(13, "100300")};
        QTest::newRow("end after the last frame")
            << 12 << QTime(10, 3, 30) << QTime(11, 0, 0) << QStringList{f(12, "100300")};
    }
    void rangeFiles()
    {
        QFETCH(int, camera);
        QFETCH(QTime, start);
        QFETCH(QTime, end);
        QFETCH(QStringList, files);
        QCOMPARE(rawRange(camera, start, end), files);
    }

    // A raw export uses the chosen folder and writes no ".zrnova" file; the dialog relays
    // progress and end and knows how many files were not copied (none).
    void rawExportRelays()
    {
        QString dest;
        const QStringList copied = rawRange(12, QTime(10, 0, 10), QTime(10, 0, 20), &dest);
        QCOMPARE(copied.size(), 1);
        QVERIFY(!QFileInfo::exists(dest + "/x.zrnova"));
        QVERIFY(!QFileInfo::exists(dest + "/x_RAW.zrnova"));
        auto d = dialog(12, "10:00:00.000");
        setRange(d.get(), QTime(10, 0, 10), QTime(10, 0, 20));
        setFormat(d.get(), 4);
        child<QLineEdit>(d.get(), "fileNameEdit")->setText(dest + "/again.zrnova");
        QSignalSpy progress(d.get(), &PopupExport::valueChanged);
        QSignalSpy ended(d.get(), &PopupExport::endingsignal);
        d->show();
        QTest::mouseClick(child<QPushButton>(d.get(), "exportButton"), Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QVERIFY(waitForSignals(ended, 1, 60000));
        QCOMPARE(progress.size(), 2);
        QCOMPARE(progress.last().first().toInt(), 100);
        QCOMPARE(d->get_export_path(), dest);
        // The same range again: every file is there already.
        QCOMPARE(d->get_raw_failures(), 2 + 2);
        QCOMPARE(fileName(d.get()), dest + "/again_RAW.zrnova");
    }

    // A dialog deleted while its raw copy runs: the copy is told to stop and goes by itself
    // once its thread has ended; nothing reaches the deleted dialog.
    void deletedDuringRawCopy()
    {
        auto d = dialog(13, "10:00:00.000");
        setRange(d.get(), QTime(10, 0, 0), QTime(10, 3, 50));
        setFormat(d.get(), 4);
        child<QLineEdit>(d.get(), "fileNameEdit")->setText(outDir + "/deleted/x.zrnova");
        QVERIFY(d->launch_export());
        QPointer<RawExport> raw = d->get_raw_exporter();
        QVERIFY(raw);
        d.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!raw, 60000);
    }

    // The camera "CAMERA 7" with neither item data nor a list entry exports camera 7.
    void cameraFromText()
    {
        auto d = dialog(12, "10:00:00.000");
        QComboBox* cams = child<QComboBox>(d.get(), "cameraCombo");
        cams->addItem("CAMERA 13");
        cams->setCurrentIndex(cams->count() - 1);
        setRange(d.get(), QTime(10, 0, 10), QTime(10, 0, 20));
        setFormat(d.get(), 4);
        child<QLineEdit>(d.get(), "fileNameEdit")->setText(outDir + "/text/x.zrnova");
        QSignalSpy ended(d.get(), &PopupExport::endingsignal);
        QVERIFY(d->launch_export());
        QVERIFY(waitForSignals(ended, 1, 60000));
        QCOMPARE(d->get_camera_id(), 13);
        QCOMPARE(d->get_camera_files().size(), 3);
    }

    // An encoded export never replaces a file: the same default name gets "_1", "_2" before
    // the tag, and each name is held at once.
    void freeNames()
    {
        const QString folder = gen.tempPath() + "/free";
        QVERIFY(QDir().mkpath(folder));
        const ExportFormat vp9 = find_export_format("VP9 (.webm)");
        const QString first = folder + "/CAMERA3_2024-05-02_101500_VP9.webm";
        QCOMPARE(PopupExport::reserve_free_path(first, vp9), first);
        QVERIFY(QFileInfo::exists(first));
        QCOMPARE(PopupExport::reserve_free_path(first, vp9), folder + "/CAMERA3_2024-05-02_101500_1_VP9.webm");
        QCOMPARE(PopupExport::reserve_free_path(first, vp9), folder + "/CAMERA3_2024-05-02_101500_2_VP9.webm");
        // A link that points nowhere holds its name too.
        const QString link = folder + "/L_VP9.webm";
        QVERIFY(QFile::link(folder + "/nowhere", link));
        QCOMPARE(PopupExport::reserve_free_path(link, vp9), folder + "/L_1_VP9.webm");
    }
};

ZR_TEST_MAIN_GUI(TestPopupExport)
#include "tst_popup_export.moc"

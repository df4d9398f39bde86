//! labels: gui slow
// The download window with real export rows on generated recordings: an encoded export from
// the dialog to "Réussis" with its progress line and the file read back by ffprobe and its
// frame markers; two exports at a time while a third waits; a stop that still files a
// playable file under "Réussis"; a failure filed under "Echoués"; closing the window while
// exports run; the finished rows, their buttons, tooltips and removal.
#include "export/DownloadItem_Presentation.h"
#include "export/DownloadPresentationModel.h"
#include "export/Download_presentation.h"
#include "export/EditTableView.h"
#include "export/EncodeItem_Presentation.h"
#include "export/PopupExport.h"
#include "export/SqueezeLabel.h"
#include "export/ff_export.h"
#include "tests/export/ExportedVideo.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace zrtest;

// Receives what the rows hand to the desktop.
class DesktopCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void handle(const QUrl& url) { urls << url; }
};

class TestDownloadWindow : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex; // camera 4, 10:00 to 10:03, 25 fps, 320x180
    QString outDir;
    DesktopCatcher desktop;

    QFileInfoList files() const
    {
        QFileInfoList out;
        for (const GeneratedRecording& r : ex.cameras.first().recordings)
            out << QFileInfo(r.videoPath);
        return out;
    }
    ff_export* exporter(const QString& out, const QString& codec, const QString& start, const QString& end) const
    {
        auto* e = new ff_export();
        e->set_files(files());
        e->set_start_time(start);
        e->set_end_time(end);
        e->set_stream_id("1");
        e->set_encoder_parameters(out, codec, 2048, -1, -1, false, "normal");
        return e;
    }
    EncodeItem_Presentation* row(ff_export* e, const QString& out) const
    {
        auto* r = new EncodeItem_Presentation(nullptr, out);
        r->setType("zrplayer");
        r->set_exporter(e);
        return r;
    }
    static QString tabText(Download_presentation* w, int i) { return w->tabWidget->tabText(i); }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--first-camera", "4", "--minutes", "3", "--start", "10:00:00", "--size", "320x180",
                           "--seed", "9"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        outDir = gen.tempPath() + "/out";
        QVERIFY(QDir().mkpath(outDir));
        QDesktopServices::setUrlHandler("file", &desktop, "handle");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("file"); }

    // Size texts and the row that shows an ended export.
    void sizeTexts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("1023") << qint64(1023) << "1023 bytes";
        QTest::newRow("1024") << qint64(1024) << "1 kB";
        QTest::newRow("1536") << qint64(1536) << "1 kB";
        QTest::newRow("1048575") << qint64(1048575) << "1023 kB";
        QTest::newRow("1048576") << qint64(1048576) << "1 MB";
        QTest::newRow("negative") << qint64(-5) << "-5 bytes";
    }
    void sizeTexts()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        DownloadItem_Presentation plain(nullptr, "/x");
        EncodeItem_Presentation encode(nullptr, "/x");
        QCOMPARE(plain.sizeString(bytes), text);
        QCOMPARE(encode.sizeString(bytes), text);
    }

    // A finished row: its path, "Ouvrir" and "Ouvrir dossier" for the desktop, no bar, no
    // "Stop", no "Relancer"; without a manager its start and retry only move buttons.
    void finishedRow()
    {
        const QString path = outDir + "/cam1.mp4";
        DownloadItem_Presentation r(nullptr, path);
        r.resize(600, 100);
        r.show();
        QVERIFY(QTest::qWaitForWindowExposed(&r));
        QCOMPARE(r.fileNameLabel->text(), path);
        QVERIFY(r.openButton->isVisible() && r.openRepButton->isVisible());
        QVERIFY(!r.progressBar->isVisible() && !r.stopButton->isVisible() && !r.tryAgainButton->isVisible());
        QVERIFY(r.downloadedSuccessfully());
        desktop.urls.clear();
        QTest::mouseClick(r.openButton, Qt::LeftButton);
        QTest::mouseClick(r.openRepButton, Qt::LeftButton);
        QCOMPARE(desktop.urls, (QList<QUrl>{QUrl::fromLocalFile(path), QUrl::fromLocalFile(outDir)}));
        r.start_downloading_item();
        QVERIFY(r.stopButton->isVisible() && !r.openButton->isVisible());
        QVERIFY(!r.downloadedSuccessfully());
        r.stop();
        QVERIFY(r.tryAgainButton->isVisible());
        QTest::mouseClick(r.tryAgainButton, Qt::LeftButton);
        QVERIFY(!r.tryAgainButton->isVisible() && r.stopButton->isVisible());
    }

    // A name wider than its label shows its start and end around an ellipsis; text() keeps it.
    void squeezedName()
    {
        const QString name = "/very/long/folder/" + QString(80, 'a') + "/CAMERA3_2024-05-02_101500_VP9.webm";
        SqueezeLabel label;
        label.setText(name);
        label.resize(220, 30);
        QLabel reference;
        reference.resize(220, 30);
        reference.setText(QFontMetrics(reference.font()).elidedText(name, Qt::ElideMiddle, 220));
        QVERIFY(reference.text().contains(QChar(0x2026)));
        QCOMPARE(label.grab().toImage(), reference.grab().toImage());
        QCOMPARE(label.text(), name);
        // A short text paints as a plain label.
        label.setText("short");
        reference.setText("short");
        QCOMPARE(label.grab().toImage(), reference.grab().toImage());
    }

    // The dialog's "Exporter": a window "Téléchargement" with the export's row, the line
    // "Encodage en cours [ ... > 10:00:30.000 ]", then the row under "Réussis"; the file is
    // H.264 from the first frame of the range; "Ouvrir" hands its path to the desktop.
    void encodedExportThroughTheWindow()
    {
        QFileInfoList day;
        for (const GeneratedRecording& r : ex.cameras.first().recordings)
            day << QFileInfo(r.videoPath);
        PopupExport dialog(day, 4, "1", {}, ex.dayFolders.first(), ex.days.first() + " 10:00:20.000");
        dialog.findChild<QTimeEdit*>("endTimeEdit")->setTime(QTime(10, 0, 30));
        dialog.findChild<QLineEdit*>("fileNameEdit")->setText(outDir + "/through.mp4");
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton*>("exportButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QPointer<Download_presentation> window = dialog.get_download_window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Téléchargement"));
        QCOMPARE(window->size(), QSize(1080, 768));
        QCOMPARE(window->get_downloads().size(), 1);
        Presentation_Interface* running = window->get_downloads().first();
        QVERIFY(running->isStarted());
        QVERIFY(running->stopButton->isVisible());
        QCOMPARE(running->fileName(), outDir + "/through_H264.mp4");
        // What the row says while it runs.
        QStringList lines;
        QList<int> values;
        int maximum = -1;
        QPointer<Presentation_Interface> guard = running;
        QTimer look;
        connect(&look, &QTimer::timeout, [&] {
            if (!guard)
                return;
            const QString t = guard->downloadInfoLabel->text();
            if (lines.isEmpty() || lines.last() != t)
                lines << t;
            maximum = guard->progressBar->maximum();
        });
        connect(running->progressBar, &QProgressBar::valueChanged, [&](int v) { values << v; });
        look.start(2);
        QTRY_COMPARE_WITH_TIMEOUT(window->get_successes().size(), 1, 120000);
        look.stop();
        QCOMPARE(window->get_downloads().size(), 0);
        QCOMPARE(window->get_errors().size(), 0);
        QCOMPARE(window->label_current_download->text(), QStringLiteral("En cours (0)"));
        QCOMPARE(tabText(window, 0), QStringLiteral("Réussis (1)"));
        QCOMPARE(tabText(window, 1), QStringLiteral("Echoués (0)"));
        QCOMPARE(maximum, 10);
        QVERIFY(!values.isEmpty() && values.last() >= 9);
        bool sawLine = false;
        for (const QString& l : lines)
            sawLine = sawLine || (l.startsWith("Encodage en cours [ 10:00:") && l.endsWith(" > 10:00:30.000 ]"));
        QVERIFY2(sawLine, qPrintable(lines.join(" | ")));
        window->grab().save(QDir::currentPath() + "/download-window.png");

        const QString file = outDir + "/through_H264.mp4";
        const ProbedVideo v = probeVideo(file);
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(v.codec, QStringLiteral("h264"));
        QCOMPARE(v.width, 320);
        QCOMPARE(v.frames, 251);
        const QList<QImage> pictures = decodeLuma(file);
        QVERIFY(!pictures.isEmpty());
        const FrameMarker first = markerOf(pictures.first());
        QVERIFY(first.found);
        QCOMPARE(first.time, QTime(10, 0, 20));
        QCOMPARE(first.cameraId, 4);

        Presentation_Interface* done = window->get_successes().first();
        QCOMPARE(done->fileName(), file);
        QVERIFY(done->downloadedSuccessfully());
        desktop.urls.clear();
        QTest::mouseClick(done->openButton, Qt::LeftButton);
        QCOMPARE(desktop.urls, QList<QUrl>{QUrl::fromLocalFile(file)});
        // Its tooltip is empty; the same export again takes a free name.
        const QModelIndex index = window->finished_downloadsView->model()->index(0, 0);
        QVERIFY(window->finished_downloadsView->model()->data(index, Qt::ToolTipRole).isNull());
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton*>("exportButton"), Qt::LeftButton);
        QCOMPARE(dialog.get_export_path(), outDir + "/through_1_H264.mp4");
        QPointer<Download_presentation> second = dialog.get_download_window();
        QVERIFY(second && second != window);
        QTRY_COMPARE_WITH_TIMEOUT(second->get_successes().size(), 1, 120000);
        QCOMPARE(probeVideo(outDir + "/through_1_H264.mp4").frames, 251);
        QCOMPARE(probeVideo(file).frames, 251);
        window->close();
        second->close();
        QTRY_VERIFY(!window && !second);
    }

    // Three exports in one window: two run, the third waits; a stopped export finishes a
    // playable file and is filed under "Réussis", which starts the third; an export whose
    // encoder cannot start is filed under "Echoués" with its text, the tab written in red.
    void twoAtATime()
    {
        auto* window = new Download_presentation();
        window->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<Download_presentation> guard = window;
        const QString a = outDir + "/a.webm", b = outDir + "/b.mp4", c = outDir + "/c.avi";
        QPointer<ff_export> ea = exporter(a, "vp9", "100000", "100250");
        auto* ra = row(ea, a);
        auto* rb = row(exporter(b, "libx264", "100000", "100030"), b);
        auto* rc = row(exporter(c, "mjpeg", "100000", "100010"), c);
        window->add_item(ra);
        window->add_item(rb);
        window->add_item(rc);
        QVERIFY(window->isVisible());
        QVERIFY(ra->isStarted() && rb->isStarted());
        QVERIFY(!rc->isStarted());
        QCOMPARE(rc->downloadInfoLabel->text(), QStringLiteral("En attente..."));
        QCOMPARE(window->label_current_download->text(), QStringLiteral("En cours (3)"));
        // A running row's tooltip is its information line.
        QTRY_VERIFY_WITH_TIMEOUT(ra->downloadInfoLabel->text().startsWith("Encodage en cours"), 60000);
        const QModelIndex first = window->downloadsView->model()->index(int(window->get_downloads().indexOf(ra)), 0);
        QCOMPARE(window->downloadsView->model()->data(first, Qt::ToolTipRole).toString().left(17),
                 QStringLiteral("Encodage en cours"));
        // Delete on a running row removes nothing.
        window->downloadsView->setCurrentIndex(first);
        QTest::keyClick(window->downloadsView, Qt::Key_Delete);
        QVERIFY(window->get_downloads().contains(ra));

        QTest::mouseClick(ra->stopButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window->get_successes().size(), 3, 180000);
        QTRY_VERIFY(!ea);
        const ProbedVideo va = probeVideo(a);
        QVERIFY2(va.ok, qPrintable(va.error));
        QCOMPARE(va.codec, QStringLiteral("vp9"));
        QVERIFY2(va.frames > 0 && va.frames < 250 * 25, qPrintable(QString::number(va.frames)));
        QCOMPARE(probeVideo(c).frames, 251);

        // An encoder that does not exist.
        auto* rf = row(exporter(outDir + "/f.mp4", "nosuchcodec", "100000", "100010"), outDir + "/f.mp4");
        window->add_item(rf);
        QTRY_COMPARE_WITH_TIMEOUT(window->get_errors().size(), 1, 60000);
        Presentation_Interface* failed = window->get_errors().first();
        QCOMPARE(failed->downloadInfoLabel->text(), QStringLiteral("Erreur d'initialisation de l'encodeur. #1"));
        QCOMPARE(failed->fileName(), outDir + "/f.mp4");
        QCOMPARE(tabText(window, 1), QStringLiteral("Echoués (1)"));
        QCOMPARE(window->tabWidget->tabBar()->tabTextColor(1), QColor(Qt::red));
        QCOMPARE(tabText(window, 0), QStringLiteral("Réussis (3)"));
        QCOMPARE(window->get_downloads().size(), 0);

        // Delete in "Réussis" removes the current row and selects the next, or the one above.
        EditTableView* done = window->finished_downloadsView;
        done->setCurrentIndex(done->model()->index(1, 0));
        QTest::keyClick(done, Qt::Key_Delete);
        QCOMPARE(window->get_successes().size(), 2);
        QCOMPARE(done->currentIndex().row(), 1);
        QTest::keyClick(done, Qt::Key_Delete);
        QCOMPARE(window->get_successes().size(), 1);
        QCOMPARE(done->currentIndex().row(), 0);
        window->close();
        QTRY_VERIFY(!guard);
    }

    // Closing the window while an export runs asks first: "Non" keeps it, "Oui" stops the
    // export and closes; the export thread is released once it has ended and the file is
    // finished.
    void closeWhileRunning()
    {
        auto* window = new Download_presentation();
        window->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<Download_presentation> guard = window;
        const QString out = outDir + "/closing.webm";
        QPointer<ff_export> e = exporter(out, "vp9", "100000", "100250");
        window->add_item(row(e, out));
        QTRY_VERIFY_WITH_TIMEOUT(window->get_downloads().first()->downloadInfoLabel->text().startsWith("Encodage"),
                                 60000);
        {
            ModalAnswerer no;
            no.answerWithText("Non");
            QVERIFY(!window->close());
            QCOMPARE(no.count(), 1);
            QCOMPARE(no.last().text, QStringLiteral("Téléchargements actifs"));
            QStringList buttons = no.last().buttons;
            buttons.sort();
            QCOMPARE(buttons, (QStringList{"Non", "Oui"}));
        }
        QVERIFY(guard && guard->isVisible());
        {
            ModalAnswerer yes;
            yes.answerWithText("Oui");
            QVERIFY(window->close());
        }
        QTRY_VERIFY(!guard);
        QTRY_VERIFY_WITH_TIMEOUT(!e, 120000);
        const ProbedVideo v = probeVideo(out);
        QVERIFY2(v.ok, qPrintable(v.error));
        QVERIFY(v.frames > 0);
    }

    // A window closed at once, before its export has started its first frame: nothing waits
    // for the export, which ends by itself and goes.
    void closeRightAway()
    {
        auto* window = new Download_presentation();
        window->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<ff_export> e = exporter(outDir + "/early.mp4", "libx264", "100000", "100300");
        window->add_item(row(e, outDir + "/early.mp4"));
        ModalAnswerer yes;
        yes.answerWithText("Oui");
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(!e, 120000);
    }
};

ZR_TEST_MAIN_GUI(TestDownloadWindow)
#include "tst_download_window.moc"

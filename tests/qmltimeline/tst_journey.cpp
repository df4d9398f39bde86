//! labels: qml slow
#include "display/Canvas.h"
#include "export/Download_presentation.h"
#include "export/PopupExport.h"
#include "tests/export/ExportedVideo.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/ZR_Player_qmlpresentation.h"
#include "store/IndexPlacement.h"
#include "store/ZRIndexManager.h"
#include "tests/qmltimeline/TimelineHarness.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/ReadOnlyTree.h"
#include "tests/support/TestMain.h"
#include "tests/support/UnprivilegedChild.h"

#include <QAbstractItemView>
#include <functional>
#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleHints>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTest>

#include <memory>

using namespace zrtest;

// The operator's whole journey through the real main window, by clicks only: folder, day,
// camera, a click on the timeline, play, the alarms page, pause, frame steps, fast play both
// ways across a file boundary, a snapshot saved to disk, the integrity check and the export of
// ten seconds around the shown frame. A picture of the window is kept after each stage
// (journey-*.png beside the test, or in $ZR_SCREENSHOT_DIR).
class TestJourney : public QObject
{
    Q_OBJECT

private:
    // Deadline of one step: generous, since a loaded machine takes seconds over what is quick
    // alone; a step that succeeds goes on as soon as its condition holds.
    static constexpr int kStepMs = 30000;

    ExportGenerator gen;
    GeneratedExport ex;
    GeneratedExport readOnlyEx; // the read-only journey's export
    std::unique_ptr<ReadOnlyTree> readOnlyTree;
    std::unique_ptr<QmlWarningCatcher> qmlWarnings;
    std::unique_ptr<ZR_Player_qmlpresentation> window;
    QString shotDir;

    ZRPlayerInferfaceController* controller() const { return window->get_controller(); }
    QQuickWidget* sideView() const { return window->get_side_panel_view(); }
    QQuickWidget* timelineView() const { return window->get_timeline_view(); }
    QQuickItem* side(const QString& name) const { return findItems(sideView()->rootObject(), name).value(0); }
    QQuickItem* bottom(const QString& name) const { return findItems(timelineView()->rootObject(), name).value(0); }
    QQuickItem* timeline() const { return bottom("timeline"); }
    int segments() const
    {
        int n = 0;
        for (QQuickItem* i : findItems(timelineView()->rootObject(), "videoSegment"))
            n += i->isVisible() ? 1 : 0;
        return n;
    }

    // The side panel's home page has its day: no camera list is awaited and no index is being
    // rebuilt (while it is, the page takes no input). A day just clicked shows the previous
    // day's recordings until then.
    bool homeSettled() const
    {
        QQuickItem* home = side("homePanel");
        return home && !home->property("loadingCameras").toBool() && !home->property("indexing").toBool();
    }

    static QPoint centre(QQuickItem* item)
    {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }
    static void pauseGap() { QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50); }
    void click(QQuickWidget* view, QQuickItem* item)
    {
        QVERIFY(item);
        pauseGap();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre(item));
    }
    qreal xOf(qreal ms) const
    {
        QVariant out;
        QMetaObject::invokeMethod(timeline(), "xOf", Q_RETURN_ARG(QVariant, out), Q_ARG(QVariant, ms));
        return out.toReal();
    }
    QPoint timelinePoint(qreal x) const
    {
        return timeline()->mapToScene(QPointF(x, timeline()->property("barY").toReal() + 5)).toPoint();
    }

    // What the display shows now, read from its picture.
    FrameMarker shownMarker() const { return readFrameMarker(window->get_canvas()->grab().toImage()); }
    QString timeCode() const { return bottom("timeCodeText")->property("text").toString(); }

    QElapsedTimer clock;
    // A picture of the main window, and of a window it opened when there is one.
    void shot(const QString& stage, QWidget* other = nullptr) const
    {
        qDebug().noquote() << "[journey]" << stage << "at" << clock.elapsed() << "ms";
        window->grab().save(shotDir + "/journey-" + stage + ".png");
        if (other)
            other->grab().save(shotDir + "/journey-" + stage + "-window.png");
    }

    bool hasTransport() const
    {
        const QMetaObject* mo = controller()->metaObject();
        for (const char* m : {"start_button()", "pause_button()", "next_frame_button()", "previous_frame_button()",
                              "set_playback_rate(int)", "snapshot_full_button()", "check_integrity()", "video_export()"})
            if (mo->indexOfMethod(m) < 0)
                return false;
        return true;
    }

    // Every picture the reader hands to the display while recording, by its marker time.
    QList<QTime> handedOver;
    bool recording = false;
    void followReader()
    {
        connect(controller()->get_reader(), &ZRStreamReadAndControl::set_display_frame, this,
                [this](uint8_t* frame, int linesize, int width, int height, QString, QString, bool, int, double, bool) {
                    if (!recording)
                        return;
                    const FrameMarker m = readFrameMarker(QImage(frame, width, height, linesize, QImage::Format_ARGB32));
                    if (m.found)
                        handedOver << m.time;
                },
                Qt::DirectConnection);
    }
    // Records the handed-over pictures until `done` holds for them (a loaded machine plays
    // slower than real time) or the time runs out.
    QList<QTime> recordUntil(const std::function<bool(const QList<QTime>&)>& done, int timeoutMs = 60000)
    {
        handedOver.clear();
        recording = true;
        const bool met = QTest::qWaitFor([&] { return done(handedOver); }, timeoutMs);
        Q_UNUSED(met); // the caller checks what was recorded
        recording = false;
        return handedOver;
    }
    // Continuous play: every picture goes the rate's way and lies within one key-frame
    // interval (one second) of the one before, across the file boundary too.
    static QString continuityFault(const QList<QTime>& times, int rate)
    {
        if (times.size() < 4)
            return QStringLiteral("only %1 pictures").arg(times.size());
        for (int i = 1; i < times.size(); ++i) {
            const int step = times[i - 1].msecsTo(times[i]);
            if ((step > 0) != (rate > 0) || qAbs(step) > 1000)
                return times[i - 1].toString("HH:mm:ss.zzz") + " -> " + times[i].toString("HH:mm:ss.zzz");
        }
        return QString();
    }

    // Whether the item or one of its descendants shows this text.
    static bool showsText(QQuickItem* item, const QString& text)
    {
        if (item->property("text").toString() == text)
            return true;
        for (QQuickItem* child : item->childItems())
            if (showsText(child, text))
                return true;
        return false;
    }

    static QWidget* visibleWindow(const char* className)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && QByteArray(w->metaObject()->className()) == className)
                return w;
        return nullptr;
    }

private:
    // Opens the camera chooser and clicks the row that shows the camera's name.
    void chooseCamera(const QString& name)
    {
        click(sideView(), side("buttonCameraMouse"));
        QQuickItem* row = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            for (int i = 0; i < 8 && !row; ++i) {
                QQuickItem* r = side(QStringLiteral("buttonCameraRow%1").arg(i));
                if (r && r->isVisible() && showsText(r, name))
                    row = r;
            }
            return row != nullptr;
        }(), kStepMs);
        click(sideView(), row);
    }

private slots:
    // The folder chosen in the export-folder dialog, as the operator does.
    std::unique_ptr<ModalAnswerer> chooseFolder(const QString& exportPath)
    {
        auto answerer = std::make_unique<ModalAnswerer>();
        answerer->setAnswer([exportPath](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog || dialog->acceptMode() != QFileDialog::AcceptOpen)
                return false;
            const QFileInfo info(exportPath);
            dialog->setDirectory(info.absolutePath());
            if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->setText(info.fileName());
            auto* box = dialog->findChild<QDialogButtonBox*>();
            QPushButton* open = box ? box->button(QDialogButtonBox::Open) : nullptr;
            if (!open)
                return false;
            open->click();
            return true;
        });
        return answerer;
    }

    void initTestCase()
    {
        qmlWarnings = std::make_unique<QmlWarningCatcher>();
        shotDir = qEnvironmentVariable("ZR_SCREENSHOT_DIR", QDir::currentPath());
        if (UnprivilegedChild::isChild()) {
            // Only the read-only journey runs here, on the export its parent made.
            QFile summary(qEnvironmentVariable("ZR_READONLY_SUMMARY"));
            QVERIFY(summary.open(QIODevice::ReadOnly));
            readOnlyEx = ExportGenerator::parseSummary(summary.readAll());
            QVERIFY(readOnlyEx.ok);
            return;
        }
        ex = gen.generate({"--days", "2", "--cameras", "2", "--minutes", "3", "--alarms", "2", "--tags", "2",
                           "--previews", "--size", "320x180", "--seed", "7"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.days.size(), 2);

        readOnlyEx = gen.generate({"--days", "2", "--cameras", "2", "--minutes", "3", "--size", "320x180", "--seed", "8"});
        QVERIFY2(readOnlyEx.ok, qPrintable(readOnlyEx.error));
        QFile summary(gen.tempPath() + "/readonly-summary.json");
        QVERIFY(summary.open(QIODevice::WriteOnly));
        summary.write(QJsonDocument(readOnlyEx.json).toJson());
        summary.close();
        readOnlyTree = std::make_unique<ReadOnlyTree>(readOnlyEx.exportPath);
        QVERIFY(readOnlyTree->isValid());
        if (UnprivilegedChild::needed())
            QVERIFY(UnprivilegedChild::makeReachable(readOnlyEx.exportPath) && UnprivilegedChild::makeReachable(gen.tempPath()));
    }
    void cleanupTestCase()
    {
        readOnlyTree.reset();
        window.reset();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                w->close();
        const QStringList warnings = qmlWarnings->take();
        qmlWarnings.reset();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    }

    void journey()
    {
        clock.start();
        window = std::make_unique<ZR_Player_qmlpresentation>(nullptr);
        window->resize(1600, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        followReader();
        QCOMPARE(sideView()->status(), QQuickWidget::Ready);
        QVERIFY(side("folderButton"));
        QCOMPARE(timelineView()->status(), QQuickWidget::Ready);
        QCOMPARE(timelineView()->height(), 250);
        shot("01-start");

        // 1. The folder, chosen in the export-folder dialog.
        auto answerer = chooseFolder(ex.exportPath);
        click(sideView(), side("folderButton"));
        QTRY_COMPARE_WITH_TIMEOUT(controller()->selected_date(), ex.days.last(), kStepMs);
        QTRY_VERIFY_WITH_TIMEOUT(homeSettled(), 120000);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, 120000);
        answerer.reset();
        shot("02-folder");

        // 2. The first day, on the calendar.
        click(sideView(), side("day_" + ex.days.first()));
        QTRY_COMPARE_WITH_TIMEOUT(controller()->selected_date(), ex.days.first(), kStepMs);
        QTRY_VERIFY_WITH_TIMEOUT(homeSettled(), 120000);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, 120000);
        QTRY_VERIFY_WITH_TIMEOUT(side("day_" + ex.days.first()), kStepMs);
        shot("03-day");

        // 3. The second camera, in the camera chooser.
        const GeneratedCamera* cam = ex.camera(2);
        QVERIFY(cam);
        chooseCamera(cam->name);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(controller()->get_camera_id(), 2, kStepMs);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, kStepMs);
        shot("04-camera");

        // 4. A click on the timeline at 08:01:30, zoomed on the recordings by a double click.
        pauseGap();
        {
            const QPoint p = timelinePoint(xOf(60000 * 481));
            QTest::mousePress(timelineView(), Qt::LeftButton, Qt::NoModifier, p);
            QTest::mouseRelease(timelineView(), Qt::LeftButton, Qt::NoModifier, p);
            QTest::mousePress(timelineView(), Qt::LeftButton, Qt::NoModifier, p);
            QTest::mouseDClick(timelineView(), Qt::LeftButton, Qt::NoModifier, p);
            QTest::mouseRelease(timelineView(), Qt::LeftButton, Qt::NoModifier, p);
        }
        QTRY_COMPARE_WITH_TIMEOUT(timeline()->property("zoomFactor").toReal(), 100.0, kStepMs);
        const int target = QTime(8, 1, 30).msecsSinceStartOfDay();
        pauseGap();
        QTest::mouseClick(timelineView(), Qt::LeftButton, Qt::NoModifier, timelinePoint(qRound(xOf(target + 500))));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found && shownMarker().cameraId == 2, kStepMs);
        {
            const FrameMarker m = shownMarker();
            QCOMPARE(m.date, QDate::fromString(ex.days.first(), "yyyy-MM-dd"));
            QVERIFY2(qAbs(m.msOfDay() - target) <= 1000, qPrintable(m.time.toString("HH:mm:ss.zzz")));
        }
        shot("05-timeline-click");

        // 5. Play: the time code, the cursor and the frames move on. A loaded machine may play
        // slower than real time, so a second of recording is awaited, not a second of time.
        {
            const FrameMarker before = shownMarker();
            const QString codeBefore = timeCode();
            const qreal cursorBefore = bottom("positionCursor")->x();
            QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found && shownMarker().msOfDay() - before.msOfDay() >= 1000, kStepMs);
            const FrameMarker after = shownMarker();
            QVERIFY2(after.frameIndex > before.frameIndex,
                     qPrintable(before.time.toString("HH:mm:ss.zzz") + " -> " + after.time.toString("HH:mm:ss.zzz")));
            QTRY_VERIFY_WITH_TIMEOUT(timeCode() > codeBefore, kStepMs);
            QTRY_VERIFY_WITH_TIMEOUT(bottom("positionCursor")->x() > cursorBefore, kStepMs);
            QVERIFY(bottom("positionCursor")->isVisible());
        }
        shot("06-play");

        // 6. An alarm from the alarms page: the display shows its time.
        click(sideView(), side("tabAlarms"));
        QTRY_VERIFY_WITH_TIMEOUT(side("alarmTileMouse_0") && side("alarmTileMouse_0")->isVisible(), kStepMs);
        const QString alarmTime = side("alarmTime_0")->property("text").toString();
        QVERIFY2(QTime::fromString(alarmTime, "HH:mm:ss").isValid(), qPrintable(alarmTime));
        click(sideView(), side("alarmTileMouse_0"));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found
                                     && qAbs(shownMarker().msOfDay()
                                             - QTime::fromString(alarmTime, "HH:mm:ss").msecsSinceStartOfDay())
                                            <= 1000,
                                 kStepMs);
        shot("07-alarm");

        QVERIFY2(hasTransport(), "the controller lacks a transport operation");

        // 7. Pause, then one frame forward and one back.
        click(timelineView(), bottom("playPauseButton"));
        QTest::qWait(200);
        const FrameMarker paused = shownMarker();
        QTest::qWait(500);
        QCOMPARE(shownMarker().stamp(), paused.stamp());
        click(timelineView(), bottom("stepForwardButton"));
        QTRY_COMPARE_WITH_TIMEOUT(shownMarker().frameIndex, paused.frameIndex + 1, kStepMs);
        click(timelineView(), bottom("stepBackwardButton"));
        QTRY_COMPARE_WITH_TIMEOUT(shownMarker().frameIndex, paused.frameIndex, kStepMs);
        shot("08-steps");

        // 8. 8x forward from 08:01:56 across the 08:02:00 boundary, then -8x back across it.
        pauseGap();
        QTest::mouseClick(timelineView(), Qt::LeftButton, Qt::NoModifier,
                          timelinePoint(qRound(xOf(QTime(8, 1, 56).msecsSinceStartOfDay() + 500))));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found && shownMarker().time >= QTime(8, 1, 56), kStepMs);
        click(timelineView(), bottom("speedButton_8"));
        const QList<QTime> forward = recordUntil([](const QList<QTime>& t) {
            return t.size() >= 4 && t.last() >= QTime(8, 2, 1);
        });
        const QString forwardFault = continuityFault(forward, 8);
        QVERIFY2(forwardFault.isEmpty(), qPrintable(forwardFault));
        QVERIFY(forward.first() < QTime(8, 2) && forward.last() >= QTime(8, 2));
        shot("09-forward-8x");
        click(timelineView(), bottom("speedButton_-8"));
        const QList<QTime> backward = recordUntil([](const QList<QTime>& t) {
            return t.size() >= 4 && t.last() < QTime(8, 1, 59);
        });
        const QString backwardFault = continuityFault(backward, -8);
        QVERIFY2(backwardFault.isEmpty(), qPrintable(backwardFault));
        QVERIFY(backward.first() >= QTime(8, 2) && backward.last() < QTime(8, 2));
        shot("10-backward-8x");

        // 9. A snapshot: the viewer opens and the saved JPEG shows the displayed frame.
        click(timelineView(), bottom("playPauseButton"));
        QTest::qWait(300);
        const FrameMarker snapped = shownMarker();
        click(timelineView(), bottom("captureButton"));
        QWidget* viewer = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((viewer = visibleWindow("AlarmViewer")) != nullptr, kStepMs);
        shot("11-snapshot", viewer);
        const QString saved = QDir::homePath() + "/snapshot.jpg";
        auto saver = std::make_unique<ModalAnswerer>();
        saver->setAnswer([saved](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return false;
            // As an operator types the name and presses Enter.
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!edit)
                return false;
            dialog->setDirectory(QFileInfo(saved).absolutePath());
            edit->setText(QFileInfo(saved).fileName());
            QMetaObject::invokeMethod(dialog, "accept");
            return true;
        });
        QAction* save = nullptr;
        for (QAction* a : viewer->findChildren<QAction*>())
            if (a->text() == QStringLiteral("Enregistrer"))
                save = a;
        QVERIFY(save);
        save->trigger();
        QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo(saved).size() > 0, qPrintable([&] {
            QStringList seen;
            for (const ModalSeen& m : saver->seen())
                seen << m.className + ": " + m.title + " " + m.text;
            return seen.join(" | ");
        }()), kStepMs);
        QVERIFY(saver->waitForCount(2));
        saver.reset();
        const FrameMarker inFile = readFrameMarker(QImage(saved));
        QVERIFY(inFile.found);
        QCOMPARE(inFile.cameraId, 2);
        QCOMPARE(inFile.stamp(), snapped.stamp());
        viewer->close();

        // 10. The integrity check of the day.
        click(timelineView(), bottom("integrityButton"));
        QPointer<QWidget> integrity;
        QTRY_VERIFY_WITH_TIMEOUT((integrity = visibleWindow("IntegrityDialog")) != nullptr, kStepMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (!integrity)
                    return false;
                for (QProgressBar* bar : integrity->findChildren<QProgressBar*>())
                    if (bar->format() == QStringLiteral("Intégrité validée"))
                        return true;
                return false;
            }(),
            60000);
        shot("12-integrity", integrity);
        QVERIFY(integrity);
        integrity->close();

        // 11. Ten seconds around the shown frame, exported from the export button: the dialog
        // opens at the frame's time, "Exporter" opens the download window, the export ends
        // under "Réussis" and the file starts with the range's first frame.
        QTRY_VERIFY_WITH_TIMEOUT(!integrity || !integrity->isVisible(), kStepMs);
        const FrameMarker shown = shownMarker();
        QVERIFY(shown.found);
        click(timelineView(), bottom("exportButton"));
        QWidget* popup = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((popup = visibleWindow("PopupExport")) != nullptr, kStepMs);
        auto* startEdit = popup->findChild<QTimeEdit*>("startTimeEdit");
        auto* endEdit = popup->findChild<QTimeEdit*>("endTimeEdit");
        QVERIFY(startEdit && endEdit);
        QCOMPARE(startEdit->time().toString("HH:mm:ss"), shown.time.toString("HH:mm:ss"));
        const QTime from = QTime(shown.time.hour(), shown.time.minute(), shown.time.second()).addSecs(-5);
        startEdit->setTime(from);
        endEdit->setTime(from.addSecs(10));
        const QString wanted = QDir::homePath() + "/exports/journey.mp4";
        popup->findChild<QLineEdit*>("fileNameEdit")->setText(wanted);
        shot("13-export-dialog", popup);
        pauseGap();
        QTest::mouseClick(popup->findChild<QPushButton*>("exportButton"), Qt::LeftButton);
        QPointer<QWidget> downloads;
        QTRY_VERIFY_WITH_TIMEOUT((downloads = visibleWindow("Download_presentation")) != nullptr, kStepMs);
        QCOMPARE(downloads->windowTitle(), QStringLiteral("Téléchargement"));
        auto* tabs = downloads->findChild<QTabWidget*>("tabWidget");
        QVERIFY(tabs);
        QTRY_COMPARE_WITH_TIMEOUT(tabs->tabText(0), QStringLiteral("Réussis (1)"), 120000);
        QCOMPARE(tabs->tabText(1), QStringLiteral("Echoués (0)"));
        shot("14-export-done", downloads);
        const QString file = QDir::homePath() + "/exports/journey_H264.mp4";
        const ProbedVideo probed = probeVideo(file);
        QVERIFY2(probed.ok, qPrintable(probed.error));
        QCOMPARE(probed.codec, QStringLiteral("h264"));
        QCOMPARE(probed.frames, 10 * 25 + 1);
        const QList<QImage> pictures = decodeLuma(file);
        QVERIFY(!pictures.isEmpty());
        const FrameMarker first = markerOf(pictures.first());
        QVERIFY(first.found);
        QCOMPARE(first.cameraId, 2);
        QCOMPARE(first.date, QDate::fromString(ex.days.first(), "yyyy-MM-dd"));
        QCOMPARE(first.time, from);
        downloads->close();
        QTRY_VERIFY_WITH_TIMEOUT(!downloads, kStepMs);
    }

    // The same journey on an export that cannot be written (a write-protected disc or disk,
    // a read-only share): it plays as any other, its day indexes and snapshot caches go to the
    // per-user folder, and nothing is written to it. Read-only here means permission bits:
    // run as root (as CI does), the journey runs in a child process as the unprivileged user
    // 65534 (UnprivilegedChild), for whom the root-owned export is read-only.
    void readOnlyJourney()
    {
        if (UnprivilegedChild::needed()) {
            if (!UnprivilegedChild::unavailable().isEmpty())
                QSKIP(qPrintable(UnprivilegedChild::unavailable()));
            QProcessEnvironment env;
            env.insert("ZR_READONLY_SUMMARY", gen.tempPath() + "/readonly-summary.json");
            QByteArray output;
            const int code = UnprivilegedChild::run("readOnlyJourney", env, &output);
            QVERIFY2(code == 0, qPrintable(UnprivilegedChild::verdict(output)));
            QVERIFY2(readOnlyTree->changes().isEmpty(), qPrintable(readOnlyTree->changes().join('\n')));
            return;
        }
        const GeneratedExport& ro = readOnlyEx;
        QVERIFY2(!QFileInfo(ro.dayFolders.first()).isWritable(), "the export can be written: not a read-only journey");
        clock.start();
        window.reset();
        window = std::make_unique<ZR_Player_qmlpresentation>(nullptr);
        window->resize(1600, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        if (sideView()->status() != QQuickWidget::Ready || !side("folderButton"))
            QSKIP("the side panel is not part of the program yet");
        LogCatcher log;

        // The folder: its last day is listed and indexed, and the timeline shows its recordings.
        auto answerer = chooseFolder(ro.exportPath);
        click(sideView(), side("folderButton"));
        QTRY_COMPARE_WITH_TIMEOUT(controller()->selected_date(), ro.days.last(), kStepMs);
        QTRY_VERIFY_WITH_TIMEOUT(homeSettled(), 120000);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, 120000);
        answerer.reset();
        shot("ro-01-folder");

        // The first day, then the second camera.
        click(sideView(), side("day_" + ro.days.first()));
        QTRY_COMPARE_WITH_TIMEOUT(controller()->selected_date(), ro.days.first(), kStepMs);
        QTRY_VERIFY_WITH_TIMEOUT(homeSettled(), 120000);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, 120000);
        const GeneratedCamera* cam = ro.camera(2);
        QVERIFY(cam);
        chooseCamera(cam->name);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(controller()->get_camera_id(), 2, kStepMs);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, kStepMs);
        shot("ro-02-camera");

        // A click on the timeline at 08:01:30 (a pixel is about a minute there) shows a picture
        // of those recordings, and play moves on from it.
        pauseGap();
        const int target = QTime(8, 1, 30).msecsSinceStartOfDay();
        QTest::mouseClick(timelineView(), Qt::LeftButton, Qt::NoModifier, timelinePoint(qRound(xOf(target))));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found && shownMarker().cameraId == 2, kStepMs);
        const FrameMarker first = shownMarker();
        QCOMPARE(first.date, QDate::fromString(ro.days.first(), "yyyy-MM-dd"));
        QVERIFY2(first.time >= QTime(8, 0) && first.time < QTime(8, 3), qPrintable(first.time.toString("HH:mm:ss.zzz")));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found && shownMarker().msOfDay() - first.msOfDay() >= 1000, kStepMs);
        QVERIFY(shownMarker().frameIndex > first.frameIndex || shownMarker().time > first.time);
        shot("ro-03-play");

        // The day indexes and caches live in the per-user folder; nothing failed to be written.
        for (const QString& day : ro.dayFolders) {
            QVERIFY2(QFileInfo::exists(ZRIndexManager::userDayIndexPath(QFileInfo(day))), qPrintable(day));
            QVERIFY(QFileInfo::exists(IndexPlacement::standInOf(day) + "/zrindex_cache.v1.bin"));
        }
        QVERIFY(!log.contains("writeDayIndexJson failed"));
        QVERIFY(!log.contains("write to file"));
        QVERIFY(!log.contains("cache save failed"));
        if (readOnlyTree)
            QVERIFY2(readOnlyTree->changes().isEmpty(), qPrintable(readOnlyTree->changes().join('\n')));
        window.reset();
    }
};

ZR_TEST_MAIN_QML(TestJourney)
#include "tst_journey.moc"

//! labels: qml slow
#include "display/Canvas.h"
#include "player/ZR_Player_qmlpresentation.h"
#include "tests/qmltimeline/TimelineHarness.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QTest>

#include <memory>

using namespace zrtest;

// The operator's whole journey through the real main window, by clicks only: folder, day,
// camera, a click on the timeline, play, the alarms page, pause, frame steps, fast play both
// ways across a file boundary, a snapshot saved to disk and the integrity check. A picture of
// the window is kept after each stage (journey-*.png beside the test, or in
// $ZR_SCREENSHOT_DIR).
class TestJourney : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    GeneratedExport ex;
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

    void shot(const QString& stage) const
    {
        window->grab().save(shotDir + "/journey-" + stage + ".png");
    }

    bool hasTransport() const
    {
        const QMetaObject* mo = controller()->metaObject();
        for (const char* m : {"start_button()", "pause_button()", "next_frame_button()", "previous_frame_button()",
                              "set_playback_rate(int)", "snapshot_full_button()", "check_integrity()"})
            if (mo->indexOfMethod(m) < 0)
                return false;
        return true;
    }

    // Times the display shows while the event loop runs, one sample every 80 ms.
    QList<QTime> sampleTimes(int ms)
    {
        QList<QTime> out;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QTest::qWait(80);
            const FrameMarker m = shownMarker();
            if (m.found && (out.isEmpty() || out.last() != m.time))
                out << m.time;
        }
        return out;
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

private slots:
    void initTestCase()
    {
        QmlWarnings::instance().install();
        shotDir = qEnvironmentVariable("ZR_SCREENSHOT_DIR", QDir::currentPath());
        ex = gen.generate({"--days", "2", "--cameras", "2", "--minutes", "3", "--alarms", "2", "--tags", "2",
                           "--previews", "--size", "320x180", "--seed", "7"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.days.size(), 2);
    }
    void cleanupTestCase()
    {
        window.reset();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                w->close();
        const QStringList warnings = QmlWarnings::instance().take();
        QmlWarnings::instance().uninstall();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    }

    void journey()
    {
        window = std::make_unique<ZR_Player_qmlpresentation>(nullptr);
        window->resize(1600, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        if (sideView()->status() != QQuickWidget::Ready || !side("folderButton"))
            QSKIP("the side panel is not part of the program yet");
        QCOMPARE(timelineView()->status(), QQuickWidget::Ready);
        QCOMPARE(timelineView()->height(), 250);
        shot("01-start");

        // 1. The folder, chosen in the export-folder dialog.
        ModalAnswerer answerer;
        answerer.setAnswer([this](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog || dialog->acceptMode() != QFileDialog::AcceptOpen)
                return false;
            const QFileInfo info(ex.exportPath);
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
        click(sideView(), side("folderButton"));
        QTRY_COMPARE_WITH_TIMEOUT(controller()->selected_date(), ex.days.last(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, 120000);
        shot("02-folder");

        // 2. The first day, on the calendar.
        click(sideView(), side("day_" + ex.days.first()));
        QTRY_COMPARE_WITH_TIMEOUT(controller()->selected_date(), ex.days.first(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(segments(), 3, 120000);
        QTRY_VERIFY(side("day_" + ex.days.first()));
        shot("03-day");

        // 3. The second camera, in the camera chooser.
        const GeneratedCamera* cam = ex.camera(2);
        QVERIFY(cam);
        click(sideView(), side("buttonCameraMouse"));
        QQuickItem* row = nullptr;
        QTRY_VERIFY([&] {
            for (int i = 0; i < 8 && !row; ++i) {
                QQuickItem* r = side(QStringLiteral("buttonCameraRow%1").arg(i));
                if (r && r->isVisible() && showsText(r, cam->name))
                    row = r;
            }
            return row != nullptr;
        }());
        click(sideView(), row);
        QTRY_COMPARE_WITH_TIMEOUT(controller()->get_camera_id(), 2, 10000);
        QTRY_COMPARE(segments(), 3);
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
        QTRY_COMPARE(timeline()->property("zoomFactor").toReal(), 100.0);
        const int target = QTime(8, 1, 30).msecsSinceStartOfDay();
        pauseGap();
        QTest::mouseClick(timelineView(), Qt::LeftButton, Qt::NoModifier, timelinePoint(qRound(xOf(target + 500))));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found && shownMarker().cameraId == 2, 10000);
        {
            const FrameMarker m = shownMarker();
            QCOMPARE(m.date, QDate::fromString(ex.days.first(), "yyyy-MM-dd"));
            QVERIFY2(qAbs(m.msOfDay() - target) <= 1000, qPrintable(m.time.toString("HH:mm:ss.zzz")));
        }
        shot("05-timeline-click");

        // 5. Two seconds of play: the time code, the cursor and the frames move on.
        {
            const FrameMarker before = shownMarker();
            const QString codeBefore = timeCode();
            const qreal cursorBefore = bottom("positionCursor")->x();
            QTest::qWait(2000);
            const FrameMarker after = shownMarker();
            QVERIFY(after.found);
            QVERIFY2(after.msOfDay() - before.msOfDay() >= 1000,
                     qPrintable(before.time.toString() + " -> " + after.time.toString()));
            QVERIFY(timeCode() > codeBefore);
            QVERIFY(bottom("positionCursor")->x() > cursorBefore);
            QVERIFY(bottom("positionCursor")->isVisible());
        }
        shot("06-play");

        // 6. An alarm from the alarms page: the display shows its time.
        click(sideView(), side("tabAlarms"));
        QTRY_VERIFY(side("alarmTileMouse_0") && side("alarmTileMouse_0")->isVisible());
        const QString alarmTime = side("alarmTime_0")->property("text").toString();
        QVERIFY2(QTime::fromString(alarmTime, "HH:mm:ss").isValid(), qPrintable(alarmTime));
        click(sideView(), side("alarmTileMouse_0"));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found
                                     && qAbs(shownMarker().msOfDay()
                                             - QTime::fromString(alarmTime, "HH:mm:ss").msecsSinceStartOfDay())
                                            <= 1000,
                                 10000);
        shot("07-alarm");

        if (!hasTransport())
            QSKIP("the controller does not offer the transport operations yet: pause, steps, rates, snapshot and "
                  "integrity stages not run");

        // 7. Pause, then one frame forward and one back.
        click(timelineView(), bottom("playPauseButton"));
        QTest::qWait(200);
        const FrameMarker paused = shownMarker();
        QTest::qWait(500);
        QCOMPARE(shownMarker().stamp(), paused.stamp());
        click(timelineView(), bottom("stepForwardButton"));
        QTRY_COMPARE(shownMarker().frameIndex, paused.frameIndex + 1);
        click(timelineView(), bottom("stepBackwardButton"));
        QTRY_COMPARE(shownMarker().frameIndex, paused.frameIndex);
        shot("08-steps");

        // 8. 8x forward from 08:01:56 across the 08:02:00 boundary, then -8x back across it.
        pauseGap();
        QTest::mouseClick(timelineView(), Qt::LeftButton, Qt::NoModifier,
                          timelinePoint(qRound(xOf(QTime(8, 1, 56).msecsSinceStartOfDay() + 500))));
        QTRY_VERIFY_WITH_TIMEOUT(shownMarker().found && shownMarker().time >= QTime(8, 1, 56), 10000);
        click(timelineView(), bottom("speedButton_8"));
        const QList<QTime> forward = sampleTimes(1500);
        QVERIFY(forward.size() > 3);
        for (int i = 1; i < forward.size(); ++i)
            QVERIFY2(forward[i] > forward[i - 1] && forward[i - 1].msecsTo(forward[i]) < 3000,
                     qPrintable(forward[i - 1].toString("HH:mm:ss.zzz") + " -> " + forward[i].toString("HH:mm:ss.zzz")));
        QVERIFY(forward.first() < QTime(8, 2) && forward.last() >= QTime(8, 2));
        shot("09-forward-8x");
        click(timelineView(), bottom("speedButton_-8"));
        const QList<QTime> backward = sampleTimes(2500);
        QVERIFY(backward.size() > 3);
        for (int i = 1; i < backward.size(); ++i)
            QVERIFY2(backward[i] < backward[i - 1] && backward[i].msecsTo(backward[i - 1]) < 3000,
                     qPrintable(backward[i - 1].toString("HH:mm:ss.zzz") + " -> " + backward[i].toString("HH:mm:ss.zzz")));
        QVERIFY(backward.last() < QTime(8, 2));
        shot("10-backward-8x");

        // 9. A snapshot: the viewer opens and the saved JPEG shows the displayed frame.
        click(timelineView(), bottom("playPauseButton"));
        QTest::qWait(300);
        const FrameMarker snapped = shownMarker();
        click(timelineView(), bottom("captureButton"));
        QWidget* viewer = nullptr;
        QTRY_VERIFY((viewer = visibleWindow("AlarmViewer")) != nullptr);
        shot("11-snapshot");
        const QString saved = QDir::homePath() + "/snapshot.jpg";
        ModalAnswerer saver;
        saver.setAnswer([saved](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return false;
            dialog->selectFile(saved);
            auto* box = dialog->findChild<QDialogButtonBox*>();
            QPushButton* button = box ? box->button(QDialogButtonBox::Save) : nullptr;
            if (!button)
                return false;
            button->click();
            return true;
        });
        QAction* save = nullptr;
        for (QAction* a : viewer->findChildren<QAction*>())
            if (a->text() == QStringLiteral("Enregistrer"))
                save = a;
        QVERIFY(save);
        save->trigger();
        QTRY_VERIFY(QFileInfo(saved).size() > 0);
        const FrameMarker inFile = readFrameMarker(QImage(saved));
        QVERIFY(inFile.found);
        QCOMPARE(inFile.cameraId, 2);
        QCOMPARE(inFile.stamp(), snapped.stamp());
        viewer->close();

        // 10. The integrity check of the day.
        click(timelineView(), bottom("integrityButton"));
        QWidget* integrity = nullptr;
        QTRY_VERIFY((integrity = visibleWindow("IntegrityDialog")) != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (QLabel* l : integrity->findChildren<QLabel*>())
                    if (l->text().contains(QStringLiteral("Intégrité validée")))
                        return true;
                return false;
            }(),
            60000);
        shot("12-integrity");
        integrity->close();
    }
};

ZR_TEST_MAIN_QML(TestJourney)
#include "tst_journey.moc"

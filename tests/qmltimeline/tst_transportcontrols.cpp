//! labels: qml
#include "tests/qmltimeline/TimelineHarness.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTest>
#include <QWidget>

#include <memory>

using namespace zrtest;

// The transport buttons on a real controller and reader over a generated day (one camera,
// recordings at 00:00, 00:01 and 00:02): what each button makes the player do, seen in the
// frames the reader hands over.
class TestTransportControls : public QObject
{
    Q_OBJECT

private:
    // Deadline of one step: generous for a loaded machine; a step that succeeds goes on at once.
    static constexpr int kStepMs = 30000;

    ExportGenerator gen;
    GeneratedExport ex;
    QString day;
    QString dayStamp;
    std::unique_ptr<QmlWarningCatcher> qmlWarnings;
    std::unique_ptr<TimelineHost> host;

    bool hasTransport() const
    {
        const QMetaObject* mo = host->controller->metaObject();
        for (const char* m : {"start_button()", "pause_button()", "next_frame_button()", "previous_frame_button()",
                              "set_playback_rate(int)", "snapshot_full_button()", "check_integrity()"})
            if (mo->indexOfMethod(m) < 0)
                return false;
        return true;
    }

    // Chooses the camera and starts reading at 00:01:10 (the play look turns on).
    bool startAt(const QString& hhmmss)
    {
        ZRPlayerInferfaceController& c = *host->controller;
        if (c.get_available_days(ex.exportPath) != QStringList{day})
            return false;
        QStringList cameras;
        if (!openDay(c, day, &cameras) || cameras.isEmpty())
            return false;
        c.set_selected_camera(cameras.first());
        c.set_zrstream_reader_read_timestamp(dayStamp + hhmmss);
        return QTest::qWaitFor([&] { return c.get_read_time() == hhmmss; }, kStepMs);
    }
    QString playIcon() const { return host->item("playPauseButton")->property("iconSource").toString(); }
    void pauseGap() const { QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50); }

    // Frames shown while the event loop runs for ms.
    int framesDuring(int ms)
    {
        const int before = host->shown->count;
        QTest::qWait(ms);
        return host->shown->count - before;
    }

    template<typename T> static QList<T*> visibleWindows(const char* className)
    {
        QList<T*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && QByteArray(w->metaObject()->className()) == className)
                out << static_cast<T*>(w);
        return out;
    }
    static void closeWindows(const char* className)
    {
        for (QWidget* w : visibleWindows<QWidget>(className)) {
            w->close();
            w->deleteLater();
        }
        QTest::qWait(50);
    }

private slots:
    void initTestCase()
    {
        qmlWarnings = std::make_unique<QmlWarningCatcher>();
        ex = gen.generate({"--cameras", "1", "--minutes", "3", "--start", "00:00:00", "--size", "320x180", "--seed",
                           "21"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        day = ex.days.first();
        dayStamp = QDate::fromString(day, "yyyy-MM-dd").toString("yyyyMMdd");
    }
    void cleanupTestCase() { qmlWarnings.reset(); }

    void init()
    {
        host = std::make_unique<TimelineHost>();
        QVERIFY(host->ready());
        QVERIFY2(hasTransport(), "the controller lacks a transport operation");
        QVERIFY(startAt("000110"));
        QTRY_COMPARE_WITH_TIMEOUT(playIcon(), QStringLiteral("pause"), kStepMs);
    }
    void cleanup()
    {
        host.reset();
        for (const char* window : {"AlarmViewer", "IntegrityDialog", "PopupExport"})
            closeWindows(window);
        ZR_VERIFY_NO_WARNINGS(*qmlWarnings);
    }

    // Play/pause stops and resumes the frames and swaps the icon.
    void playPause()
    {
        const int playing = host->shown->count;
        QTRY_VERIFY_WITH_TIMEOUT(host->shown->count > playing, kStepMs);
        host->click(host->item("playPauseButton"));
        QCOMPARE(playIcon(), QStringLiteral("play"));
        QCOMPARE(host->controller->get_playback_state(), 2);
        QTest::qWait(100);
        QCOMPARE(framesDuring(400), 0);
        pauseGap();
        host->click(host->item("playPauseButton"));
        QCOMPARE(playIcon(), QStringLiteral("pause"));
        QCOMPARE(host->controller->get_playback_state(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(framesDuring(200) > 0, kStepMs);
    }

    // The step buttons pause and move one frame; the time code follows.
    void frameSteps()
    {
        host->click(host->item("playPauseButton"));
        QTest::qWait(100);
        const int index = host->shown->marker().frameIndex;
        QVERIFY(index >= 0);
        pauseGap();
        host->click(host->item("stepForwardButton"));
        QTRY_COMPARE_WITH_TIMEOUT(host->shown->marker().frameIndex, index + 1, kStepMs);
        QCOMPARE(playIcon(), QStringLiteral("play"));
        pauseGap();
        host->click(host->item("stepBackwardButton"));
        QTRY_COMPARE_WITH_TIMEOUT(host->shown->marker().frameIndex, index, kStepMs);
        QCOMPARE(framesDuring(300), 0);
        QTRY_COMPARE_WITH_TIMEOUT(host->timeCodeText(), host->shown->marker().time.toString("HH:mm:ss"), kStepMs);
    }

    // Each rate button: highlighted alone, the rate sent, the play look on, frames in its direction.
    void rates_data()
    {
        QTest::addColumn<int>("speed");
        for (int s : {-8, -4, -2, -1, 1, 2, 4, 8})
            QTest::newRow(qPrintable(QString::number(s) + "x")) << s;
    }
    void rates()
    {
        QFETCH(int, speed);
        host->click(host->item("playPauseButton"));
        QCOMPARE(playIcon(), QStringLiteral("play"));
        pauseGap();
        LogCatcher log;
        host->click(host->item(QStringLiteral("speedButton_%1").arg(speed)));
        QVERIFY(log.contains(QStringLiteral("set playback rate %1").arg(speed)));
        QCOMPARE(playIcon(), QStringLiteral("pause"));
        for (int s : {-8, -4, -2, -1, 1, 2, 4, 8})
            QCOMPARE(host->item(QStringLiteral("speedButton_%1").arg(s))->property("isHighlighted").toBool(), s == speed);
        QTest::qWait(100);
        const QTime before = host->shown->marker().time;
        QVERIFY(before.isValid());
        // The next picture other than this one lies the rate's way; a loaded machine may take
        // a while to show it.
        QTRY_VERIFY_WITH_TIMEOUT(host->shown->marker().time != before, kStepMs);
        const QTime after = host->shown->marker().time;
        QVERIFY(after.isValid());
        QVERIFY2(speed > 0 ? after > before : after < before,
                 qPrintable(before.toString("HH:mm:ss.zzz") + " -> " + after.toString("HH:mm:ss.zzz")));
    }

    // Capture opens the image viewer; the check opens one integrity dialog; export opens its
    // dialog.
    void tools()
    {
        host->click(host->item("playPauseButton"));
        pauseGap();
        host->click(host->item("captureButton"));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows<QWidget>("AlarmViewer").size(), 1, kStepMs);
        pauseGap();
        host->click(host->item("integrityButton"));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows<QWidget>("IntegrityDialog").size(), 1, kStepMs);
        pauseGap();
        host->click(host->item("integrityButton"));
        QTest::qWait(200);
        QCOMPARE(visibleWindows<QWidget>("IntegrityDialog").size(), 1);
        closeWindows("IntegrityDialog");
        pauseGap();
        host->click(host->item("exportButton"));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows<QWidget>("PopupExport").size(), 1, kStepMs);
        closeWindows("PopupExport");
    }
};

ZR_TEST_MAIN_QML(TestTransportControls)
#include "tst_transportcontrols.moc"

//! labels: qml
#include "tests/qmltimeline/TimelineHarness.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QGuiApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QStyleHints>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace zrtest;

// The timeline view on a real controller over a generated day: two cameras, recordings at
// 00:00, 00:01 and 00:02 (so most positions of the day's third minute are six-digit
// millisecond values), two streams, alarms, tags and previews.
class TestTimelineView : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    GeneratedExport ex;
    QString day;       // "yyyy-MM-dd"
    QString dayStamp;  // "yyyyMMdd"
    std::unique_ptr<QmlWarningCatcher> qmlWarnings;
    std::unique_ptr<TimelineHost> host;

    static int msOf(const QString& hhmmss) { return QTime::fromString(hhmmss, "HHmmss").msecsSinceStartOfDay(); }
    static QString hhmmss(int ms) { return QTime::fromMSecsSinceStartOfDay(ms).toString("HHmmss"); }

    qreal xOf(qreal ms) const { return host->callTimeline("xOf", ms).toReal(); }
    qreal width() const { return host->timeline()->width(); }

    bool selectCamera(int id)
    {
        ZRPlayerInferfaceController& c = *host->controller;
        if (c.get_available_days(ex.exportPath) != QStringList{day})
            return false;
        QStringList cameras;
        if (!openDay(c, day, &cameras) || !cameras.contains(ex.camera(id)->name))
            return false;
        QSignalSpy changed(&c, &ZRPlayerInferfaceController::dataChanged);
        c.set_selected_camera(ex.camera(id)->name);
        return changed.count() == 1 && c.get_camera_id() == id;
    }

    // Zooms so that one pixel is about half a second, around the recorded minutes.
    void zoomOnRecordings()
    {
        host->timeline()->setProperty("zoomFactor", 100.0);
        host->timeline()->setProperty("timelineOffsetX", width() / 2 - 90000.0 / 86400000.0 * width() * 100.0);
        QTRY_COMPARE(host->tl("zoomFactor").toReal(), 100.0);
    }

    QStringList labelsByX() const
    {
        QList<QQuickItem*> labels = host->visibleItems("rulerLabel");
        std::sort(labels.begin(), labels.end(), [](QQuickItem* a, QQuickItem* b) {
            return a->parentItem()->x() < b->parentItem()->x();
        });
        QStringList out;
        for (QQuickItem* l : labels) {
            const qreal x = l->parentItem()->x();
            if (x >= 0 && x < width())
                out << l->property("text").toString();
        }
        return out;
    }

    QStringList tagTimes(int camera) const
    {
        QStringList out;
        for (const GeneratedTag& t : ex.camera(camera)->tags)
            if (t.datetime.startsWith(dayStamp))
                out << t.datetime;
        return out;
    }
    QStringList alarmTimes(int camera) const
    {
        QStringList out;
        for (const GeneratedAlarm& a : ex.camera(camera)->alarms)
            if (a.datetime.startsWith(dayStamp))
                out << a.datetime;
        return out;
    }

private slots:
    void initTestCase()
    {
        qmlWarnings = std::make_unique<QmlWarningCatcher>();
        ex = gen.generate({"--cameras", "2", "--minutes", "3", "--start", "00:00:00", "--alarms", "3", "--tags", "3",
                           "--previews", "--streams", "2", "--size", "320x180", "--seed", "11"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        day = ex.days.first();
        dayStamp = QDate::fromString(day, "yyyy-MM-dd").toString("yyyyMMdd");
    }
    void cleanupTestCase() { qmlWarnings.reset(); }

    void init()
    {
        host = std::make_unique<TimelineHost>();
        QVERIFY(host->ready());
        QVERIFY(host->timeline());
    }
    void cleanup()
    {
        host.reset();
        ZR_VERIFY_NO_WARNINGS(*qmlWarnings);
    }

    // Before a day and camera are chosen: nothing drawn, every control disabled.
    void emptyUntilDataArrives()
    {
        QCOMPARE(host->items("videoSegment").size(), 0);
        QVERIFY(!host->item("positionCursor")->isVisible());
        QVERIFY(!host->item("previewStrip")->isVisible());
        QCOMPARE(host->timeCodeText(), QStringLiteral("00:00:00"));
        for (const char* name : {"speedButton_-8", "speedButton_-1", "speedButton_1", "speedButton_8", "seekBack30",
                                 "seekBack10", "seekBack5", "stepBackwardButton", "playPauseButton", "stepForwardButton",
                                 "seekForward5", "seekForward10", "seekForward30", "settingsButton", "captureButton",
                                 "integrityButton", "exportButton"}) {
            QQuickItem* b = host->item(name);
            QVERIFY2(b, name);
            QVERIFY2(!b->isEnabled(), name);
        }
        // A click on a disabled control asks nothing of the controller.
        LogCatcher log;
        host->click(host->item("seekForward5"));
        host->click(host->item("playPauseButton"));
        QTest::qWait(300);
        QVERIFY(!log.contains("set zrstream reader"));
    }

    // The ruler's step is the smallest whose labels are at least 80 px apart.
    void rulerSteps_data()
    {
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<QStringList>("labels");
        QStringList hours, twoHours;
        for (int h = 0; h < 24; ++h) {
            hours << QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0'));
            if (h % 2 == 0)
                twoHours << hours.last();
        }
        QTest::newRow("1920 px: every hour") << 1920 << hours;
        QTest::newRow("960 px: every 2 hours") << 960 << twoHours;
        QTest::newRow("959 px: midnight only") << 959 << QStringList{"00:00"};
    }
    void rulerSteps()
    {
        QFETCH(int, barWidth);
        QFETCH(QStringList, labels);
        host->view->resize(barWidth + 10, 250);
        QTRY_COMPARE(int(width()), barWidth);
        QTRY_COMPARE(labelsByX(), labels);
    }

    // A chosen camera's day: its recorded minutes, alarms, tags and thumbnails, controls on.
    void dayLayers()
    {
        QVERIFY(selectCamera(1));
        QList<QQuickItem*> segments = host->visibleItems("videoSegment");
        QCOMPARE(segments.size(), 3);
        QList<qreal> xs;
        for (QQuickItem* s : segments) {
            xs << s->x();
            QVERIFY(s->width() >= 1);
        }
        std::sort(xs.begin(), xs.end());
        QCOMPARE(xs, (QList<qreal>{xOf(0), xOf(60000), xOf(120000)}));

        const QStringList alarms = alarmTimes(1);
        const QStringList tags = tagTimes(1);
        QVERIFY(!alarms.isEmpty() && !tags.isEmpty());
        for (const QString& a : alarms) {
            QQuickItem* bar = host->item("alarmBar_" + a);
            QVERIFY2(bar && bar->isVisible(), qPrintable(a));
            QCOMPARE(bar->x(), xOf(msOf(a.mid(8))) - 3);
            QCOMPARE(bar->size(), QSizeF(6, 25));
        }
        for (const QString& t : tags)
            QVERIFY2(host->item("tagBar_" + t) && host->item("tagBar_" + t)->isVisible(), qPrintable(t));
        // Camera 2's marks are not drawn for camera 1.
        for (const QString& a : alarmTimes(2))
            if (!alarms.contains(a))
                QVERIFY(!host->item("alarmBar_" + a));

        // Three previews a minute apart: at zoom 1 one slot covers them all and shows the first.
        QVERIFY(host->item("previewStrip")->isVisible());
        QTRY_COMPARE(host->items("previewSlot").size(), 1);
        QList<QQuickItem*> previewSlots = host->items("previewSlot");
        QCOMPARE(previewSlots.first()->property("slotMs").toReal(), 0.0);
        QVERIFY(previewSlots.first()->property("imageUrl").toString().endsWith("_" + dayStamp + "_000000_preview.jpg"));
        QQuickItem* image = findItems(previewSlots.first(), "previewImage").value(0);
        QVERIFY(image);
        QTRY_COMPARE(image->opacity(), 1.0);
        host->screenshot("timeline-day");
        // With the strip shown the marks stand above it.
        QQuickItem* bar = host->item("alarmBar_" + alarms.first());
        QCOMPARE(bar->y() + 25 + 96 + 10, host->tl("barInnerTop").toReal());

        QVERIFY(!host->item("positionCursor")->isVisible());
        QVERIFY(host->item("playPauseButton")->isEnabled());
        QVERIFY(host->item("speedButton_1")->property("isHighlighted").toBool());
        QCOMPARE(host->item("playPauseButton")->property("iconSource").toString(), QStringLiteral("play"));

        // Another camera replaces the marks.
        QSignalSpy changed(host->controller.get(), &ZRPlayerInferfaceController::dataChanged);
        host->controller->set_selected_camera(ex.camera(2)->name);
        QCOMPARE(changed.count(), 1);
        for (const QString& a : alarmTimes(2))
            QVERIFY2(host->item("alarmBar_" + a), qPrintable(a));
        for (const QString& a : alarms)
            if (!alarmTimes(2).contains(a))
                QVERIFY(!host->item("alarmBar_" + a));
    }

    // A click seeks 200 ms later to the clicked second of the selected day, in a form the
    // controller cannot misread: 00:02:30 is 150000 ms, which as text would pass for 15:00:00.
    void clickSeeksToClickedTime_data()
    {
        QTest::addColumn<int>("targetMs");
        QTest::addColumn<bool>("zoomed");
        QTest::newRow("00:02:30 (150000 ms)") << 150000 << true;
        QTest::newRow("00:01:45 (105000 ms)") << 105000 << true;
        QTest::newRow("00:00:30 (30000 ms)") << 30000 << true;
        QTest::newRow("zoom 1, third minute") << 160000 << false;
    }
    void clickSeeksToClickedTime()
    {
        QFETCH(int, targetMs);
        QFETCH(bool, zoomed);
        QVERIFY(selectCamera(1));
        if (zoomed)
            zoomOnRecordings();
        const int px = qRound(xOf(targetMs + 500));
        const int clicked = host->callTimeline("timeAt", px).toInt();
        QVERIFY2(zoomed ? clicked / 1000 == targetMs / 1000 : clicked / 60000 == targetMs / 60000,
                 qPrintable(QString::number(clicked)));
        const QString want = hhmmss(clicked);

        LogCatcher log;
        host->click(host->timelinePoint(px));
        QVERIFY(!log.contains("set zrstream reader"));
        QVERIFY(log.waitFor("set zrstream reader read timestamp " + dayStamp + want, 2000));
        QTRY_COMPARE(host->controller->get_read_time(), want);

        const FrameMarker m = host->shown->marker();
        QVERIFY(m.found);
        QCOMPARE(m.cameraId, 1);
        QCOMPARE(m.date, QDate::fromString(day, "yyyy-MM-dd"));
        QCOMPARE(m.time.toString("HHmmss"), want);

        QTRY_COMPARE(host->timeCodeText(), QTime::fromString(want, "HHmmss").toString("HH:mm:ss"));
        QQuickItem* cursor = host->item("positionCursor");
        QTRY_VERIFY(cursor->isVisible());
        host->screenshot(QStringLiteral("timeline-click-%1").arg(targetMs));
        QVERIFY(qAbs(cursor->x() + 1.5 - xOf(msOf(want))) <= 1.0);
    }

    // A double click fits the previews and never seeks; a single click afterwards does.
    void doubleClickFitsPreviews()
    {
        QVERIFY(selectCamera(1));
        LogCatcher log;
        host->doubleClick(host->timelinePoint(800));
        QTest::qWait(400);
        QVERIFY(!log.contains("set zrstream reader"));
        // Previews at 0, 60 and 120 s: 132 s padded would be zoom 654, capped at 100.
        QCOMPARE(host->tl("zoomFactor").toReal(), 100.0);
        const qreal expected = std::clamp(width() / 2 - 60000.0 / 86400000.0 * width() * 100.0, width() - width() * 100, 0.0);
        QCOMPARE(host->tl("timelineOffsetX").toReal(), expected);
        // Zoomed in, every thumbnail has its own slot.
        QTRY_COMPARE(host->items("previewSlot").size() >= 3, true);

        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        const int px = qRound(xOf(150500));
        host->click(host->timelinePoint(px));
        QVERIFY(log.waitFor("set zrstream reader read timestamp " + dayStamp + "000230", 2000));
        QTRY_COMPARE(host->controller->get_read_time(), QStringLiteral("000230"));
    }

    // The wheel zooms around the mouse; the limits hold.
    void wheelZoom()
    {
        QVERIFY(selectCamera(1));
        const QPoint at = host->timelinePoint(700);
        const qreal before = host->callTimeline("rawTimeAt", 700).toReal();
        host->wheel(at, 120);
        QCOMPARE(host->tl("zoomFactor").toReal(), 1.24);
        QVERIFY(qAbs(host->callTimeline("rawTimeAt", 700).toReal() - before) < 1.0);
        host->wheel(at, 120);
        const qreal n = 0.24 / 99;
        QVERIFY(qFuzzyCompare(host->tl("zoomFactor").toReal(), 1.24 * (1 + 0.24 * (1 - n) * (1 - n))));
        QVERIFY(qAbs(host->callTimeline("rawTimeAt", 700).toReal() - before) < 1.0);
        for (int i = 0; i < 4; ++i)
            host->wheel(at, -120);
        QCOMPARE(host->tl("zoomFactor").toReal(), 1.0);
        QCOMPARE(host->tl("timelineOffsetX").toReal(), 0.0);

        // At the top: one more notch changes nothing; the ruler labels every minute there.
        host->callTimeline("setZoom", 100.0, 700.0);
        const qreal offset = host->tl("timelineOffsetX").toReal();
        host->wheel(at, 120);
        QCOMPARE(host->tl("zoomFactor").toReal(), 100.0);
        QCOMPARE(host->tl("timelineOffsetX").toReal(), offset);
        QTRY_COMPARE(host->tl("rulerStepMs").toReal(), 60000.0);
        const QStringList labels = labelsByX();
        QVERIFY(labels.size() > 10);
        for (int i = 1; i < labels.size(); ++i)
            QCOMPARE(QTime::fromString(labels[i - 1], "HH:mm").addSecs(60).toString("HH:mm"), labels[i]);
    }

    // A drag pans a zoomed timeline and is not taken for a click; a right click resets the zoom.
    void dragPansAndDropsTheClick_data()
    {
        QTest::addColumn<int>("moves");
        QTest::newRow("one move of 100 px") << 1;
        QTest::newRow("slow drag, 2 px a move") << 10;
    }
    void dragPansAndDropsTheClick()
    {
        QFETCH(int, moves);
        QVERIFY(selectCamera(1));
        host->callTimeline("setZoom", 2.0, 0.0);
        QCOMPARE(host->tl("timelineOffsetX").toReal(), 0.0);
        const int step = moves == 1 ? 100 : 2;
        LogCatcher log;
        QPoint p = host->timelinePoint(800);
        QTest::mousePress(host->view.get(), Qt::LeftButton, Qt::NoModifier, p);
        for (int i = 0; i < moves; ++i) {
            p.rx() -= step;
            QTest::mouseMove(host->view.get(), p);
        }
        QTest::mouseRelease(host->view.get(), Qt::LeftButton, Qt::NoModifier, p);
        QCOMPARE(host->tl("timelineOffsetX").toReal(), -qreal(step * moves));
        QVERIFY(log.waitFor("[Timeline] Clic ignoré (drag détecté)", 2000));
        QVERIFY(!log.contains("set zrstream reader"));

        // At zoom 1 a press and move does not pan.
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        host->click(host->timelinePoint(500), Qt::RightButton);
        QCOMPARE(host->tl("zoomFactor").toReal(), 1.0);
        QCOMPARE(host->tl("timelineOffsetX").toReal(), 0.0);
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        p = host->timelinePoint(800);
        QTest::mousePress(host->view.get(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseMove(host->view.get(), p - QPoint(50, 0));
        QCOMPARE(host->tl("timelineOffsetX").toReal(), 0.0);
        QTest::mouseRelease(host->view.get(), Qt::LeftButton, Qt::NoModifier, p);

        // After the reset a plain click seeks again.
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        log.clear();
        host->click(host->timelinePoint(qRound(xOf(90000))));
        QVERIFY(log.waitFor("set zrstream reader read timestamp " + dayStamp, 2000));
    }

    // Alarm bars seek to their time and show their thumbnail while hovered.
    void alarmBars()
    {
        QVERIFY(selectCamera(1));
        zoomOnRecordings();
        const QStringList tags = tagTimes(1);
        QString alarm;
        for (const QString& a : alarmTimes(1)) {
            bool clear = true;
            for (const QString& t : tags)
                clear = clear && qAbs(msOf(a.mid(8)) - msOf(t.mid(8))) >= 20000;
            if (clear)
                alarm = a;
        }
        if (alarm.isEmpty())
            QSKIP("every alarm of the generated day lies under a tag");
        QQuickItem* bar = host->item("alarmBar_" + alarm);
        QVERIFY(bar);

        host->hover(host->centerOf(bar));
        QTRY_VERIFY(host->popup->isVisible());
        QStringList captions;
        for (QLabel* l : host->popup->findChildren<QLabel*>())
            captions << l->text();
        QVERIFY2(captions.contains(QDateTime::fromString(alarm, "yyyyMMddHHmmss").toString("yyyy-MM-dd HH:mm:ss")),
                 qPrintable(captions.join('|')));
        const QPoint global = host->view->mapToGlobal(host->centerOf(bar));
        QVERIFY(qAbs(host->popup->geometry().center().x() - global.x()) <= 2);
        QVERIFY(host->popup->geometry().bottom() < global.y());
        host->hover(host->centerOf(bar) + QPoint(0, 60));
        QVERIFY(!host->popup->isVisible());

        LogCatcher log;
        host->click(bar);
        QVERIFY(log.waitFor("set zrstream reader read timestamp " + alarm, 2000));
        QTRY_COMPARE(host->controller->get_read_time(), alarm.mid(8));
    }

    // Tag bars: a tooltip after 400 ms of hover, gone at once on leaving; a click seeks.
    void tagBars()
    {
        QVERIFY(selectCamera(1));
        zoomOnRecordings();
        const QString tag = tagTimes(1).first();
        QQuickItem* bar = host->item("tagBar_" + tag);
        QVERIFY(bar);
        QQuickItem* tip = host->item("tagTooltip");
        QElapsedTimer hover;
        hover.start();
        host->hover(host->centerOf(bar));
        QTest::qWait(150);
        // Not yet shown, unless a loaded machine let the 400 ms pass meanwhile.
        if (hover.elapsed() < 350)
            QVERIFY(!tip->isVisible());
        QTRY_VERIFY(tip->isVisible());
        const QString text = host->item("tagTooltipText")->property("text").toString();
        QVERIFY2(text.startsWith("Tag ") && text.contains(" - Repère ") && text.endsWith(" de la caméra 1"),
                 qPrintable(text));
        QVERIFY(tip->y() >= bar->y() + bar->height());
        host->screenshot("timeline-tag-tooltip");
        host->hover(host->centerOf(bar) + QPoint(0, 60));
        QVERIFY(!tip->isVisible());

        LogCatcher log;
        host->click(bar);
        QVERIFY(log.waitFor("set zrstream reader read timestamp " + tag, 2000));
        QTRY_COMPARE(host->controller->get_read_time(), tag.mid(8));
    }

    // The seek buttons move from the read time; the text always carries the day.
    void seekButtons()
    {
        QVERIFY(selectCamera(1));
        host->controller->set_zrstream_reader_read_timestamp(dayStamp + "000230");
        QTRY_COMPARE(host->controller->get_read_time(), QStringLiteral("000230"));
        const QList<QPair<const char*, QString>> steps = {
            {"seekForward5", "000235"}, {"seekBack10", "000225"}, {"seekBack30", "000155"},
            {"seekForward10", "000205"}, {"seekBack5", "000200"}};
        for (const auto& s : steps) {
            LogCatcher log;
            host->click(host->item(s.first));
            QVERIFY2(log.contains("set zrstream reader read timestamp " + dayStamp + s.second), s.first);
            QTRY_COMPARE(host->controller->get_read_time(), s.second);
            QCOMPARE(host->item("playPauseButton")->property("iconSource").toString(), QStringLiteral("pause"));
            QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        }
        // Back 30 s at 00:00:10 stops at midnight.
        host->controller->set_zrstream_reader_read_timestamp(dayStamp + "000010");
        QTRY_COMPARE(host->controller->get_read_time(), QStringLiteral("000010"));
        LogCatcher log;
        host->click(host->item("seekBack30"));
        QVERIFY(log.contains("set zrstream reader read timestamp " + dayStamp + "000000"));
        QTRY_COMPARE(host->controller->get_read_time(), QStringLiteral("000000"));
    }

    // The seek text for any time: the day's date and "HHmmss", the next day past midnight,
    // zero-padded "HHmmss" when no day is known.
    void seekText_data()
    {
        QTest::addColumn<double>("ms");
        QTest::addColumn<bool>("withDay");
        QTest::addColumn<QString>("expected");
        QTest::newRow("midnight") << 0.0 << true << "D000000";
        QTest::newRow("100000 ms") << 100000.0 << true << "D000140";
        QTest::newRow("150000 ms") << 150000.0 << true << "D000230";
        QTest::newRow("last ms") << 86399999.0 << true << "D235959";
        QTest::newRow("past midnight") << 86405000.0 << true << "N000005";
        QTest::newRow("negative") << -5000.0 << true << "D000000";
        QTest::newRow("no day, 100000 ms") << 100000.0 << false << "000140";
        QTest::newRow("no day, 5 ms") << 5.0 << false << "000000";
        QTest::newRow("no day, past midnight") << 86405000.0 << false << "235959";
    }
    void seekText()
    {
        QFETCH(double, ms);
        QFETCH(bool, withDay);
        QFETCH(QString, expected);
        host->controller->set_selected_date(withDay ? day : QString());
        const QDate d = QDate::fromString(day, "yyyy-MM-dd");
        expected.replace("D", d.toString("yyyyMMdd")).replace("N", d.addDays(1).toString("yyyyMMdd"));
        for (const char* name : {"timeline", "controls"}) {
            QVariant out;
            QVERIFY(QMetaObject::invokeMethod(host->item(name), "seekText", Q_RETURN_ARG(QVariant, out),
                                              Q_ARG(QVariant, ms)));
            QCOMPARE(out.toString(), expected);
        }
    }

    // The stream chooser lists the reader's streams beside the settings button and switches.
    void streamChooser()
    {
        QVERIFY(selectCamera(1));
        QObject* chooser = findObject(host->root(), "streamChooser");
        QVERIFY(chooser);
        // Before any read there is no stream to choose.
        host->click(host->item("settingsButton"));
        QTRY_VERIFY(chooser->property("placed").toBool());
        QCOMPARE(host->item("streamChooserTitle")->property("text").toString(),
                 QStringLiteral("Aucun flux vidéo disponible"));
        QTest::keyClick(host->view.get(), Qt::Key_Escape);
        QTRY_VERIFY(!chooser->property("visible").toBool());

        host->controller->set_zrstream_reader_read_timestamp(dayStamp + "000110");
        QTRY_COMPARE(host->controller->get_read_time(), QStringLiteral("000110"));
        QTRY_VERIFY(host->controller->get_videostreams_list().size() == 2);
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        QQuickItem* settings = host->item("settingsButton");
        host->click(settings);
        QTRY_VERIFY(chooser->property("placed").toBool());
        QCOMPARE(host->item("streamChooserTitle")->property("text").toString(), QStringLiteral("Choix du flux vidéo"));
        const QStringList streams = host->controller->get_videostreams_list();
        QList<QQuickItem*> options;
        for (const QString& s : streams) {
            QQuickItem* o = host->item("streamOption_" + s);
            QVERIFY2(o && o->isVisible(), qPrintable(s));
            QCOMPARE(o->property("text").toString(), "Vidéo " + s);
            options << o;
        }
        QVERIFY(options.first()->property("checked").toBool());
        host->screenshot("timeline-stream-chooser");
        // Left edge at the settings button's right edge, bottoms level.
        QCOMPARE(chooser->property("x").toReal(), settings->width());
        QCOMPARE(chooser->property("y").toReal() + chooser->property("height").toReal(), settings->height());
        QVERIFY(!chooser->property("modal").toBool());

        LogCatcher log;
        host->click(options.last());
        QTRY_VERIFY(!chooser->property("visible").toBool());
        QVERIFY(log.contains("set video stream id to 2"));
        QCOMPARE(host->controller->get_stream_id(), 2);
        QVERIFY(host->item("speedButton_1")->property("isHighlighted").toBool());
    }
};

ZR_TEST_MAIN_QML(TestTimelineView)
#include "tst_timelineview.moc"

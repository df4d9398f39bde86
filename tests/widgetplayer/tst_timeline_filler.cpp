//! labels: gui
#include "store/ZRFile.h"
#include "store/ZRTag.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"
#include "widgetplayer/ZRSlidertimeline.h"
#include "widgetplayer/ZRTimeline.h"
#include "widgetplayer/ZRTimelinethread.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The filler thread on its own: what it marks, how a newer run replaces an older one, and
// that nothing it touches can be pulled from under it.
class TestTimelineFiller : public QObject
{
    Q_OBJECT

    // The window's column of 24 hour strips and its day slider.
    struct Day
    {
        QStringList labels;
        QHash<QString, ZRTimeline*> timelines;
        std::unique_ptr<QWidget> column{new QWidget};
        QPointer<ZRSlidertimeline> slider{new ZRSlidertimeline(column.get())};

        Day()
        {
            for (int h = 0; h < 24; ++h) {
                const QString label = QStringLiteral("%1:00:00 - %2:00:00").arg(h, 2, 10, QLatin1Char('0'))
                                          .arg((h + 1) % 24, 2, 10, QLatin1Char('0'));
                labels << label;
                timelines.insert(label, new ZRTimeline(label, column.get()));
            }
            slider->setMaximum(1440);
            slider->setOrientation(Qt::Horizontal);
        }
        ZRTimeline* hour(int h) const { return timelines.value(labels.at(h)); }
        // Every recorded minute of the day as the hour strips show it.
        QList<int> stripMinutes() const
        {
            QList<int> out;
            for (int h = 0; h < 24; ++h)
                for (int m = 0; m < 60; ++m)
                    if (hour(h)->minute_slot(m))
                        out << h * 60 + m;
            return out;
        }
        QList<int> sliderMinutes() const
        {
            QList<int> out;
            for (int m = 0; m < 1440; ++m)
                if (slider->minute_slot(m))
                    out << m;
            return out;
        }
    };

    // Runs one fill to its end and returns the thread's results (the thread deletes itself).
    struct Result
    {
        bool finished = false;
        QStringList streams;
        double fileMinutes = -2;
    };
    static Result fill(Day& day, int camera, const QFileInfoList& videos, const QFileInfoList& audios = {},
                       const QList<ZRTag*>& tags = {})
    {
        Result r;
        auto* t = new ZRTimelinethread(&day.timelines, day.labels, day.slider, camera, videos, audios, tags);
        QObject::connect(t, &ZRTimelinethread::finished, t, [&r, t] {
            r.finished = true;
            r.streams = t->get_stream_ids();
            r.fileMinutes = t->get_file_minutes();
        });
        t->start();
        zrtest::waitUntil([&r] { return r.finished; }, 60000);
        return r;
    }

    static QFileInfoList names(const QString& dir, const QStringList& list)
    {
        QFileInfoList out;
        for (const QString& n : list)
            out << QFileInfo(dir + "/" + n);
        return out;
    }

    static void writeSeek(const QString& path, const QStringList& stamps)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (const QString& s : stamps)
            f.write((s + ":video1:264:640x360:1:1000\n").toUtf8());
    }

    static QList<int> range(int first, int count)
    {
        QList<int> out;
        for (int i = 0; i < count; ++i)
            out << first + i;
        return out;
    }

    zrtest::ExportGenerator gen;

private slots:
    void generatedDayWithGaps()
    {
        // 07:50 to 08:29 with 08:02 .. 08:14 left out: the gap is too long to be taken for the
        // spacing of recordings, so each recording's length comes from its seek table.
        QStringList skip;
        for (int m = 12; m <= 24; ++m)
            skip << QString::number(m);
        const zrtest::GeneratedExport ex = gen.generate({"--cameras", "2", "--minutes", "40", "--start", "07:50:00",
                                                         "--skip", skip.join(','), "--size", "64x36", "--fps", "5",
                                                         "--tags", "3", "--seed", "5"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const zrtest::GeneratedCamera* cam = ex.camera(2);
        QVERIFY(cam);

        QFileInfoList videos; // both cameras, sorted by name, as the day list holds them
        for (const zrtest::GeneratedCamera& c : ex.cameras)
            for (const zrtest::GeneratedRecording& rec : c.recordings)
                videos << QFileInfo(rec.videoPath);
        QList<int> expected;
        for (const zrtest::GeneratedRecording& rec : cam->recordings)
            expected << rec.startMs / 60000;
        QCOMPARE(expected.size(), 27);

        std::vector<std::unique_ptr<ZRTag>> owned;
        QList<ZRTag*> tags;
        for (const zrtest::GeneratedTag& t : cam->tags) {
            owned.emplace_back(ZRFile::parse_tags_file(QFileInfo(t.path)));
            QVERIFY(owned.back());
            tags << owned.back().get();
        }

        Day day;
        const Result r = fill(day, 2, videos, {}, tags);
        QVERIFY(r.finished);
        QCOMPARE(day.stripMinutes(), expected);
        QCOMPARE(day.sliderMinutes(), expected);
        QCOMPARE(r.fileMinutes, 1.0);
        QCOMPARE(r.streams, QStringList{"video1"});
        for (int h = 0; h < 24; ++h)
            QCOMPARE(day.hour(h)->get_camera_id(), 2);
        // Each tag lands on the strip of its hour.
        int placed = 0;
        for (int h = 0; h < 24; ++h)
            placed += day.hour(h)->get_tags().size();
        QCOMPARE(placed, cam->tags.size());
    }

    void markingRules_data()
    {
        QTest::addColumn<int>("camera");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("seekLines"); // "file|stamp,stamp" to write before the run
        QTest::addColumn<QList<int>>("minutes");    // slider minutes expected
        QTest::addColumn<double>("fileMinutes");
        QTest::addColumn<bool>("seekRead");

        QTest::newRow("five minutes apart")
            << 1 << QStringList{"1_20240131_080000.zrvideo", "1_20240131_080500.zrvideo", "1_20240131_081000.zrvideo"}
            << QStringList() << range(480, 15) << 5.0 << false;
        QTest::newRow("other camera between keeps the spacing")
            << 1 << QStringList{"1_20240131_080000.zrvideo", "2_20240131_080300.zrvideo", "1_20240131_080600.zrvideo"}
            << QStringList() << (range(480, 3) + range(486, 3)) << 3.0 << false;
        QTest::newRow("first camera taken")
            << -1 << QStringList{"4_20240131_100000.zrvideo", "4_20240131_100200.zrvideo", "5_20240131_100400.zrvideo"}
            << QStringList() << range(600, 4) << 2.0 << false;
        QTest::newRow("one minute apart: length from the table")
            << 1 << QStringList{"1_20240131_080000.zrvideo", "1_20240131_080100.zrvideo"}
            << QStringList{"1_20240131_080000.zrseek|20240131080000000,20240131080059500"}
            << range(480, 2) << 1.0 << true;
        QTest::newRow("last minute of the day")
            << 1 << QStringList{"1_20240131_235800.zrvideo"}
            << QStringList{"1_20240131_235800.zrseek|20240131235800000,20240131235940000"}
            << QList<int>{1438} << (100.0 / 60.0) << true;
        QTest::newRow("missing seek table")
            << 1 << QStringList{"1_20240131_080000.zrvideo"} << QStringList() << QList<int>() << -1.0 << true;
        QTest::newRow("names without three fields")
            << 1 << QStringList{"clip.zrvideo", "1_080000.zrvideo"} << QStringList() << QList<int>() << -1.0 << false;
    }

    void markingRules()
    {
        QFETCH(int, camera);
        QFETCH(QStringList, files);
        QFETCH(QStringList, seekLines);
        QFETCH(QList<int>, minutes);
        QFETCH(double, fileMinutes);
        QFETCH(bool, seekRead);
        QTemporaryDir dir;
        for (const QString& s : seekLines)
            writeSeek(dir.filePath(s.section('|', 0, 0)), s.section('|', 1).split(','));

        zrtest::LogCatcher log;
        Day day;
        const Result r = fill(day, camera, names(dir.path(), files));
        QVERIFY(r.finished);
        QCOMPARE(day.sliderMinutes(), minutes);
        QVERIFY(qAbs(r.fileMinutes - fileMinutes) < 1e-9);
        QCOMPARE(log.contains("[INFO] ZTimeline thread :: get minute diff :: filepath :: "), seekRead);
        if (QTest::currentDataTag() == QLatin1String("missing seek table"))
            QVERIFY(log.contains("[WARN] ZRTimelinethread :: seek last frame :: Error Opening Seek File "));
        // The hour strips hold the same minutes, cut at the end of their hour.
        QList<int> inStrips;
        for (int m : minutes)
            if (m / 60 == minutes.first() / 60)
                inStrips << m;
        QList<int> strips = day.stripMinutes();
        strips.erase(std::remove_if(strips.begin(), strips.end(),
                                    [&](int m) { return minutes.isEmpty() || m / 60 != minutes.first() / 60; }),
                     strips.end());
        QCOMPARE(strips, inStrips);
        if (!r.streams.isEmpty())
            QCOMPARE(r.streams, QStringList{"video1"});
    }

    void fiveMinuteFileSpillsOnlyOnTheSlider()
    {
        Day day;
        QTemporaryDir dir;
        const Result r = fill(day, 1, names(dir.path(), {"1_20240131_085800.zrvideo", "1_20240131_090300.zrvideo"}));
        QVERIFY(r.finished);
        QCOMPARE(day.sliderMinutes(), range(538, 10));
        QCOMPARE(day.stripMinutes(), QList<int>({538, 539}) + range(543, 5));
    }

    void seekLastFrame_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<int>("size");
        QTest::newRow("two lines") << QByteArray("20240131080000000:video1:264:640x360:1:100\n"
                                                 "20240131080059960:video2:264:640x360:0:250\n")
                                   << "20240131080059960" << 250;
        QTest::newRow("no final newline") << QByteArray("20240131080000000:video1:264:640x360:1:100") << "20240131080000000" << 100;
        QTest::newRow("empty") << QByteArray() << "" << -1;
        QTest::newRow("garbage last line") << QByteArray("20240131080000000:video1:264:640x360:1:100\nxx:yy\n") << "" << -1;
        QTest::newRow("overlong line") << (QByteArray("20240131080000000:video1:264:640x360:1:100\n") + QByteArray(3000, 'z'))
                                       << "" << -1;
        QTest::newRow("short fields") << QByteArray("20240131080000000:video1\n") << "20240131080000000" << 0;
    }

    void seekLastFrame()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, stamp);
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.filePath("1_20240131_080000.zrseek");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        std::unique_ptr<ZRTimelinethread> t(new ZRTimelinethread);
        const ZRFrame frame = t->seek_last_frame(path);
        QCOMPARE(frame.get_timestamp(), stamp);
        QCOMPARE(frame.get_size(), size);
        if (!stamp.isEmpty()) {
            QCOMPARE(frame.get_kind(), QString("video"));
            QCOMPARE(frame.get_data_file(), path);
        }
    }

    void newerRunWins()
    {
        Day day;
        QTemporaryDir dir;
        auto* older = new ZRTimelinethread(&day.timelines, day.labels, day.slider, 1,
                                           names(dir.path(), {"1_20240131_080000.zrvideo", "1_20240131_080500.zrvideo"}),
                                           {}, {});
        QPointer<ZRTimelinethread> olderAlive(older);
        QSignalSpy olderDone(older, SIGNAL(finished()));
        older->start();
        // The newer run exists before the older can hand anything over: its result is the one shown.
        auto* newer = new ZRTimelinethread(&day.timelines, day.labels, day.slider, 1,
                                           names(dir.path(), {"1_20240131_100000.zrvideo", "1_20240131_100200.zrvideo"}),
                                           {}, {});
        QPointer<ZRTimelinethread> newerAlive(newer);
        QSignalSpy newerDone(newer, SIGNAL(finished()));
        newer->start();
        QVERIFY(zrtest::waitForSignals(newerDone, 1, 30000));
        QVERIFY(zrtest::waitUntil([&] { return !olderAlive && !newerAlive; }, 30000));
        QCOMPARE(olderDone.count(), 0);
        QCOMPARE(newerDone.count(), 1);
        QCOMPARE(day.stripMinutes(), range(600, 4));
        QCOMPARE(day.sliderMinutes(), range(600, 4));
    }

    void widgetsGoneWhileRunning()
    {
        // Enough names to keep the run busy while the window tears its timelines down.
        QFileInfoList many;
        for (int i = 0; i < 20000; ++i) {
            const int minute = (i * 5) % 1440;
            many << QFileInfo(QStringLiteral("/nowhere/1_20240131_%1%200.zrvideo")
                                  .arg(minute / 60, 2, 10, QLatin1Char('0'))
                                  .arg(minute % 60, 2, 10, QLatin1Char('0')));
        }
        {
            auto day = std::make_unique<Day>();
            auto* t = new ZRTimelinethread(&day->timelines, day->labels, day->slider, 1, many, {}, {});
            QPointer<ZRTimelinethread> alive(t);
            QSignalSpy done(t, SIGNAL(finished()));
            t->start();
            day.reset(); // strips, slider and the table itself go away
            QVERIFY(zrtest::waitUntil([&] { return !alive; }, 120000));
            QVERIFY(done.count() <= 1);
        }
        {
            Day day;
            auto* t = new ZRTimelinethread(&day.timelines, day.labels, day.slider, 1, many, {}, {});
            t->start();
            delete t; // stops the run and waits for it
            QVERIFY(day.sliderMinutes().isEmpty());
        }
    }
};

ZR_TEST_MAIN_GUI(TestTimelineFiller)
#include "tst_timeline_filler.moc"

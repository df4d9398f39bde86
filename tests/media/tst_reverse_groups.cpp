//! labels: unit
// Play going backward from decoded groups: two readers, one taking its backward pictures from the
// group cache and one decoding every picture from its key frame, play the same script of operator
// actions (backward ticks, steps both ways, pauses, seeks, rate changes, file crossings) on the
// same generated recordings. Every picture shown must be the same in both, frame by frame: the
// same index, stamp, rate, key-frame flag and pixels, and the marker painted on it must be the
// frame's own. The cache stays within its memory bound throughout.
#include "tests/media/LockstepDay.h"
#include "tests/media/FrameSink.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/TestMain.h"

#include <QCoreApplication>
#include <QtTest>

using Reader = zrtest::LockstepReader;

class TestReverseGroups : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    using Day = zrtest::LockstepDay;
    QHash<QString, Day> days;

private slots:
    void initTestCase()
    {
        QVERIFY(zrtest::make_lockstep_days(gen, QStringLiteral("11"), &days));
    }

    // Scripts (see lockstep_actions) start in the middle recording (08:01), seeked to 08:01:02
    // (frame 50, a key frame), paused, so that every tick is the script's. At -1, T<n> goes back
    // n frames, n from 0 to 4; 5 is a tick after a long pause.
    void sameAsDecodeFromKeyFrame_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("script");
        QTest::addColumn<qint64>("budget"); // 0: the default bound

        const QList<std::tuple<const char*, const char*, qint64>> rows = {
            // 50 frames back to the file's start, then on into the previous file's last groups.
            {"rate -1 across groups and into the previous file", "r-1 T5 T1*60 T2*10 T0 T1*5", 0},
            {"steps backward across groups and files", "b*55 f f b b b", 0},
            {"rate -1 with pauses, steps and forward play between", "r-1 T5 T1*8 p T5 T1*3 b b f f b r1 t t t r-1 T5 T1*4 T3 T1*30",
             0},
            {"seeks and rate changes while going backward",
             "r-1 T5 T1*6 s080101 r-1 T5 T1*4 r-2 T T r-1 T5 T1*3 s080003 b b r-4 T r-1 T5 T1*40", 0},
            // Room for a few pictures only: each group keeps its end, the rest comes from a
            // decode from the key frame.
            {"a bound smaller than a group", "r-1 T5 T1*60 b b b f b", 700 * 1024},
        };
        for (const QString codec : {"h264", "h265"})
            for (const auto& [name, script, budget] : rows)
                QTest::newRow(qPrintable(codec + ": " + name)) << codec << QString(script) << budget;
    }

    void sameAsDecodeFromKeyFrame()
    {
        QFETCH(QString, codec);
        QFETCH(QString, script);
        QFETCH(qint64, budget);
        const Day& day = days[codec];

        Reader cached, plain;
        plain.frame_source().set_group_cache_enabled(false);
        if (budget > 0)
            cached.frame_source().group_cache().set_budget(budget);
        const qint64 bound = cached.frame_source().group_cache().get_budget();
        zrtest::LockstepRecord cachedSeen, plainSeen;
        cachedSeen.attach(&cached);
        plainSeen.attach(&plain);
        QVERIFY(day.open(&cached));
        QVERIFY(day.open(&plain));
        qint64 peak = 0;
        for (const QString& action : zrtest::lockstep_actions(script)) {
            for (Reader* r : {&cached, &plain}) {
                zrtest::lockstep_act(r, action, day);
                if (QTest::currentTestFailed())
                    return;
            }
            peak = std::max(peak, cached.frame_source().group_cache().bytes_held());
        }
        zrtest::lockstep_compare(cachedSeen, plainSeen);
        if (QTest::currentTestFailed())
            return;
        // The cache did serve pictures, within its bound.
        QVERIFY(cached.frame_source().group_pictures_served() > 0);
        QCOMPARE(plain.frame_source().group_pictures_served(), 0);
        // Decoded with the codec's threads wherever there is more than one core.
        const DecodedGroupCache& cache = cached.frame_source().group_cache();
        if (cache.decode_threads() > 1)
            QVERIFY2(cache.groups_decoded_with_threads() > 0 && cache.groups_decoded_with_one_thread() == 0,
                     qPrintable(QString("%1 with threads, %2 with one")
                                    .arg(cache.groups_decoded_with_threads())
                                    .arg(cache.groups_decoded_with_one_thread())));
        QVERIFY2(peak <= bound, qPrintable(QString("%1 > %2").arg(peak).arg(bound)));
    }

    // Play at -1 never waits for a group: with the worker held, ticks show nothing and report no
    // position; once the group is there, the next tick shows the frame play has come to
    // meanwhile, though not past the key frame of the group it waited for.
    void lateGroupCaughtUp_data()
    {
        QTest::addColumn<QList<int>>("lateSkips");
        QTest::addColumn<int>("shown");
        // From frame 50; the first tick goes back 5 (to 45, group of key frame 25), the others
        // by their skip.
        QTest::newRow("within the group") << QList<int>{5, 2, 3} << 39;
        QTest::newRow("not past its key frame") << QList<int>{5, 4, 4, 4, 4, 4, 4} << 25;
    }

    void lateGroupCaughtUp()
    {
        QFETCH(QList<int>, lateSkips);
        QFETCH(int, shown);
        const Day& day = days["h264"];
        zrtest::WatchedReader watched;
        Reader& r = watched.r;
        zrtest::FrameSink& sink = watched.sink;
        QList<int>& positions = watched.positions;
        QVERIFY(day.open(&r));
        QThreadPool::globalInstance()->waitForDone();
        r.wait_decode_ahead();
        QCOMPARE(r.get_index(), 50);
        r.frame_source().group_cache().set_held(true);
        r.change_rate(-1);
        r.toggle_pause();
        positions.clear();
        sink.shown.clear();
        for (const int skip : lateSkips) {
            r.next_skip(skip);
            r.read_and_display_previous_frame(false);
        }
        QCOMPARE(sink.shown.size(), 0);
        QCOMPARE(positions, QList<int>{});
        QCOMPARE(r.get_index(), 50);
        QVERIFY(r.backward_frames_owed() > 0);
        // The group before is asked for meanwhile, behind the one play waits for.
        const DecodedGroupCache& cache = r.frame_source().group_cache();
        QVERIFY(cache.has_group(r.get_frames(), 25, "1"));
        QVERIFY(cache.has_group(r.get_frames(), 0, "1"));

        r.frame_source().group_cache().set_held(false);
        r.wait_decode_ahead();
        r.next_skip(1);
        r.read_and_display_previous_frame(false);
        QCOMPARE(positions, QList<int>{shown});
        QCOMPARE(sink.shown.size(), 1);
        QCOMPARE(sink.shown[0].frameId, shown);
        const zrtest::FrameMarker m = zrtest::readFrameMarker(sink.shown[0].image);
        QVERIFY2(m.found && m.frameIndex == shown, qPrintable(QString("marker %1").arg(m.frameIndex)));
        QCOMPARE(r.backward_frames_owed(), 0);
        // Play goes on from there at its pace.
        r.wait_decode_ahead();
        r.next_skip(1);
        r.read_and_display_previous_frame(false);
        QCOMPARE(positions.value(1), shown - 1);
    }
};

ZR_TEST_MAIN_CORE(TestReverseGroups)
#include "tst_reverse_groups.moc"

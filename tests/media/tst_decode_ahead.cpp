//! labels: unit
// Play taking pictures decoded ahead on a worker: two readers, one decoding ahead and one decoding
// each picture when its tick asks for it, play the same script of operator actions (ticks at
// rates 1, 2, 4, 8, -2, -4, -8 and -1, steps both ways, pauses, seeks, rate changes, file
// crossings) on the same generated recordings. Every picture shown and every position reported
// must be the same in both: the same index, stamp, rate, key-frame flag and pixels, and the
// marker painted on the picture must be the frame's own. A picture not decoded in time is
// counted late, and play goes on.
#include "tests/media/LockstepDay.h"
#include "tests/media/FrameSink.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/TestMain.h"

#include <QCoreApplication>
#include <QtTest>

using Reader = zrtest::LockstepReader;

class TestDecodeAhead : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    using Day = zrtest::LockstepDay;
    QHash<QString, Day> days;

private slots:
    void initTestCase()
    {
        QVERIFY(zrtest::make_lockstep_days(gen, QStringLiteral("12"), &days));
    }

    // Scripts of operator actions (see lockstep_actions), from the middle recording seeked to
    // 08:01:02 (frame 50, a key frame) and paused: every tick is the script's.
    void sameAsDecodingEachTick_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("script");

        const QList<std::pair<const char*, const char*>> rows = {
            // Frame 50 to the end of the file (100 frames), then on into the next recording.
            {"rate 1 across a file boundary", "r1 t*80"},
            {"rates 2 and 4 both ways, across files", "r2 t*5 r-2 T*6 r4 t*4 r-4 T*6 r2 t*3"},
            {"rates 8 and -8 across files", "r8 t*10 r-8 T*12 r8 t*2"},
            {"steps, pauses and seeks at rate 1",
             "r1 t*5 f f b t*3 p t*3 s080003 t*3 b b t*4 p b f t*30 s080202 t*10 b t*3 t*75"},
            {"rate changes between every rate",
             "r1 t*4 r2 t t f r1 t*30 r-1 T5 T*3 r1 t*5 r-4 T T b r4 t r-8 T r1 t*6 r8 t*3 r-2 T*2 r1 t*3"},
            {"steps across file boundaries and play on", "r1 t*45 f*8 t*5 b*8 t*6 r-2 T*3 b*3 f*3 r2 t*4"},
        };
        for (const QString codec : {"h264", "h265"})
            for (const auto& [name, script] : rows)
                QTest::newRow(qPrintable(codec + ": " + name)) << codec << QString(script);
    }

    void sameAsDecodingEachTick()
    {
        QFETCH(QString, codec);
        QFETCH(QString, script);
        const Day& day = days[codec];

        Reader ahead, plain;
        plain.set_decode_ahead_enabled(false);
        zrtest::LockstepRecord aheadSeen, plainSeen;
        aheadSeen.attach(&ahead);
        plainSeen.attach(&plain);
        QVERIFY(day.open(&ahead));
        QVERIFY(day.open(&plain));
        for (const QString& action : zrtest::lockstep_actions(script)) {
            for (Reader* r : {&ahead, &plain}) {
                zrtest::lockstep_act(r, action, day);
                if (QTest::currentTestFailed())
                    return;
            }
        }
        zrtest::lockstep_compare(aheadSeen, plainSeen);
        if (QTest::currentTestFailed())
            return;
        // The play ticks took their pictures from the worker, never late since each waited.
        QVERIFY2(ahead.pictures_decoded_ahead() >= 5, qPrintable(QString::number(ahead.pictures_decoded_ahead())));
        QCOMPARE(ahead.pictures_late(), 0);
        QCOMPARE(plain.pictures_decoded_ahead(), 0);
    }

    // A picture the worker has not decoded when its tick comes: at rate 1 the tick shows nothing
    // and reports no new position, and the next tick shows that very frame; at a key-frame rate
    // the key frame is passed over (its position reported, no picture) and play goes on with the
    // next one. Either way it is counted late and the picture shown afterwards is the frame's own.
    void latePicture_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("1") << 1.0;
        QTest::newRow("4") << 4.0;
        QTest::newRow("-4") << -4.0;
    }

    void latePicture()
    {
        QFETCH(double, rate);
        const Day& day = days["h264"];
        zrtest::WatchedReader watched;
        Reader& r = watched.r;
        zrtest::FrameSink& sink = watched.sink;
        QList<int>& positions = watched.positions;
        QVERIFY(day.open(&r));
        r.frame_source().decode_ahead_worker().set_held(true);
        r.change_rate(rate);
        r.toggle_pause();
        positions.clear();
        sink.shown.clear();
        const bool backward = rate < 0;
        auto tick = [&]() {
            if (backward)
                r.read_and_display_previous_frame(false);
            else
                r.read_and_display_next_frame(false);
        };

        tick(); // nothing decoded yet
        QCOMPARE(r.pictures_late(), 1);
        QCOMPARE(sink.shown.size(), 0);
        // Rate 1 waits for the frame; 4 passes key frame 50 over, -4 key frame 25 (no position,
        // as for a key frame that cannot be read).
        const QList<int> reported = rate == 1.0 ? QList<int>{} : rate > 0 ? QList<int>{50} : QList<int>{};
        QCOMPARE(positions, reported);
        QCOMPARE(r.get_index(), rate == 1.0 ? 50 : rate > 0 ? 51 : 25);

        r.frame_source().decode_ahead_worker().set_held(false);
        for (int k = 0; k < 3; ++k) {
            r.wait_decode_ahead();
            tick();
        }
        QList<int> shown;
        for (const zrtest::ShownFrame& f : std::as_const(sink.shown)) {
            shown << f.frameId;
            const zrtest::FrameMarker m = zrtest::readFrameMarker(f.image);
            QVERIFY2(m.found && m.frameIndex == f.frameId,
                     qPrintable(QString("marker %1 on frame %2").arg(m.frameIndex).arg(f.frameId)));
        }
        // Rate 1 shows the frame it waited for and goes on; 4 and -4 go on with the key frame
        // after the one passed over (the ticks after it cross into the next file).
        if (rate == 1.0)
            QCOMPARE(shown, QList<int>({50, 51, 52}));
        else
            QCOMPARE(shown.value(0), rate > 0 ? 75 : 0);
        QCOMPARE(r.pictures_late(), 1);
        QVERIFY(r.pictures_decoded_ahead() >= 1);
    }
};

ZR_TEST_MAIN_CORE(TestDecodeAhead)
#include "tst_decode_ahead.moc"

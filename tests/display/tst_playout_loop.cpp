//! labels: unit
// The display-and-buffer thread's playout loop on a clock of the test's own: a simulated
// server pushes small real pictures into the queue at its own rate, the "display" paints each
// frame at once, and every sleep of the loop moves the clock. Minutes of playout run in
// moments and the same way on a loaded machine.
#include "display/PlayoutPacing.h"
#include "display/new_display_thread.h"
#include "media/DecodedFrame.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QtTest>

#include <functional>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

struct Shown
{
    int id;
    bool key;
    qint64 at_ns;
};

// One playout loop on a virtual clock.
struct Simulation
{
    new_display_thread thread;
    AVFrame* picture = av_frame_alloc();
    qint64 now = 0;
    // The server: one frame every `interval_ns` from `first_arrival`, until `stall_from` (if set).
    qint64 interval_ns = 40000000;
    qint64 next_arrival = 0;
    qint64 stall_from = -1;
    qint64 resume_at = -1;
    int next_id = 1;
    int gop = 25;
    double announced_fps = 25.0;
    qint64 paint_ns = 2000000;
    qint64 end = 0;
    QList<Shown> shown;
    QList<QPair<qint64, int>> read_index; // (time, position) once a pass
    QList<QPair<bool, double>> buffering;
    std::function<void()> on_step;

    explicit Simulation(int buffer_ms = 2000, int width = 16, int height = 16)
    {
        picture->format = AV_PIX_FMT_YUV420P;
        picture->width = width;
        picture->height = height;
        av_frame_get_buffer(picture, 0);
        av_frame_make_writable(picture);
        for (int p = 0; p < 3; ++p)
            memset(picture->data[p], p == 0 ? 100 : 128, size_t(picture->linesize[p]) * (p == 0 ? height : height / 2));
        thread.set_buffer_ms(buffer_ms);
        thread.set_decoding_disabled(false);
        thread.set_display_id("sim");
        thread.set_clock([this] { return now; }, [this](int ms) { advance(qint64(ms) * 1000000); });
        QObject::connect(
            &thread, &new_display_thread::set_display_frame, &thread,
            [this](uint8_t*, int, int, int, QString, QString, bool, int id, double, bool key) {
                shown.append({id, key, now});
                now += paint_ns;
                thread.get_duration(paint_ns / 1000);
            },
            Qt::DirectConnection);
        QObject::connect(
            &thread, &new_display_thread::send_buffering, &thread,
            [this](bool on, double percent) { buffering.append({on, percent}); }, Qt::DirectConnection);
    }
    ~Simulation() { av_frame_free(&picture); }

    void push(int id)
    {
        auto* f = new DecodedFrame();
        f->set_frame(picture);
        f->set_width(picture->width);
        f->set_height(picture->height);
        f->set_pix_fmt(AV_PIX_FMT_YUV420P);
        f->set_is_keyframe(id % gop == 1);
        f->set_frameid(id);
        f->set_fps(announced_fps);
        const QDateTime t = QDateTime(QDate(2024, 5, 2), QTime(0, 0)).addMSecs(qint64(id) * 40);
        f->set_timestamp(t.toString("yyyy-MM-dd HH:mm:ss.zzz").toLatin1().constData());
        f->filled = true;
        thread.queue().push(f);
    }

    void advance(qint64 ns)
    {
        now += ns;
        while (next_arrival <= now) {
            const bool stalled = stall_from >= 0 && next_arrival >= stall_from && (resume_at < 0 || next_arrival < resume_at);
            if (!stalled)
                push(next_id++);
            next_arrival += interval_ns;
        }
        read_index.append({now, thread.get_read_index()});
        // Deliver the display's queued releases of the pictures it was handed.
        QCoreApplication::processEvents();
        if (on_step)
            on_step();
        if (now >= end)
            thread.set_stop();
    }

    void run_for(double seconds)
    {
        end = now + qint64(seconds * 1e9);
        thread.buffering_calculation();
    }

    // Positions seen from `from_s` on, as shares of the buffer.
    QPair<double, double> position_range(double from_s) const
    {
        const double size = thread.get_max_list_size();
        double lo = 1.0, hi = 0.0;
        for (const auto& [t, index] : read_index) {
            if (t < qint64(from_s * 1e9))
                continue;
            lo = qMin(lo, index / size);
            hi = qMax(hi, index / size);
        }
        return {lo, hi};
    }
};

} // namespace

class TestPlayoutLoop : public QObject
{
    Q_OBJECT

private slots:
    // The server sends a little faster or slower than the rate its frames announce: the rate
    // adaptation keeps the chosen frame around the middle of the buffer, minutes on end,
    // without an underrun and with every frame it did not drop shown in order.
    void bufferStaysCentred_data()
    {
        QTest::addColumn<double>("serverSpeed");
        QTest::newRow("as announced") << 1.0;
        QTest::newRow("5 % faster") << 1.05;
        QTest::newRow("5 % slower") << 0.95;
    }
    void bufferStaysCentred()
    {
        QFETCH(double, serverSpeed);
        zrtest::LogCatcher log;
        Simulation sim;
        sim.interval_ns = qint64(40000000 / serverSpeed);
        sim.run_for(300);

        QCOMPARE(sim.thread.get_max_list_size(), 100);
        const auto [lo, hi] = sim.position_range(20);
        QVERIFY2(lo >= 0.25 && hi <= 0.75, qPrintable(QString("position %1 .. %2").arg(lo).arg(hi)));
        QVERIFY(!log.contains("NO DISPLAY FRAME"));
        // Shown in order, and nearly all of them.
        for (int i = 1; i < sim.shown.size(); ++i)
            QVERIFY(sim.shown[i].id > sim.shown[i - 1].id);
        const int arrived = sim.next_id - 1;
        QVERIFY2(sim.shown.size() > arrived * 0.9, qPrintable(QString("%1 of %2").arg(sim.shown.size()).arg(arrived)));
        QVERIFY(sim.thread.get_playout_rate() >= 1.0);
    }

    // Filling: buffering is reported in rising whole percentages, then ends with 100 when
    // playout starts at half the buffer; the first frame is paced at the announced rate.
    void fillsThenPlays()
    {
        Simulation sim;
        sim.run_for(4);
        QCOMPARE(sim.thread.get_max_list_size(), 100);
        QVERIFY(!sim.buffering.isEmpty());
        double last = -1;
        int offs = 0;
        for (const auto& [on, percent] : sim.buffering) {
            if (!on) {
                ++offs;
                QCOMPARE(percent, 100.0);
                continue;
            }
            QVERIFY(percent > last);
            last = percent;
        }
        QCOMPARE(offs, 1);
        QVERIFY(last <= 49 && last >= 45);
        QVERIFY(!sim.shown.isEmpty());
        // Playout starts once 49 frames are in: about two seconds in.
        QVERIFY2(sim.shown.first().at_ns >= 1900000000LL, qPrintable(QString::number(sim.shown.first().at_ns)));
        // Intervals between shown frames are the frame interval.
        for (int i = 5; i < sim.shown.size(); ++i) {
            const qint64 d = sim.shown[i].at_ns - sim.shown[i - 1].at_ns;
            QVERIFY2(d >= 38000000 && d <= 43000000, qPrintable(QString::number(d)));
        }
    }

    // A paint that takes longer than the frame interval: non-key frames are dropped, key
    // frames always shown, and the playout keeps up with the stream.
    void slowPaintSkipsOnlyNonKeyFrames()
    {
        Simulation sim;
        sim.paint_ns = 60000000;
        sim.run_for(30);
        QVERIFY(sim.thread.get_frames_skipped() > 0);
        QSet<int> shown;
        for (const Shown& s : sim.shown)
            shown.insert(s.id);
        // Every key frame that playout reached was shown.
        const int last = sim.shown.last().id;
        for (int id = sim.shown.first().id; id <= last; ++id) {
            if (id % sim.gop == 1)
                QVERIFY2(shown.contains(id), qPrintable(QString::number(id)));
        }
        QVERIFY(last > sim.next_id - 1 - 100);
    }

    // The server goes silent: the playout shows what it has, waits for frames with buffering
    // reported, asks for a restart after the wait limit, and plays on once frames come back.
    void stallWaitsThenResumes()
    {
        zrtest::LogCatcher log;
        Simulation sim;
        sim.stall_from = 10000000000LL;
        sim.resume_at = 18000000000LL;
        sim.run_for(30);
        QVERIFY(log.contains("NO DISPLAY FRAME / Out Of bound"));
        QVERIFY(log.contains("wait_frame too long, send error."));
        QVERIFY(log.contains("set stop and restart parser"));
        // Frames that came after the stall (ids go on from 251) were shown, seconds of them.
        QVERIFY2(sim.shown.last().id > 251 + 150,
                 qPrintable(QString("last shown %1, rate %2").arg(sim.shown.last().id).arg(sim.thread.get_playout_rate())));
        for (int i = 1; i < sim.shown.size(); ++i)
            QVERIFY(sim.shown[i].id > sim.shown[i - 1].id);
    }

    // A replay marker (the stream ended and reconnects): "REPLAY..." is shown, the loop waits
    // for the display's confirmation, or goes on after its limit, and the marker leaves the
    // buffer so that the new transfer's frames play.
    void replayMarkerIsShownOnceAndLeaves()
    {
        zrtest::LogCatcher log;
        Simulation sim;
        QStringList status;
        QObject::connect(
            &sim.thread, &new_display_thread::send_displayError, &sim.thread,
            [&](QString text, QString, bool) { status << text; }, Qt::DirectConnection);
        bool marked = false;
        sim.on_step = [&] {
            if (!marked && sim.now >= 6000000000LL) {
                marked = true;
                auto* m = new DecodedFrame();
                m->set_frameid(-99);
                m->set_timestamp("REPLAY");
                m->set_fps(-1.0);
                sim.thread.queue().push(m);
            }
        };
        sim.run_for(20);
        QCOMPARE(status.count("REPLAY..."), 1);
        QVERIFY(log.contains("send replay frame :: no confirmation, reconnect"));
        QVERIFY(sim.shown.last().id > 6000 / 40 + 100);
        for (int i = 1; i < sim.shown.size(); ++i)
            QVERIFY(sim.shown[i].id > sim.shown[i - 1].id);
    }

    // Large pictures: the buffer's frame count is lowered so that it stays within its bytes.
    void largePicturesCapTheBuffer()
    {
        Simulation small(4000);
        small.run_for(0.5);
        QCOMPARE(small.thread.get_max_list_size(), 200);
        Simulation uhd(4000, 3840, 2160);
        uhd.run_for(1.5);
        QCOMPARE(uhd.thread.get_max_list_size(), int(kPlayoutBufferBytes / (3840 * 2160 * 3 / 2)));
        QVERIFY(!uhd.shown.isEmpty());
    }
};

ZR_TEST_MAIN_GUI(TestPlayoutLoop)
#include "tst_playout_loop.moc"

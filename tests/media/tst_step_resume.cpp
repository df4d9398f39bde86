//! labels: unit
// Play resumed after frame steps, and rate changes after steps, on generated recordings: every
// picture shown carries the marker of its own frame, its pixels are those of a straight decode
// of the recording, and play goes on from the frame after the one a step left on screen.
#include "media/VideoDecoder.h"
#include "media/ZRStreamReadAndControl.h"
#include "tests/media/FrameSink.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QFile>
#include <QHash>
#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

struct Recording
{
    QList<QFileInfo> files;
    QString seek;
    QString dayStamp; // "yyyyMMdd"
    QHash<int, QImage> straight; // frame index -> picture of a decode from the file's first frame
};

// Decodes the recording from its first frame up to `last`, one packet after the other, and
// keeps the BGRA pictures: what every shown picture must equal.
bool decodeStraight(Recording* rec, int last)
{
    ZRStreamReadAndControl probe;
    if (!probe.init_displayer_for_stream(QFileInfo(rec->seek), "1", rec->files))
        return false;
    const QList<ZRFrame> frames = probe.get_frames();
    if (frames.size() <= last)
        return false;
    QFile data(frames.first().get_data_file());
    if (!data.open(QIODevice::ReadOnly))
        return false;
    VideoDecoder decoder;
    if (!decoder.open_decoder(frames.first().get_codec().toStdString()))
        return false;
    for (int i = 0; i <= last; ++i) {
        if (!data.seek(frames[i].get_offset()))
            return false;
        QByteArray packet = data.read(frames[i].get_size());
        if (packet.size() != frames[i].get_size())
            return false;
        packet.append(QByteArray(AV_INPUT_BUFFER_PADDING_SIZE, '\0'));
        AVFrame* picture = decoder.decode_frame(reinterpret_cast<uint8_t*>(packet.data()), int(frames[i].get_size()), true);
        if (!picture)
            return false;
        rec->straight.insert(i, QImage(picture->data[0], decoder.get_width(), decoder.get_height(), picture->linesize[0],
                                       QImage::Format_ARGB32)
                                    .copy());
    }
    return true;
}

} // namespace

// Reads single frames the way the play operations do.
class OpenReader : public ZRStreamReadAndControl
{
public:
    using ZRStreamReadAndControl::read_frame;
};

class TestStepResume : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    QHash<QString, Recording> recordings;

    // One minute at 25 frames per second, a key frame every 25 frames (… 225, 250, 275 …).
    bool makeRecording(const QString& codec)
    {
        const zrtest::GeneratedExport ex =
            gen.generate({"--cameras", "1", "--minutes", "1", "--start", "00:00:00", "--size", "320x180", "--codec",
                          codec, "--seed", "7"});
        if (!ex.ok) {
            qWarning().noquote() << ex.error;
            return false;
        }
        Recording rec;
        const zrtest::GeneratedRecording& r = ex.cameras.first().recordings.first();
        rec.files << QFileInfo(r.videoPath);
        rec.seek = r.seekPath;
        rec.dayStamp = QDate::fromString(r.day, "yyyy-MM-dd").toString("yyyyMMdd");
        if (!decodeStraight(&rec, 340))
            return false;
        recordings.insert(codec, rec);
        return true;
    }

    // The shown picture carries its own frame's marker and equals a straight decode of it.
    static void checkPicture(const Recording& rec, const zrtest::ShownFrame& f, const QString& shown)
    {
        const QString what = QStringLiteral("frame %1 (shown: %2)").arg(f.frameId).arg(shown);
        const zrtest::FrameMarker m = zrtest::readFrameMarker(f.image);
        QVERIFY2(m.found, qPrintable("unreadable marker on " + what));
        QVERIFY2(m.frameIndex == f.frameId, qPrintable(QString("marker %1 on ").arg(m.frameIndex) + what));
        QVERIFY2(rec.straight.contains(f.frameId), qPrintable("no straight decode of " + what));
        QVERIFY2(f.image == rec.straight.value(f.frameId), qPrintable("pixels differ from a straight decode on " + what));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(makeRecording("h264"));
        QVERIFY(makeRecording("h265"));
    }

    // A script of operator actions after a seek to 00:00:10 (key frame 250) with play paused:
    //   t / T  one forward / backward play tick (what the play timer calls)
    //   f / b  one frame step forward / backward
    //   r<n>   rate change to n (its timer is paused again at once: ticks are given by hand)
    // Expected: the frame indexes shown, in order, from the seek's own picture on; "*" where a
    // rate -1 catch-up depends on the clock and only each picture's content is checked.
    void resumeAfterSteps_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");

        const QList<std::tuple<const char*, const char*, const char*>> rows = {
            // The seek shows 250 and the first tick shows it again.
            {"play, steps forward, play", "t t t t t f f t t t t t",
             "250 250 251 252 253 254 255 256 257 258 259 260 261"},
            {"play, steps forward and back, play", "t t t t t f f b b t t t t t",
             "250 250 251 252 253 254 255 256 255 254 255 256 257 258 259"},
            {"play, one step back, play", "t t t t t b t t t t t", "250 250 251 252 253 254 253 254 255 256 257 258"},
            {"play, step forward then back, play", "t t t t t f b t t t",
             "250 250 251 252 253 254 255 254 255 256 257"},
            {"steps right after the seek, play", "f f t t t", "250 251 252 253 254 255"},
            {"back into the previous group, play", "b b t t t", "250 249 248 249 250 251"},
            {"back across a key frame and forward again, play", "t t b b b f t t t",
             "250 250 251 250 249 248 249 250 251 252"},
            {"many steps forward then back past the key frame, play", "f f f f f b b b b b b b t t t t",
             "250 251 252 253 254 255 254 253 252 251 250 249 248 249 250 251 252"},
            // A rate change waits for the next key frame (275), then shows every frame.
            {"steps, rate 1", "t t t t t f f r1 t t t t t t t t t t t t t t t t t t t t t t",
             "250 250 251 252 253 254 255 256 275 276 277 278"},
            {"step back, rate 2", "t t t t t f b r2 t t", "250 250 251 252 253 254 255 254 275 300"},
            {"steps, rate -2", "t t t t t f r-2 T T", "250 250 251 252 253 254 255 250 225"},
            {"steps, rate -1", "t t t t t f f r-1 T T T", "*"},
            {"steps, rate -1, rate 1", "t t t t t b b r-1 T T r1 t t t t t t t t t t t t t t t t t t t t t t t t t t t t",
             "*"},
            {"steps, rate 2, steps, rate 1", "f f r2 t f f b r1 t t t t t t t t t t t t t t t t t t t t t t t t t t",
             "250 251 252 275 276 277 276 300 301"},
        };
        for (const QString codec : {"h264", "h265"})
            for (const auto& [name, script, expected] : rows)
                QTest::newRow(qPrintable(codec + ": " + name)) << codec << QString(script) << QString(expected);
    }

    void resumeAfterSteps()
    {
        QFETCH(QString, codec);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        const Recording& rec = recordings[codec];

        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(rec.seek), "1", rec.files));
        // As the controller does: play, seek, pause. No event is processed below, so the
        // timers never tick: every tick is the script's.
        r.read_forward();
        r.set_read_timestamp(rec.dayStamp + "000010");
        r.toggle_pause();
        QVERIFY(!r.is_playing());

        for (const QString& action : script.split(' ', Qt::SkipEmptyParts)) {
            // A tick by hand comes once the pictures decoded ahead are there, as a real tick
            // would after its interval.
            r.wait_decode_ahead();
            if (action == "t")
                r.read_and_display_next_frame(false);
            else if (action == "T")
                r.read_and_display_previous_frame(false);
            else if (action == "f")
                r.read_and_display_next_frame(true);
            else if (action == "b")
                r.read_and_display_previous_frame(true);
            else if (action.startsWith('r')) {
                r.change_rate(action.mid(1).toDouble());
                r.toggle_pause();
                QVERIFY(!r.is_playing());
            } else
                QFAIL(qPrintable("bad action " + action));
        }

        QStringList shown;
        for (const zrtest::ShownFrame& f : std::as_const(sink.shown))
            shown << QString::number(f.frameId);
        if (expected == "*")
            QVERIFY(sink.shown.size() > 3);
        for (const zrtest::ShownFrame& f : std::as_const(sink.shown)) {
            checkPicture(rec, f, shown.join(' '));
            if (QTest::currentTestFailed())
                return;
        }
        if (expected != "*")
            QCOMPARE(shown.join(' '), expected);
    }

    // Frames read in any order (the same one twice, forward over a gap, backward) each decode
    // as a straight decode does: the reader never builds on a picture that is not the one before.
    void anyOrderDecodesStraight_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QList<int>>("order");
        for (const QString codec : {"h264", "h265"}) {
            QTest::newRow(qPrintable(codec + ": same frame twice")) << codec << QList<int>{250, 251, 252, 252, 253};
            QTest::newRow(qPrintable(codec + ": gap forward")) << codec << QList<int>{250, 251, 256, 257, 262};
            QTest::newRow(qPrintable(codec + ": backward")) << codec << QList<int>{260, 258, 257, 255, 251};
            QTest::newRow(qPrintable(codec + ": across groups")) << codec << QList<int>{230, 260, 249, 280, 276};
        }
    }
    void anyOrderDecodesStraight()
    {
        QFETCH(QString, codec);
        QFETCH(QList<int>, order);
        const Recording& rec = recordings[codec];
        OpenReader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(rec.seek), "1", rec.files));
        for (int i : order)
            QVERIFY(r.read_frame(false, i, "1"));
        QCOMPARE(sink.shown.size(), order.size());
        for (const zrtest::ShownFrame& f : std::as_const(sink.shown)) {
            checkPicture(rec, f, QString());
            if (QTest::currentTestFailed())
                return;
        }
    }

    // The real play timer resumed after steps both ways: every frame from the one after the
    // picture on screen, in order, each one sound.
    void timerResumesAfterSteps()
    {
        const Recording& rec = recordings["h264"];
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(rec.seek), "1", rec.files));
        r.read_forward();
        r.set_read_timestamp(rec.dayStamp + "000010");
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() >= 6; }));
        r.toggle_pause();
        const int last = sink.shown.last().frameId;
        r.read_and_display_next_frame(true);
        r.read_and_display_next_frame(true);
        r.read_and_display_previous_frame(true);
        r.read_and_display_previous_frame(true);
        r.read_and_display_previous_frame(true);
        QCOMPARE(sink.shown.last().frameId, last - 1);
        const qsizetype from = sink.shown.size();
        r.toggle_pause();
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() >= from + 15; }));
        r.toggle_pause();
        for (qsizetype k = from; k < sink.shown.size(); ++k) {
            const zrtest::ShownFrame& f = sink.shown[k];
            checkPicture(rec, f, QString());
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(f.frameId, last + int(k - from));
        }
    }
};

ZR_TEST_MAIN_CORE(TestStepResume)
#include "tst_step_resume.moc"

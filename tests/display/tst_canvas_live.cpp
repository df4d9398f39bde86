//! labels: gui net
// A display with a stream path of its own, against the real multipart stream server on
// 127.0.0.1 with real H.264 frames: what a person sees on it when the stream starts, plays,
// carries an overlay, closes, stalls, sends garbage, and when the display goes away.
#include "display/Canvas.h"
#include "display/new_display_thread.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/media/EncodedClip.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/StreamServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace zrtest;
using namespace canvastest;

namespace {

constexpr int kClipFrames = 50;

const QList<StreamFrame>& clip()
{
    static const QList<StreamFrame> frames = [] {
        QList<StreamFrame> out;
        const QList<EncodedPacket> packets = encodeClip("libx264", 160, 120, kClipFrames, 25);
        const QDateTime start(QDate(2024, 5, 2), QTime(10, 15, 0));
        for (int i = 0; i < packets.size(); ++i)
            out.append({packets[i].data, start.addMSecs(40 * i).toString("yyyyMMddHHmmsszzz").toLatin1(), "h264",
                        packets[i].key});
        return out;
    }();
    return frames;
}

// Part i of every connection: clip frame i % 50 with its time stamp moved on by the loop, so
// that no two parts of a connection carry the same time.
StreamServer::PartSource clipSource(const QByteArray& extra = QByteArray(), int closeAfter = -1)
{
    return [extra, closeAfter](int connection, int index) -> QByteArray {
        if (closeAfter >= 0 && index >= closeAfter)
            return QByteArray();
        StreamFrame f = clip()[index % kClipFrames];
        f.timestamp = QDateTime(QDate(2024, 5, 2), QTime(10, 15, 0))
                          .addSecs(600 * connection)
                          .addMSecs(40 * index)
                          .toString("yyyyMMddHHmmsszzz")
                          .toLatin1();
        return StreamServer::part(f, " 25.00", extra);
    };
}

// The clip frame a displayed grey stands for (-1 when none is near).
int clipIndexOfGrey(int green)
{
    int best = -1;
    int bestDistance = 4;
    for (int i = 0; i < kClipFrames; ++i) {
        const int luma = clipLuma(i);
        const int expected = qBound(0, int((luma - 16) * 255.0 / 219.0 + 0.5), 255);
        if (qAbs(expected - green) < bestDistance) {
            bestDistance = qAbs(expected - green);
            best = i;
        }
    }
    return best;
}

struct LiveDisplay
{
    Canvas* canvas = new Canvas;
    QSignalSpy status{canvas, &Canvas::send_status_message};

    LiveDisplay(quint16 port, int bufferMs, const QString& codec = "h264", const QString& path = "/live?id=cam7&fps=25")
    {
        canvas->set_stream("http", "127.0.0.1", QString::number(port), "", path, codec, "");
        canvas->set_buffer_ms(bufferMs);
        canvas->set_overlay_enabled(true);
        canvas->resize(320, 240);
        canvas->show();
    }
    ~LiveDisplay() { delete canvas; }

    QStringList statuses() const
    {
        QStringList out;
        for (const auto& args : status)
            out << args.at(0).toString();
        return out;
    }
    // The clip frame shown in the middle of the widget.
    int shownClipFrame() const
    {
        const QImage img = shot(*canvas);
        return clipIndexOfGrey(qGreen(img.pixel(img.width() / 2, img.height() / 2)));
    }
    bool framesFlow(int beyondId, int timeoutMs = 20000) const
    {
        return waitUntil([&] { return canvas->get_last_frame_id() > beyondId; }, timeoutMs);
    }
    // Waits until the shown frame time has changed `count` times.
    bool newFrames(int count, int timeoutMs = 20000) const
    {
        QString last = canvas->get_timestamp();
        int changes = 0;
        return waitUntil(
            [&] {
                const QString now = canvas->get_timestamp();
                if (now != last && !now.contains("REPLAY")) {
                    last = now;
                    ++changes;
                }
                return changes >= count;
            },
            timeoutMs);
    }
};

} // namespace

class TestCanvasLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(clip().size() == kClipFrames); }

    // Buffered and direct configurations all show the stream: the direct ones (no buffer, or
    // an MJPEG codec text) show the newest picture the client decoded.
    void framesAppear_data()
    {
        QTest::addColumn<int>("bufferMs");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<bool>("buffered");
        QTest::newRow("buffered") << 1000 << "H264" << true;
        QTest::newRow("no buffer") << 0 << "h264" << false;
        QTest::newRow("mjpeg codec text") << 1000 << "MJPEG" << false;
    }
    void framesAppear()
    {
        QFETCH(int, bufferMs);
        QFETCH(QString, codec);
        QFETCH(bool, buffered);
        StreamServer server(clipSource(), {StreamServer::Options().head, 40, -1});
        LogCatcher log;
        LiveDisplay d(server.port(), bufferMs, codec);
        QVERIFY(waitUntil([&] { return d.statuses().contains("connecting"); }));
        // The name is what follows "id=" in the path, as the display derives it.
        QCOMPARE(d.canvas->get_display_id(), QString("/live?cam7"));
        QVERIFY(d.framesFlow(0));
        QVERIFY(waitUntil([&] { return d.statuses().contains("connected"); }));
        QCOMPARE(d.canvas->get_frame_width(), 160);
        QCOMPARE(d.canvas->get_stream_fps(), 25.0);
        QCOMPARE(d.canvas->get_buffer_ms(), buffered ? bufferMs : 0);
        // Frames go on, and the picture is one of the clip's.
        const int seen = d.canvas->get_last_frame_id();
        QVERIFY(d.framesFlow(seen + 25));
        QVERIFY(d.shownClipFrame() >= 0);
        if (buffered) {
            QVERIFY(log.contains("] :: run display & buffer thread"));
            QVERIFY(!d.canvas->is_buffering_active());
            QVERIFY(d.canvas->get_display_thread()->get_max_list_size() == 50);
        } else {
            QVERIFY(log.contains("set buffer size to 0"));
            QVERIFY(log.contains("] :: direct display"));
        }
    }

    // While the buffer fills the display says so, with rising percentages.
    void bufferingIsReported()
    {
        StreamServer server(clipSource(), {StreamServer::Options().head, 40, -1});
        LiveDisplay d(server.port(), 2000);
        QList<int> percents;
        QVERIFY(waitUntil(
            [&] {
                if (d.canvas->is_buffering_active() && (percents.isEmpty() || percents.last() != d.canvas->get_buffering_percent()))
                    percents << d.canvas->get_buffering_percent();
                return d.canvas->get_last_frame_id() > 0;
            },
            20000));
        QVERIFY2(percents.size() >= 2, qPrintable(QString::number(percents.size())));
        for (int i = 1; i < percents.size(); ++i)
            QVERIFY(percents[i] > percents[i - 1]);
        QVERIFY(!d.canvas->is_buffering_active());
    }

    // The overlay string of the stream is drawn over the picture it refers to, and the zones
    // are outlined where a description is given.
    void overlayAndZonesDrawn()
    {
        const QByteArray overlay =
            "ZrDrawoverlay: F_RECT{x1=40;y1=30;x2=80;y2=60;border-color=#ff0000;border-size=1;color=#ff0000;alpha=255}\n";
        StreamServer server(clipSource(overlay), {StreamServer::Options().head, 40, -1});
        LiveDisplay d(server.port(), 500);
        d.canvas->set_overlay_enabled(false);
        d.canvas->set_drawoverlay_enabled(true);
        d.canvas->set_zones(QString::fromLatin1(QByteArray(R"([{"type":"rect","index":2,"x":0.5,"y":0,"w":0.5,"h":1}])").toBase64()));
        QVERIFY(d.framesFlow(5));
        // 160x120 stretched to 320x240: the square covers (80..160, 60..120).
        QImage out;
        QVERIFY(waitUntil([&] {
            out = shot(*d.canvas);
            return near(out.pixel(120, 90), Qt::red);
        }));
        QVERIFY(clipIndexOfGrey(qGreen(out.pixel(40, 200))) >= 0);
        const QRgb edge = out.pixel(160, 200);
        QVERIFY2(qBlue(edge) > qRed(edge) + 40, qPrintable(QString::number(edge, 16)));
    }

    // The server closes the stream after a few frames: "REPLAY..." is shown, the client
    // reconnects, and the new connection's frames play.
    void serverCloseReconnects()
    {
        StreamServer server(clipSource(QByteArray(), 60), {StreamServer::Options().head, 40, -1});
        LogCatcher log;
        LiveDisplay d(server.port(), 1000);
        QVERIFY(waitUntil([&] { return server.connections() >= 2; }, 30000));
        QVERIFY(log.contains("send replay frame"));
        QVERIFY(d.framesFlow(70, 30000));
    }

    // The server goes silent with the connection open: the display waits, then restarts the
    // transfer, and frames flow from the new connection.
    void serverStallRestarts()
    {
        StreamServer server(clipSource(), {StreamServer::Options().head, 40, 50});
        LogCatcher log;
        LiveDisplay d(server.port(), 1000);
        QVERIFY(d.framesFlow(10));
        QVERIFY(waitUntil([&] { return server.connections() >= 2; }, 30000));
        QVERIFY(log.contains("wait_frame too long, send error."));
        QVERIFY(d.framesFlow(60, 30000));
    }

    // Garbage between and inside parts: the bad parts are dropped, the rest plays.
    void serverGarbageSkipped()
    {
        auto good = clipSource();
        StreamServer server(
            [good](int connection, int index) -> QByteArray {
                if (index % 10 == 5)
                    return "--myboundary\nContent-Length: 99999999999\nContent-Type: frame/h264\n\n\x01\x02garbage\r\n";
                if (index % 10 == 7)
                    return QByteArray(3000, '\xff') + "\r\n";
                return good(connection, index);
            },
            {StreamServer::Options().head, 20, -1});
        LiveDisplay d(server.port(), 500);
        QVERIFY(d.framesFlow(30, 30000));
        QCOMPARE(server.connections(), 1);
        QVERIFY(d.shownClipFrame() >= 0);
    }

    // A restart while frames flow replaces the running thread without blocking, and the
    // display's destruction while frames flow ends everything promptly (run under ASan).
    void restartAndDestroyWhileFlowing()
    {
        StreamServer server(clipSource(), {StreamServer::Options().head, 10, -1});
        auto* d = new LiveDisplay(server.port(), 500);
        QVERIFY(d->framesFlow(20));
        new_display_thread* first = d->canvas->get_display_thread();
        QPointer<new_display_thread> watch(first);
        d->canvas->restart_video_stream();
        d->canvas->restart_video_stream();
        QVERIFY(waitUntil([&] { return watch.isNull(); }, 10000));
        QVERIFY(waitUntil([&] { return d->canvas->get_display_thread() != nullptr; }, 10000));
        QVERIFY(d->statuses().contains("disconnected"));
        QVERIFY(waitUntil([&] { return server.connections() >= 2; }, 10000));
        QVERIFY(d->newFrames(10));

        QElapsedTimer t;
        t.start();
        delete d;
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    }
};

ZR_TEST_MAIN_GUI(TestCanvasLive)
#include "tst_canvas_live.moc"

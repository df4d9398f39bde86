//! labels: unit net
// The live stream client against a real multipart stream server on 127.0.0.1, with real
// H.264 frames: what reaches the consumer's queue in each mode, reconnects and their replay
// marker, error replies, hostile streams, back-pressure, stop, pause and destruction.
#include "display/ZRStreamParser.h"
#include "media/DecodedFrame.h"
#include "media/DecodedFrameQueue.h"
#include "tests/media/EncodedClip.h"
#include "tests/support/StreamServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

extern "C" {
#include <libavutil/frame.h>
}

using namespace zrtest;

namespace {

QList<StreamFrame> clip_frames(int count = 50)
{
    QList<StreamFrame> frames;
    const QList<EncodedPacket> packets = encodeClip("libx264", 160, 120, count, 25);
    const QDateTime start(QDate(2024, 5, 2), QTime(10, 15, 0));
    for (int i = 0; i < packets.size(); ++i)
        frames.append({packets[i].data, start.addMSecs(40 * i).toString("yyyyMMddHHmmsszzz").toLatin1(), "h264", packets[i].key});
    return frames;
}

struct Client
{
    DecodedFrameQueue queue;
    std::unique_ptr<ZRStreamParser> parser;

    Client(quint16 port, const QString& path = "/live?cam=1", bool reconnect = false)
        : parser(std::make_unique<ZRStreamParser>("http", "127.0.0.1", QString::number(port), "", path, false, "h264",
                                                  reconnect, nullptr))
    {
        parser->set_name("test");
        parser->set_frame_queue(&queue);
    }
    ~Client()
    {
        if (parser->isRunning()) {
            parser->threadStop(false);
            parser->wait(10000);
        }
    }
    QList<DecodedFrame*> take_all()
    {
        QList<DecodedFrame*> out;
        while (DecodedFrame* f = queue.take())
            out.append(f);
        return out;
    }
};

} // namespace

class TestStreamParser : public QObject
{
    Q_OBJECT

private slots:
    void bufferedStreamQueuesDecodedPictures()
    {
        StreamServer server(StreamServer::loop(clip_frames(), false), {StreamServer::Options().head, 5, -1});
        Client c(server.port());
        c.parser->set_token("secret-token");
        c.parser->set_buffered_display(true);
        QSignalSpy status(c.parser.get(), &ZRStreamParser::send_status_message);
        c.parser->start();
        QVERIFY(waitUntil([&] { return c.queue.size() >= 30; }, 20000));
        QCOMPARE(status.value(0).value(0).toString(), QString("connected"));
        const QByteArray request = server.lastRequest();
        QVERIFY2(request.startsWith("GET /live?cam=1 HTTP/1.0\r\n"), request.constData());
        QVERIFY(request.contains("x-auth-token: secret-token\r\n"));

        const QList<DecodedFrame*> frames = c.take_all();
        for (int i = 0; i < frames.size(); ++i) {
            DecodedFrame* f = frames[i];
            QCOMPARE(f->get_frameid(), i + 1);
            QCOMPARE(QByteArray(f->get_timestamp()),
                     QDateTime(QDate(2024, 5, 2), QTime(10, 15, 0)).addMSecs(40 * (i % 50)).toString("yyyy-MM-dd HH:mm:ss.zzz").toLatin1());
            QCOMPARE(f->get_fps(), 25.0);
            QVERIFY(f->filled);
            QVERIFY(f->get_frame());
            QCOMPARE(f->get_width(), 160);
            QCOMPARE(f->get_pix_fmt(), int(AV_PIX_FMT_YUV420P));
            QCOMPARE(f->get_is_keyframe(), i % 25 == 0);
            delete f;
        }
        c.parser->threadStop(false);
        QVERIFY(c.parser->wait(5000));
        QCOMPARE(status.last().value(0).toString(), QString("disconnected"));
    }

    // Direct mode hands BGRA pictures on (the display shows them); raw download keeps the bytes.
    void directAndRawModes()
    {
        const QList<StreamFrame> frames = clip_frames(10);
        StreamServer server(StreamServer::loop(frames, false), {StreamServer::Options().head, 5, -1});
        {
            Client c(server.port());
            c.parser->start();
            QVERIFY(waitUntil([&] { return c.queue.size() >= 5; }, 20000));
            for (DecodedFrame* f : c.take_all()) {
                QCOMPARE(f->get_pix_fmt(), int(AV_PIX_FMT_BGRA));
                QVERIFY(f->get_frame());
                // Flat grey pictures: the BGRA pixel's green is the luma in full range, within coding noise.
                const int luma = clipLuma((f->get_frameid() - 1) % 10);
                const int green = qBound(0, int((luma - 16) * 255.0 / 219.0 + 0.5), 255);
                QVERIFY2(qAbs(int(f->get_frame()->data[0][1]) - green) < 12,
                         qPrintable(QString("%1 vs %2").arg(f->get_frame()->data[0][1]).arg(green)));
                delete f;
            }
        }
        {
            Client c(server.port());
            c.parser->set_download_mode(true);
            c.parser->set_raw_mode(true);
            c.parser->start();
            QVERIFY(waitUntil([&] { return c.queue.size() >= 5; }, 20000));
            for (DecodedFrame* f : c.take_all()) {
                const QByteArray bytes(reinterpret_cast<const char*>(f->get_frame_data()), f->get_frame_length());
                QCOMPARE(bytes, "\n" + frames[(f->get_frameid() - 1) % 10].data);
                QVERIFY(!f->get_frame());
                delete f;
            }
        }
    }

    void reconnectPushesOneReplayMarker()
    {
        StreamServer server(StreamServer::loop(clip_frames(5), true), {StreamServer::Options().head, 5, -1});
        Client c(server.port(), "/live", true);
        c.parser->set_buffered_display(true);
        c.parser->start();
        QList<int> ids;
        bool markersWellFormed = true;
        // The client waits for the marker to be shown before it reconnects.
        QVERIFY(waitUntil([&] {
            while (DecodedFrame* f = c.queue.take()) {
                ids << f->get_frameid();
                if (f->get_frameid() == -99) {
                    markersWellFormed = markersWellFormed && QByteArray(f->get_timestamp()) == "REPLAY" &&
                                        f->get_fps() == -1.0 && !f->filled;
                    c.parser->replay_frame_displayed();
                }
                delete f;
            }
            return ids.count(-99) >= 2;
        }, 30000));
        QVERIFY(markersWellFormed);
        QVERIFY(server.connections() >= 2);
        QCOMPARE(ids.mid(0, 6), (QList<int>{1, 2, 3, 4, 5, -99}));
        QCOMPARE(ids.mid(6, 6), (QList<int>{6, 7, 8, 9, 10, -99}));
    }

    void errorReplyRestartsLater()
    {
        StreamServer::Options o;
        o.head = "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nError : no such camera\n";
        StreamServer server([](int, int) { return QByteArray(); }, o);
        Client c(server.port());
        QSignalSpy restart(c.parser.get(), &ZRStreamParser::set_restart);
        QElapsedTimer t;
        t.start();
        c.parser->start();
        QVERIFY(waitForSignals(restart, 1, 20000));
        QVERIFY(c.parser->is_error_reply());
        QVERIFY(t.elapsed() >= 2900);
        QCOMPARE(c.queue.size(), size_t(0));
    }

    // Garbage, impossible lengths and absurd rates never stop the frames that follow.
    void hostileStreamKeepsFlowing()
    {
        const QList<StreamFrame> frames = clip_frames(25);
        StreamServer server(
            [frames](int, int i) -> QByteArray {
                const StreamFrame& f = frames[i % frames.size()];
                switch (i % 5) {
                case 1: return QByteArray(3000, '\xff') + StreamServer::part(f, " nan");
                case 2: return "--myboundary\nContent-Length: 99999999999\n\n" + StreamServer::part(f, " 1e9");
                case 3: return "--myboundary\nZrDrawoverlay: " + QByteArray(70000, 'x') + "\n" + StreamServer::part(f, " -3");
                default: return StreamServer::part(f, i == 0 ? QByteArray(" 25.00") : QByteArray());
                }
            },
            {StreamServer::Options().head, 2, -1});
        Client c(server.port());
        c.parser->set_buffered_display(true);
        c.parser->start();
        QVERIFY(waitUntil([&] { return c.queue.size() >= 20; }, 20000));
        QVERIFY(c.parser->dropped_parts() >= 2);
        for (DecodedFrame* f : c.take_all()) {
            QCOMPARE(f->get_fps(), 25.0); // the last good rate
            delete f;
        }
    }

    void unknownCodecStopsTheClient()
    {
        QList<StreamFrame> frames = clip_frames(3);
        for (StreamFrame& f : frames)
            f.codec = "nonsense";
        StreamServer server(StreamServer::loop(frames, false), {StreamServer::Options().head, 5, -1});
        Client c(server.port(), "/live", false);
        c.parser.reset(new ZRStreamParser("http", "127.0.0.1", QString::number(server.port()), "", "/live", false, "", false, nullptr));
        c.parser->set_frame_queue(&c.queue);
        c.parser->start();
        QVERIFY(c.parser->wait(20000));
        QVERIFY(c.parser->is_stopped());
        QCOMPARE(c.parser->get_text_overlay(), QString("failed to open decoder"));
    }

    // Every wait ends on stop: a stalled server, a full download queue, an unacknowledged marker.
    void stopEndsEveryWait_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("stalled server") << "stall";
        QTest::newRow("full download queue") << "backpressure";
        QTest::newRow("replay marker not acknowledged") << "replay";
    }
    void stopEndsEveryWait()
    {
        QFETCH(QString, situation);
        StreamServer::Options o;
        o.intervalMs = 5;
        if (situation == "stall")
            o.stallAfterParts = 3;
        StreamServer server(StreamServer::loop(clip_frames(10), situation == "replay"), o);
        Client c(server.port(), "/live", situation == "replay");
        if (situation == "backpressure") {
            c.parser->set_download_mode(true);
            c.parser->set_max_queue_size(4);
        } else {
            c.parser->set_buffered_display(true);
        }
        c.parser->start();
        const int expected = situation == "replay" ? 11 : situation == "stall" ? 3 : 4;
        QVERIFY(waitUntil([&] { return c.queue.size() >= size_t(expected); }, 20000));
        if (situation == "backpressure") {
            // The queue stays at its limit while the consumer takes nothing.
            QVERIFY(!waitUntil([&] { return c.queue.size() > 4; }, 500));
        }
        QElapsedTimer t;
        t.start();
        c.parser->threadStop(false);
        QVERIFY(c.parser->wait(5000));
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        qDeleteAll(c.take_all());
    }

    void pauseGoesIdleAndStartsOver()
    {
        StreamServer server(StreamServer::loop(clip_frames(10), false), {StreamServer::Options().head, 5, -1});
        Client c(server.port(), "/live", true);
        c.parser->set_buffered_display(true);
        QSignalSpy status(c.parser.get(), &ZRStreamParser::send_status_message);
        c.parser->start();
        QVERIFY(waitUntil([&] { return c.queue.size() >= 5; }, 20000));
        c.parser->threadPause();
        QVERIFY(c.parser->wait(5000));
        QCOMPARE(status.last().value(0).toString(), QString("disconnected"));
        qDeleteAll(c.take_all());
        c.parser->start();
        QVERIFY(waitUntil([&] { return c.queue.size() >= 1; }, 20000));
        DecodedFrame* first = c.queue.take();
        QCOMPARE(first->get_frameid(), 1);
        delete first;
    }

    void destroyWhileFramesFlow()
    {
        StreamServer server(StreamServer::loop(clip_frames(), false), {StreamServer::Options().head, 1, -1});
        DecodedFrameQueue queue;
        auto* parser = new ZRStreamParser("http", "127.0.0.1", QString::number(server.port()), "", "/live", false, "h264", true, nullptr);
        parser->set_frame_queue(&queue);
        parser->set_buffered_display(true);
        QSignalSpy canDelete(parser, &ZRStreamParser::can_delete);
        parser->start();
        QVERIFY(waitUntil([&] { return queue.size() >= 3; }, 20000));
        parser->destroy();
        QVERIFY(waitForSignals(canDelete, 1, 5000));
        QVERIFY(parser->wait(5000));
        delete parser;
        queue.clear();

        // A client that never ran can be deleted at once.
        ZRStreamParser idle("http", "127.0.0.1", "1", "", "/live", false, "h264", false, nullptr);
        QSignalSpy idleDelete(&idle, &ZRStreamParser::can_delete);
        idle.destroy();
        QCOMPARE(idleDelete.count(), 1);
    }
};

ZR_TEST_MAIN_CORE(TestStreamParser)
#include "tst_stream_parser.moc"

//! labels: net
#include "media/Http_header_parser.h"
#include "media/ff_audio_decoder_sdl_player.h"
#include "tests/media/GeneratedSound.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/StreamServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/ToneMeter.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace zrtest;

namespace {

// A stream plays at its own rate: the generated sound is 16 kHz, one 1024-sample packet per
// seek line.
constexpr int kRate = 16000;

// The packets heard, in order, by their pitch (line numbers modulo the tone's cycle of 100):
// the sound is cut into 16 ms windows and a pitch counts once it fills two windows in a row.
QList<int> linesHeard(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray s16 = f.readAll();
    const auto* s = reinterpret_cast<const qint16*>(s16.constData());
    const int frames = int(s16.size() / 4);
    constexpr int window = 256, step = 128;
    QList<int> lines;
    int previous = -1, repeats = 0;
    for (int at = 0; at + window <= frames; at += step) {
        const double hz = toneHz(s + at * 2, window, 2, kRate);
        const int k = int(std::lround((hz - 300.0) / 30.0));
        const int line = (k >= 0 && k < 100 && std::abs(hz - toneOfLine(k)) < 6.0) ? k : -1;
        repeats = line == previous ? repeats + 1 : 0;
        previous = line;
        if (line >= 0 && repeats == 1 && (lines.isEmpty() || lines.last() != line))
            lines << line;
    }
    return lines;
}

QString describe(const QList<int>& lines)
{
    QStringList s;
    for (int l : lines)
        s << QString::number(l);
    return s.join(QLatin1Char(' '));
}

// The stream's first packets are read while its format is probed (10,000 bytes) and, with
// FFmpeg's "nobuffer" flag, not kept: playing starts at the first packet after them.
constexpr int kFirstPlayed = 45; // at the latest

// Every line heard follows the one before (modulo 100): from the first line after the probe
// (kFirstPlayed at the latest) up to `to` (excluded).
bool heardRun(const QList<int>& lines, int to)
{
    if (lines.isEmpty() || lines.first() < 1 || lines.first() > kFirstPlayed)
        return false;
    const int from = lines.first();
    if (lines.size() != to - from)
        return false;
    for (int k = from; k < to; ++k)
        if (lines[k - from] != k % 100)
            return false;
    return true;
}

// Fills a header record from what a server answers, as a download's header callback would:
// the answer's header lines and, for a multipart answer, its first part's. The bytes that
// follow are the first chunk.
QByteArray readAnswerHead(quint16 port, const QByteArray& path, Http_header_parser* header)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(10000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray pending;
    bool inPart = false;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        int eol;
        while ((eol = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(eol + 1);
            pending.remove(0, eol + 1);
            if (inPart && line.trimmed().startsWith("--"))
                continue; // the part's boundary line
            header->read_header_line(line);
            if (!line.trimmed().isEmpty())
                continue;
            if (!header->is_multipart() || inPart) {
                if (pending.isEmpty() && socket.waitForReadyRead(10000))
                    pending += socket.readAll();
                return pending;
            }
            inPart = true;
        }
        if (!socket.waitForReadyRead(1000) && socket.state() != QAbstractSocket::ConnectedState)
            break;
        pending += socket.readAll();
    }
    return pending;
}

// A player on the answer a loopback server gives at /audio.aac, with what it logs, says and
// hears; route the reply before the player starts.
struct ServedStream
{
    ServedStream(const HttpReply& reply, QString heard)
        : heardPath(std::move(heard))
        , p(std::make_unique<ff_audio_decoder_sdl_player>(QString(), server.url(QStringLiteral("/audio.aac"))))
        , messages(p.get(), &ff_audio_decoder_sdl_player::send_message)
    {
        server.route("/audio.aac", reply);
    }

    HttpServer server;
    QString heardPath;
    LogCatcher log;
    std::unique_ptr<ff_audio_decoder_sdl_player> p;
    QSignalSpy messages;
};

QByteArray audioPart(const QByteArray& type, const QByteArray& data)
{
    return "--myboundary\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(data.size()) + "\r\n\r\n" +
           data + "\r\n";
}

} // namespace

// The audio player in stream mode against servers on 127.0.0.1; SDL's disk driver writes what
// would be heard to a file, whose pitches tell which packets were played.
class TestAudioStream : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedRecording rec;
    QByteArray adts; // the recording's sound: ADTS packets, one per seek line
    DiskAudioOutput out;

    static QStringList reds(const QSignalSpy& messages)
    {
        QStringList r;
        for (const QList<QVariant>& m : messages)
            if (m[0].toString() == QLatin1String("RED"))
                r << m[1].toString();
        return r;
    }

private slots:
    void initTestCase()
    {
        const GeneratedExport ex = generateWithSound(gen);
        QVERIFY2(ex.ok, qPrintable(ex.error));
        rec = ex.cameras[0].recordings[0];
        QFile f(rec.audioPath);
        QVERIFY(f.open(QIODevice::ReadOnly));
        adts = f.readAll();
        QVERIFY(rec.audioPackets > 150);
    }

    // An AAC stream in ADTS is played whole, packet after packet, at its own rate; the end of
    // the input ends the decode loop once what was queued has been heard.
    void playsAnAacStream()
    {
        HttpServer server;
        server.route("/audio.aac", HttpReply::text(adts, 200, "audio/aac"));
        Http_header_parser header;
        readAnswerHead(server.port(), "/audio.aac", &header);
        QCOMPARE(header.get_content_type(), QStringLiteral("audio/aac"));
        QVERIFY(!header.is_multipart());

        const QString heardPath = out.next();
        LogCatcher log;
        const QString url = server.url(QStringLiteral("/audio.aac"));
        auto p = std::make_unique<ff_audio_decoder_sdl_player>(QString(), url, &header);
        QSignalSpy messages(p.get(), &ff_audio_decoder_sdl_player::send_message);
        p->begin_stream();
        QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 60000);
        QVERIFY2(reds(messages).isEmpty(), qPrintable(reds(messages).join('\n')));
        for (const QString& line : {QStringLiteral("[INFO] Audio Streamdecoder :: DO DIRECT STREAMING ::  ") + url,
                                    QStringLiteral("[INFO] Audio Streamdecoder :: Define specific out formats for MPEG"),
                                    QStringLiteral("[INFO] Audio Streamdecoder :: in sample rate 16000"),
                                    QStringLiteral("[INFO] Audio Streamdecoder :: in_channels 1"),
                                    QStringLiteral("[INFO] Audio Streamdecoder :: audio interrupted return true")})
            QVERIFY2(log.contains(line), qPrintable(line));
        QVERIFY(!log.contains(QStringLiteral("timeout read frame")));
        // Every packet after the probe, in order, up to the last: what was queued when the input
        // ended is still heard.
        const QList<int> lines = linesHeard(heardPath);
        QVERIFY2(heardRun(lines, rec.audioPackets), qPrintable(describe(lines)));
    }

    // A server that goes silent: the decode loop waits for it; a stop ends it at once, without
    // the input's ten-second timeout, and what was heard is what was sent before the silence.
    void stopEndsAStalledStream_data()
    {
        QTest::addColumn<int>("stallAtLine"); // -1: no answer at all
        QTest::newRow("no answer") << -1;
        QTest::newRow("silent after 80 lines") << 80;
    }

    void stopEndsAStalledStream()
    {
        QFETCH(int, stallAtLine);
        HttpReply reply = HttpReply::text(adts, 200, "audio/aac");
        if (stallAtLine < 0)
            reply.stall = true;
        else
            reply.stallAfterBytes = int(audioOffsetOfLine(rec, stallAtLine));
        ServedStream s(reply, out.next());
        s.p->begin_stream();
        QVERIFY(s.server.waitForRequests(1, 30000));
        if (stallAtLine >= 0) {
            QVERIFY(s.log.waitFor(QStringLiteral("[INFO] Audio Streamdecoder :: Device open :: "), 30000));
            // Everything up to the silence plays.
            QTRY_VERIFY2_WITH_TIMEOUT(heardRun(linesHeard(s.heardPath), stallAtLine),
                                      qPrintable(describe(linesHeard(s.heardPath))), 30000);
        }
        QVERIFY(!s.p->isFinished());
        s.p->stop_stream();
        QTRY_VERIFY_WITH_TIMEOUT(s.p->isFinished(), 9000);
        QVERIFY2(!s.log.contains(QStringLiteral("timeout read frame")), qPrintable(s.log.texts().join('\n')));
        // The owner closed it: the closing message, and no error after it.
        QCOMPARE(s.messages.size(), 1);
        QCOMPARE(s.messages[0][1].toString(), QStringLiteral("Audio stream closing."));
        const QList<int> lines = linesHeard(s.heardPath);
        if (stallAtLine >= 0)
            QVERIFY2(heardRun(lines, stallAtLine), qPrintable(describe(lines)));
        else
            QVERIFY2(lines.isEmpty(), qPrintable(describe(lines)));
    }

    // A server that goes silent and is left alone: after ten seconds without input the decode
    // loop ends by itself; meanwhile the five-second rate message reports what came in.
    void aSilentStreamTimesOut()
    {
        HttpReply reply = HttpReply::text(adts, 200, "audio/aac");
        reply.stallAfterBytes = int(audioOffsetOfLine(rec, 80));
        ServedStream s(reply, out.next());
        QSignalSpy stopTimer(s.p.get(), &ff_audio_decoder_sdl_player::stop_timer);
        s.p->begin_stream();
        QTRY_VERIFY_WITH_TIMEOUT(!s.messages.isEmpty(), 30000);
        QCOMPARE(s.messages[0][0].toString(), QStringLiteral("GREEN"));
        QVERIFY2(s.messages[0][1].toString().startsWith(QStringLiteral("Audio playing : ")), qPrintable(s.messages[0][1].toString()));
        QVERIFY2(s.messages[0][1].toString() != QStringLiteral("Audio playing : 0 bytes/s"), qPrintable(s.messages[0][1].toString()));
        QTRY_VERIFY_WITH_TIMEOUT(s.p->isFinished(), 60000);
        QVERIFY(s.log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: timeout read frame ")));
        QVERIFY(s.log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: audio interrupted return true")));
        QVERIFY(reds(s.messages).isEmpty());
        const QList<int> lines = linesHeard(s.heardPath);
        QVERIFY2(heardRun(lines, 80), qPrintable(describe(lines)));
    }

    // A server that drops the connection: the decode loop ends and what came before the cut
    // is heard, nothing after it. Cut between two packets the input simply ends; cut inside one,
    // the torn packet is a decoding error with its one RED message.
    void aDroppedConnectionEndsTheStream_data()
    {
        QTest::addColumn<int>("extraBytes");
        QTest::addColumn<QString>("red");
        QTest::newRow("between packets") << 0 << "";
        QTest::newRow("inside a packet") << 10 << "Audio stream error :  Error decode frame.";
    }

    void aDroppedConnectionEndsTheStream()
    {
        QFETCH(int, extraBytes);
        QFETCH(QString, red);
        HttpReply reply = HttpReply::text(adts, 200, "audio/aac");
        reply.dropAfterBytes = int(audioOffsetOfLine(rec, 80) + extraBytes);
        ServedStream s(reply, out.next());
        s.p->begin_stream();
        QTRY_VERIFY_WITH_TIMEOUT(s.p->isFinished(), 60000);
        QVERIFY(!s.log.contains(QStringLiteral("timeout read frame")));
        const QList<int> lines = linesHeard(s.heardPath);
        if (red.isEmpty()) {
            QVERIFY(s.log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: audio interrupted return true")));
            QVERIFY2(reds(s.messages).isEmpty(), qPrintable(reds(s.messages).join('\n')));
            QVERIFY2(heardRun(lines, 80), qPrintable(describe(lines)));
        } else {
            QCOMPARE(reds(s.messages), QStringList{red});
            QVERIFY(s.p->is_stopped());
            QVERIFY2(lines.isEmpty() || heardRun(lines, lines.last() + 1), qPrintable(describe(lines)));
            QVERIFY2(lines.isEmpty() || lines.last() < 80, qPrintable(describe(lines)));
        }
    }

    // Answers the player cannot play: each gives one RED message and ends the decode loop.
    void unplayableAnswersGiveOneClearError_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("red");
        QTest::newRow("not found") << 404 << QByteArray("text/html") << QByteArray("<html>nothing here</html>")
                                   << "Audio stream error : Could not open stream.";
        QTest::newRow("web page") << 200 << QByteArray("text/html")
                                  << QByteArray("<html><body>") + QByteArray(20000, 'x') + "</body></html>"
                                  << "";
        QTest::newRow("empty answer") << 200 << QByteArray("audio/aac") << QByteArray() << "";
    }

    void unplayableAnswersGiveOneClearError()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        QFETCH(QString, red);
        HttpServer server;
        server.route("/audio", HttpReply::text(body, status, type));
        out.next();
        LogCatcher log;
        auto p = std::make_unique<ff_audio_decoder_sdl_player>(QString(), server.url(QStringLiteral("/audio")));
        QSignalSpy messages(p.get(), &ff_audio_decoder_sdl_player::send_message);
        QSignalSpy stopTimer(p.get(), &ff_audio_decoder_sdl_player::stop_timer);
        p->begin_stream();
        QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 30000);
        const QStringList r = reds(messages);
        QVERIFY2(r.size() == 1, qPrintable(r.join('\n') + '\n' + log.texts().join('\n')));
        if (!red.isEmpty())
            QCOMPARE(r[0], red);
        QVERIFY(r[0].startsWith(QStringLiteral("Audio stream error : ")));
        QCOMPARE(stopTimer.size(), 1);
        QVERIFY(p->is_stopped());
    }

    // A multipart stream of another type than AAC or MPEG audio is refused with the old-format
    // message, whether the decode loop is started or the download hands over chunks, and nothing
    // is opened; a second chunk adds nothing.
    void refusesAMultipartStreamOfAnotherType_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("byChunks");
        QTest::newRow("wave parts, decode loop") << QByteArray("audio/wav") << false;
        QTest::newRow("wave parts, chunks") << QByteArray("audio/wav") << true;
        QTest::newRow("pictures, chunks") << QByteArray("image/jpeg") << true;
    }

    void refusesAMultipartStreamOfAnotherType()
    {
        QFETCH(QByteArray, type);
        QFETCH(bool, byChunks);
        const QByteArray data = adts.left(4000);
        StreamServer server([type, data](int, int) { return audioPart(type, data); });
        Http_header_parser header;
        QByteArray chunk = readAnswerHead(server.port(), "/audio", &header);
        QVERIFY(header.is_multipart());
        QCOMPARE(header.get_content_type(), QString::fromLatin1(type));

        LogCatcher log;
        const QString url = QStringLiteral("http://127.0.0.1:%1/audio").arg(server.port());
        auto p = std::make_unique<ff_audio_decoder_sdl_player>(QString(), url, &header);
        QSignalSpy messages(p.get(), &ff_audio_decoder_sdl_player::send_message);
        QSignalSpy stopTimer(p.get(), &ff_audio_decoder_sdl_player::stop_timer);
        if (byChunks) {
            p->read_stream(chunk.data(), int(chunk.size()));
            p->read_stream(chunk.data(), int(chunk.size()));
        } else {
            p->begin_stream();
            QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 30000);
        }
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0][0].toString(), QStringLiteral("RED"));
        QCOMPARE(messages[0][1].toString(), QStringLiteral("Audio stream error : Format too old."));
        QCOMPARE(stopTimer.size(), 1);
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: DO MULTIPART STREAMING + ") + url));
        QVERIFY(!log.contains(QStringLiteral("DO DIRECT STREAMING")));
        QCOMPARE(server.connections(), 1); // the test's own
    }

    // A multipart stream of AAC parts is opened by its address when its first chunk comes in
    // (the chunk's own bytes are not decoded). FFmpeg reads a multipart answer as pictures
    // only, so it finds no audio stream in it: one clear RED message, the call returns, and
    // later chunks are only counted.
    void aMultipartAacStreamIsOpenedByItsAddress()
    {
        QList<QByteArray> parts;
        for (int k = 0; k < 15; ++k) {
            const qint64 from = audioOffsetOfLine(rec, k * 10);
            parts << audioPart("audio/aac", adts.mid(from, audioOffsetOfLine(rec, k * 10 + 10) - from));
        }
        StreamServer::Options o;
        o.intervalMs = 0;
        StreamServer server([parts](int, int i) { return i < parts.size() ? parts[i] : QByteArray(); }, o);
        Http_header_parser header;
        QByteArray chunk = readAnswerHead(server.port(), "/audio", &header);
        QVERIFY(header.is_multipart());
        QCOMPARE(header.get_content_type(), QStringLiteral("audio/aac"));
        out.next();
        LogCatcher log;
        const QString url = QStringLiteral("http://127.0.0.1:%1/audio").arg(server.port());
        ff_audio_decoder_sdl_player p(QString(), url, &header);
        QSignalSpy messages(&p, &ff_audio_decoder_sdl_player::send_message);
        p.read_stream(chunk.data(), int(chunk.size()));
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: DO DIRECT STREAMING ::  ") + url));
        QCOMPARE(server.connections(), 2);
        QCOMPARE(reds(messages), QStringList{QStringLiteral("Audio stream error : Could not retrieve audio stream.")});
        p.read_stream(chunk.data(), int(chunk.size()));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(server.connections(), 2);
    }

    // Chunks of an answer that is not multipart, or that comes without a header record, are
    // only counted: nothing is opened and nothing is said. A null chunk is logged.
    void chunksOfASingleAnswerAreOnlyCounted()
    {
        HttpServer server;
        server.route("/audio.aac", HttpReply::text(adts, 200, "audio/aac"));
        Http_header_parser header;
        QByteArray chunk = readAnswerHead(server.port(), "/audio.aac", &header);
        QVERIFY(!header.is_multipart());
        QVERIFY(!chunk.isEmpty());
        LogCatcher log;
        const QString url = server.url(QStringLiteral("/audio.aac"));
        ff_audio_decoder_sdl_player withHeader(QString(), url, &header);
        ff_audio_decoder_sdl_player withoutHeader(QString(), url);
        QSignalSpy messages1(&withHeader, &ff_audio_decoder_sdl_player::send_message);
        QSignalSpy messages2(&withoutHeader, &ff_audio_decoder_sdl_player::send_message);
        withHeader.read_stream(chunk.data(), int(chunk.size()));
        withoutHeader.read_stream(chunk.data(), int(chunk.size()));
        withHeader.read_stream(nullptr, 0);
        QVERIFY(log.contains(QStringLiteral("[ERROR] Audio Streamdecode :: get stream :: buffer curl is null")));
        QVERIFY(messages1.isEmpty());
        QVERIFY(messages2.isEmpty());
        QVERIFY(!log.contains(QStringLiteral("DO DIRECT STREAMING")));
        QVERIFY(!log.contains(QStringLiteral("DO MULTIPART STREAMING")));
        QCOMPARE(server.requestCount(), 1); // the test's own
        QVERIFY(!withHeader.is_stopped());
    }
};

ZR_TEST_MAIN_CORE(TestAudioStream)
#include "tst_audio_stream.moc"

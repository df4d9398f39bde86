//! labels: unit
#include "display/MultipartFrameRecognizer.h"
#include "tests/support/TestMain.h"

#include <QtTest>

using Part = MultipartFrameRecognizer::Part;

namespace {

// Feeds `bytes` in chunks of `chunk` bytes (0: all at once) and collects every part.
QList<Part> feed_all(MultipartFrameRecognizer& r, const QByteArray& bytes, int chunk = 0)
{
    QList<Part> parts;
    const int step = chunk > 0 ? chunk : qMax<int>(1, bytes.size());
    for (int off = 0; off < bytes.size(); off += step) {
        const QByteArray piece = bytes.mid(off, step);
        size_t done = 0;
        while (done < static_cast<size_t>(piece.size())) {
            bool ready = false;
            done += r.feed(piece.constData() + done, piece.size() - done, &ready);
            if (ready)
                parts.append(r.take_part());
        }
    }
    return parts;
}

QList<Part> parse(const QByteArray& bytes, int chunk = 0)
{
    MultipartFrameRecognizer r;
    return feed_all(r, bytes, chunk);
}

QByteArray part(const QByteArray& headers, const QByteArray& data)
{
    return "--myboundary\n" + headers + "\n" + data;
}

// Two frames with every header of the format, as a well-behaved server sends them.
QByteArray full_stream()
{
    QByteArray s = "HTTP preamble bytes\r\n";
    s += part("Content-Type: frame/h264\nContent-Length: 5\nZrTextoverlay: cam 1\nZrDrawoverlay: R;1;2;3;4\n"
              "Timestamp: 20240502101500040\nFrametag: noobjects\nFramesize: 640x360\nFps: 25.00\n",
              "ABCDE");
    s += "\r\n";
    s += part("Content-Length: 3\nTimestamp: 20240502101500080\n", "xyz");
    return s;
}

} // namespace

class TestMultipartRecognizer : public QObject
{
    Q_OBJECT

private slots:
    void everyHeaderAndValuesInForce()
    {
        const QList<Part> parts = parse(full_stream());
        QCOMPARE(parts.size(), 2);
        const Part& a = parts[0];
        QCOMPARE(a.body, QByteArray("\nABCDE")); // the LF that ended the headers comes first
        QCOMPARE(a.content_length, 5);
        QCOMPARE(a.content_type, QString("frame/h264"));
        QCOMPARE(a.text_overlay, QString("cam 1"));
        QCOMPARE(a.draw_overlay, QString("R;1;2;3;4"));
        QCOMPARE(a.timestamp, QByteArray("20240502101500040"));
        QCOMPARE(a.frame_tag, QString("noobjects"));
        QCOMPARE(a.frame_size, QString("640x360"));
        QCOMPARE(a.fps, QString(" 25.00"));
        // Values stay in force, except the frame tag, which belongs to its own part.
        const Part& b = parts[1];
        QCOMPARE(b.body, QByteArray("\nxyz"));
        QCOMPARE(b.content_type, QString("frame/h264"));
        QCOMPARE(b.draw_overlay, QString("R;1;2;3;4"));
        QCOMPARE(b.fps, QString(" 25.00"));
        QCOMPARE(b.timestamp, QByteArray("20240502101500080"));
        QVERIFY(b.frame_tag.isEmpty());
    }

    void splitAtEveryByte()
    {
        const QByteArray s = full_stream();
        const QList<Part> whole = parse(s);
        for (int chunk = 1; chunk <= s.size(); ++chunk) {
            const QList<Part> parts = parse(s, chunk);
            QCOMPARE(parts.size(), whole.size());
            for (int i = 0; i < parts.size(); ++i) {
                QCOMPARE(parts[i].body, whole[i].body);
                QCOMPARE(parts[i].timestamp, whole[i].timestamp);
                QCOMPARE(parts[i].draw_overlay, whole[i].draw_overlay);
                QCOMPARE(parts[i].frame_tag, whole[i].frame_tag);
            }
        }
    }

    void framingRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QByteArray>>("bodies");
        QTest::addColumn<QString>("lastType");
        QTest::addColumn<QString>("lastFps");
        QTest::addColumn<QString>("lastTag");
        using L = QList<QByteArray>;
        QTest::newRow("crlf empty line never ends the headers")
            << QByteArray("--myboundary\r\nContent-Length: 3\r\n\r\nabc") << L{} << "" << "" << "";
        QTest::newRow("crlf length line still gives its number")
            << QByteArray("--myboundary\nContent-Type: frame/h264\r\nContent-Length: 3\r\n\nabc") << L{"\nabc"}
            << "frame/h264\r" << "" << "";
        QTest::newRow("third dash breaks the boundary")
            << QByteArray("---myboundary\nContent-Length: 2\n\nab") << L{} << "" << "" << "";
        QTest::newRow("a broken boundary swallows the start of the next")
            << QByteArray("xx\n--my--myboundary\nContent-Length: 2\n\nab") << L{} << "" << "" << "";
        QTest::newRow("other bytes before the boundary")
            << QByteArray("zzz--myboundary\nContent-Length: 2\n\nab") << L{"\nab"} << "" << "" << "";
        QTest::newRow("fps inside an overlay value")
            << QByteArray("--myboundary\nZrDrawoverlay: T;Fps: 12.50\nContent-Length: 1\n\nq") << L{"\nq"} << ""
            << " 12.50" << "";
        QTest::newRow("later part reuses the last length")
            << QByteArray("--myboundary\nContent-Length: 4\n\nabcd--myboundary\nTimestamp: 1\n\nwxyz") << L{"\nabcd", "\nwxyz"}
            << "" << "" << "";
        QTest::newRow("pause part")
            << QByteArray("--myboundary\nContent-Length: 1\nFramesize: null\n\n0") << L{"\n0"} << "" << "" << "PAUSE";
        QTest::newRow("pause part with its own tag")
            << QByteArray("--myboundary\nContent-Length: 1\nFramesize: null\nFrametag: noobjects\n\n0") << L{"\n0"} << ""
            << "" << "noobjects";
        QTest::newRow("length that is not a number counts as 0")
            << QByteArray("--myboundary\nContent-Length: abc\n\n--myboundary\nContent-Length: 1\n\nz") << L{"\n", "\nz"} << ""
            << "" << "";
        QTest::newRow("headers before any length: empty line is not the end")
            << QByteArray("--myboundary\nFps: 25.00\n\nContent-Length: 2\n\nab") << L{"\nab"} << "" << " 25.00" << "";
        QTest::newRow("unknown header lines ignored")
            << QByteArray("--myboundary\nX-Other: 1\nContent-Length: 2\n\nab") << L{"\nab"} << "" << "" << "";
    }
    void framingRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QByteArray>, bodies);
        QFETCH(QString, lastType);
        QFETCH(QString, lastFps);
        QFETCH(QString, lastTag);
        for (int chunk : {0, 1, 3}) {
            const QList<Part> parts = parse(bytes, chunk);
            QList<QByteArray> got;
            for (const Part& p : parts)
                got << p.body;
            QCOMPARE(got, bodies);
            if (!parts.isEmpty()) {
                QCOMPARE(parts.last().content_type, lastType);
                QCOMPARE(parts.last().fps, lastFps);
                QCOMPARE(parts.last().frame_tag, lastTag);
            }
        }
    }

    // Whatever a peer sends, a bad part is dropped and the next boundary is found again.
    void hostileInputResynchronises_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("negative length") << QByteArray("--myboundary\nContent-Length: -5\n\nabcde");
        QTest::newRow("length beyond 64 MiB") << QByteArray("--myboundary\nContent-Length: 67108865\n\n");
        QTest::newRow("huge length") << QByteArray("--myboundary\nContent-Length: 99999999999999999999\n\n");
        QTest::newRow("over-long header value")
            << QByteArray("--myboundary\nZrDrawoverlay: ") + QByteArray(MultipartFrameRecognizer::kMaxHeaderValue + 10, 'x');
        QTest::newRow("header block that never ends")
            << QByteArray("--myboundary\n") + QByteArray(MultipartFrameRecognizer::kMaxHeaderBlock + 10, '\n');
    }
    void hostileInputResynchronises()
    {
        QFETCH(QByteArray, bad);
        const QByteArray good = part("Content-Length: 3\nTimestamp: 20240502101500000\n", "abc");
        MultipartFrameRecognizer r;
        const QList<Part> parts = feed_all(r, bad + good, 4096);
        QCOMPARE(parts.size(), 1);
        QCOMPARE(parts[0].body, QByteArray("\nabc"));
        QCOMPARE(parts[0].timestamp, QByteArray("20240502101500000"));
        QCOMPARE(r.dropped_parts(), quint64(1));
        // The dropped part's values never come into force.
        QVERIFY(parts[0].draw_overlay.isEmpty());
    }

    void maximumLengthIsAccepted()
    {
        MultipartFrameRecognizer r;
        const QByteArray head = "--myboundary\nContent-Length: " +
                                QByteArray::number(MultipartFrameRecognizer::kMaxContentLength) + "\n\n";
        bool ready = false;
        QCOMPARE(r.feed(head.constData(), head.size(), &ready), size_t(head.size()));
        QVERIFY(!ready);
        QVERIFY(r.in_body());
        QCOMPARE(r.expected_body_size(), MultipartFrameRecognizer::kMaxContentLength + 1);
    }

    void resetStartsOver()
    {
        MultipartFrameRecognizer r;
        feed_all(r, part("Content-Length: 2\nFps: 25.00\n", "ab") + "--myboundary\nContent-Le");
        r.reset();
        // No length is known any more, and the half-read part is gone.
        const QList<Part> parts = feed_all(r, "ngth: 2\n\nab" + part("Content-Length: 1\n", "z"));
        QCOMPARE(parts.size(), 1);
        QCOMPARE(parts[0].body, QByteArray("\nz"));
        QVERIFY(parts[0].fps.isEmpty());
    }
};

ZR_TEST_MAIN_CORE(TestMultipartRecognizer)
#include "tst_multipart_recognizer.moc"

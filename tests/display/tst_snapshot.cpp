//! labels: gui net
#include "display/Canvas.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QtTest>

#include <vector>

using namespace canvastest;

class TestSnapshot : public QObject
{
    Q_OBJECT

private:
    // Mean red of a row segment.
    static int meanRed(const QImage& img, int y, int x0, int x1)
    {
        int sum = 0;
        for (int x = x0; x < x1; ++x)
            sum += qRed(img.pixel(x, y));
        return sum / (x1 - x0);
    }

private slots:
    // The view snapshot is cropped to the picture and carries the band with the caption;
    // the display's frame time stays a time.
    void viewSnapshot()
    {
        Canvas c;
        configure_as_player(c, 1280, 720);
        c.set_overlay_enabled(false);
        c.set_camera_label("Camera 3");
        QImage white = solid(1120, 720, Qt::white);
        feed(c, white, "2024-05-01 10:00:00.000");
        shot(c);
        QCOMPARE(c.get_image_rect(), QRect(80, 0, 1120, 720));

        const QImage snap = c.get_snapshot();
        QCOMPARE(snap.size(), QSize(1120, 720));
        // Band: white under black at alpha 110 (about 145), picture below untouched.
        const int band = qRed(snap.pixel(1100, 2));
        QVERIFY2(band > 125 && band < 165, qPrintable(QString::number(band)));
        QCOMPARE(qRed(snap.pixel(560, 700)), 255);
        QCOMPARE(c.get_snapshot_caption(), QString("Camera 3 | 2024-05-01 10:00:00.000"));
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.000"));

        // A second snapshot: the same caption, not prefixed again.
        c.get_snapshot();
        QCOMPARE(c.get_snapshot_caption(), QString("Camera 3 | 2024-05-01 10:00:00.000"));
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.000"));

        // The display's overlay shows the caption until the next frame.
        c.set_overlay_enabled(true);
        shot(c);
        feed(c, white, "2024-05-01 10:00:00.040");
        QVERIFY(c.get_snapshot_caption().isEmpty());
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.040"));
    }

    void viewSnapshotWithoutLabelOrAspect()
    {
        zrtest::LogCatcher log;
        Canvas c;
        configure_as_player(c, 400, 300);
        c.set_keep_aspect_ratio(false);
        QImage img = quadrants(200, 100);
        feed(c, img);
        shot(c);
        const QImage snap = c.get_snapshot();
        QCOMPARE(snap.size(), QSize(400, 300));
        QVERIFY(log.contains("[WARN] Plugin :: get snapshot :: overlay base is timestamp only"));
        QCOMPARE(c.get_snapshot_caption(), QString("2024-05-01 10:00:00.000"));
        QVERIFY(near(snap.pixel(100, 200), Qt::blue));
    }

    // The full snapshot is the frame at its own size from the display's copy, even after the
    // sender's buffer is gone.
    void fullSnapshot()
    {
        zrtest::LogCatcher log;
        Canvas c;
        configure_as_player(c, 640, 360);
        c.set_camera_label("Camera 3");
        QCOMPARE(c.get_snapshot_full().isNull(), true);
        {
            std::vector<uint8_t> sender(1920 * 1080 * 4);
            QImage wrap(sender.data(), 1920, 1080, 1920 * 4, QImage::Format_RGB32);
            wrap.fill(Qt::white);
            QPainter(&wrap).fillRect(0, 540, 1920, 540, Qt::blue);
            c.displayFrame(sender.data(), 1920 * 4, 1920, 1080, "2024-05-01 10:00:00.000", QString(), false, 1, 25,
                           true);
            std::fill(sender.begin(), sender.end(), 0);
        }
        const QImage full = c.get_snapshot_full();
        QCOMPARE(full.size(), QSize(1920, 1080));
        QCOMPARE(full.format(), QImage::Format_ARGB32_Premultiplied);
        const int band = qRed(full.pixel(1900, 3));
        QVERIFY2(band > 125 && band < 165, qPrintable(QString::number(band)));
        QCOMPARE(qRed(full.pixel(960, 300)), 255);
        QVERIFY(near(full.pixel(960, 900), Qt::blue));
        QVERIFY(meanRed(full, 10, 2, 600) > band); // text drawn in the band
        QVERIFY(log.contains("[INFO] Plugin :: get snapshot full :: define overlay :: Camera 3 | 2024-05-01 10:00:00.000"));
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.000"));
        QVERIFY(c.get_snapshot_caption().isEmpty());
    }

    void formFields_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<bool>("full");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("pairs");
        QTest::newRow("view empty item") << "http://h/up?x=1&&y=2" << false << "http://h/up" << QStringList{"x=1", "y=2"};
        QTest::newRow("full empty item") << "http://h/up?x=1&&y=2" << true << "http://h/up" << QStringList{"x=1", "y=2"};
        QTest::newRow("view no value") << "http://h/up?x" << false << "http://h/up" << QStringList{};
        QTest::newRow("full no value") << "http://h/up?x" << true << "http://h/up" << QStringList{};
        QTest::newRow("view a=b=c") << "http://h/up?a=b=c" << false << "http://h/up" << QStringList{"a=b=c"};
        QTest::newRow("full a=b=c") << "http://h/up?a=b=c" << true << "http://h/up" << QStringList{"a=b"};
        QTest::newRow("full a=") << "http://h/up?a=" << true << "http://h/up" << QStringList{"a="};
        QTest::newRow("view =v") << "http://h/up?=v&k=w" << false << "http://h/up" << QStringList{"k=w"};
        QTest::newRow("no query") << "http://h/up" << false << "http://h/up" << QStringList{};
        QTest::newRow("repeated") << "http://h/up?k=1&k=2" << false << "http://h/up" << QStringList{"k=2"};
    }
    void formFields()
    {
        QFETCH(QString, uri);
        QFETCH(bool, full);
        QFETCH(QString, address);
        QFETCH(QStringList, pairs);
        QString got;
        const QHash<QString, QString> fields = Canvas::snapshot_form_fields(uri, full, &got);
        QCOMPARE(got, address);
        QStringList flat;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            flat << it.key() + "=" + it.value();
        flat.sort();
        QCOMPARE(flat, pairs);
    }

    // The upload posts one form: the JPEG, the address's fields and the session, with the
    // session as a request cookie.
    void upload_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("view") << false;
        QTest::newRow("full") << true;
    }
    void upload()
    {
        QFETCH(bool, full);
        zrtest::HttpServer server;
        server.route("/up", zrtest::HttpReply::text("ok"));
        Canvas c;
        configure_as_player(c, 320, 240);
        c.set_camera_label("Camera 3");
        QImage img = quadrants(320, 240);
        feed(c, img);
        shot(c);
        const QString uri = server.url("/up?x=1&&y=2");
        if (full)
            c.get_snapshot_full("sess42", uri);
        else
            c.get_snapshot("sess42", uri);
        QVERIFY(server.waitForRequests(1));
        const zrtest::HttpRequest req = server.requests().at(0);
        QCOMPARE(req.method, QByteArray("POST"));
        QCOMPARE(req.target, QByteArray("/up"));
        QCOMPARE(req.headers.value("cookie"), QByteArray("PHPSESSID=sess42"));
        QVERIFY(req.headers.value("content-type").startsWith("multipart/form-data"));
        const QByteArray& body = req.body;
        QVERIFY(body.contains("form-data; name=\"image\"; filename=\"test.jpg\";"));
        QVERIFY(body.contains("Content-Type: image/jpg"));
        QVERIFY(body.contains("\xff\xd8\xff")); // JPEG start
        QVERIFY(body.contains("form-data; name=\"x\"\r\n\r\n1\r\n"));
        QVERIFY(body.contains("form-data; name=\"y\"\r\n\r\n2\r\n"));
        QVERIFY(body.contains("form-data; name=\"PHPSESSID\"\r\n\r\nsess42\r\n"));
    }

    void noUploadWithoutSessionOrAddress()
    {
        zrtest::HttpServer server;
        Canvas c;
        configure_as_player(c, 320, 240);
        QImage img = quadrants(320, 240);
        feed(c, img);
        shot(c);
        c.get_snapshot();
        c.get_snapshot("sess");
        c.get_snapshot(QString(), server.url("/up?x=1"));
        c.get_snapshot_full("sess");
        QTest::qWait(200);
        QCOMPARE(server.requestCount(), 0);
    }

    void failedUploadIsLogged()
    {
        zrtest::LogCatcher log;
        zrtest::HttpServer server;
        zrtest::HttpReply drop;
        drop.closeWithoutReply = true;
        server.route("/up", drop);
        Canvas c;
        configure_as_player(c, 320, 240);
        QImage img = quadrants(320, 240);
        feed(c, img);
        shot(c);
        c.get_snapshot_full("s", server.url("/up?x=1"));
        QVERIFY(log.waitFor("[ERROR] Plugin :: uploadImage_multipart :: "));
    }
};

ZR_TEST_MAIN_GUI(TestSnapshot)
#include "tst_snapshot.moc"

//! labels: unit
#include "media/Http_header_parser.h"
#include "tests/support/TestMain.h"

#include <QtTest>

// The header record the audio player consults before it plays a stream.
class TestHttpHeaderParser : public QObject
{
    Q_OBJECT

private slots:
    void readsContentTypeAndMultipart_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("multipart");
        QTest::addColumn<QString>("boundary");
        QTest::addColumn<bool>("complete");

        QTest::newRow("plain aac") << QList<QByteArray>{"HTTP/1.1 200 OK\r\n", "Content-Type: audio/aac\r\n", "\r\n"}
                                   << "audio/aac" << false << "" << true;
        QTest::newRow("parameters and case") << QList<QByteArray>{"content-TYPE:  Audio/MPEG ; charset=x\r\n"}
                                             << "audio/mpeg" << false << "" << false;
        QTest::newRow("multipart then part type")
            << QList<QByteArray>{"Content-Type: multipart/x-mixed-replace; boundary=\"zrb\"\r\n", "\r\n", "--zrb\r\n",
                                 "Content-Type: audio/aac\r\n"}
            << "audio/aac" << true << "zrb" << true;
        QTest::newRow("multipart of pictures")
            << QList<QByteArray>{"Content-Type: multipart/x-mixed-replace;boundary=b1\r\n", "Content-Type: image/jpeg\r\n"}
            << "image/jpeg" << true << "b1" << false;
        QTest::newRow("garbage") << QList<QByteArray>{":::", "Content-Type", "X-Content-Type: audio/aac", "\xff\xfe"}
                                 << "" << false << "" << false;
    }

    void readsContentTypeAndMultipart()
    {
        QFETCH(QList<QByteArray>, lines);
        Http_header_parser h;
        for (const QByteArray& l : lines)
            h.read_header_line(l);
        QFETCH(QString, type);
        QFETCH(bool, multipart);
        QFETCH(QString, boundary);
        QFETCH(bool, complete);
        QCOMPARE(h.get_content_type(), type);
        QCOMPARE(h.is_multipart(), multipart);
        QCOMPARE(h.get_boundary(), boundary);
        QCOMPARE(h.is_complete(), complete);
        QVERIFY(!h.parent());
    }

    void travelsAsMetaType()
    {
        Http_header_parser h(QStringLiteral("audio/aac"), true);
        const QVariant v = QVariant::fromValue(&h);
        QCOMPARE(v.value<Http_header_parser*>()->get_content_type(), QStringLiteral("audio/aac"));
        QVERIFY(v.value<Http_header_parser*>()->is_multipart());
    }
};

ZR_TEST_MAIN_CORE(TestHttpHeaderParser)
#include "tst_http_header_parser.moc"

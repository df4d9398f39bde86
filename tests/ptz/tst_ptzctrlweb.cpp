//! labels: unit net
#include "app/Http_singleton.h"
#include "ptz/PtzCtrlWeb.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

using zrtest::HttpReply;
using zrtest::HttpServer;

Q_DECLARE_METATYPE(std::function<void(PtzCtrlWeb&, QString)>)

class TestPtzCtrlWeb : public QObject
{
    Q_OBJECT

private slots:
    void requestTexts_data()
    {
        using Op = std::function<void(PtzCtrlWeb&, QString)>;
        QTest::addColumn<Op>("op");
        QTest::addColumn<QString>("query");

        QTest::newRow("area") << Op([](PtzCtrlWeb& c, QString b) { c.area(b, QRect(10, 20, 300, 400), 1920, 1080, "s1"); })
                              << "&area=10,20,300,400&resolution=1920x1080&PHPSESSID=s1";
        QTest::newRow("clic truncates") << Op([](PtzCtrlWeb& c, QString b) { c.clic(b, 12.9, -3.7, 640, 480, "abc"); })
                                        << "&clic=12,-3&resolution=640x480&PHPSESSID=abc";
        QTest::newRow("hold") << Op([](PtzCtrlWeb& c, QString b) { QCOMPARE(c.postContinuous(b, true, 100.6, 50.2, 800, 600, "z"), 1); })
                              << "&holdclic=100,50&resolution=800x600&PHPSESSID=z";
        QTest::newRow("release") << Op([](PtzCtrlWeb& c, QString b) { QCOMPARE(c.postContinuous(b, false, 0, 0, 800, 600, "z"), 1); })
                                 << "&releaseclic=0,0&resolution=800x600&PHPSESSID=z";
        QTest::newRow("zoom in") << Op([](PtzCtrlWeb& c, QString b) { c.zoom(b, "1", "0", 1280, 720, "q"); })
                                 << "&zoom=1,0&resolution=1280x720&PHPSESSID=q";
        QTest::newRow("right clic") << Op([](PtzCtrlWeb& c, QString b) { c.postRightClic(b, 1920, 1080, "sess"); })
                                    << "&rightclic=1&resolution=1920x1080&PHPSESSID=sess";
    }

    // Exact query after the base, no separator added, and the three headers.
    void requestTexts()
    {
        QFETCH(std::function<void(PtzCtrlWeb&, QString)>, op);
        QFETCH(QString, query);

        HttpServer server;
        server.route("/ptz.php", HttpReply::text("ok"));
        PtzCtrlWeb ctrl;
        QSignalSpy finished(&ctrl, &PtzCtrlWeb::send_request_finished);

        const QString before = Http_singleton::instance()->build_access_header(QString(), false);
        op(ctrl, server.url("/ptz.php?cam=4"));
        QVERIFY(!ctrl.is_idle());
        QVERIFY(zrtest::waitForSignals(finished));
        const QString after = Http_singleton::instance()->build_access_header(QString(), false);

        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 1);
        QVERIFY(ctrl.is_idle());
        QCOMPARE(server.requestCount(), 1);
        const zrtest::HttpRequest req = server.requests().at(0);
        QCOMPARE(req.method, QByteArray("GET"));
        QCOMPARE(QString::fromLatin1(req.target), "/ptz.php?cam=4" + query);
        QCOMPARE(req.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(req.headers.value("connection").toLower(), QByteArray("keep-alive"));
        const QByteArray agent = req.headers.value("user-agent");
        QVERIFY2(agent == before.toLatin1() || agent == after.toLatin1(), agent.constData());
    }

    void busyRefusesEveryGesture()
    {
        HttpServer server;
        HttpReply slow = HttpReply::text("ok");
        slow.delayMs = 400;
        server.route("/ptz.php", slow);
        PtzCtrlWeb ctrl;
        QSignalSpy finished(&ctrl, &PtzCtrlWeb::send_request_finished);
        zrtest::LogCatcher log;
        const QString base = server.url("/ptz.php?x=1");

        ctrl.area(base, QRect(1, 2, 3, 4), 100, 100, "s");
        ctrl.area(base, QRect(5, 6, 7, 8), 100, 100, "s");
        ctrl.clic(base, 1, 1, 100, 100, "s");
        ctrl.zoom(base, "0", "1", 100, 100, "s");
        ctrl.postRightClic(base, 100, 100, "s");
        QCOMPARE(ctrl.postContinuous(base, true, 3, 3, 100, 100, "s"), -1);

        QCOMPARE(log.count("[WARN] PTZ Ctrl Web :: previous request not finished"), 3);
        QCOMPARE(log.count("[WARN] PTZ Ctrl Web :: clic :: previous request not finished"), 1);
        QVERIFY(!log.contains("post continuous"));

        QVERIFY(zrtest::waitForSignals(finished));
        QTest::qWait(200);
        QCOMPARE(server.requestCount(), 1);
        QVERIFY(server.requests().at(0).target.contains("&area=1,2,3,4"));

        // Idle again: the next gesture goes out.
        ctrl.clic(base, 7, 8, 100, 100, "s");
        QVERIFY(zrtest::waitForSignals(finished, 2));
        QCOMPARE(server.requestCount(), 2);
    }

    // A release refused behind a pending hold comes back as security_stop once, 500 ms later.
    void securityStopAfterRefusedRelease()
    {
        HttpServer server;
        HttpReply slow = HttpReply::text("ok");
        slow.delayMs = 1500;
        server.route("/ptz.php", slow);
        PtzCtrlWeb ctrl;
        QSignalSpy stops(&ctrl, &PtzCtrlWeb::security_stop);
        const QString base = server.url("/ptz.php?x=1");

        QCOMPARE(ctrl.postContinuous(base, true, 10, 10, 100, 100, "s"), 1);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ctrl.postContinuous(base, false, 0, 0, 100, 100, "s"), -1);
        QCOMPARE(ctrl.postContinuous(base, false, 0, 0, 100, 100, "s"), -1);
        // Not a stop (not 0, 0): never arms the timer.
        QCOMPARE(ctrl.postContinuous(base, false, 1, 0, 100, 100, "s"), -1);
        QVERIFY(zrtest::waitForSignals(stops));
        QVERIFY(clock.elapsed() >= 450);
        QTest::qWait(700);
        QCOMPARE(stops.count(), 1);
        QCOMPARE(server.requestCount(), 1);
    }

    void refusedStopBehindOtherRequestIsNotRetried()
    {
        HttpServer server;
        HttpReply slow = HttpReply::text("ok");
        slow.delayMs = 900;
        server.route("/ptz.php", slow);
        PtzCtrlWeb ctrl;
        QSignalSpy stops(&ctrl, &PtzCtrlWeb::security_stop);
        QSignalSpy finished(&ctrl, &PtzCtrlWeb::send_request_finished);
        const QString base = server.url("/ptz.php?x=1");

        ctrl.clic(base, 5, 5, 100, 100, "s");
        QCOMPARE(ctrl.postContinuous(base, false, 0, 0, 100, 100, "s"), -1);
        QVERIFY(zrtest::waitForSignals(finished));
        QTest::qWait(700);
        QCOMPARE(stops.count(), 0);
    }

    // A failed request frees the controller like a successful one.
    void failureFreesController_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("empty base") << 0;
        QTest::newRow("http 500") << 1;
        QTest::newRow("connection dropped") << 2;
    }
    void failureFreesController()
    {
        QFETCH(int, kind);
        HttpServer server;
        HttpReply reply = HttpReply::text("boom", 500);
        if (kind == 2) {
            reply = HttpReply();
            reply.closeWithoutReply = true;
        }
        server.route("/ptz.php", reply);
        PtzCtrlWeb ctrl;
        QSignalSpy finished(&ctrl, &PtzCtrlWeb::send_request_finished);
        ctrl.zoom(kind == 0 ? QString() : server.url("/ptz.php?x=1"), "1", "0", 10, 10, "s");
        QVERIFY(zrtest::waitForSignals(finished));
        QCOMPARE(finished.at(0).at(0).toInt(), 1);
        QVERIFY(ctrl.is_idle());
    }

    void destroyedWithRequestPending()
    {
        HttpServer server;
        HttpReply reply;
        reply.stall = true;
        server.route("/ptz.php", reply);
        auto* ctrl = new PtzCtrlWeb;
        ctrl->area(server.url("/ptz.php?x=1"), QRect(0, 0, 1, 1), 1, 1, "s");
        QVERIFY(server.waitForRequests(1));
        delete ctrl;
        QTest::qWait(50); // the deferred deletions run without touching the controller
    }
};

ZR_TEST_MAIN_CORE(TestPtzCtrlWeb)
#include "tst_ptzctrlweb.moc"

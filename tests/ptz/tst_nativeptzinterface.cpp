//! labels: unit net
#include "ptz/NativePTZInterface.h"
#include "ptz/PtzJobWorker.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

using zrtest::HttpReply;
using zrtest::HttpRequest;
using zrtest::HttpServer;

namespace {

// A driver that sends what the test asks and, when told to, rejects answers that say "bad".
class ProbeDriver : public NativePTZInterface
{
public:
    explicit ProbeDriver(bool parses = false, bool verbose = false)
        : NativePTZInterface("http", "127.0.0.1", "0", "", "", "1", "Probe driver", verbose)
        , parses(parses)
    {
    }
    void get(const QString& command, const QString& url)
    {
        current_command = command;
        send_get(url);
    }
    void post(const QString& command, const QString& url, const QByteArray& body)
    {
        current_command = command;
        send_post(url, body, "text/xml", PtzHeaders{{"X-One", "1"}});
    }
    QThread* thread() const { return worker_thread; }
    bool handles_responses() override { return parses; }
    int parse_response(QString, QString response, QString& fault) override
    {
        if (response.contains("bad")) {
            fault = "rejected: " + response;
            return -3;
        }
        return 2;
    }

    bool parses;
};

} // namespace

class TestNativePTZInterface : public QObject
{
    Q_OBJECT

private slots:
    // The default operations do nothing; the flags start off.
    void defaults()
    {
        NativePTZInterface base;
        QVERIFY(!base.is_ready());
        QVERIFY(!base.is_ptz_enabled());
        base.set_ptz_enabled(true);
        QVERIFY(base.is_ptz_enabled());
        QVERIFY(!base.handles_responses());
        QString fault;
        QCOMPARE(base.parse_response("x", "y", fault), 1);
        QVERIFY(base.get_capabilities().isEmpty());
        base.send_command("STOP", false, 0, 0, 0, -1, -1, 1, -1, -1);
        base.send_preset("GotoPreset", "1", "");
        QVERIFY(base.job_worker() == nullptr);
        QVERIFY(QMetaType::fromName("PtzHeaders").isValid());
        QVERIFY(QMetaType::fromName("NativePTZInterface::PresetInfo").isValid());
        QVERIFY(QMetaType::fromName("QList<NativePTZInterface::PresetInfo>").isValid());
    }

    // Two sends share one thread and worker; both jobs reach the camera.
    void sendsShareOneWorker()
    {
        HttpServer server;
        server.route("/a", HttpReply::text("A"));
        server.route("/b", HttpReply::text("B"));
        ProbeDriver driver;
        QSignalSpy finished(&driver, &NativePTZInterface::send_request_finished);
        QSignalSpy finishedEx(&driver, &NativePTZInterface::send_request_finished_ex);
        QSignalSpy messages(&driver, &NativePTZInterface::status_message);

        driver.get("First", server.url("/a"));
        QVERIFY(!driver.has_answered());
        QThread* thread = driver.thread();
        PtzJobWorker* worker = driver.job_worker();
        QVERIFY(thread && worker);
        QVERIFY(zrtest::waitForSignals(finished));
        QVERIFY(driver.has_answered());
        driver.post("Second", server.url("/b"), "<b/>");
        QCOMPARE(driver.thread(), thread);
        QCOMPARE(driver.job_worker(), worker);
        QVERIFY(zrtest::waitForSignals(finished, 2));

        QCOMPARE(finished.at(0).at(0).toInt(), 1);
        QCOMPARE(finishedEx.at(0), (QList<QVariant>{1, "First", "A"}));
        QCOMPARE(finishedEx.at(1), (QList<QVariant>{1, "Second", "B"}));
        QCOMPARE(messages.count(), 0);
        const HttpRequest post = server.requests().at(1);
        QCOMPARE(post.method, QByteArray("POST"));
        QCOMPARE(post.body, QByteArray("<b/>"));
        QCOMPARE(post.headers.value("content-type"), QByteArray("text/xml"));
        QCOMPARE(post.headers.value("x-one"), QByteArray("1"));
    }

    // A parser's verdict becomes the status; a rejection reaches the operator except for probes.
    void parsedAnswers()
    {
        HttpServer server([](const HttpRequest& r) { return HttpReply::text(r.path.mid(1)); });
        ProbeDriver driver(true, true);
        zrtest::LogCatcher log;
        QSignalSpy finished(&driver, &NativePTZInterface::send_request_finished);
        QSignalSpy messages(&driver, &NativePTZInterface::status_message);

        driver.get("Move", server.url("/good"));
        QVERIFY(zrtest::waitForSignals(finished));
        QCOMPARE(finished.at(0).at(0).toInt(), 2);
        QVERIFY(log.contains("[INFO] Native PTZ interface :: response :: good"));

        driver.get("Move", server.url("/bad"));
        QVERIFY(zrtest::waitForSignals(finished, 2));
        QCOMPARE(finished.at(1).at(0).toInt(), -3);
        QCOMPARE(messages.count(), 1);
        QCOMPARE(messages.at(0), (QList<QVariant>{-3, "Move", "rejected: bad", "Probe driver"}));

        driver.get("probe:Caps", server.url("/bad"));
        QVERIFY(zrtest::waitForSignals(finished, 3));
        QCOMPARE(finished.at(2).at(0).toInt(), -3);
        QCOMPARE(messages.count(), 1);
    }

    void jobErrors_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<bool>("message");
        QTest::newRow("probe") << "Probe:OpticsGetCapabilities" << "[INFO] Native PTZ interface :: probe failed :: " << false;
        QTest::newRow("preset") << "GotoPreset" << "[ERROR] Native PTZ interface :: error :: " << true;
    }

    void jobErrors()
    {
        QFETCH(QString, command);
        QFETCH(QString, logLine);
        QFETCH(bool, message);
        QString deadUrl;
        {
            HttpServer gone;
            deadUrl = gone.url("/x");
        }
        ProbeDriver driver;
        zrtest::LogCatcher log;
        QSignalSpy finished(&driver, &NativePTZInterface::send_request_finished);
        QSignalSpy finishedEx(&driver, &NativePTZInterface::send_request_finished_ex);
        QSignalSpy messages(&driver, &NativePTZInterface::status_message);
        driver.get(command, deadUrl);
        QVERIFY(zrtest::waitForSignals(finished, 1, 10000));
        const QString text = QStringLiteral("Couldn't connect to server");
        QCOMPARE(finished.at(0).at(0).toInt(), -1);
        QCOMPARE(finishedEx.at(0), (QList<QVariant>{-1, command, text}));
        QVERIFY(log.contains(logLine + text));
        if (message) {
            QCOMPARE(messages.count(), 1);
            QCOMPARE(messages.at(0), (QList<QVariant>{-2, command, text, "Probe driver"}));
        } else {
            QCOMPARE(messages.count(), 0);
        }
    }

    // Once the worker's thread has ended, the next send builds a new pair.
    void newWorkerAfterTheThreadEnds()
    {
        HttpServer server;
        server.route("/a", HttpReply::text("A"));
        ProbeDriver driver;
        QSignalSpy finished(&driver, &NativePTZInterface::send_request_finished);
        driver.get("One", server.url("/a"));
        QVERIFY(zrtest::waitForSignals(finished));
        QPointer<QThread> thread = driver.thread();
        QPointer<PtzJobWorker> worker = driver.job_worker();
        thread->quit();
        QVERIFY(zrtest::waitUntil([&] { return thread.isNull() && worker.isNull(); }));
        QVERIFY(driver.job_worker() == nullptr);
        driver.get("Two", server.url("/a"));
        QVERIFY(driver.job_worker() != nullptr);
        QVERIFY(zrtest::waitForSignals(finished, 2));
        QCOMPARE(server.requestCount(), 2);
    }

    // The GUI thread goes on while the camera stalls; destroying the driver then cancels the
    // request, ends the thread and frees the worker without waiting for the camera.
    void stallingCameraNeverBlocks()
    {
        HttpServer server;
        HttpReply stall;
        stall.stall = true;
        server.route("/stall", stall);
        auto* driver = new ProbeDriver();
        QSignalSpy finished(driver, &NativePTZInterface::send_request_finished);

        QElapsedTimer clock;
        clock.start();
        driver->get("Move", server.url("/stall"));
        QVERIFY(clock.elapsed() < 500);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        QVERIFY(server.waitForRequests(1));
        QVERIFY(zrtest::waitUntil([&] { return ticks >= 10; }));
        QCOMPARE(finished.count(), 0);

        QPointer<PtzJobWorker> worker = driver->job_worker();
        QPointer<QThread> thread = driver->thread();
        clock.restart();
        delete driver;
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(worker.isNull());
        QVERIFY(thread.isNull());
        QCoreApplication::processEvents();
    }
};

ZR_TEST_MAIN_CORE(TestNativePTZInterface)
#include "tst_nativeptzinterface.moc"

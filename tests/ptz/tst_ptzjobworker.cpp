//! labels: unit net
#include "ptz/PtzJobWorker.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/TlsIdentity.h"
#include "tests/support/Wait.h"

#include <curl/curl.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

using zrtest::HttpReply;
using zrtest::HttpRequest;
using zrtest::HttpServer;

Q_DECLARE_METATYPE(zrtest::HttpReply)

namespace {

// A worker on its own thread, as its owner runs it.
struct RunningWorker
{
    QThread thread;
    PtzJobWorker* worker = new PtzJobWorker();

    explicit RunningWorker(PtzJobWorker::QueuePolicy policy = PtzJobWorker::LatestWins, bool verbose = false)
    {
        worker->set_policy(policy);
        worker->set_verbose(verbose);
        worker->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
        thread.start();
    }
    ~RunningWorker()
    {
        worker->shutdown();
        thread.quit();
        thread.wait();
    }

    void enqueue(int type, const QString& url, const QString& command, const QByteArray& data = {},
                 const QString& contentType = {}, const PtzHeaders& headers = {}, const QString& user = {},
                 const QString& password = {})
    {
        QMetaObject::invokeMethod(worker, "enqueueJob", Qt::QueuedConnection, Q_ARG(int, type), Q_ARG(QString, url),
                                  Q_ARG(QByteArray, data), Q_ARG(QString, user), Q_ARG(QString, password),
                                  Q_ARG(QString, command), Q_ARG(QString, contentType), Q_ARG(PtzHeaders, headers));
    }
};

QString basicOf(const HttpRequest& r)
{
    return QString::fromLatin1(r.headers.value("authorization"));
}

} // namespace

class TestPtzJobWorker : public QObject
{
    Q_OBJECT

private slots:
    void requestShapes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("contentType");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("expectedType");
        QTest::addColumn<bool>("extraHeaders");

        QTest::newRow("GET sends no extra headers") << 0 << "text/plain" << QByteArray("GET") << QByteArray() << false;
        QTest::newRow("POST defaults to JSON") << 2 << QString() << QByteArray("POST") << QByteArray("application/json") << true;
        QTest::newRow("POST keeps its type") << 2 << "application/soap+xml" << QByteArray("POST") << QByteArray("application/soap+xml") << true;
        QTest::newRow("PUT defaults to XML") << 1 << QString() << QByteArray("PUT") << QByteArray("application/xml") << true;
        QTest::newRow("unknown type sets no method") << 7 << QString() << QByteArray("GET") << QByteArray() << false;
    }

    // Method, body, content type and the extra headers in their order.
    void requestShapes()
    {
        QFETCH(int, type);
        QFETCH(QString, contentType);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, expectedType);
        QFETCH(bool, extraHeaders);

        HttpServer server;
        server.route("/cgi", HttpReply::text("answer é"));
        RunningWorker run;
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        const QByteArray body = type == 1 || type == 2 ? QByteArray("<x>1</x>") : QByteArray();
        run.enqueue(type, server.url("/cgi?a=1"), "Cmd", body, contentType,
                    PtzHeaders{{"Accept", "application/json"}, {"User-Agent", "ZRNova"}});
        QVERIFY(zrtest::waitForSignals(finished));
        QCOMPARE(finished.at(0).at(0).toString(), QStringLiteral("Cmd"));
        QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("answer é"));

        const HttpRequest r = server.requests().at(0);
        QCOMPARE(r.method, method);
        QCOMPARE(r.target, QByteArray("/cgi?a=1"));
        QCOMPARE(r.headers.value("content-type"), expectedType);
        QCOMPARE(r.body, body);
        if (extraHeaders) {
            QCOMPARE(r.headers.value("accept"), QByteArray("application/json"));
            QCOMPARE(r.headers.value("user-agent"), QByteArray("ZRNova"));
        } else {
            QVERIFY(r.headers.value("user-agent") != "ZRNova");
        }
        QVERIFY(!r.headers.contains("authorization"));
    }

    // Credentials answer the camera's challenge; without a user name none are sent.
    void credentials()
    {
        HttpServer server([](const HttpRequest& r) {
            if (!r.headers.contains("authorization")) {
                HttpReply challenge = HttpReply::text("<html><h1>401 Unauthorized</h1></html>", 401, "text/html");
                challenge.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"cam\"")));
                return challenge;
            }
            return HttpReply::text("ok");
        });
        RunningWorker run;
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        run.enqueue(0, server.url("/a"), "A", {}, {}, {}, QStringLiteral("root"), QStringLiteral("pa:ss"));
        QVERIFY(zrtest::waitForSignals(finished));
        QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("ok"));
        const QList<HttpRequest> seen = server.requests();
        QCOMPARE(basicOf(seen.last()), "Basic " + QString::fromLatin1(QByteArray("root:pa:ss").toBase64()));
        QVERIFY(!seen.last().target.contains("root"));

        // A password without a user name sends nothing; the 401 page is the answer.
        run.enqueue(0, server.url("/b"), "B", {}, {}, {}, QString(), QStringLiteral("secret"));
        QVERIFY(zrtest::waitForSignals(finished, 2));
        QCOMPARE(finished.at(1).at(1).toString(), QStringLiteral("<html><h1>401 Unauthorized</h1></html>"));
        QVERIFY(!server.requests().last().headers.contains("authorization"));
    }

    // The HTTP status is not examined: a 404 page is an answer.
    void errorPagesAreAnswers()
    {
        HttpServer server;
        server.route("/missing", HttpReply::text("<HTML>404 Not Found</HTML>", 404, "text/html"));
        RunningWorker run;
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        QSignalSpy errors(run.worker, &PtzJobWorker::jobError);
        run.enqueue(0, server.url("/missing"), "Q");
        QVERIFY(zrtest::waitForSignals(finished));
        QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("<HTML>404 Not Found</HTML>"));
        QCOMPARE(errors.count(), 0);
    }

    void hostileAnswers_data()
    {
        QTest::addColumn<HttpReply>("reply");
        QTest::addColumn<QString>("error");

        HttpReply endless = HttpReply::text(QByteArray(3 * 1024 * 1024, 'x'));
        endless.sendContentLength = false;
        QTest::newRow("endless body") << endless << "Response too large (more than 1048576 bytes)";
        HttpReply dropped = HttpReply::text(QByteArray(4000, 'y'));
        dropped.dropAfterBytes = 100;
        QTest::newRow("dropped mid-body") << dropped << QString::fromLatin1(curl_easy_strerror(CURLE_PARTIAL_FILE));
        HttpReply closed;
        closed.closeWithoutReply = true;
        QTest::newRow("closed without answer") << closed << QString::fromLatin1(curl_easy_strerror(CURLE_GOT_NOTHING));
        HttpReply garbage = HttpReply::text("");
        garbage.status = 200;
        garbage.reason = "OK\r\n\x01\x02\xff\xfe garbage without end";
        garbage.sendContentLength = false;
        QTest::newRow("garbage head") << garbage << QString();
    }

    // Bad answers end the job with a clean error (or as a plain answer), never a crash.
    void hostileAnswers()
    {
        QFETCH(HttpReply, reply);
        QFETCH(QString, error);
        HttpServer server;
        server.route("/x", reply);
        RunningWorker run;
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        QSignalSpy errors(run.worker, &PtzJobWorker::jobError);
        run.enqueue(0, server.url("/x"), "X");
        QVERIFY(zrtest::waitUntil([&] { return finished.count() + errors.count() > 0; }, 10000));
        if (!error.isEmpty()) {
            QCOMPARE(errors.count(), 1);
            QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("X"));
            QCOMPARE(errors.at(0).at(1).toString(), error);
        }
        // The worker goes on with the next job.
        server.route("/ok", HttpReply::text("fine"));
        const int before = finished.count();
        run.enqueue(0, server.url("/ok"), "Next");
        QVERIFY(zrtest::waitForSignals(finished, before + 1));
        QCOMPARE(finished.last().at(1).toString(), QStringLiteral("fine"));
    }

    // A camera that never answers is given up after the 8 s total time.
    void stallingCameraTimesOut()
    {
        HttpServer server;
        HttpReply stall;
        stall.stall = true;
        server.route("/stall", stall);
        RunningWorker run;
        QSignalSpy errors(run.worker, &PtzJobWorker::jobError);
        QElapsedTimer clock;
        clock.start();
        run.enqueue(0, server.url("/stall"), "Move");
        QVERIFY(zrtest::waitForSignals(errors, 1, 30000));
        const qint64 spent = clock.elapsed();
        QCOMPARE(errors.at(0).at(1).toString(), QString::fromLatin1(curl_easy_strerror(CURLE_OPERATION_TIMEDOUT)));
        QVERIFY2(spent >= 7500 && spent < 20000, qPrintable(QString::number(spent)));
    }

    // Under LatestWins a burst behind a running job leaves only its last job.
    void latestWinsDropsIntermediateJobs()
    {
        HttpServer server([](const HttpRequest& r) {
            HttpReply reply = HttpReply::text(r.target);
            if (r.target.endsWith("n=0"))
                reply.delayMs = 600;
            return reply;
        });
        zrtest::LogCatcher log;
        RunningWorker run(PtzJobWorker::LatestWins, true);
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        QSignalSpy errors(run.worker, &PtzJobWorker::jobError);
        run.enqueue(0, server.url("/move?n=0"), "Move0");
        QVERIFY(server.waitForRequests(1));
        for (int n = 1; n <= 50; ++n)
            run.enqueue(0, server.url(QStringLiteral("/move?n=%1").arg(n)), QStringLiteral("Move%1").arg(n));
        QVERIFY(zrtest::waitForSignals(finished, 2, 10000));
        QTest::qWait(300);
        QCOMPARE(finished.count(), 2);
        QCOMPARE(errors.count(), 0);
        QCOMPARE(finished.at(0).at(0).toString(), QStringLiteral("Move0"));
        QCOMPARE(finished.at(1).at(0).toString(), QStringLiteral("Move50"));
        QCOMPARE(server.requestCount(), 2);
        QCOMPARE(server.requests().at(1).target, QByteArray("/move?n=50"));
        QCOMPARE(log.count("[DEBUG] PTZ JOB WORKER :: enqueueJob: busy → pending replaced"), 50);
        QCOMPARE(log.count("[DEBUG] PTZ JOB WORKER :: processActive: pending → active (LatestWins)"), 1);
        QVERIFY(log.contains("[INFO] PTZ JOB WORKER :: perform :: " + server.url("/move?n=50")));
    }

    // Under QueueAll every job is sent, in arrival order.
    void queueAllSendsEveryJobInOrder()
    {
        HttpServer server([](const HttpRequest& r) {
            HttpReply reply = HttpReply::text(r.target);
            if (r.target.endsWith("n=0"))
                reply.delayMs = 600;
            return reply;
        });
        zrtest::LogCatcher log;
        RunningWorker run(PtzJobWorker::QueueAll, true);
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        run.enqueue(0, server.url("/move?n=0"), "Move0");
        QVERIFY(server.waitForRequests(1));
        for (int n = 1; n <= 50; ++n)
            run.enqueue(2, server.url(QStringLiteral("/move?n=%1").arg(n)), QStringLiteral("Move%1").arg(n),
                        QByteArray::number(n));
        QVERIFY(zrtest::waitForSignals(finished, 51, 20000));
        QCOMPARE(server.requestCount(), 51);
        for (int n = 0; n <= 50; ++n) {
            QCOMPARE(finished.at(n).at(0).toString(), QStringLiteral("Move%1").arg(n));
            QCOMPARE(server.requests().at(n).target, QStringLiteral("/move?n=%1").arg(n).toLatin1());
        }
        QCOMPARE(server.requests().at(7).body, QByteArray("7"));
        QVERIFY(log.contains("[DEBUG] PTZ JOB WORKER :: enqueueJob: busy → queued, size=1"));
        QVERIFY(log.contains("[DEBUG] PTZ JOB WORKER :: enqueueJob: busy → queued, size=50"));
        const int first = log.indexOf("processActive: dequeue next, remaining=49");
        const int last = log.indexOf("processActive: dequeue next, remaining=0");
        QVERIFY(first >= 0 && last > first);
    }

    // A cancel aborts the running transfer; one made while idle aborts the next job only.
    void cancel()
    {
        HttpServer server;
        HttpReply stall;
        stall.stall = true;
        server.route("/stall", stall);
        server.route("/ok", HttpReply::text("ok"));
        zrtest::LogCatcher log;
        RunningWorker run(PtzJobWorker::LatestWins, true);
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        QSignalSpy errors(run.worker, &PtzJobWorker::jobError);

        run.enqueue(0, server.url("/stall"), "Hold");
        QVERIFY(server.waitForRequests(1));
        QElapsedTimer clock;
        clock.start();
        run.worker->requestCancel(); // straight from this thread, as the flag allows
        QVERIFY(zrtest::waitForSignals(errors, 1, 5000));
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("Request cancelled"));
        QVERIFY(log.contains("[INFO] PTZ JOB WORKER  :: request cancel"));

        // The flag was cleared after the job.
        run.enqueue(0, server.url("/ok"), "After");
        QVERIFY(zrtest::waitForSignals(finished));

        QMetaObject::invokeMethod(run.worker, "requestCancel", Qt::QueuedConnection);
        run.enqueue(0, server.url("/ok"), "Doomed");
        run.enqueue(0, server.url("/ok"), "Fresh");
        QVERIFY(zrtest::waitForSignals(errors, 2));
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Doomed"));
        QCOMPARE(errors.at(1).at(1).toString(), QStringLiteral("Request cancelled"));
        QVERIFY(zrtest::waitForSignals(finished, 2));
        QCOMPARE(finished.at(1).at(0).toString(), QStringLiteral("Fresh"));
    }

    // "https://" reaches a camera with a self-signed certificate; "HTTPS://" keeps verification.
    void selfSignedCameras()
    {
        QString problem;
        const zrtest::TlsIdentity identity = zrtest::TlsIdentity::generateSelfSigned(&problem);
        if (identity.isNull())
            QSKIP(qPrintable(problem));
        HttpServer server({}, identity);
        QVERIFY(server.port() != 0);
        server.route("/tls", HttpReply::text("secure"));
        RunningWorker run;
        QSignalSpy finished(run.worker, &PtzJobWorker::jobFinished);
        QSignalSpy errors(run.worker, &PtzJobWorker::jobError);
        run.enqueue(0, server.url("/tls"), "T1");
        QVERIFY(zrtest::waitForSignals(finished));
        QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("secure"));

        QString upper = server.url("/tls");
        upper.replace(0, 5, QStringLiteral("HTTPS"));
        run.enqueue(0, upper, "T2");
        QVERIFY(zrtest::waitForSignals(errors));
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("T2"));
    }
};

ZR_TEST_MAIN_CORE(TestPtzJobWorker)
#include "tst_ptzjobworker.moc"

//! labels: unit net
#include "ptz/CurlRequestWorker.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/TlsIdentity.h"
#include "tests/support/Wait.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <curl/curl.h>

using zrtest::HttpReply;
using zrtest::HttpRequest;
using zrtest::HttpServer;

Q_DECLARE_METATYPE(zrtest::HttpReply)

namespace {

const QByteArray kUser = "admin";
const QByteArray kPassword = "s3cr:et@x";
const QByteArray kRealm = "IP Camera";
const QByteArray kNonce = "4e6f6e6365";

QByteArray md5(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

QMap<QByteArray, QByteArray> digestParams(const QByteArray& header)
{
    QMap<QByteArray, QByteArray> params;
    static const QRegularExpression rx(QStringLiteral("(\\w+)=(\"([^\"]*)\"|([^,\\s]*))"));
    auto it = rx.globalMatch(QString::fromLatin1(header.mid(7)));
    while (it.hasNext()) {
        const auto m = it.next();
        params.insert(m.captured(1).toLatin1(), (m.captured(3).isNull() ? m.captured(4) : m.captured(3)).toLatin1());
    }
    return params;
}

// True when the header is a correct Digest answer (MD5, qop auth) for the request.
bool validDigest(const HttpRequest& r)
{
    const QByteArray header = r.headers.value("authorization");
    if (!header.startsWith("Digest "))
        return false;
    const auto p = digestParams(header);
    const QByteArray ha1 = md5(kUser + ':' + kRealm + ':' + kPassword);
    const QByteArray ha2 = md5(r.method + ':' + p.value("uri"));
    const QByteArray expected = md5(ha1 + ':' + kNonce + ':' + p.value("nc") + ':' + p.value("cnonce") + ':' + p.value("qop") + ':' + ha2);
    return p.value("username") == kUser && p.value("realm") == kRealm && p.value("uri") == r.target && p.value("response") == expected;
}

bool validBasic(const HttpRequest& r)
{
    return r.headers.value("authorization") == "Basic " + (kUser + ':' + kPassword).toBase64();
}

HttpReply challenge(const QList<QByteArray>& schemes)
{
    HttpReply reply = HttpReply::text("<html><h1>401 Unauthorized</h1></html>", 401, "text/html");
    for (const QByteArray& scheme : schemes) {
        if (scheme == "Digest")
            reply.headers.append(qMakePair(QByteArray("WWW-Authenticate"),
                                           "Digest realm=\"" + kRealm + "\", qop=\"auth\", nonce=\"" + kNonce + "\", algorithm=MD5"));
        else if (scheme == "Basic")
            reply.headers.append(qMakePair(QByteArray("WWW-Authenticate"), "Basic realm=\"" + kRealm + '"'));
        else
            reply.headers.append(qMakePair(QByteArray("WWW-Authenticate"), scheme));
    }
    return reply;
}

struct Outcome
{
    QStringList finished;
    QStringList errors;
    QList<QList<QVariant>> results;
};

Outcome run(CurlRequestWorker& worker, void (CurlRequestWorker::*method)())
{
    QSignalSpy finished(&worker, &CurlRequestWorker::finished);
    QSignalSpy errors(&worker, &CurlRequestWorker::error);
    QSignalSpy results(&worker, &CurlRequestWorker::result);
    (worker.*method)();
    Outcome o;
    for (const auto& a : finished)
        o.finished << a.at(0).toString();
    for (const auto& a : errors)
        o.errors << a.at(0).toString();
    for (const auto& a : results)
        o.results << a;
    return o;
}

QList<QByteArray> authorizations(const HttpServer& server)
{
    QList<QByteArray> out;
    for (const HttpRequest& r : server.requests()) {
        const QByteArray h = r.headers.value("authorization");
        out << (h.isEmpty() ? QByteArray("none") : h.left(h.indexOf(' ')));
    }
    return out;
}

} // namespace

class TestCurlRequestWorker : public QObject
{
    Q_OBJECT

private slots:
    void requestShapes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("accept");

        QTest::newRow("PUT ISAPI") << "/ISAPI/PTZCtrl/channels/1/continuous" << QByteArray("PUT")
                                   << QByteArray("application/xml; charset=utf-8") << QByteArray("application/xml");
        QTest::newRow("PUT isapi in any case") << "/isapi/PTZCtrl/channels/1/continuous" << QByteArray("PUT")
                                               << QByteArray("application/xml; charset=utf-8") << QByteArray("application/xml");
        QTest::newRow("PUT elsewhere") << "/api/ptz" << QByteArray("PUT") << QByteArray("application/json") << QByteArray("*/*");
        QTest::newRow("POST") << "/ISAPI/x" << QByteArray("POST") << QByteArray("application/json") << QByteArray("application/json");
        QTest::newRow("GET") << "/ISAPI/PTZCtrl/channels/1/presets" << QByteArray("GET") << QByteArray() << QByteArray("*/*");
    }

    void requestShapes()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, accept);
        HttpServer server([](const HttpRequest& r) {
            if (!validBasic(r) && !validDigest(r))
                return challenge({"Basic", "Digest"});
            return HttpReply::text("<ResponseStatus><statusCode>1</statusCode></ResponseStatus>", 200, "application/xml");
        });
        const QByteArray body = method == "GET" ? QByteArray() : QByteArray("<PTZData><pan>10</pan></PTZData>");
        CurlRequestWorker worker(server.url(path), kUser, kPassword, body);
        const Outcome o = run(worker, method == "PUT" ? &CurlRequestWorker::run_put_request
                                    : method == "POST" ? &CurlRequestWorker::run_post_request
                                                       : &CurlRequestWorker::run_get_request);
        QCOMPARE(o.errors, QStringList());
        QCOMPARE(o.finished, QStringList{"<ResponseStatus><statusCode>1</statusCode></ResponseStatus>"});
        QCOMPARE(o.results.size(), 1);
        QCOMPARE(o.results.at(0), (QList<QVariant>{o.finished.at(0), 200, 0}));

        const HttpRequest r = server.requests().last();
        QCOMPARE(r.method, method);
        QCOMPARE(r.target, path.toLatin1());
        QCOMPARE(r.body, body);
        QCOMPARE(r.headers.value("content-type"), contentType);
        QCOMPARE(r.headers.value("accept"), accept);
        QVERIFY(!r.headers.contains("expect"));
        QCOMPARE(r.version, QByteArray("HTTP/1.1"));
        QVERIFY(validDigest(r));
        for (const HttpRequest& each : server.requests())
            QVERIFY(!each.target.contains(kUser));
    }

    void emptyPutIsRefused()
    {
        HttpServer server;
        CurlRequestWorker worker(server.url("/ISAPI/x"), kUser, kPassword);
        const Outcome o = run(worker, &CurlRequestWorker::run_put_request);
        QCOMPARE(o.errors, QStringList{"PUT body is empty"});
        QCOMPARE(o.results, (QList<QList<QVariant>>{{QString(), -1, 43}}));
        QCOMPARE(server.requestCount(), 0);
    }

    // Authentication: what the camera offers, what is sent, and how it ends.
    void authentication_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<QString>("error");

        QTest::newRow("Basic camera") << "basic" << QList<QByteArray>{"none", "Basic"} << QString();
        QTest::newRow("Digest camera") << "digest" << QList<QByteArray>{"none", "Digest"} << QString();
        // The retry after a 401 answers the challenge that libcurl already holds.
        QTest::newRow("Basic then Digest on a 401") << "basic-then-digest"
                                                    << QList<QByteArray>{"none", "Basic", "Digest"} << QString();
        QTest::newRow("wrong password") << "refuse"
                                        << QList<QByteArray>{"none", "Digest", "Digest", "Digest"}
                                        << "HTTP 401 (Unauthorized - check login/password or auth scheme)";
        QTest::newRow("no known scheme") << "bearer" << QList<QByteArray>{"none"}
                                         << "HTTP 401 (Unauthorized - check login/password or auth scheme)";
        QTest::newRow("forbidden") << "forbidden" << QList<QByteArray>{"none"} << "HTTP 403 (Forbidden)";
    }

    void authentication()
    {
        QFETCH(QString, camera);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(QString, error);
        // The "basic-then-digest" camera asks for Basic, and for Digest only once Basic was tried.
        auto triedBasic = std::make_shared<std::atomic<bool>>(false);
        HttpServer server([camera, triedBasic](const HttpRequest& r) {
            if (camera == "basic")
                return validBasic(r) ? HttpReply::text("ok") : challenge({"Basic"});
            if (camera == "digest")
                return validDigest(r) ? HttpReply::text("ok") : challenge({"Basic", "Digest"});
            if (camera == "basic-then-digest") {
                if (validDigest(r))
                    return HttpReply::text("ok");
                if (r.headers.value("authorization").startsWith("Basic"))
                    triedBasic->store(true);
                return triedBasic->load() ? challenge({"Digest"}) : challenge({"Basic"});
            }
            if (camera == "refuse")
                return challenge({"Basic", "Digest"});
            if (camera == "bearer")
                return challenge({"Bearer realm=\"x\""});
            return HttpReply::text("no", 403);
        });
        CurlRequestWorker worker(server.url("/ISAPI/System/status"), kUser, kPassword);
        const Outcome o = run(worker, &CurlRequestWorker::run_get_request);
        QCOMPARE(authorizations(server), sent);
        if (error.isEmpty()) {
            QCOMPARE(o.finished, QStringList{"ok"});
            QCOMPARE(o.errors, QStringList());
        } else {
            QCOMPARE(o.finished, QStringList());
            QCOMPARE(o.errors, QStringList{error});
            QCOMPARE(o.results.size(), 1);
            QCOMPARE(o.results.at(0).at(1).toInt(), error.contains("403") ? 403 : 401);
            QCOMPARE(o.results.at(0).at(2).toInt(), 0);
        }
    }

    // A receive error is retried once, with Basic, on "/ISAPI/" URLs only.
    void receiveErrorRetry_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("retried");
        QTest::newRow("ISAPI") << "/ISAPI/PTZCtrl/channels/1/continuous" << true;
        QTest::newRow("other") << "/stw-cgi/ptzcontrol.cgi" << false;
    }

    void receiveErrorRetry()
    {
        QFETCH(QString, path);
        QFETCH(bool, retried);
        auto count = std::make_shared<std::atomic<int>>(0);
        HttpServer server([count](const HttpRequest&) {
            HttpReply reply = HttpReply::text("<ResponseStatus/>", 200, "application/xml");
            if (count->fetch_add(1) == 0)
                reply.resetWithoutReply = true;
            return reply;
        });
        CurlRequestWorker worker(server.url(path), kUser, kPassword, "<PTZData/>");
        const Outcome o = run(worker, &CurlRequestWorker::run_put_request);
        if (retried) {
            QCOMPARE(server.requestCount(), 2);
            QVERIFY(validBasic(server.requests().at(1)));
            QCOMPARE(o.finished, QStringList{"<ResponseStatus/>"});
            QCOMPARE(o.errors, QStringList());
        } else {
            QCOMPARE(server.requestCount(), 1);
            QCOMPARE(o.errors.size(), 1);
            QVERIFY2(o.errors.at(0).startsWith("Erreur libcurl (56): " + QString::fromUtf8(curl_easy_strerror(CURLE_RECV_ERROR)) + " | "),
                     qPrintable(o.errors.at(0)));
            QCOMPARE(o.results.size(), 1);
            QCOMPARE(o.results.at(0).at(1).toInt(), -1);
            QCOMPARE(o.results.at(0).at(2).toInt(), 56);
        }
    }

    void statusBoundaries_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("success");
        QTest::newRow("302") << 302 << true;
        QTest::newRow("399") << 399 << true;
        QTest::newRow("400") << 400 << false;
        QTest::newRow("500") << 500 << false;
    }

    void statusBoundaries()
    {
        QFETCH(int, status);
        QFETCH(bool, success);
        HttpServer server([status](const HttpRequest&) { return HttpReply::text("body", status); });
        CurlRequestWorker worker(server.url("/x"), QString(), QString());
        const Outcome o = run(worker, &CurlRequestWorker::run_get_request);
        QCOMPARE(o.results, (QList<QList<QVariant>>{{"body", status, 0}}));
        if (success) {
            QCOMPARE(o.finished, QStringList{"body"});
            QVERIFY(o.errors.isEmpty());
        } else {
            QCOMPARE(o.errors, QStringList{QStringLiteral("HTTP %1").arg(status)});
            QVERIFY(o.finished.isEmpty());
        }
    }

    // Garbage and endless answers end as clean failures.
    void hostileAnswers()
    {
        HttpReply endless = HttpReply::text(QByteArray(3 * 1024 * 1024, 'x'));
        endless.sendContentLength = false;
        HttpServer server;
        server.route("/endless", endless);
        HttpReply garbage = HttpReply::text("\x01\x02\x03\xff");
        garbage.reason = "OK\r\nbroken header line without colon\r\n\x7f\x7f";
        server.route("/garbage", garbage);

        CurlRequestWorker big(server.url("/endless"), QString(), QString());
        Outcome o = run(big, &CurlRequestWorker::run_get_request);
        QCOMPARE(o.errors.size(), 1);
        QVERIFY2(o.errors.at(0).startsWith(QStringLiteral("Erreur libcurl (23): ")), qPrintable(o.errors.at(0)));
        QVERIFY(o.errors.at(0).endsWith(QStringLiteral("| Response too large (more than 1048576 bytes)")));

        CurlRequestWorker bad(server.url("/garbage"), QString(), QString());
        o = run(bad, &CurlRequestWorker::run_get_request);
        QCOMPARE(o.results.size(), 1);
        QCOMPARE(o.finished.size() + o.errors.size(), 1);
    }

    // A camera that sends nothing is abandoned by the low-speed rule before the total time.
    void stallingCamera()
    {
        HttpServer server;
        HttpReply stall;
        stall.stall = true;
        server.route("/stall", stall);
        CurlRequestWorker worker(server.url("/stall"), QString(), QString());
        QElapsedTimer clock;
        clock.start();
        const Outcome o = run(worker, &CurlRequestWorker::run_get_request);
        const qint64 spent = clock.elapsed();
        QCOMPARE(o.errors.size(), 1);
        QVERIFY2(o.errors.at(0).startsWith(QStringLiteral("Erreur libcurl (28): ")), qPrintable(o.errors.at(0)));
        QVERIFY2(spent >= 9000 && spent < 15000, qPrintable(QString::number(spent)));
    }

    // A camera that trickles its answer stays above the low-speed limit and is given up at
    // the 15 s total time.
    void tricklingCamera()
    {
        HttpServer server;
        HttpReply trickle = HttpReply::text(QByteArray(200, 'x'));
        trickle.chunkSize = 1;
        trickle.chunkIntervalMs = 400;
        server.route("/trickle", trickle);
        CurlRequestWorker worker(server.url("/trickle"), QString(), QString());
        QElapsedTimer clock;
        clock.start();
        const Outcome o = run(worker, &CurlRequestWorker::run_get_request);
        const qint64 spent = clock.elapsed();
        QCOMPARE(o.errors.size(), 1);
        QVERIFY2(o.errors.at(0).startsWith(QStringLiteral("Erreur libcurl (28): ")), qPrintable(o.errors.at(0)));
        QVERIFY2(spent >= 14500 && spent < 25000, qPrintable(QString::number(spent)));
    }

    // A cancel from another thread stops the transfer; no result follows.
    void cancelFromAnotherThread()
    {
        HttpServer server;
        HttpReply stall;
        stall.stall = true;
        server.route("/stall", stall);
        QThread thread;
        auto* worker = new CurlRequestWorker(server.url("/stall"), QString(), QString());
        worker->moveToThread(&thread);
        QSignalSpy errors(worker, &CurlRequestWorker::error);
        QSignalSpy results(worker, &CurlRequestWorker::result);
        connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
        thread.start();
        QMetaObject::invokeMethod(worker, "run_get_request", Qt::QueuedConnection);
        QVERIFY(server.waitForRequests(1));
        QElapsedTimer clock;
        clock.start();
        worker->requestCancel();
        QVERIFY(zrtest::waitForSignals(errors, 1, 5000));
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Requête annulée par l'utilisateur"));
        QCOMPARE(results.count(), 0);
        thread.quit();
        thread.wait();
    }

    void certificates()
    {
        QString problem;
        const zrtest::TlsIdentity identity = zrtest::TlsIdentity::generateSelfSigned(&problem);
        if (identity.isNull())
            QSKIP(qPrintable(problem));
        HttpServer server({}, identity);
        QVERIFY(server.port() != 0);
        server.route("/ISAPI/x", HttpReply::text("ok"));

        CurlRequestWorker strict(server.url("/ISAPI/x"), QString(), QString());
        Outcome o = run(strict, &CurlRequestWorker::run_get_request);
        QCOMPARE(o.finished, QStringList());
        QCOMPARE(o.errors.size(), 1);
        QVERIFY(o.errors.at(0).startsWith(QStringLiteral("Erreur libcurl (60): ")));

        CurlRequestWorker lax(server.url("/ISAPI/x"), QString(), QString(), QByteArray(), true);
        o = run(lax, &CurlRequestWorker::run_get_request);
        QCOMPARE(o.finished, QStringList{"ok"});
    }
};

ZR_TEST_MAIN_CORE(TestCurlRequestWorker)
#include "tst_curlrequestworker.moc"

//! labels: net
#include "export/ZRDownload_thread.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/TlsIdentity.h"
#include "tests/support/Wait.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using zrtest::HttpReply;
Q_DECLARE_METATYPE(zrtest::HttpReply)

namespace {

const QByteArray kOld = "the file the operator already had\n";

QByteArray sha(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

HttpReply reply(const QByteArray& type, const QByteArray& body, const QByteArray& digest = QByteArray(), int status = 200)
{
    HttpReply r;
    r.status = status;
    r.body = body;
    if (type.isNull())
        r.noContentType = true;
    else
        r.headers.append({"Content-Type", type});
    if (!digest.isNull())
        r.headers.append({"Content-Digest", "sha-256=" + digest});
    return r;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One download of one URL into target, with every report the thread gave.
struct Run
{
    std::unique_ptr<ZRDownload_thread> thread;
    std::unique_ptr<QSignalSpy> finished, errors, progress, infos, stops, tryAgain, openHidden, names;

    Run(const QString& url, const QString& target)
        : thread(new ZRDownload_thread(nullptr, url))
    {
        thread->set_output_path(target);
        finished.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::download_finished));
        errors.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::download_error));
        progress.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::downloadProgress));
        infos.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::owner_info));
        stops.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::owner_stop));
        tryAgain.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::owner_try_again_shown));
        openHidden.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::owner_open_folder_hidden));
        names.reset(new QSignalSpy(thread.get(), &ZRDownload_thread::owner_file_name));
    }

    bool go(int timeoutMs = 20000)
    {
        thread->start();
        return thread->wait(timeoutMs) && zrtest::waitUntil([this] { return ends() >= 1; }, timeoutMs);
    }
    int ends() const { return finished->count() + errors->count(); }
    QString lastInfo() const { return infos->isEmpty() ? QString() : infos->last().at(0).toString(); }
};

} // namespace

class TestDownloadThread : public QObject
{
    Q_OBJECT

private slots:
    void classification_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("expected");
        const int file = int(ZRDownload_thread::ContentClass::File);
        const int page = int(ZRDownload_thread::ContentClass::ErrorPage);
        const int object = int(ZRDownload_thread::ContentClass::ErrorObject);
        const int other = int(ZRDownload_thread::ContentClass::Other);
        QTest::newRow("empty") << QString() << file;
        QTest::newRow("octet-stream") << "Content-Type: application/octet-stream\r\n" << file;
        QTest::newRow("application json is a file") << "Content-Type: application/json\r\n" << file;
        QTest::newRow("force-download") << "Content-Type: force-download\r\n" << file;
        QTest::newRow("html") << "Content-Type: text/html; charset=utf-8\r\n" << page;
        QTest::newRow("json") << "Content-Type: text/json\r\n" << object;
        QTest::newRow("plain") << "Content-Type: text/plain\r\n" << other;
        QTest::newRow("case matters") << "Content-Type: text/HTML\r\n" << other;
    }

    void classification()
    {
        QFETCH(QString, type);
        QFETCH(int, expected);
        QCOMPARE(int(ZRDownload_thread::classify(type)), expected);
    }

    void protocol_data()
    {
        QTest::addColumn<HttpReply>("answer");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QByteArray>("digestArgument");
        QTest::addColumn<QString>("info");       // the last text for the row's information line
        QTest::addColumn<bool>("rowStopped");
        QTest::addColumn<bool>("tryAgainShown");

        const QByteArray body = "line one\nline two\n" + QByteArray(50000, 'z');
        const QByteArray d = sha(body);
        QTest::newRow("file without digest") << reply("application/octet-stream", body) << true << QByteArray() << QString() << false << false;
        QTest::newRow("file with matching digest") << reply("application/octet-stream", body, d) << true << QByteArray(d + "\r\n") << QString() << false << false;
        QTest::newRow("digest in capitals") << reply("application/octet-stream", body, d.toUpper()) << true << QByteArray(d.toUpper() + "\r\n") << QString() << false << false;
        QTest::newRow("no content type") << reply(QByteArray(), body) << true << QByteArray() << QString() << false << false;
        QTest::newRow("force-download") << reply("force-download", body) << true << QByteArray() << QString() << false << false;
        QTest::newRow("application json is saved") << reply("application/json", "{\"ZRRETURN_CODE\":\"x\"}") << true << QByteArray() << QString() << false << false;
        QTest::newRow("mismatching digest") << reply("application/octet-stream", body, sha("other")) << false << QByteArray()
                                            << "Erreur de téléchargement - Empreinte SHA-256 différente" << false << false;
        QTest::newRow("long digest line") << reply("application/octet-stream", body, QByteArray(60000, 'a')) << false << QByteArray()
                                          << "Erreur de téléchargement - Empreinte SHA-256 différente" << false << false;
        // libcurl itself refuses a header line above 100 KB: a transfer error.
        QTest::newRow("huge digest line") << reply("application/octet-stream", body, QByteArray(300000, 'a')) << false << QByteArray()
                                          << QString() << false << false;
        QTest::newRow("html 500") << reply("text/html", "<h1>500 Internal Server Error</h1>\n<p>x</p>", QByteArray(), 500) << false << QByteArray()
                                  << "Erreur de téléchargement - Server error 500" << false << false;
        QTest::newRow("html other") << reply("text/html", "<html><body>gone</body></html>") << false << QByteArray()
                                    << "Erreur de téléchargement - IO FAILED" << false << false;
        QTest::newRow("json error object") << reply("text/json", "{\"ZRRETURN_CODE\":\"Fichier introuvable\"}") << false << QByteArray()
                                           << "Erreur de téléchargement - Fichier introuvable" << true << true;
        QTest::newRow("json without code") << reply("text/json", "[1,2]") << false << QByteArray()
                                           << "Erreur de téléchargement - " << true << true;
        QTest::newRow("other type") << reply("text/plain", "hello") << false << QByteArray() << "Erreur de téléchargement" << true << false;
        QTest::newRow("first line holds Error") << reply("application/octet-stream", "Error: no such export\nmore\n") << false << QByteArray()
                                                << "Erreur de téléchargement - Fichier vide" << true << false;
        QTest::newRow("Error line but digest sent") << reply("application/octet-stream", "Error: is the content\n", sha("Error: is the content\n"))
                                                    << true << QByteArray(sha("Error: is the content\n") + "\r\n") << QString() << false << false;
        QTest::newRow("empty answer") << reply("application/octet-stream", QByteArray()) << false << QByteArray()
                                      << "Erreur de téléchargement - Fichier non lisible" << true << false;
        QTest::newRow("file type under 404") << reply("application/octet-stream", "not the file", QByteArray(), 404) << false << QByteArray() << QString() << false << false;
        HttpReply dropped = reply("application/octet-stream", body, d);
        dropped.dropAfterBytes = 20000;
        QTest::newRow("connection dropped mid-body") << dropped << false << QByteArray() << QString() << false << false;
        HttpReply droppedNoDigest = reply("application/octet-stream", body);
        droppedNoDigest.dropAfterBytes = 20000;
        QTest::newRow("dropped, no digest") << droppedNoDigest << false << QByteArray() << QString() << false << false;
    }

    void protocol()
    {
        QFETCH(HttpReply, answer);
        QFETCH(bool, succeeds);
        QFETCH(QByteArray, digestArgument);
        QFETCH(QString, info);
        QFETCH(bool, rowStopped);
        QFETCH(bool, tryAgainShown);

        zrtest::HttpServer server;
        server.route("/files/get", answer);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("clip.mp4"));
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(kOld);
        }
        const QString url = server.url(QStringLiteral("/files/get?id=7&file_hash=1"));
        Run run(url, target);
        QVERIFY(run.go());
        QTest::qWait(0);

        QCOMPARE(run.ends(), 1); // exactly one end report
        QCOMPARE(run.finished->count(), succeeds ? 1 : 0);
        QCOMPARE(server.requestCount(), 1);
        QCOMPARE(server.requests().at(0).method, QByteArray("GET"));
        QCOMPARE(server.requests().at(0).version, QByteArray("HTTP/1.0"));
        QCOMPARE(server.requests().at(0).target, QByteArray("/files/get?id=7&file_hash=1"));
        QVERIFY(!QFile::exists(target + QStringLiteral(".part")));
        if (succeeds) {
            QCOMPARE(run.finished->at(0).at(0).toByteArray(), digestArgument);
            QCOMPARE(readAll(target), answer.body);
            QVERIFY(!run.progress->isEmpty());
            QCOMPARE(run.progress->last().at(0).toLongLong(), qlonglong(answer.body.size()));
        } else {
            QCOMPARE(run.errors->at(0).at(0).toString(), url);
            QVERIFY(!run.errors->at(0).at(1).toString().isEmpty());
            QCOMPARE(readAll(target), kOld); // never truncated nor deleted
        }
        QCOMPARE(run.lastInfo(), info);
        QCOMPARE(run.stops->count() > 0, rowStopped);
        QCOMPARE(run.tryAgain->count() > 0, tryAgainShown);
    }

    void newFileIsCreated()
    {
        zrtest::HttpServer server;
        const QByteArray body = QByteArray(3000, 'q');
        server.route("/f", reply("application/octet-stream", body, sha(body)));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("new.bin"));
        Run run(server.url(QStringLiteral("/f?x=1&file_hash=1")), target);
        QVERIFY(run.go());
        QCOMPARE(run.finished->count(), 1);
        QCOMPARE(readAll(target), body);
        QCOMPARE(run.names->count(), 1);
        QCOMPARE(run.names->at(0).at(0).toString(), QStringLiteral("new.bin"));
    }

    void unwritableTargetIsAnError()
    {
        zrtest::HttpServer server;
        server.route("/f", reply("application/octet-stream", "data"));
        QTemporaryDir dir;
        Run run(server.url(QStringLiteral("/f")), dir.filePath(QStringLiteral("missing/folder/x.bin")));
        QVERIFY(run.go());
        QCOMPARE(run.errors->count(), 1);
        QCOMPARE(run.finished->count(), 0);
        QVERIFY(run.lastInfo().startsWith(QStringLiteral("Erreur à l'ouverture du fichier : ")));
        QVERIFY(run.stops->count() > 0);
    }

    void stopEndsAStalledTransferWithinASecond_data()
    {
        QTest::addColumn<bool>("afterHeaders");
        QTest::newRow("no answer at all") << false;
        QTest::newRow("stalled mid-body") << true;
    }

    void stopEndsAStalledTransferWithinASecond()
    {
        QFETCH(bool, afterHeaders);
        zrtest::HttpServer server;
        HttpReply r = reply("application/octet-stream", QByteArray(100000, 's'));
        if (afterHeaders)
            r.stallAfterBytes = 10000;
        else
            r.stall = true;
        server.route("/slow", r);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("slow.bin"));
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(kOld);
        }
        Run run(server.url(QStringLiteral("/slow")), target);
        run.thread->start();
        QVERIFY(server.waitForRequests(1));
        if (afterHeaders)
            QVERIFY(zrtest::waitUntil([&] { return !run.progress->isEmpty() && run.progress->last().at(0).toLongLong() >= 10000; }));
        QElapsedTimer clock;
        clock.start();
        run.thread->set_stop();
        QVERIFY(run.thread->wait(1000));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(zrtest::waitUntil([&] { return run.ends() >= 1; }));
        QTest::qWait(0);
        QCOMPARE(run.errors->count(), 1);
        QCOMPARE(run.finished->count(), 0);
        QCOMPARE(readAll(target), kOld);
        QVERIFY(!QFile::exists(target + QStringLiteral(".part")));
    }

    void destroyingARunningThreadStopsIt()
    {
        zrtest::HttpServer server;
        HttpReply r;
        r.stall = true;
        server.route("/slow", r);
        QTemporaryDir dir;
        auto* thread = new ZRDownload_thread(nullptr, server.url(QStringLiteral("/slow")));
        thread->set_output_path(dir.filePath(QStringLiteral("x")));
        thread->start();
        QVERIFY(server.waitForRequests(1));
        QElapsedTimer clock;
        clock.start();
        delete thread;
        QVERIFY(clock.elapsed() < 1000);
    }

    void refusedConnectionIsAnError()
    {
        QString deadUrl;
        {
            zrtest::HttpServer gone;
            deadUrl = gone.url(QStringLiteral("/f"));
        }
        QTemporaryDir dir;
        Run run(deadUrl, dir.filePath(QStringLiteral("x")));
        QVERIFY(run.go());
        QCOMPARE(run.errors->count(), 1);
        QCOMPARE(run.finished->count(), 0);
    }

    void httpsWithASelfSignedCertificate()
    {
        QString problem;
        const zrtest::TlsIdentity identity = zrtest::TlsIdentity::generateSelfSigned(&problem);
        if (identity.isNull())
            QSKIP(qPrintable(problem));
        zrtest::HttpServer server({}, identity);
        QVERIFY(server.port() != 0);
        const QByteArray body(20000, 't');
        server.route("/f", reply("application/octet-stream", body, sha(body)));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("tls.bin"));
        Run run(server.url(QStringLiteral("/f?file_hash=1")), target);
        QVERIFY(run.go());
        QCOMPARE(run.finished->count(), 1);
        QCOMPARE(readAll(target), body);
    }

    void progressFollowsTheBody()
    {
        zrtest::HttpServer server;
        HttpReply r = reply("application/octet-stream", QByteArray(64 * 1024, 'p'));
        r.chunkSize = 8 * 1024;
        r.chunkIntervalMs = 20;
        server.route("/f", r);
        QTemporaryDir dir;
        Run run(server.url(QStringLiteral("/f")), dir.filePath(QStringLiteral("p.bin")));
        QVERIFY(run.go());
        QCOMPARE(run.finished->count(), 1);
        QVERIFY(run.progress->count() >= 2);
        qlonglong previous = -1;
        for (const QList<QVariant>& args : *run.progress) {
            QVERIFY(args.at(0).toLongLong() >= previous);
            previous = args.at(0).toLongLong();
        }
        QCOMPARE(run.progress->last().at(0).toLongLong(), qlonglong(64 * 1024));
        QCOMPARE(run.progress->last().at(1).toLongLong(), qlonglong(64 * 1024));
    }
};

ZR_TEST_MAIN_CORE(TestDownloadThread)
#include "tst_download_thread.moc"

//! labels: net
#include "app/Http_singleton.h"
#include "app/Version.h"
#include "support/DumpSender.h"
#include "tests/crash/Multipart.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QSslServer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using crashtest::FormBody;
using crashtest::parseForm;

namespace {

const QByteArray kBoundary = "---------------------------10757404324422";

QString userFolder() { return QDir::homePath() + "/.ZRPlayer"; }
QString logPath() { return userFolder() + "/zrlogfile.log"; }
QString reportsFolder() { return userFolder() + "/crash_reports/reports"; }

bool writeFile(const QString& path, const QByteArray& bytes, const QDateTime& mtime = QDateTime())
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (f.write(bytes) != bytes.size() || !f.flush())
        return false;
    if (mtime.isValid() && !f.setFileTime(mtime, QFileDevice::FileModificationTime))
        return false;
    return true;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Bytes that a text round trip would spoil: NUL, CR LF, and bytes that are not UTF-8.
QByteArray dumpBytes()
{
    QByteArray b("MDMP\x93\xa7\0\0", 8);
    for (int i = 0; i < 70000; ++i)
        b += char((i * 131 + 7) & 0xff);
    b += "\r\n\r\n--not-the-boundary\r\n";
    return b;
}

QByteArray logBytes()
{
    return QByteArray("[10/12/2026 10:00:00.000] {Debug} \"[INFO] MAIN :: start\"\n"
                      "[10/12/2026 10:00:01.000] {Debug} \"cam\xe9ra \xff\xfe raw\"\n"
                      "[10/12/2026 10:00:02.000] {Debug} \"\xc3\xa9t\xc3\xa9 ok\"\n");
}

QByteArray verdict(const QByteArray& dumpStatus, int dumpCode, const QByteArray& logStatus, int logCode)
{
    auto part = [](const QByteArray& status, int code) {
        QByteArray info = "\"status\":\"" + status + "\"";
        if (code != -100)
            info += ",\"error_code\":" + QByteArray::number(code);
        return "{\"status_info\":{" + info + "}}";
    };
    return "{\"upload_file_minidump\":" + part(dumpStatus, dumpCode) + ",\"upload_file_log\":"
        + part(logStatus, logCode) + "}";
}

} // namespace

class TestDumpSender : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(userFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(reportsFolder()));
    }

    void uploadsEveryFieldAndTheExactBytes()
    {
        const QString dump = reportsFolder() + "/2f1e0c.b7.dmp";
        const QDateTime mtime(QDate(2026, 11, 3), QTime(17, 45, 12));
        QVERIFY(writeFile(dump, dumpBytes(), mtime));
        QVERIFY(writeFile(logPath(), logBytes()));

        zrtest::HttpServer server([](const zrtest::HttpRequest&) {
            return zrtest::HttpReply::json(verdict("OK", 0, "OK", 0));
        });
        zrtest::LogCatcher log;
        DumpSender sender;
        const QUrl url(server.url("/traitement"));
        sender.set_url(url);
        sender.set_email(QStringLiteral("opérateur@example.org"));
        sender.set_comment(QStringLiteral("Lecture à ×8\npuis plantage"));
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QVERIFY(zrtest::waitForSignals(handled));

        QCOMPARE(server.requestCount(), 1);
        const zrtest::HttpRequest request = server.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/traitement"));
        QCOMPARE(request.headers.value("content-type"), "multipart/form-data; boundary=" + kBoundary);
        QCOMPARE(request.headers.value("content-length").toLongLong(), qlonglong(request.body.size()));
        QCOMPARE(request.headers.value("referer"), url.toString().toUtf8());

        const FormBody form = parseForm(request.body, kBoundary);
        QVERIFY2(form.valid, qPrintable(form.error));
        QCOMPARE(form.closingDelimiters, 1);
        QList<QByteArray> names = form.names();
        std::sort(names.begin(), names.end());
        const QList<QByteArray> expected{"comment",  "dumpdate", "email",   "os", "product_name", "sha_dump",
                                         "sha_log", "upload_file_log", "upload_file_minidump", "version"};
        QCOMPARE(names, expected);

        const QByteArray os = "OS " + QSysInfo::productType().toUtf8() + '_' + QSysInfo::kernelVersion().toUtf8() + '_'
            + QSysInfo::currentCpuArchitecture().toUtf8();
        QCOMPARE(form.value("os"), os);
        QCOMPARE(form.value("product_name"), QByteArray("ZRPLAYER"));
        QCOMPARE(form.value("version"), QByteArray(ZR_VERSION));
        QCOMPARE(form.value("dumpdate"), QByteArray("2026-11-03 17:45:12"));
        QCOMPARE(form.value("email"), QStringLiteral("opérateur@example.org").toUtf8());
        QCOMPARE(form.value("comment"), QStringLiteral("Lecture à ×8\npuis plantage").toUtf8());
        for (const char* name : {"os", "version", "email", "comment", "sha_log"})
            QVERIFY2(!form.part(name)->hasFileName && form.part(name)->contentType.isEmpty(), name);

        // The digests are those of the bytes sent, which are the files' bytes.
        const crashtest::FormPart* dumpPart = form.part("upload_file_minidump");
        const crashtest::FormPart* logPart = form.part("upload_file_log");
        QCOMPARE(dumpPart->content.size(), dumpBytes().size());
        QVERIFY(dumpPart->content == dumpBytes());
        QVERIFY(logPart->content == logBytes());
        QCOMPARE(form.value("sha_dump"), sha(dumpPart->content));
        QCOMPARE(form.value("sha_log"), sha(logPart->content));
        QCOMPARE(dumpPart->contentType, QByteArray("application/octet-stream"));
        QCOMPARE(logPart->contentType, QByteArray("application/octet-stream"));
        QCOMPARE(dumpPart->fileName, QByteArray("2f1e0c.dmp"));
        QCOMPARE(logPart->fileName, QDir::toNativeSeparators(logPath()).toUtf8());

        QVERIFY(log.contains("add to header    :: product_name/ZRPLAYER"));
        QVERIFY(log.contains("ZRDumpSender :: send_request_finished :: DUMPFILE IS OK + " + dump));
        QCOMPARE(handled.first().at(0).toBool(), true);
        QCOMPARE(handled.first().at(1).toBool(), true);
        QVERIFY(!QFile::exists(dump));
        QVERIFY(QFile::exists(logPath()));
        QCOMPARE(QFileInfo(logPath()).size(), qint64(0));
    }

    void optionalParts_data()
    {
        QTest::addColumn<bool>("withFiles");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("no address, no description")
            << true
            << QList<QByteArray>{"dumpdate", "os", "product_name", "sha_dump", "sha_log", "upload_file_log",
                                 "upload_file_minidump", "version"};
        QTest::newRow("neither file readable") << false << QList<QByteArray>{"os", "product_name", "version"};
    }

    void optionalParts()
    {
        QFETCH(bool, withFiles);
        QFETCH(QList<QByteArray>, expected);
        const QString dump = reportsFolder() + "/only.dmp";
        if (withFiles) {
            QVERIFY(writeFile(dump, "dump"));
            QVERIFY(writeFile(logPath(), "log\n"));
        }
        zrtest::HttpServer server([](const zrtest::HttpRequest&) { return zrtest::HttpReply::text("nothing"); });
        DumpSender sender;
        sender.set_url(QUrl(server.url("/traitement")));
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QVERIFY(zrtest::waitForSignals(handled));
        const FormBody form = parseForm(server.requests().value(0).body, kBoundary);
        QVERIFY2(form.valid, qPrintable(form.error));
        QCOMPARE(form.closingDelimiters, 1);
        QList<QByteArray> names = form.names();
        std::sort(names.begin(), names.end());
        QCOMPARE(names, expected);
        QCOMPARE(QFile::exists(dump), withFiles);
    }

    // A name that could end the part header must not.
    void fileNameCannotBreakTheHeader()
    {
        const QString dump = reportsFolder() + "/we\"ird\r\nX-Injected: 1\r\n.dmp";
        QVERIFY(writeFile(dump, "payload"));
        zrtest::HttpServer server([](const zrtest::HttpRequest&) { return zrtest::HttpReply::text("x"); });
        DumpSender sender;
        sender.set_url(QUrl(server.url("/traitement")));
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QVERIFY(zrtest::waitForSignals(handled));
        const FormBody form = parseForm(server.requests().value(0).body, kBoundary);
        QVERIFY2(form.valid, qPrintable(form.error));
        const crashtest::FormPart* part = form.part("upload_file_minidump");
        QVERIFY(part);
        QCOMPARE(part->fileName, QByteArray("we%22ird%0D%0AX-Injected: 1%0D%0A.dmp"));
        QCOMPARE(part->contentType, QByteArray("application/octet-stream"));
        QCOMPARE(part->content, QByteArray("payload"));
        QCOMPARE(DumpSender::escape_file_name("a\"b\rc\nd"), QString("a%22b%0Dc%0Ad"));
    }

    void verdicts_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("dumpDeleted");
        QTest::addColumn<bool>("logEmptied");
        QTest::newRow("both OK") << verdict("OK", 0, "OK", 0) << true << true;
        QTest::newRow("dump ERROR 4") << verdict("ERROR", 4, "OK", 0) << true << true;
        QTest::newRow("dump ERROR 3, log OK") << verdict("ERROR", 3, "OK", 0) << false << true;
        QTest::newRow("dump OK, log ERROR 3") << verdict("OK", 0, "ERROR", 3) << true << false;
        QTest::newRow("log ERROR 4, dump ERROR 3") << verdict("ERROR", 3, "ERROR", 4) << false << true;
        QTest::newRow("ERROR without code") << verdict("ERROR", -100, "ERROR", -100) << false << false;
        QTest::newRow("lower-case ok") << verdict("ok", 0, "ok", 0) << false << false;
        QTest::newRow("code as text") << QByteArray("{\"upload_file_minidump\":{\"status_info\":"
                                                    "{\"status\":\"ERROR\",\"error_code\":\"4\"}}}")
                                      << false << false;
        QTest::newRow("not JSON") << QByteArray("<html><body>OK</body></html>") << false << false;
        QTest::newRow("JSON array") << QByteArray("[\"OK\"]") << false << false;
        QTest::newRow("truncated JSON") << verdict("OK", 0, "OK", 0).left(30) << false << false;
        QTest::newRow("empty") << QByteArray() << false << false;
    }

    void verdicts()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, dumpDeleted);
        QFETCH(bool, logEmptied);
        const QString dump = reportsFolder() + "/v.dmp";
        QVERIFY(writeFile(dump, dumpBytes()));
        QVERIFY(writeFile(logPath(), logBytes()));
        zrtest::HttpServer server([reply](const zrtest::HttpRequest&) { return zrtest::HttpReply::json(reply); });
        DumpSender sender;
        sender.set_url(QUrl(server.url("/traitement")));
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QVERIFY(zrtest::waitForSignals(handled));
        QCOMPARE(handled.first().at(0).toBool(), dumpDeleted);
        QCOMPARE(handled.first().at(1).toBool(), logEmptied);
        QCOMPARE(QFile::exists(dump), !dumpDeleted);
        if (!dumpDeleted)
            QVERIFY(readFile(dump) == dumpBytes());
        QCOMPARE(readFile(logPath()), logEmptied ? QByteArray() : logBytes());
    }

    // Lines written after the copy was taken, from this or any thread, survive the upload.
    void linesWrittenDuringTheUploadStay()
    {
        const QString dump = reportsFolder() + "/during.dmp";
        QVERIFY(writeFile(dump, dumpBytes()));
        QVERIFY(writeFile(logPath(), logBytes()));
        zrtest::HttpServer server([](const zrtest::HttpRequest&) {
            zrtest::HttpReply r = zrtest::HttpReply::json(verdict("OK", 0, "OK", 0));
            r.delayMs = 200;
            return r;
        });
        DumpSender sender;
        sender.set_url(QUrl(server.url("/traitement")));
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QFile log(logPath());
        QVERIFY(log.open(QIODevice::WriteOnly | QIODevice::Append));
        log.write("written during the upload\n");
        log.close();
        QVERIFY(zrtest::waitForSignals(handled));
        QVERIFY(handled.first().at(1).toBool());
        QCOMPARE(readFile(logPath()), QByteArray("written during the upload\n"));

        // A log emptied and rewritten meanwhile is left whole: all of it is newer.
        QVERIFY(writeFile(dump, dumpBytes()));
        QVERIFY(writeFile(logPath(), logBytes()));
        DumpSender again;
        again.set_url(QUrl(server.url("/traitement")));
        QSignalSpy handledAgain(&again, &DumpSender::report_handled);
        again.send_dump(dump);
        QVERIFY(writeFile(logPath(), "fresh start\n"));
        QVERIFY(zrtest::waitForSignals(handledAgain));
        QCOMPARE(readFile(logPath()), QByteArray("fresh start\n"));
    }

    void unansweredUploadKeepsEverything_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("connection refused") << "refused";
        QTest::newRow("connection dropped") << "dropped";
        QTest::newRow("HTTP 500") << "500";
    }

    void unansweredUploadKeepsEverything()
    {
        QFETCH(QString, how);
        const QString dump = reportsFolder() + "/kept.dmp";
        QVERIFY(writeFile(dump, dumpBytes()));
        QVERIFY(writeFile(logPath(), logBytes()));
        QUrl url;
        std::unique_ptr<zrtest::HttpServer> server;
        if (how == "refused") {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            url = QUrl(QString("http://127.0.0.1:%1/traitement").arg(probe.serverPort()));
            probe.close();
        } else {
            server = std::make_unique<zrtest::HttpServer>([how](const zrtest::HttpRequest&) {
                zrtest::HttpReply r = zrtest::HttpReply::text("Internal error", 500);
                r.closeWithoutReply = how == "dropped";
                return r;
            });
            url = QUrl(server->url("/traitement"));
        }
        DumpSender sender;
        sender.set_url(url);
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QVERIFY(zrtest::waitForSignals(handled, 1, 15000));
        QCOMPARE(handled.first().at(0).toBool(), false);
        QCOMPARE(handled.first().at(1).toBool(), false);
        QVERIFY(readFile(dump) == dumpBytes());
        QVERIFY(readFile(logPath()) == logBytes());
    }

    // A server whose certificate does not check out gets nothing and deletes nothing.
    void untrustedCertificateIsRefused()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS back end");
        QTemporaryDir keys;
        QVERIFY(keys.isValid());
        const QString certPath = keys.filePath("cert.pem");
        const QString keyPath = keys.filePath("key.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", keyPath, "-out",
                                  certPath, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                                  "subjectAltName=IP:127.0.0.1"});
        if (!openssl.waitForStarted(5000))
            QSKIP("the openssl program is not available");
        QVERIFY(openssl.waitForFinished(60000));
        QCOMPARE(openssl.exitCode(), 0);

        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> certs = QSslCertificate::fromPath(certPath);
        QCOMPARE(certs.size(), 1);
        config.setLocalCertificate(certs.first());
        QFile keyFile(keyPath);
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        config.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa));
        QSslServer tls;
        tls.setSslConfiguration(config);
        int handshakes = 0;
        QByteArray received;
        connect(&tls, &QSslServer::startedEncryptionHandshake, this, [&](QSslSocket*) { ++handshakes; });
        connect(&tls, &QTcpServer::pendingConnectionAvailable, this, [&] {
            while (QTcpSocket* s = tls.nextPendingConnection()) {
                s->setParent(&tls);
                connect(s, &QTcpSocket::readyRead, s, [&received, s] { received += s->readAll(); });
            }
        });
        QVERIFY(tls.listen(QHostAddress::LocalHost, 0));

        const QString dump = reportsFolder() + "/tls.dmp";
        QVERIFY(writeFile(dump, dumpBytes()));
        QVERIFY(writeFile(logPath(), logBytes()));
        DumpSender sender;
        sender.set_url(QUrl(QString("https://127.0.0.1:%1/traitement").arg(tls.serverPort())));
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QVERIFY(zrtest::waitForSignals(handled, 1, 15000));
        QVERIFY(handshakes >= 1);
        QVERIFY(received.isEmpty());
        QCOMPARE(handled.first().at(0).toBool(), false);
        QVERIFY(readFile(dump) == dumpBytes());
        QVERIFY(readFile(logPath()) == logBytes());
    }

    // Content that holds the boundary text cannot end a part or add one.
    void boundaryNeverInAPart_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QByteArray>("dump");
        QTest::addColumn<QByteArray>("logText");
        const QString plain = QStringLiteral("rien de spécial");
        const QString forged = QStringLiteral("avant\r\n--") + QString::fromLatin1(kBoundary)
            + QStringLiteral("\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\nfaux@example.org");
        QTest::newRow("comment") << forged << dumpBytes() << logBytes();
        QTest::newRow("comment, closing delimiter") << QStringLiteral("fin\r\n--") + QString::fromLatin1(kBoundary)
                + QStringLiteral("--\r\n") << dumpBytes() << logBytes();
        QTest::newRow("dump") << plain << QByteArray(dumpBytes() + "\r\n--" + kBoundary + "\r\n" + dumpBytes()) << logBytes();
        QTest::newRow("log") << plain << dumpBytes() << QByteArray(logBytes() + kBoundary + "\n");
    }
    void boundaryNeverInAPart()
    {
        QFETCH(QString, comment);
        QFETCH(QByteArray, dump);
        QFETCH(QByteArray, logText);
        const QString dumpPath = reportsFolder() + "/b.dmp";
        QVERIFY(writeFile(dumpPath, dump));
        QVERIFY(writeFile(logPath(), logText));
        zrtest::HttpServer server([](const zrtest::HttpRequest&) { return zrtest::HttpReply::json(verdict("OK", 0, "OK", 0)); });
        DumpSender sender;
        sender.set_url(QUrl(server.url("/traitement")));
        sender.set_email(QStringLiteral("vrai@example.org"));
        sender.set_comment(comment);
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dumpPath);
        QVERIFY(zrtest::waitForSignals(handled));

        const zrtest::HttpRequest request = server.requests().value(0);
        const QByteArray type = request.headers.value("content-type");
        QVERIFY(type.startsWith("multipart/form-data; boundary="));
        const QByteArray boundary = type.mid(type.indexOf('=') + 1);
        const FormBody form = parseForm(request.body, boundary);
        QVERIFY2(form.valid, qPrintable(form.error));
        QCOMPARE(form.closingDelimiters, 1);
        QCOMPARE(form.parts.size(), 10);
        QCOMPARE(form.value("email"), QByteArray("vrai@example.org"));
        QCOMPARE(form.value("comment"), comment.toUtf8());
        QVERIFY(form.value("upload_file_minidump") == dump);
        QVERIFY(form.value("upload_file_log") == logText);
        QCOMPARE(form.value("sha_dump"), sha(dump));
        QVERIFY(boundary.size() >= 27 && boundary != kBoundary);
    }

    // The report goes to its own server only: a redirect elsewhere is refused and keeps everything.
    void redirects_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("target"); // "other host", "other port", "same server"
        QTest::addColumn<bool>("followed");
        QTest::newRow("307 to another host") << 307 << "other host" << false;
        QTest::newRow("308 to another host") << 308 << "other host" << false;
        QTest::newRow("307 to another port") << 307 << "other port" << false;
        QTest::newRow("307 on the same server") << 307 << "same server" << true;
    }
    void redirects()
    {
        QFETCH(int, status);
        QFETCH(QString, target);
        QFETCH(bool, followed);
        const QString dump = reportsFolder() + "/r.dmp";
        QVERIFY(writeFile(dump, dumpBytes()));
        QVERIFY(writeFile(logPath(), logBytes()));
        zrtest::HttpServer elsewhere([](const zrtest::HttpRequest&) { return zrtest::HttpReply::json(verdict("OK", 0, "OK", 0)); });
        zrtest::HttpServer server;
        server.route("/final", zrtest::HttpReply::json(verdict("OK", 0, "OK", 0)));
        QByteArray location;
        if (target == "other host")
            location = QString("http://localhost:%1/traitement").arg(elsewhere.port()).toUtf8();
        else if (target == "other port")
            location = elsewhere.url("/traitement").toUtf8();
        else
            location = server.url("/final").toUtf8();
        server.route("/traitement", zrtest::HttpReply::redirect(location, status));

        zrtest::LogCatcher log;
        DumpSender sender;
        sender.set_url(QUrl(server.url("/traitement")));
        QSignalSpy handled(&sender, &DumpSender::report_handled);
        sender.send_dump(dump);
        QVERIFY(zrtest::waitForSignals(handled, 1, 15000));

        QCOMPARE(elsewhere.requestCount(), 0);
        QCOMPARE(handled.first().at(0).toBool(), followed);
        if (followed) {
            QCOMPARE(server.requestCount(), 2);
            const zrtest::HttpRequest again = server.requests().at(1);
            QCOMPARE(again.method, QByteArray("POST"));
            QCOMPARE(again.path, QByteArray("/final"));
            QVERIFY(again.body == server.requests().at(0).body);
            QVERIFY(!QFile::exists(dump));
        } else {
            QCOMPARE(server.requestCount(), 1);
            QVERIFY(log.contains(QString::fromUtf8("[WARN] ZRDumpSender :: redirect refused :: " + location)));
            QVERIFY(readFile(dump) == dumpBytes());
            QVERIFY(readFile(logPath()) == logBytes());
        }
    }

    void removeDump_data()
    {
        QTest::addColumn<bool>("dumpExists");
        QTest::newRow("dump present") << true;
        QTest::newRow("dump already gone") << false;
    }

    void removeDump()
    {
        QFETCH(bool, dumpExists);
        const QString dump = reportsFolder() + "/gone.dmp";
        if (dumpExists)
            QVERIFY(writeFile(dump, dumpBytes()));
        QVERIFY(writeFile(logPath(), logBytes()));
        const QString other = reportsFolder() + "/other.dmp";
        QVERIFY(writeFile(other, "other"));
        zrtest::LogCatcher log;
        DumpSender sender;
        sender.remove_dump(dump);
        QVERIFY(!QFile::exists(dump));
        QVERIFY(QFile::exists(other));
        QCOMPARE(QFileInfo(logPath()).size(), qint64(0));
        QVERIFY(log.contains("ZRDumpSender :: remove dump :: check file " + dump));
        QCOMPARE(log.contains("ZRDumpSender :: remove dump :: remove file " + dump), dumpExists);
    }

    void defaultEndpoint()
    {
        const QUrl url = DumpSender().get_url();
        QVERIFY(url.isValid());
        QCOMPARE(url, DumpSender::default_url());
        QCOMPARE(url.scheme(), QString("https"));
    }
};

ZR_TEST_MAIN_CORE(TestDumpSender)
#include "tst_dumpsender.moc"

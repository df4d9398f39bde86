//! labels: qml net
// Runs the program's start-up for real, in a test copy of the program (StartupProbe.h) that
// talks to a release server on 127.0.0.1 and reports the window it opened.
#include "app/Version.h"
#include "platform/ReleasePlatform.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using zrtest::HttpReply;
using zrtest::HttpServer;

namespace {

QByteArray releaseRoot()
{
    const QByteArray prefix = QCryptographicHash::hash("ZRPLAYER", QCryptographicHash::Md5).toHex().left(5);
    return "/zrapps/" + prefix + "_ZRPLAYER/";
}

QByteArray packageBytes()
{
    QByteArray data(50000, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 37 + i / 11) & 0xff);
    return data;
}

QString sha256Hex(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

// A release server of track 3.4 whose STABLE index offers the given version.
void serveRelease(HttpServer& server, const QString& version, const QString& digest)
{
    const QString name = QStringLiteral("ZRPlayer-%1-setup.exe").arg(version);
    const QJsonObject asset{{"name", name},
                            {"url", server.url(QStringLiteral("/pkg/") + name)},
                            {"arch", zrplatform::release_asset_arch()},
                            {"sha256", digest}};
    server.route(releaseRoot(), HttpReply::text("<a href=\"3.4/\">3.4/</a>", 200, "text/html"));
    server.route(releaseRoot() + "3.4/STABLE/index.json",
                 HttpReply::json(QJsonDocument(QJsonArray{asset}).toJson(QJsonDocument::Compact)));
    server.route("/pkg/" + name.toLatin1(), HttpReply::text(packageBytes(), 200, "application/octet-stream"));
}

struct Run
{
    int exitCode = -1;
    bool crashed = false;
    QString stderrText;
    QJsonObject window;   // empty when no window was reported
    bool windowReported = false;
};

QStringList homeEntries(const QString& home)
{
    return QDir(home).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir work;
    int runs = 0;

    // Runs the program with its own HOME and working folder; the probe settings go into
    // the working folder, where the program also leaves its window report.
    Run runProgram(const QString& program, const QString& home, const QString& cwd, const QJsonObject& probe,
                   const QString& platform = QStringLiteral("xcb"))
    {
        QDir().mkpath(cwd);
        QFile settings(QDir(cwd).filePath(QStringLiteral("startup-probe.json")));
        settings.open(QIODevice::WriteOnly);
        settings.write(QJsonDocument(probe).toJson());
        settings.close();
        QFile::remove(QDir(cwd).filePath(QStringLiteral("startup-window.json")));

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(cwd);
        process.start(program, QStringList());
        Run r;
        if (!process.waitForStarted(10000))
            return r;
        // The server answers from its own thread, so waiting here blocks nothing.
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
        }
        r.crashed = process.exitStatus() != QProcess::NormalExit;
        r.exitCode = process.exitCode();
        r.stderrText = QString::fromUtf8(process.readAllStandardError());
        const QString report = QDir(cwd).filePath(QStringLiteral("startup-window.json"));
        r.windowReported = QFileInfo::exists(report);
        r.window = QJsonDocument::fromJson(readAll(report).toUtf8()).object();
        return r;
    }

    QString newFolder(const QString& what)
    {
        const QString path = work.filePath(what + QString::number(++runs));
        QDir().mkpath(path);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        QVERIFY2(QFileInfo(QStringLiteral(ZR_PROBE_PROGRAM)).isExecutable(), ZR_PROBE_PROGRAM);
    }

    // A normal start: the window with its exact title and minimum size, the per-user folder
    // with the crash database, and the crash handler's line only on the default output.
    void startsWindow()
    {
        HttpServer server;
        serveRelease(server, QStringLiteral(ZR_VERSION), sha256Hex(packageBytes()));
        const QString home = newFolder(QStringLiteral("home"));
        const QString cwd = newFolder(QStringLiteral("cwd"));
        const Run r = runProgram(QStringLiteral(ZR_PROBE_PROGRAM), home, cwd,
                                 {{"appsUrl", server.url(QStringLiteral("/zrapps/"))}, {"answer", "no"}});
        QVERIFY2(!r.crashed, qPrintable(r.stderrText));
        QCOMPARE(r.exitCode, 0); // the event loop ended when the window closed
        QVERIFY2(r.windowReported, qPrintable(r.stderrText));
        QCOMPARE(r.window.value("title").toString(), QStringLiteral("ZRPLAYER " ZR_VERSION));
        QCOMPARE(r.window.value("className").toString(), QStringLiteral("ZR_Player_qmlpresentation"));
        QCOMPARE(r.window.value("minimumWidth").toInt(), 1600);
        QCOMPARE(r.window.value("minimumHeight").toInt(), 900);
        QVERIFY(r.window.value("widthAfterShrink").toInt() >= 1600);
        QVERIFY(r.window.value("heightAfterShrink").toInt() >= 900);

        // The release server was asked (the check ran before the window).
        QVERIFY(server.requestCount() >= 2);

        // Exactly one per-user folder, with the crash database and its metrics folder.
        const QStringList entries = homeEntries(home);
        QCOMPARE(entries.filter(QStringLiteral("ZRPlayer"), Qt::CaseInsensitive), QStringList{".ZRPlayer"});
        QVERIFY(QFileInfo(home + "/.ZRPlayer/crash_reports").isDir());
        QVERIFY(QFileInfo(home + "/.ZRPlayer/crash_reports/metrics").isDir());

        // No handler beside the test copy: the failure line, on the default output only.
        QVERIFY2(r.stderrText.contains("[INFO] MAIN :: failed to start crashpad"), qPrintable(r.stderrText));
        const QString log = readAll(home + "/.ZRPlayer/zrlogfile.log");
        QVERIFY2(log.contains("Auto Update"), qPrintable(log));
        QVERIFY2(log.contains("[INFO] Zrplayer Presentation") || log.contains("Interface Controller :: construct"),
                 qPrintable(log));
        QVERIFY2(!log.contains("crashpad"), qPrintable(log));

        // The started window, kept as an artefact in the test's working folder.
        const QImage shot(QDir(cwd).filePath(QStringLiteral("startup-window.png")));
        QVERIFY(!shot.isNull());
        QVERIFY(shot.width() >= 1600 && shot.height() >= 900);
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); y += 37)
            for (int x = 0; x < shot.width(); x += 41)
                colours.insert(shot.pixel(x, y));
        QVERIFY2(colours.size() > 2, "the screenshot shows nothing but a flat colour");
        QFile::remove(QDir::current().filePath(QStringLiteral("startup-window.png")));
        QVERIFY(QFile::copy(QDir(cwd).filePath(QStringLiteral("startup-window.png")),
                            QDir::current().filePath(QStringLiteral("startup-window.png"))));

        // A second start in the same home finds the folder and creates nothing new.
        QFile marker(home + "/.ZRPlayer/marker");
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        const Run again = runProgram(QStringLiteral(ZR_PROBE_PROGRAM), home, cwd,
                                     {{"appsUrl", server.url(QStringLiteral("/zrapps/"))}, {"answer", "no"}});
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.windowReported);
        QCOMPARE(homeEntries(home), entries);
        QVERIFY(QFileInfo::exists(home + "/.ZRPlayer/marker"));
        QVERIFY(!readAll(home + "/.ZRPlayer/zrlogfile.log").contains("crashpad"));
    }

    // Every outcome of the check but a downloaded package goes on to the window.
    void windowAfterCheck_data()
    {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("badDigest");
        QTest::addColumn<bool>("serverDown");
        QTest::newRow("newer, declined") << "3.4.5" << "no" << false << false;
        QTest::newRow("newer, wrong digest") << "3.4.5" << "yes" << true << false;
        QTest::newRow("server errors") << "3.4.5" << "yes" << false << true;
    }
    void windowAfterCheck()
    {
        QFETCH(QString, remote);
        QFETCH(QString, answer);
        QFETCH(bool, badDigest);
        QFETCH(bool, serverDown);
        HttpServer server([](const zrtest::HttpRequest&) { return HttpReply::text("no", 500); });
        if (!serverDown)
            serveRelease(server, remote, badDigest ? QString(64, QLatin1Char('0')) : sha256Hex(packageBytes()));
        const QString cwd = newFolder(QStringLiteral("cwd"));
        const QString saveAs = QDir(cwd).filePath(QStringLiteral("package.exe"));
        const QString handOver = QDir(cwd).filePath(QStringLiteral("handover.txt"));
        const Run r = runProgram(QStringLiteral(ZR_PROBE_PROGRAM), newFolder(QStringLiteral("home")), cwd,
                                 {{"appsUrl", server.url(QStringLiteral("/zrapps/"))},
                                  {"answer", answer},
                                  {"savePath", saveAs},
                                  {"handOverFile", handOver},
                                  {"settleMs", 200}});
        QVERIFY2(!r.crashed, qPrintable(r.stderrText));
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.windowReported, qPrintable(r.stderrText));
        QCOMPARE(r.window.value("title").toString(), QStringLiteral("ZRPLAYER " ZR_VERSION));
        QVERIFY(!QFileInfo::exists(handOver));
        QVERIFY(!QFileInfo::exists(saveAs)); // a refused package never stays behind
    }

    // Where the graphics cannot start, the program says so and ends with a non-zero status
    // instead of crashing when its views are shown.
    void noGraphicsEndsWithAMessage()
    {
        HttpServer server([](const zrtest::HttpRequest&) { return HttpReply::text("no", 500); });
        const QString cwd = newFolder(QStringLiteral("cwd"));
        const Run r = runProgram(QStringLiteral(ZR_PROBE_PROGRAM), newFolder(QStringLiteral("home")), cwd,
                                 {{"appsUrl", server.url(QStringLiteral("/zrapps/"))}, {"settleMs", 200}},
                                 QStringLiteral("offscreen"));
        QVERIFY2(!r.crashed, qPrintable(r.stderrText));
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.windowReported);
        QVERIFY2(r.stderrText.contains(QStringLiteral("affichage impossible")), qPrintable(r.stderrText));
    }

    // A downloaded and accepted package is handed over and the program ends with 0, no window.
    void downloadedUpdateEndsWithoutWindow()
    {
        HttpServer server;
        serveRelease(server, QStringLiteral("3.4.5"), sha256Hex(packageBytes()));
        const QString home = newFolder(QStringLiteral("home"));
        const QString cwd = newFolder(QStringLiteral("cwd"));
        const QString saveAs = QDir(cwd).filePath(QStringLiteral("ZRPlayer-3.4.5-setup.exe"));
        const QString handOver = QDir(cwd).filePath(QStringLiteral("handover.txt"));
        const Run r = runProgram(QStringLiteral(ZR_PROBE_PROGRAM), home, cwd,
                                 {{"appsUrl", server.url(QStringLiteral("/zrapps/"))},
                                  {"answer", "yes"},
                                  {"savePath", saveAs},
                                  {"handOverFile", handOver}});
        QVERIFY2(!r.crashed, qPrintable(r.stderrText));
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(!r.windowReported, "a window was opened after the update was handed over");
        QCOMPARE(readAll(handOver).trimmed(), saveAs);
        QFile saved(saveAs);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), packageBytes());
        // The window's constructor never ran.
        const QString log = readAll(home + "/.ZRPlayer/zrlogfile.log");
        QVERIFY(!log.contains("Interface Controller :: construct"));
        QVERIFY(QFileInfo(home + "/.ZRPlayer").isDir());
    }

    // Placed inside an export folder, as the demo does, the program opens that export by itself.
    void opensTheExportItSitsIn()
    {
        zrtest::ExportGenerator gen;
        const zrtest::GeneratedExport ex = gen.generate({"--cameras", "2", "--minutes", "1", "--size", "160x90"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const QString program = QDir(ex.exportPath).filePath(QStringLiteral("zrplayer"));
        QVERIFY(QFile::copy(QStringLiteral(ZR_PROBE_PROGRAM), program));
        QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);

        HttpServer server;
        serveRelease(server, QStringLiteral(ZR_VERSION), sha256Hex(packageBytes()));
        const QString home = newFolder(QStringLiteral("home"));
        const QString cwd = newFolder(QStringLiteral("cwd"));
        const Run r = runProgram(program, home, cwd,
                                 {{"appsUrl", server.url(QStringLiteral("/zrapps/"))}, {"settleMs", 3000}});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.windowReported);
        const QString log = readAll(home + "/.ZRPlayer/zrlogfile.log");
        QVERIFY2(log.contains("get available days :: in directory " + QDir::cleanPath(ex.exportPath)), qPrintable(log));
        QVERIFY2(log.contains("available day append " + ex.days.first()), qPrintable(log));
        QFile::remove(QDir::current().filePath(QStringLiteral("startup-in-export.png")));
        QVERIFY(QFile::copy(QDir(cwd).filePath(QStringLiteral("startup-window.png")),
                            QDir::current().filePath(QStringLiteral("startup-in-export.png"))));
        // Nothing but the program was added to the export's top folder.
        QStringList top = QDir(ex.exportPath).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QCOMPARE(top, QStringList{"zrplayer"});
    }

    // With a handler beside the program it is started on the per-user crash database.
    void startsCrashHandlerBesideProgram()
    {
        const QString bin = newFolder(QStringLiteral("bin"));
        const QString program = QDir(bin).filePath(QStringLiteral("zrplayer"));
        QVERIFY(QFile::copy(QStringLiteral(ZR_PROBE_PROGRAM), program));
        QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
        const QString record = QDir(bin).filePath(QStringLiteral("handler-args.txt"));
        QFile handler(QDir(bin).filePath(QStringLiteral("crashpad_handler")));
        QVERIFY(handler.open(QIODevice::WriteOnly));
        handler.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '%1'\n").arg(record).toUtf8());
        handler.close();
        handler.setPermissions(handler.permissions() | QFileDevice::ExeOwner);

        HttpServer server;
        serveRelease(server, QStringLiteral(ZR_VERSION), sha256Hex(packageBytes()));
        const QString home = newFolder(QStringLiteral("home"));
        const Run r = runProgram(program, home, newFolder(QStringLiteral("cwd")),
                                 {{"appsUrl", server.url(QStringLiteral("/zrapps/"))}, {"settleMs", 200}});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.stderrText.contains("[INFO] MAIN :: crashpad started"), qPrintable(r.stderrText));
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(record); }, 5000));
        const QString args = readAll(record);
        QVERIFY2(args.contains(QDir::cleanPath(home) + "/.ZRPlayer/crash_reports"), qPrintable(args));
        QVERIFY(!readAll(home + "/.ZRPlayer/zrlogfile.log").contains("crashpad"));
    }
};

ZR_TEST_MAIN_QML(TestStartup)
#include "tst_startup.moc"

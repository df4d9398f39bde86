//! labels: net gui
#include "app/Http_singleton.h"
#include "support/DownloadBinary.h"
#include "platform/ReleasePlatform.h"
#include "support/UpdateInteraction.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/TlsIdentity.h"
#include "tests/support/Wait.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using zrtest::HttpReply;
using zrtest::HttpServer;

namespace {

// JSON written with single quotes; "@" stands for the server's base address, "%arch%" and
// "%ARCH%" for this platform's asset name in lower case and as written.
QByteArray json(const char* text)
{
    const QByteArray arch = zrplatform::release_asset_arch().toUtf8();
    return QByteArray(text).replace('\'', '"').replace("%ARCH%", arch).replace("%arch%", arch.toLower());
}

QByteArray rootPath()
{
    const QByteArray prefix = QCryptographicHash::hash("ZRPLAYER", QCryptographicHash::Md5).toHex().left(5);
    return "/zrapps/" + prefix + "_ZRPLAYER/";
}

QString sha256Hex(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

QByteArray packageBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 7) & 0xff);
    return data;
}

QByteArray oneAssetIndex(const QString& name, const QString& url, const QString& sha, qint64 size = 0)
{
    QJsonObject o{{"name", name}, {"url", url}, {"arch", zrplatform::release_asset_arch()}};
    if (!sha.isEmpty())
        o.insert("sha256", sha);
    if (size > 0)
        o.insert("size", size);
    return QJsonDocument(QJsonArray{o}).toJson(QJsonDocument::Compact);
}

QStringList indexPathsRequested(const HttpServer& server)
{
    QStringList paths;
    for (const zrtest::HttpRequest& r : server.requests())
        if (r.path.startsWith(rootPath()) && r.path != rootPath())
            paths.append(QString::fromUtf8(r.path.mid(rootPath().size())));
    return paths;
}

int requestsFor(const HttpServer& server, const QByteArray& prefix)
{
    int n = 0;
    for (const zrtest::HttpRequest& r : server.requests())
        n += r.path.startsWith(prefix) ? 1 : 0;
    return n;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

// Answers the updater's dialogs the way the test says and remembers what they showed.
class ScriptedAnswers : public UpdateInteraction
{
public:
    QMessageBox::StandardButton answer = QMessageBox::No;
    QString savePath;
    int cancelProgressAfterMs = -1;

    int questions = 0;
    QString title, text, informative, details;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    int saveAsks = 0;
    QString caption, proposed, filter;
    QPointer<QProgressDialog> progress;
    QString progressTitle, progressLabel;

    int ask_question(QMessageBox& box) override
    {
        ++questions;
        title = box.windowTitle();
        text = box.text();
        informative = box.informativeText();
        details = box.detailedText();
        icon = box.icon();
        buttons = box.standardButtons();
        return answer;
    }
    QString ask_save_path(QWidget*, const QString& c, const QString& p, const QString& f) override
    {
        ++saveAsks;
        caption = c;
        proposed = p;
        filter = f;
        return savePath;
    }
    void show_progress(QProgressDialog& dialog) override
    {
        progress = &dialog;
        progressTitle = dialog.windowTitle();
        progressLabel = dialog.labelText();
        UpdateInteraction::show_progress(dialog);
        if (cancelProgressAfterMs >= 0) {
            // As the operator does: the dialog's own cancel button.
            QTimer::singleShot(cancelProgressAfterMs, &dialog, [&dialog] {
                if (auto* button = dialog.findChild<QPushButton*>())
                    button->click();
            });
        }
    }
};

// Stands in for the desktop: records what it was asked to open.
class HandOver : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// What one run of check_update reported.
struct Run
{
    bool result = false;
    int available = 0;
    int finished = 0;
    int launched = 0;
    int launchFailed = 0;
    QStringList checkFailed;
    QStringList downloadFailed;
    QList<QStringList> mismatches;
};

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir work;
    HandOver handOver;
    zrtest::TlsIdentity trusted;
    QString tlsProblem;

    std::unique_ptr<DownloadBinary> makeUpdater(const HttpServer& server, ScriptedAnswers& answers,
                                                const QString& version = QStringLiteral("3.4.4"))
    {
        auto updater = std::make_unique<DownloadBinary>(version, nullptr, nullptr);
        updater->set_apps_url(server.url(QStringLiteral("/zrapps/")));
        updater->set_interaction(&answers);
        updater->set_quit_after_install(false);
        updater->set_timeouts(5000, 5000);
        return updater;
    }

    Run run(DownloadBinary& updater, bool ask = true)
    {
        Run r;
        QObject context;
        connect(&updater, &DownloadBinary::updateAvailable, &context, [&] { ++r.available; });
        connect(&updater, &DownloadBinary::updateCheckFailed, &context, [&](const QString& e) { r.checkFailed << e; });
        connect(&updater, &DownloadBinary::downloadFailed, &context, [&](const QString& e) { r.downloadFailed << e; });
        connect(&updater, &DownloadBinary::downloadFinished, &context, [&] { ++r.finished; });
        connect(&updater, &DownloadBinary::installerLaunched, &context, [&] { ++r.launched; });
        connect(&updater, &DownloadBinary::installerLaunchFailed, &context, [&] { ++r.launchFailed; });
        connect(&updater, &DownloadBinary::verificationFailed, &context,
                [&](const QString& e, const QString& a) { r.mismatches.append({e, a}); });
        r.result = updater.check_update(ask);
        return r;
    }

    // A release server whose STABLE index of track 3.4 offers one package.
    void serveRelease(HttpServer& server, const QByteArray& index)
    {
        server.route(rootPath(), HttpReply::text("<a href=\"3.4/\">3.4/</a>", 200, "text/html"));
        server.route(rootPath() + "3.4/STABLE/index.json", HttpReply::json(index));
    }

    QString savePath(const QString& name) { return work.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &handOver, "open");
        trusted = zrtest::TlsIdentity::generateSelfSigned(&tlsProblem);
        if (!trusted.isNull()) {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.addCaCertificates(QSslCertificate::fromData(trusted.certificatePem));
            QSslConfiguration::setDefaultConfiguration(configuration);
        }
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init() { handOver.opened.clear(); }

    // ------------------------------------------------------------ discovery and decision

    void decision_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QByteArray>("stable");  // empty: 404
        QTest::addColumn<QByteArray>("testing"); // empty: 404
        QTest::addColumn<QString>("outcome");    // "update <remote> <package file>", "none" or "failed <text>"
        QTest::addColumn<QStringList>("indexes");

        const QByteArray listing = "<a href=\"3.3/\">3.3/</a> <a href=\"3.4/\">3.4/</a> <a href=\"3.5/\">3.5/</a>";
        const QByteArray same = json("[{'name':'ZRPlayer-3.4.4-setup.exe','url':'@/pkg/ZRPlayer-3.4.4-setup.exe','arch':'%ARCH%'}]");
        const QByteArray newer = json("[{'name':'ZRPlayer-3.4.5.zip','url':'@/pkg/ZRPlayer-3.4.5.zip','arch':'%ARCH%'},"
                                      "{'name':'ZRPlayer-3.4.5-setup.exe','url':'@/pkg/ZRPlayer-3.4.5-setup.exe','arch':'%ARCH%'}]");
        const QStringList stableOnly{"3.4/STABLE/index.json"};
        const QStringList both{"3.4/STABLE/index.json", "3.4/TESTING/index.json"};

        QTest::newRow("same version: none") << "3.4.4" << listing << same << QByteArray() << "none" << stableOnly;
        QTest::newRow("newer: installer over archive")
            << "3.4.4" << listing << newer << QByteArray() << "update 3.4.5 ZRPlayer-3.4.5-setup.exe" << stableOnly;
        QTest::newRow("older track chosen")
            << "3.4.4" << QByteArray("<a href='3.2/'>x</a><a href='3.3/'>y</a><a href='3.5/'>z</a>") << newer
            << QByteArray() << "update 3.4.5 ZRPlayer-3.4.5-setup.exe" << QStringList{"3.3/STABLE/index.json"};
        QTest::newRow("newest entry for another platform, own package not newer")
            << "3.4.4" << listing
            << json("[{'name':'ZRPlayer-3.6.0.tar.gz','url':'@/pkg/l.tgz','arch':'FreeBSD/64'},"
                    "{'name':'ZRPlayer-3.4.4-setup.exe','url':'@/pkg/w.exe','arch':'%ARCH%'}]")
            << QByteArray() << "none" << stableOnly;
        QTest::newRow("newest entry for another platform, own package newer")
            << "3.4.4" << listing
            << json("[{'name':'ZRPlayer-3.6.0.tar.gz','url':'@/pkg/l.tgz','arch':'FreeBSD/64'},"
                    "{'name':'ZRPlayer-3.4.6-setup.exe','url':'@/pkg/w.exe','arch':'%ARCH%'}]")
            << QByteArray() << "update 3.4.6 w.exe" << stableOnly;
        QTest::newRow("no package for this platform")
            << "3.4.4" << listing << json("[{'name':'ZRPlayer-3.9.0.dmg','url':'@/pkg/m.dmg','arch':'macOS'}]")
            << QByteArray() << "failed Aucun binaire compatible pour cette plateforme." << stableOnly;
        QTest::newRow("index is not JSON") << "3.4.4" << listing << QByteArray("<html>oops</html>") << QByteArray()
                                           << "failed JSON vide ou invalide (aucun asset)." << stableOnly;
        QTest::newRow("index missing") << "3.4.4" << listing << QByteArray() << QByteArray() << "failed" << stableOnly;
        QTest::newRow("test build: released build of its own version")
            << "3.4.4.DEV202601010000" << listing << same << QByteArray()
            << "update 3.4.4 ZRPlayer-3.4.4-setup.exe" << stableOnly;
        QTest::newRow("test build: TESTING has a later build")
            << "3.4.4.DEV202601010000" << listing
            << json("[{'name':'ZRPlayer-3.4.3-setup.exe','url':'@/pkg/a.exe','arch':'%ARCH%'}]")
            << json("[{'name':'ZRPlayer-3.4.4.DEV202612010000-setup.exe','url':'@/pkg/b.exe','arch':'%ARCH%'}]")
            << "update 3.4.4 b.exe" << both;
        QTest::newRow("test build: TESTING has an earlier build")
            << "3.4.4.DEV202601010000" << listing
            << json("[{'name':'ZRPlayer-3.4.3-setup.exe','url':'@/pkg/a.exe','arch':'%ARCH%'}]")
            << json("[{'name':'ZRPlayer-3.4.4.DEV202512010000-setup.exe','url':'@/pkg/b.exe','arch':'%ARCH%'}]")
            << "none" << both;
        QTest::newRow("test build: STABLE missing, TESTING answers")
            << "3.4.4.DEV202601010000" << listing << QByteArray()
            << json("[{'name':'ZRPlayer-3.4.5.DEV202602010000-setup.exe','url':'@/pkg/b.exe','arch':'%ARCH%'}]")
            << "update 3.4.5 b.exe" << both;
        QTest::newRow("test build: both unusable")
            << "3.4.4.DEV202601010000" << listing << QByteArray("garbage") << QByteArray("[]")
            << "failed JSON vide ou invalide (aucun asset)." << both;
    }
    void decision()
    {
        QFETCH(QString, version);
        QFETCH(QByteArray, listing);
        QFETCH(QByteArray, stable);
        QFETCH(QByteArray, testing);
        QFETCH(QString, outcome);
        QFETCH(QStringList, indexes);

        HttpServer server;
        const QByteArray base = server.baseUrl().toUtf8();
        server.route(rootPath(), HttpReply::text(listing, 200, "text/html"));
        for (const QByteArray& track : {QByteArray("3.3"), QByteArray("3.4")}) {
            if (!stable.isEmpty())
                server.route(rootPath() + track + "/STABLE/index.json", HttpReply::json(QByteArray(stable).replace('@', base)));
            if (!testing.isEmpty())
                server.route(rootPath() + track + "/TESTING/index.json", HttpReply::json(QByteArray(testing).replace('@', base)));
        }
        if (QTest::currentDataTag() == QLatin1String("older track chosen"))
            server.route(rootPath() + "3.4/STABLE/index.json", HttpReply::text("wrong track", 500));

        ScriptedAnswers answers; // declines
        auto updater = makeUpdater(server, answers, version);
        QSignalSpy started(updater.get(), &DownloadBinary::updateCheckStarted);
        QSignalSpy offered(updater.get(), &DownloadBinary::updateAvailable);
        zrtest::LogCatcher log;
        const Run r = run(*updater);

        QVERIFY(r.result);
        QCOMPARE(indexPathsRequested(server), indexes);
        QCOMPARE(started.count(), 1 + indexes.size());
        QCOMPARE(started.first().first().toUrl(), QUrl(server.url(QString::fromUtf8(rootPath()))));
        for (const zrtest::HttpRequest& req : server.requests())
            QCOMPARE(req.headers.value("user-agent"), QByteArray("AutoUpdate/") + version.toUtf8());
        QCOMPARE(requestsFor(server, "/pkg/"), 0); // declined: nothing downloaded

        const QStringList words = outcome.split(QLatin1Char(' '));
        if (words.first() == QLatin1String("update")) {
            QCOMPARE(offered.count(), 1);
            QCOMPARE(offered.first().at(0).value<QVersionNumber>(), DownloadBinary::versionFromText(version));
            QCOMPARE(offered.first().at(1).value<QVersionNumber>().toString(), words.at(1));
            QCOMPARE(offered.first().at(3).toUrl(), QUrl(server.url("/pkg/" + words.at(2))));
            QCOMPARE(answers.questions, 1);
            QVERIFY(Http_singleton::instance()->update_check_ok_value());
            QVERIFY(!log.contains(QStringLiteral("no update available")));
        } else if (words.first() == QLatin1String("none")) {
            QCOMPARE(offered.count(), 0);
            QVERIFY(r.checkFailed.isEmpty());
            QCOMPARE(answers.questions, 0);
            QCOMPARE(log.count(QStringLiteral("[INFO] Auto Update :: no update available")), 2);
            QVERIFY(Http_singleton::instance()->update_check_ok_value());
        } else {
            QCOMPARE(offered.count(), 0);
            QCOMPARE(r.checkFailed.size(), 1);
            const QString text = words.mid(1).join(QLatin1Char(' '));
            if (!text.isEmpty())
                QCOMPARE(r.checkFailed.first(), text);
            QCOMPARE(answers.questions, 0);
            QVERIFY(log.contains(QStringLiteral("[WARN] Auto Update :: failed to get update")));
            QVERIFY(!Http_singleton::instance()->update_check_ok_value());
        }
    }

    void offline_data()
    {
        QTest::addColumn<QString>("address");
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        QTest::newRow("connection refused") << QStringLiteral("http://127.0.0.1:%1/zrapps/").arg(port);
        QTest::newRow("unknown host") << QStringLiteral("https://apps.zrnova.invalid/zrapps/");
        QTest::newRow("not a web address") << QStringLiteral("file:///etc/zrapps/");
        QTest::newRow("empty address") << QString();
    }
    void offline()
    {
        QFETCH(QString, address);
        ScriptedAnswers answers;
        DownloadBinary updater(QStringLiteral("3.4.4"), nullptr, nullptr);
        updater.set_apps_url(address);
        updater.set_interaction(&answers);
        zrtest::LogCatcher log;
        Http_singleton::instance()->set_update_check_ok(true);
        QElapsedTimer clock;
        clock.start();
        const Run r = run(updater);
        // Far below the 15 s request time-out: nothing waits for an answer that cannot come.
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(r.result);
        QCOMPARE(r.checkFailed.size(), 1);
        QCOMPARE(answers.questions, 0);
        const QStringList texts = log.texts();
        const QStringList expected{QStringLiteral("[WARN] Auto Update :: check failed :: ") + r.checkFailed.first(),
                                   QStringLiteral("[INFO] Auto Update :: no update available"),
                                   QStringLiteral("[WARN] Auto Update :: failed to get update")};
        QCOMPARE(texts.filter(QStringLiteral("Auto Update")), expected);
        QVERIFY(!Http_singleton::instance()->update_check_ok_value());
    }

    // ------------------------------------------------------------ the question

    void question_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<QByteArray>("changelog");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("details");

        const QString digest = QStringLiteral("AB:CD:EF");
        QTest::newRow("release with notes and digest")
            << "3.4.4"
            << json("[{'name':'CHANGELOG.md','url':'@/notes'},"
                    "{'name':'ZRPlayer-3.4.5.DEV202612011230-setup.exe','url':'@/pkg/p.exe','arch':'%ARCH%',"
                    "'size':1536,'sha256':'AB:CD:EF'}]")
            << QByteArray("Nouveautés\n- lecture plus rapide")
            << QString::fromUtf8("Version actuelle : 3.4.4\nVersion disponible : 3.4.5 (STABLE,  2026-12-01 12:30)\n"
                                 "Fichier : ZRPlayer-3.4.5.DEV202612011230-setup.exe\nTaille : 1.50 Ko\nPlateforme : ") + zrplatform::release_asset_arch()
            << QString::fromUtf8("Nouveautés\n- lecture plus rapide\nSHA-256 : ") + digest;
        QTest::newRow("test build, unknown size, no notes, no digest")
            << "3.4.4.DEV202601010000"
            << json("[{'name':'ZRPlayer-3.4.4-setup.exe','url':'@/pkg/p.exe','arch':'%arch%'}]") << QByteArray()
            << QString::fromUtf8("Version actuelle : 3.4.4 (TESTING, 2026-01-01 00:00)\nVersion disponible : 3.4.4 (STABLE)\n"
                                 "Fichier : ZRPlayer-3.4.4-setup.exe\nTaille : inconnue\nPlateforme : ") + zrplatform::release_asset_arch().toLower()
            << QString();
        QTest::newRow("long notes are cut")
            << "3.4.4"
            << json("[{'type':'changelog','url':'@/notes'},"
                    "{'name':'','url':'@/pkg/ZRPlayer-3.5.0.exe','id':'zrplayer-3.5.0','arch':'%ARCH%','size':1048576,'sha256':'ff'}]")
            << QByteArray(20000, 'x')
            << QString::fromUtf8("Version actuelle : 3.4.4\nVersion disponible : 3.5.0 (STABLE)\n"
                                 "Fichier : ZRPlayer-3.5.0.exe\nTaille : 1.00 Mo\nPlateforme : ") + zrplatform::release_asset_arch()
            << QString(12000, QLatin1Char('x')) + QLatin1Char('\n') + QChar(0x2026) + QStringLiteral("\nSHA-256 : ff");
    }
    void question()
    {
        QFETCH(QString, version);
        QFETCH(QByteArray, index);
        QFETCH(QByteArray, changelog);
        HttpServer server;
        serveRelease(server, index.replace('@', server.baseUrl().toUtf8()));
        if (!changelog.isEmpty())
            server.route("/notes", HttpReply::text(changelog));
        ScriptedAnswers answers;
        auto updater = makeUpdater(server, answers, version);
        const Run r = run(*updater);

        QVERIFY(r.result); // declined
        QCOMPARE(answers.questions, 1);
        QCOMPARE(answers.title, QStringLiteral("Mise à jour disponible"));
        QTEST(answers.text, "text");
        QCOMPARE(answers.informative, QStringLiteral("Télécharger et installer maintenant ?"));
        QTEST(answers.details, "details");
        QCOMPARE(answers.icon, QMessageBox::Question);
        QCOMPARE(answers.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(answers.saveAsks, 0);
        QCOMPARE(requestsFor(server, "/pkg/"), 0);
    }

    // The real question box, answered like an operator closing it.
    void realQuestionBoxClosed()
    {
        HttpServer server;
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5.exe", server.url("/pkg/ZRPlayer-3.4.5.exe"), "aa"));
        DownloadBinary updater(QStringLiteral("3.4.4"), nullptr, nullptr);
        updater.set_apps_url(server.url(QStringLiteral("/zrapps/")));
        QString seen;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen = box->text();
                box->reject();
            }
        });
        closer.start(20);
        QVERIFY(updater.check_update(true));
        QVERIFY(seen.startsWith(QStringLiteral("Version actuelle : 3.4.4\nVersion disponible : 3.4.5 (STABLE)")));
        QCOMPARE(requestsFor(server, "/pkg/"), 0);
    }

    // ------------------------------------------------------------ the download

    void download_data()
    {
        QTest::addColumn<QString>("digestForm"); // lower, upper-colons, spaced
        QTest::addColumn<bool>("withLength");
        QTest::newRow("length, lower-case digest") << "lower" << true;
        QTest::newRow("no length, upper case with colons") << "upper-colons" << false;
        QTest::newRow("length, blanks in digest") << "spaced" << true;
    }
    void download()
    {
        QFETCH(QString, digestForm);
        QFETCH(bool, withLength);
        const QByteArray body = packageBytes(300000);
        QString digest = sha256Hex(body);
        if (digestForm != QLatin1String("lower")) {
            QStringList pairs;
            for (int i = 0; i < digest.size(); i += 2)
                pairs << digest.mid(i, 2);
            digest = digestForm == QLatin1String("spaced") ? pairs.join(QLatin1Char(' '))
                                                           : pairs.join(QLatin1Char(':')).toUpper();
        }
        HttpServer server;
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5-setup.exe", server.url("/pkg/ZRPlayer-3.4.5-setup.exe"), digest));
        HttpReply package;
        package.body = body;
        package.sendContentLength = withLength;
        package.chunkSize = 65536;
        package.chunkIntervalMs = 5;
        server.route("/pkg/ZRPlayer-3.4.5-setup.exe", package);

        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes;
        answers.savePath = savePath(QStringLiteral("ok-") + digestForm + QStringLiteral(".exe"));
        auto updater = makeUpdater(server, answers);
        QSignalSpy started(updater.get(), &DownloadBinary::downloadStarted);
        QSignalSpy progress(updater.get(), &DownloadBinary::downloadProgress);
        const Run r = run(*updater);

        QVERIFY(!r.result); // downloaded and handed over: no window
        QCOMPARE(r.finished, 1);
        QCOMPARE(r.launched, 1);
        QVERIFY(r.downloadFailed.isEmpty());
        QVERIFY(r.mismatches.isEmpty());
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.first().at(1).toString(), answers.savePath);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toLongLong(), qlonglong(body.size()));
        QFile saved(answers.savePath);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), body);
        QCOMPARE(handOver.opened, QList<QUrl>{QUrl::fromLocalFile(answers.savePath)});
        QCOMPARE(answers.saveAsks, 1);
        QCOMPARE(answers.caption, QStringLiteral("Enregistrer la mise à jour"));
        QCOMPARE(answers.filter, QStringLiteral("Fichier (*.exe)"));
        QCOMPARE(answers.progressTitle, QStringLiteral("Téléchargement de la mise à jour"));
        QCOMPARE(answers.progressLabel, QStringLiteral("Téléchargement du paquet\nFichier : ZRPlayer-3.4.5-setup.exe"));
        QVERIFY(zrtest::waitUntil([&] { return answers.progress.isNull(); })); // closed and released
        const QList<zrtest::HttpRequest> requests = server.requests();
        QCOMPARE(requests.last().headers.value("user-agent"), QByteArray("AutoUpdate/3.4.4"));
    }

    // A bad package never replaces a file of that name and never stays behind.
    void digestMismatch()
    {
        HttpServer server;
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5.exe", server.url("/pkg/ZRPlayer-3.4.5.exe"),
                                           sha256Hex("something else")));
        server.route("/pkg/ZRPlayer-3.4.5.exe", HttpReply::text("tampered installer", 200, "application/octet-stream"));
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("ZRPlayer-3.4.5.exe"));
        {
            QFile previous(target);
            QVERIFY(previous.open(QIODevice::WriteOnly));
            previous.write("previous installer");
        }
        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes;
        answers.savePath = target;
        auto updater = makeUpdater(server, answers);
        zrtest::LogCatcher log;
        const Run r = run(*updater);

        QVERIFY(r.result); // start-up goes on
        QCOMPARE(r.mismatches.size(), 1);
        QCOMPARE(r.mismatches.first().at(0), sha256Hex("something else"));
        QCOMPARE(r.mismatches.first().at(1), sha256Hex("tampered installer"));
        QCOMPARE(r.finished, 0);
        QVERIFY(handOver.opened.isEmpty());
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("previous installer"));
        QCOMPARE(filesIn(folder.path()), QStringList{"ZRPlayer-3.4.5.exe"});
        QVERIFY(log.contains(QStringLiteral("[WARN] Auto Update :: package digest mismatch :: expected ")));
    }

    void downloadFails_data()
    {
        QTest::addColumn<QString>("packagePath"); // "" : URL given as is in "url"
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("digest");      // "ok": the right one
        QTest::addColumn<QString>("reply");       // 404, stall, slow, redirect-file, none
        QTest::addColumn<QString>("save");        // ok, cancel, bad-folder
        QTest::addColumn<QString>("error");       // expected downloadFailed text ("*": any)
        QTest::addColumn<bool>("fetched");        // the package was requested
        QTest::newRow("404") << "/pkg/a.exe" << "" << "ok" << "404" << "ok" << "*" << true;
        QTest::newRow("stalled server, time-out") << "/pkg/a.exe" << "" << "ok" << "stall" << "ok" << "*" << true;
        QTest::newRow("cancelled in the progress dialog")
            << "/pkg/a.exe" << "" << "ok" << "slow-cancel" << "ok" << QString::fromUtf8("Téléchargement annulé.") << true;
        QTest::newRow("save dialog cancelled")
            << "/pkg/a.exe" << "" << "ok" << "none" << "cancel" << QString::fromUtf8("Opération annulée par l’utilisateur.")
            << false;
        QTest::newRow("target folder missing")
            << "/pkg/a.exe" << "" << "ok" << "none" << "bad-folder"
            << QString::fromUtf8("Impossible d’ouvrir le fichier destination.") << false;
        QTest::newRow("plain http without digest") << "/pkg/a.exe" << "" << "" << "none" << "ok"
                                                   << QString::fromUtf8("Paquet sans empreinte SHA-256 sur une connexion non chiffrée.")
                                                   << false;
        QTest::newRow("file address") << "" << "file:///etc/hostname" << "ok" << "none" << "ok" << "*" << false;
        QTest::newRow("data address") << "" << "data:application/octet-stream;base64,TVqQ" << "ok" << "none" << "ok"
                                      << "*" << false;
        QTest::newRow("relative address") << "" << "pkg/a.exe" << "ok" << "none" << "ok" << "*" << false;
        QTest::newRow("redirect to a file address")
            << "/pkg/a.exe" << "" << "ok" << "redirect-file" << "ok" << "*" << true;
    }
    void downloadFails()
    {
        QFETCH(QString, packagePath);
        QFETCH(QString, url);
        QFETCH(QString, digest);
        QFETCH(QString, reply);
        QFETCH(QString, save);
        QFETCH(QString, error);
        QFETCH(bool, fetched);
        const QByteArray body = packageBytes(200000);
        HttpServer server;
        const QString packageUrl = packagePath.isEmpty() ? url : server.url(packagePath);
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5.exe", packageUrl, digest == "ok" ? sha256Hex(body) : digest));
        HttpReply package;
        if (reply == QLatin1String("404")) {
            package = HttpReply::text("no such package", 404);
        } else if (reply == QLatin1String("stall")) {
            package.stall = true;
        } else if (reply == QLatin1String("slow-cancel")) {
            package.body = body;
            package.chunkSize = 1000;
            package.chunkIntervalMs = 50;
        } else if (reply == QLatin1String("redirect-file")) {
            package = HttpReply::redirect("file:///etc/hostname");
        } else {
            package.body = body;
        }
        if (!packagePath.isEmpty())
            server.route(packagePath.toUtf8(), package);

        QTemporaryDir folder;
        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes;
        if (save == QLatin1String("ok"))
            answers.savePath = folder.filePath(QStringLiteral("a.exe"));
        else if (save == QLatin1String("bad-folder"))
            answers.savePath = folder.filePath(QStringLiteral("missing/a.exe"));
        if (reply == QLatin1String("slow-cancel"))
            answers.cancelProgressAfterMs = 150;
        auto updater = makeUpdater(server, answers);
        updater->set_timeouts(5000, 400);
        const Run r = run(*updater);

        QVERIFY(r.result);
        QCOMPARE(r.available, 1);
        QCOMPARE(r.finished, 0);
        QVERIFY(!r.downloadFailed.isEmpty());
        if (error != QLatin1String("*"))
            QCOMPARE(r.downloadFailed.first(), error);
        QCOMPARE(requestsFor(server, "/pkg/") > 0, fetched);
        QVERIFY(filesIn(folder.path()).isEmpty()); // nothing written, no temporary left
        QVERIFY(handOver.opened.isEmpty());
        QVERIFY(zrtest::waitUntil([&] { return answers.progress.isNull(); }));
    }

    void proposedName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filter");
        QTest::newRow("plain") << "/pkg/ZRPlayer-3.4.5.exe" << "ZRPlayer-3.4.5.exe" << "Fichier (*.exe)";
        QTest::newRow("no file name") << "/pkg/" << "update.bin" << "Fichier (*.bin)";
        QTest::newRow("encoded backslashes") << "/pkg/..%5C..%5CWindows%5Cevil.exe" << "evil.exe" << "Fichier (*.exe)";
        QTest::newRow("encoded dots") << "/pkg/%2E%2E" << "update.bin" << "Fichier (*.bin)";
        QTest::newRow("encoded slash and drive") << "/pkg/C%3A..%2Fevil.zip" << "evil.zip" << "Fichier (*.zip)";
    }
    void proposedName()
    {
        QFETCH(QString, path);
        HttpServer server;
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5.exe", server.baseUrl() + path, "aa"));
        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes; // the save dialog is then cancelled
        auto updater = makeUpdater(server, answers);
        const Run r = run(*updater);
        QVERIFY(r.result);
        QCOMPARE(answers.saveAsks, 1);
        const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        QTEST(QFileInfo(answers.proposed).fileName(), "name");
        QCOMPARE(QFileInfo(answers.proposed).absolutePath(), QDir(downloads).absolutePath());
        QTEST(answers.filter, "filter");
    }

    void progressLine_data()
    {
        QTest::addColumn<bool>("withLength");
        QTest::newRow("size known") << true;
        QTest::newRow("size unknown") << false;
    }
    void progressLine()
    {
        QFETCH(bool, withLength);
        const QByteArray body = packageBytes(24 * 1024);
        HttpServer server;
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5.exe", server.url("/pkg/ZRPlayer-3.4.5.exe"), sha256Hex(body)));
        HttpReply package;
        package.body = body;
        package.sendContentLength = withLength;
        package.chunkSize = 4096;
        package.chunkIntervalMs = 150;
        server.route("/pkg/ZRPlayer-3.4.5.exe", package);
        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes;
        answers.savePath = savePath(withLength ? QStringLiteral("p1.exe") : QStringLiteral("p2.exe"));
        auto updater = makeUpdater(server, answers);
        QStringList labels;
        QList<int> maxima;
        connect(updater.get(), &DownloadBinary::downloadProgress, this, [&](qlonglong received, qlonglong) {
            if (answers.progress && received > 0) {
                labels << answers.progress->labelText();
                maxima << answers.progress->maximum();
            }
        });
        const Run r = run(*updater);
        QVERIFY(!r.result);

        QVERIFY(!labels.isEmpty());
        // Without a size the bar is a busy indicator until the end tells the size.
        if (withLength)
            QCOMPARE(maxima.count(100), maxima.size());
        else
            QCOMPARE(maxima.first(), 0);
        const QRegularExpression full(QString::fromUtf8(
            "^Téléchargement du paquet\nReçu : [0-9.]+ Ko / 24.0 Ko  ·  Débit : [0-9.]+ (octets|Ko)/s  ·  Restant : 0:0[0-9]$"));
        const QRegularExpression partial(QString::fromUtf8(
            "^Téléchargement du paquet\nReçu : [0-9.]+ Ko  ·  Débit : [0-9.]+ (octets|Ko)/s$"));
        int sampled = 0;
        for (int i = 0; i < labels.size(); ++i) {
            // Between samples only the bar moves; the first lines still name the file.
            if (labels.at(i).startsWith(QString::fromUtf8("Téléchargement du paquet\nFichier : ZRPlayer-3.4.5.exe")))
                continue;
            const bool isFull = full.match(labels.at(i)).hasMatch();
            QVERIFY2(isFull || (!withLength && partial.match(labels.at(i)).hasMatch()), qPrintable(labels.at(i)));
            sampled += withLength == isFull ? 1 : 0;
        }
        QVERIFY(sampled >= 2);
    }

    // A package that nobody can open must not end the program without a window.
    void handOverFails()
    {
        const QByteArray body = packageBytes(1000);
        HttpServer server;
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5.exe", server.url("/pkg/ZRPlayer-3.4.5.exe"), sha256Hex(body)));
        server.route("/pkg/ZRPlayer-3.4.5.exe", HttpReply::text(body, 200, "application/octet-stream"));
        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes;
        answers.savePath = savePath(QStringLiteral("not-opened.exe"));
        auto updater = makeUpdater(server, answers);
        zrtest::LogCatcher log;
        // A handler without the slot makes QDesktopServices::openUrl fail.
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &handOver, "noSuchSlot");
        const Run r = run(*updater);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &handOver, "open");

        QVERIFY(r.result);
        QCOMPARE(r.finished, 1);
        QCOMPARE(r.launchFailed, 1);
        QCOMPARE(r.launched, 0);
        QVERIFY(QFile::exists(answers.savePath)); // verified package stays for the operator
        QVERIFY(log.contains(QString::fromUtf8("[WARN] Auto Update :: installer not opened :: Impossible d’ouvrir le fichier téléchargé.")));
    }

    // Without the question, and with the application quitting 100 ms after the hand-over.
    void quitsAfterHandOver()
    {
        const QByteArray body = packageBytes(4000);
        HttpServer server;
        serveRelease(server, oneAssetIndex("ZRPlayer-3.4.5.exe", server.url("/pkg/ZRPlayer-3.4.5.exe"), sha256Hex(body)));
        server.route("/pkg/ZRPlayer-3.4.5.exe", HttpReply::text(body, 200, "application/octet-stream"));
        ScriptedAnswers answers;
        answers.savePath = savePath(QStringLiteral("quit.exe"));
        auto updater = makeUpdater(server, answers);
        updater->set_quit_after_install(true);

        bool result = true;
        bool checked = false;
        QElapsedTimer sinceHandOver;
        connect(updater.get(), &DownloadBinary::installerLaunched, this, [&] { sinceHandOver.start(); });
        QTimer::singleShot(0, this, [&] {
            result = updater->check_update(false);
            checked = true;
        });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(2); });
        guard.start(10000);
        const int code = QCoreApplication::exec(); // ended by the updater's quit
        guard.stop();

        QCOMPARE(code, 0);
        QVERIFY(checked);
        QVERIFY(!result);
        QCOMPARE(answers.questions, 0);
        QCOMPARE(answers.saveAsks, 1);
        QVERIFY(sinceHandOver.isValid());
        QVERIFY(sinceHandOver.elapsed() >= 90);
        QCOMPARE(handOver.opened, QList<QUrl>{QUrl::fromLocalFile(answers.savePath)});
    }

    // ------------------------------------------------------------ limits

    // However slowly a server trickles its bytes (each one well inside the transfer
    // time-out), the check ends at its deadline and start-up goes on.
    void trickleEndsAtDeadline_data()
    {
        QTest::addColumn<QString>("slow");
        QTest::newRow("listing") << "listing";
        QTest::newRow("index") << "index";
        QTest::newRow("release notes") << "notes";
    }
    void trickleEndsAtDeadline()
    {
        QFETCH(QString, slow);
        HttpServer server;
        const QByteArray index = json("[{'name':'CHANGELOG.md','url':'@/notes'},"
                                      "{'name':'ZRPlayer-3.4.5-setup.exe','url':'@/pkg/p.exe','arch':'%ARCH%','sha256':'aa'}]")
                                     .replace('@', server.baseUrl().toUtf8());
        serveRelease(server, index);
        server.route("/notes", HttpReply::text("Nouveautés"));
        // One byte every 20 ms: the whole body would take 20 s.
        HttpReply trickle;
        trickle.chunkSize = 1;
        trickle.chunkIntervalMs = 20;
        if (slow == QLatin1String("listing")) {
            trickle.body = "<a href=\"3.4/\">3.4/</a>" + QByteArray(1000, ' ');
            server.route(rootPath(), trickle);
        } else if (slow == QLatin1String("index")) {
            trickle.body = index + QByteArray(1000, ' ');
            server.route(rootPath() + "3.4/STABLE/index.json", trickle);
        } else {
            trickle.body = QByteArray(1000, 'n');
            server.route("/notes", trickle);
        }
        ScriptedAnswers answers; // declines
        auto updater = makeUpdater(server, answers);
        updater->set_timeouts(3000, 3000);
        updater->set_check_deadline(1500);
        zrtest::LogCatcher log;
        QElapsedTimer clock;
        clock.start();
        const Run r = run(*updater);
        const qint64 took = clock.elapsed();

        QVERIFY(r.result);
        QVERIFY2(took >= 1400 && took < 10000, qPrintable(QString::number(took)));
        if (slow == QLatin1String("notes")) {
            // The question still comes, without the notes that did not arrive in time.
            QCOMPARE(r.available, 1);
            QCOMPARE(answers.questions, 1);
            QCOMPARE(answers.details, QStringLiteral("SHA-256 : aa"));
        } else {
            QCOMPARE(r.checkFailed,
                     QStringList{QString::fromUtf8("Délai dépassé : vérification des mises à jour interrompue.")});
            QCOMPARE(answers.questions, 0);
            QVERIFY(log.contains(QStringLiteral("[WARN] Auto Update :: failed to get update")));
            QVERIFY(!Http_singleton::instance()->update_check_ok_value());
        }
    }

    // Listing, index and notes are read up to a cap, whether the size is declared or not.
    void oversizedBodies_data()
    {
        QTest::addColumn<QString>("big");
        QTest::addColumn<bool>("declared");
        for (const char* big : {"listing", "index", "notes"}) {
            QTest::addRow("%s, size declared", big) << QString::fromLatin1(big) << true;
            QTest::addRow("%s, size not declared", big) << QString::fromLatin1(big) << false;
        }
    }
    void oversizedBodies()
    {
        QFETCH(QString, big);
        QFETCH(bool, declared);
        HttpServer server;
        const QByteArray index = json("[{'name':'CHANGELOG.md','url':'@/notes'},"
                                      "{'name':'ZRPlayer-3.4.5-setup.exe','url':'@/pkg/p.exe','arch':'%ARCH%','sha256':'aa'}]")
                                     .replace('@', server.baseUrl().toUtf8());
        serveRelease(server, index);
        server.route("/notes", HttpReply::text("Nouveautés"));
        // Still well-formed: only the size is wrong.
        const QByteArray padding(DownloadBinary::kBodyLimit + 1, ' ');
        HttpReply huge;
        huge.sendContentLength = declared;
        if (big == QLatin1String("listing")) {
            huge.body = "<a href=\"3.4/\">3.4/</a>" + padding;
            server.route(rootPath(), huge);
        } else if (big == QLatin1String("index")) {
            huge.body = index + padding;
            server.route(rootPath() + "3.4/STABLE/index.json", huge);
        } else {
            huge.body = "Nouveautés" + padding;
            server.route("/notes", huge);
        }
        ScriptedAnswers answers; // declines
        auto updater = makeUpdater(server, answers);
        const Run r = run(*updater);

        QVERIFY(r.result);
        QCOMPARE(DownloadBinary::formatSize(DownloadBinary::kBodyLimit), QStringLiteral("4.00 Mo"));
        if (big == QLatin1String("notes")) {
            QCOMPARE(answers.questions, 1);
            QCOMPARE(answers.details, QStringLiteral("SHA-256 : aa"));
        } else {
            QCOMPARE(r.checkFailed, QStringList{QString::fromUtf8("Réponse trop volumineuse (plus de 4.00 Mo).")});
            QCOMPARE(answers.questions, 0);
        }
    }

    // ------------------------------------------------------------ TLS

    void untrustedCertificate_data()
    {
        QTest::addColumn<bool>("packageOnly");
        QTest::newRow("release server") << false;
        QTest::newRow("package server") << true;
    }
    void untrustedCertificate()
    {
        QFETCH(bool, packageOnly);
        QString problem;
        const zrtest::TlsIdentity stranger = zrtest::TlsIdentity::generateSelfSigned(&problem);
        if (stranger.isNull())
            QSKIP(qPrintable(problem));
        const QByteArray body = packageBytes(5000);
        HttpServer secure(HttpServer::Handler(), stranger);
        QVERIFY(secure.port() != 0);
        HttpServer plain;
        HttpServer& release = packageOnly ? plain : secure;
        serveRelease(release, oneAssetIndex("ZRPlayer-3.4.5.exe", secure.url("/pkg/ZRPlayer-3.4.5.exe"), sha256Hex(body)));
        secure.route("/pkg/ZRPlayer-3.4.5.exe", HttpReply::text(body, 200, "application/octet-stream"));

        QTemporaryDir folder;
        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes;
        answers.savePath = folder.filePath(QStringLiteral("p.exe"));
        auto updater = makeUpdater(release, answers);
        const Run r = run(*updater);

        QVERIFY(r.result);
        QCOMPARE(r.finished, 0);
        QCOMPARE(r.available, packageOnly ? 1 : 0);
        const QStringList reported = packageOnly ? r.downloadFailed : r.checkFailed;
        QVERIFY2(!reported.filter(QStringLiteral("Erreur SSL: ")).isEmpty(), qPrintable(reported.join(" | ")));
        QCOMPARE(requestsFor(secure, "/"), 0); // nothing was sent over the untrusted link
        QVERIFY(filesIn(folder.path()).isEmpty());
        QVERIFY(handOver.opened.isEmpty());
    }

    // https may redirect to https, never down to plain http.
    void redirectDowngrade_data()
    {
        QTest::addColumn<bool>("toPlain");
        QTest::newRow("https to http refused") << true;
        QTest::newRow("https to https followed") << false;
    }
    void redirectDowngrade()
    {
        QFETCH(bool, toPlain);
        if (trusted.isNull())
            QSKIP(qPrintable(tlsProblem));
        const QByteArray body = packageBytes(5000);
        HttpServer secure(HttpServer::Handler(), trusted);
        QVERIFY(secure.port() != 0);
        HttpServer plain;
        serveRelease(secure, oneAssetIndex("ZRPlayer-3.4.5.exe", secure.url("/pkg/ZRPlayer-3.4.5.exe"), sha256Hex(body)));
        const QString target = toPlain ? plain.url("/pkg/final.exe") : secure.url("/pkg/final.exe");
        secure.route("/pkg/ZRPlayer-3.4.5.exe", HttpReply::redirect(target.toUtf8()));
        secure.route("/pkg/final.exe", HttpReply::text(body, 200, "application/octet-stream"));
        plain.route("/pkg/final.exe", HttpReply::text(body, 200, "application/octet-stream"));

        QTemporaryDir folder;
        ScriptedAnswers answers;
        answers.answer = QMessageBox::Yes;
        answers.savePath = folder.filePath(QStringLiteral("p.exe"));
        auto updater = makeUpdater(secure, answers);
        const Run r = run(*updater);
        QCOMPARE(r.available, 1); // the release check itself ran over TLS
        QCOMPARE(requestsFor(secure, "/pkg/ZRPlayer-3.4.5.exe"), 1);
        QCOMPARE(r.result, toPlain);
        if (toPlain) {
            QCOMPARE(r.downloadFailed.size(), 1);
            QCOMPARE(plain.requestCount(), 0);
            QVERIFY(filesIn(folder.path()).isEmpty());
            QVERIFY(handOver.opened.isEmpty());
        } else {
            QCOMPARE(requestsFor(secure, "/pkg/final.exe"), 1);
            QCOMPARE(handOver.opened, QList<QUrl>{QUrl::fromLocalFile(answers.savePath)});
        }
    }
};

ZR_TEST_MAIN_GUI(TestUpdateCheck)
#include "tst_update_check.moc"

//! labels: net gui
// The URL download row against a local HTTP server: a file arriving in pieces with its
// progress line, a 404, a connection dropped mid-body, an error page, an error object, a stop
// and a retry. The data go to "<name>.part" and take the file's name only when complete: a
// file already there survives every failure. The free download path in the download folder.
#include "export/DownloadItem_Presentation.h"
#include "export/Download_presentation.h"
#include "export/SqueezeLabel.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace zrtest;

namespace {

QByteArray body(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 251) & 0xff);
    return b;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

HttpReply file(const QByteArray& data)
{
    HttpReply r;
    r.headers << qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream"));
    r.body = data;
    return r;
}

} // namespace

class TestUrlDownloadRow : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    HttpServer server;
    QNetworkAccessManager manager;
    const QByteArray payload = body(300000);
    const QByteArray old = "the file that was there before";

    // A row for path that downloads urlPath; the old file is put in place first.
    std::unique_ptr<DownloadItem_Presentation> row(const QString& name, const QString& urlPath)
    {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(old);
        auto r = std::make_unique<DownloadItem_Presentation>(nullptr, path);
        r->set_url(server.url(urlPath));
        r->set_manager(&manager);
        return r;
    }
    static bool ended(DownloadItem_Presentation* r) { return r->isFinished() && !r->isStarted(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(server.port() > 0);
        HttpReply slow = file(payload);
        slow.chunkSize = 30000;
        slow.chunkIntervalMs = 20;
        server.route("/files/slow.bin", slow);
        HttpReply dropped = file(payload);
        dropped.dropAfterBytes = 100000;
        server.route("/files/dropped.bin", dropped);
        HttpReply stalled = file(payload);
        stalled.stallAfterBytes = 50000;
        server.route("/files/stalled.bin", stalled);
        server.route("/files/missing.bin", HttpReply::text("not here", 404));
        server.route("/files/page.bin", HttpReply::text("<html>Accès refusé</html>", 200, "text/html; charset=utf-8"));
        server.route("/files/object.bin", HttpReply::json("{\"ZRRETURN_CODE\":\"ZR_DENIED\"}"));
        server.route("/files/bare.bin", HttpReply::json("{\"other\":1}"));
    }

    // The whole file arrives in pieces: the bar follows, the line shows sizes, rate and time
    // left, and the complete file replaces the old one; no ".part" stays.
    void success()
    {
        auto r = row("slow.bin", "/files/slow.bin");
        QSignalSpy status(r.get(), &Presentation_Interface::statusChanged);
        QList<int> values;
        connect(r->progressBar, &QProgressBar::valueChanged, [&](int v) { values << v; });
        QStringList lines;
        connect(r->progressBar, &QProgressBar::valueChanged, [&] { lines << r->downloadInfoLabel->text(); });
        r->start_downloading_item();
        QVERIFY(r->isStarted());
        QVERIFY(r->stopButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(ended(r.get()), 30000);
        QVERIFY(!r->isInError());
        QVERIFY(r->downloadedSuccessfully());
        QCOMPARE(readAll(r->fileName()), payload);
        QVERIFY(!QFileInfo::exists(r->fileName() + ".part"));
        QCOMPARE(r->progressBar->maximum(), payload.size());
        QVERIFY(values.size() >= 2);
        QCOMPARE(values.last(), payload.size());
        bool sawRate = false;
        for (const QString& l : lines)
            sawRate = sawRate || (l.contains(" of 292 kB (") && l.contains("/sec)"));
        QVERIFY2(sawRate, qPrintable(lines.join(" | ")));
        QCOMPARE(r->downloadInfoLabel->text(), QStringLiteral("292 kB"));
        QVERIFY(r->openButton->isVisible() || !r->openButton->isHidden());
        QCOMPARE(status.size() >= 1, true);
    }

    // Failures: the old file is kept as it was, no ".part" is left, the row is in error with
    // "Relancer" on offer and the reason in its line; the end is reported once.
    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("line");
        QTest::newRow("404") << "/files/missing.bin" << "Erreur réseau : ";
        QTest::newRow("dropped mid-body") << "/files/dropped.bin" << "Erreur réseau : ";
        QTest::newRow("error page") << "/files/page.bin" << "Download Error - <html>Accès refusé</html>";
        QTest::newRow("error object") << "/files/object.bin" << "Download Error - ZR_DENIED";
        QTest::newRow("object without code") << "/files/bare.bin" << "Download Error - ";
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(QString, line);
        auto r = row("kept.bin", path);
        int endReports = 0;
        connect(r.get(), &Presentation_Interface::statusChanged, [&] { endReports += r->isFinished() ? 1 : 0; });
        r->start_downloading_item();
        QTRY_VERIFY_WITH_TIMEOUT(ended(r.get()), 30000);
        QTest::qWait(100);
        QVERIFY(r->isInError());
        QVERIFY(!r->downloadedSuccessfully());
        QVERIFY(!r->tryAgainButton->isHidden() && r->tryAgainButton->isEnabled());
        QVERIFY2(line.endsWith(' ') ? r->downloadInfoLabel->text().startsWith(line)
                                    : r->downloadInfoLabel->text() == line,
                 qPrintable(r->downloadInfoLabel->text()));
        QCOMPARE(readAll(dir.path() + "/kept.bin"), old);
        QVERIFY(!QFileInfo::exists(dir.path() + "/kept.bin.part"));
        QCOMPARE(endReports, 1);
    }

    // Stop mid-body: the row is stopped (not in error), the old file stays; "Relancer" fetches
    // again from the start and this time the file arrives whole.
    void stopAndRetry()
    {
        auto r = row("stopped.bin", "/files/stalled.bin");
        r->start_downloading_item();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(r->partPath()).size() >= 50000, 30000);
        QVERIFY(r->partPath().endsWith("stopped.bin.part"));
        QTest::mouseClick(r->stopButton, Qt::LeftButton);
        QTRY_VERIFY(ended(r.get()));
        QVERIFY(!r->isInError());
        QVERIFY(!r->downloadedSuccessfully());
        QCOMPARE(readAll(r->fileName()), old);
        QVERIFY(!QFileInfo::exists(r->fileName() + ".part"));
        // The server now sends the whole file.
        server.route("/files/stalled.bin", file(payload));
        const int before = server.requestCount();
        QTest::mouseClick(r->tryAgainButton, Qt::LeftButton);
        QVERIFY(server.waitForRequests(before + 1));
        QTRY_VERIFY_WITH_TIMEOUT(r->downloadedSuccessfully(), 30000);
        QCOMPARE(readAll(r->fileName()), payload);
        // Retry while "Relancer" is not on offer only logs.
        const int after = server.requestCount();
        QMetaObject::invokeMethod(r.get(), "tryAgain");
        QTest::qWait(100);
        QCOMPARE(server.requestCount(), after);
    }

    // A 404, then the file is put on the server and "Relancer" brings it.
    void retryAfterError()
    {
        server.route("/files/later.bin", HttpReply::text("not yet", 404));
        auto r = row("later.bin", "/files/later.bin");
        r->start_downloading_item();
        QTRY_VERIFY_WITH_TIMEOUT(ended(r.get()) && r->isInError(), 30000);
        server.route("/files/later.bin", file(payload));
        QTest::mouseClick(r->tryAgainButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(r->downloadedSuccessfully(), 30000);
        QVERIFY(!r->isInError());
        QCOMPARE(readAll(r->fileName()), payload);
    }

    // Without a path the file goes to the download folder under a free name.
    void downloadPath()
    {
        const QString folder = dir.path() + "/downloads";
        QVERIFY(QDir().mkpath(folder));
        QSettings settings;
        settings.setValue("downloadmanager/downloadDirectory", folder);
        settings.sync();
        for (const char* name : {"report.pdf", "report-1.pdf"}) {
            QFile f(folder + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        server.route("/files/report.pdf", file(payload));
        DownloadItem_Presentation r(nullptr, QString());
        r.set_url(server.url("/files/report.pdf"));
        r.set_manager(&manager);
        r.start_downloading_item();
        QTRY_VERIFY_WITH_TIMEOUT(r.downloadedSuccessfully(), 30000);
        QCOMPARE(r.fileName(), folder + "/report-2.pdf");
        QCOMPARE(readAll(folder + "/report-2.pdf"), payload);
        QCOMPARE(r.fileNameLabel->text(), QStringLiteral("report-2.pdf"));
        DownloadItem_Presentation root(nullptr, QString());
        root.set_url(server.url("/"));
        root.start_downloading_item(); // no manager: nothing is fetched
        QCOMPARE(root.getFileName(), folder + "/unnamed_download.");
    }

    // In the window: a download row is filed under "Réussis" once its file is complete.
    void inTheWindow()
    {
        Download_presentation window;
        auto r = row("windowed.bin", "/files/slow.bin");
        Presentation_Interface* added = r.release();
        window.add_item(added);
        QTRY_COMPARE_WITH_TIMEOUT(window.get_successes().size(), 1, 30000);
        QCOMPARE(window.get_successes().first()->fileName(), dir.path() + "/windowed.bin");
        QCOMPARE(readAll(dir.path() + "/windowed.bin"), payload);
    }
};

ZR_TEST_MAIN_GUI(TestUrlDownloadRow)
#include "tst_url_download_row.moc"

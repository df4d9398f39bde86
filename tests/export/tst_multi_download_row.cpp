//! labels: net gui
// The multi-file download row against a local HTTP server: a list of three files with one
// that keeps failing (a wrong digest, an error object, a connection dropped mid-body) ends
// with two downloaded files, one failed file, six tries of it one second apart and the
// operator's old copy of it untouched; progress counts KiB when sizes are listed and files
// otherwise; the retry pause leaves the event loop running; a stop keeps the old file and
// "Relancer" resumes the list; in the download window the row ends in both tabs and the
// failed part comes back through its own "Relancer".
#include "export/DownloadMultiItems_Presentation.h"
#include "export/Download_presentation.h"
#include "export/SqueezeLabel.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace zrtest;

namespace {

QByteArray content(int kib, char seed)
{
    QByteArray b(kib * 1024, '\0');
    for (int i = 0; i < b.size(); ++i)
        b[i] = char((i * 13 + seed + i / 509) & 0xff);
    b.replace(0, 12, QByteArray("ZR file ") + seed + "\n\n\n");
    return b;
}

QString sha(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

enum class Failure { None, Digest, ErrorObject, Dropped, Stall };

// Serves "/files/<name>": a file with its digest when the request asks for one. The file
// named "two" fails the way it is told to.
class FileServer
{
public:
    FileServer()
        : server([this](const HttpRequest& r) { return answer(r); })
    {
        clock.start();
    }

    void set_failure(Failure f)
    {
        QMutexLocker l(&mutex);
        failure = f;
    }
    void set_file(const QByteArray& name, const QByteArray& data)
    {
        QMutexLocker l(&mutex);
        files[name] = data;
    }
    QList<qint64> times_of(const QByteArray& name) const
    {
        QMutexLocker l(&mutex);
        return times.value(name);
    }
    QStringList targets() const
    {
        QStringList out;
        for (const HttpRequest& r : server.requests())
            out << QString::fromLatin1(r.target);
        return out;
    }
    int count_of(const QByteArray& name) const { return times_of(name).size(); }

    HttpServer server;

private:
    HttpReply answer(const HttpRequest& request)
    {
        QMutexLocker l(&mutex);
        const QByteArray name = request.path.mid(request.path.lastIndexOf('/') + 1);
        times[name] << clock.elapsed();
        HttpReply r;
        if (!files.contains(name))
            return HttpReply::text("<html>404 Not Found</html>", 404, "text/html");
        const QByteArray data = files.value(name);
        r.headers << qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream"));
        r.body = data;
        const bool asked = request.target.contains("file_hash=1");
        QByteArray digest = sha(data).toLatin1();
        if (name == "two") {
            switch (failure) {
            case Failure::None:
                break;
            case Failure::Digest:
                digest = sha("something else").toLatin1();
                break;
            case Failure::ErrorObject:
                return HttpReply::text("{\"ZRRETURN_CODE\":\"ZR_NOT_FOUND\"}", 200, "text/json");
            case Failure::Dropped:
                r.dropAfterBytes = data.size() / 2;
                break;
            case Failure::Stall:
                r.stallAfterBytes = data.size() / 3;
                break;
            }
        }
        if (asked)
            r.headers << qMakePair(QByteArray("Content-Digest"), "sha-256=" + digest);
        return r;
    }

    mutable QMutex mutex;
    QMap<QByteArray, QByteArray> files;
    QMap<QByteArray, QList<qint64>> times;
    Failure failure = Failure::None;
    QElapsedTimer clock;
};

} // namespace

Q_DECLARE_METATYPE(Failure)

class TestMultiDownloadRow : public QObject
{
    Q_OBJECT

    const QByteArray old = "the operator's own copy of file two\n";

    struct Setup
    {
        QTemporaryDir dir;
        FileServer files;
        QList<DownloadFileItem> items;
        QMap<QString, QByteArray> data; // by local path
    };

    // Three files "one" (40 KiB), "two" (30 KiB, with an older copy already in the folder)
    // and "three.zip" (20 KiB); sizes listed or not.
    std::unique_ptr<Setup> setup(bool sizes, Failure failure)
    {
        auto s = std::make_unique<Setup>();
        const QList<std::tuple<QByteArray, int, QString>> list = {
            {"one", 40, "?id=1"}, {"two", 30, "?id=2"}, {"three.zip", 20, ""}};
        char seed = 'a';
        for (const auto& [name, kib, query] : list) {
            const QByteArray data = content(kib, seed++);
            s->files.set_file(name, data);
            const QString path = s->dir.filePath(QString::fromLatin1(name));
            s->data[path] = data;
            s->items << DownloadFileItem(QStringLiteral("id-") + name, sizes ? QString::number(kib) : QString(),
                                         s->files.server.url(QStringLiteral("/files/") + name + query), path,
                                         QStringLiteral("fifth"));
        }
        s->files.set_failure(failure);
        QFile f(s->items.at(1).filePath);
        if (f.open(QIODevice::WriteOnly))
            f.write(old);
        return s;
    }

    static QStringList paths(const QList<DownloadFileItem>& items)
    {
        QStringList out;
        for (const DownloadFileItem& i : items)
            out << QFileInfo(i.filePath).fileName();
        return out;
    }

    static QStringList leftovers(const QString& folder)
    {
        return QDir(folder).entryList({QStringLiteral("*.part")}, QDir::Files);
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Failure>();
    }

    void construction_data()
    {
        QTest::addColumn<int>("pending");
        QTest::addColumn<int>("done");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("relancer");
        QTest::addColumn<bool>("openFolder");
        QTest::newRow("pending and done") << 3 << 2 << "2 / 5 fichiers téléchargés" << true << true;
        QTest::newRow("pending only") << 3 << 0 << "3 fichiers en erreurs" << true << false;
        QTest::newRow("done only") << 0 << 2 << "2 fichiers téléchargés" << false << true;
    }

    void construction()
    {
        QFETCH(int, pending);
        QFETCH(int, done);
        QFETCH(QString, label);
        QFETCH(bool, relancer);
        QFETCH(bool, openFolder);
        QList<DownloadFileItem> p, d;
        for (int i = 0; i < pending; ++i)
            p << DownloadFileItem("", i == 0 ? "" : "10", "http://127.0.0.1:1/x", "/tmp/p" + QString::number(i));
        for (int i = 0; i < done; ++i)
            d << DownloadFileItem("", "7", "http://127.0.0.1:1/y", "/tmp/d" + QString::number(i), "", "ab");
        DownloadMultiItems_Presentation row(p, d, "/tmp/folder");
        QCOMPARE(row.fileNameLabel->text(), label);
        QCOMPARE(row.fileName(), label);
        QCOMPARE(row.downloadInfoLabel->text(), QStringLiteral("/tmp/folder"));
        QCOMPARE(!row.tryAgainButton->isHidden(), relancer);
        QCOMPARE(row.tryAgainButton->isEnabled(), relancer);
        QCOMPARE(!row.openRepButton->isHidden(), openFolder);
        QVERIFY(row.stopButton->isHidden());
        QVERIFY(row.openButton->isHidden());
        QVERIFY(row.progressBar->isHidden());
        QVERIFY(row.isFinished());
        QVERIFY(!row.isStarted());
        QVERIFY(!row.isInError());
        QCOMPARE(row.downloadedSuccessfully(), !relancer);
        QCOMPARE(row.total_kib(), pending == 0 ? -1 : qint64(10 * (pending - 1)));
        QCOMPARE(row.pendingItems().size(), pending);
        QCOMPARE(row.doneItems().size(), done);
        QVERIFY(row.failedItems().isEmpty());
        QCOMPARE(row.folder(), QStringLiteral("/tmp/folder"));
    }

    void digestRequest_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("asked");
        QTest::newRow("query") << "http://h/get?id=1" << "http://h/get?id=1&file_hash=1";
        QTest::newRow("no query") << "http://h/get" << "http://h/get&file_hash=1";
        QTest::newRow("already asked") << "http://h/get?file_hash=0" << "http://h/get?file_hash=0";
        QTest::newRow("zip") << "http://h/a.zip" << "http://h/a.zip";
        QTest::newRow("exe") << "http://h/setup.exe?v=2" << "http://h/setup.exe?v=2";
        QTest::newRow("dmg") << "http://h/a.dmg" << "http://h/a.dmg";
        QTest::newRow("case matters") << "http://h/A.ZIP" << "http://h/A.ZIP&file_hash=1";
    }

    void digestRequest()
    {
        QFETCH(QString, url);
        QFETCH(QString, asked);
        QCOMPARE(DownloadMultiItems_Presentation::digest_url(url), asked);
    }

    void sizeTexts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("1023") << qint64(1023) << "1023 B";
        QTest::newRow("1024") << qint64(1024) << "1 kB";
        QTest::newRow("1048575") << qint64(1048575) << "1023 kB";
        QTest::newRow("1048576") << qint64(1048576) << "1 MB";
    }

    void sizeTexts()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        DownloadMultiItems_Presentation row({}, {}, {});
        QCOMPARE(row.sizeString(bytes), text);
    }

    // One of three files keeps failing: it is tried six times, one second apart, and listed
    // as failed; the two others are downloaded with their digests; the operator's old copy of
    // the failing file is untouched and no partial file stays.
    void threeFilesOneFailing_data()
    {
        QTest::addColumn<bool>("sizes");
        QTest::addColumn<Failure>("failure");
        QTest::newRow("sizes listed, digest mismatch") << true << Failure::Digest;
        QTest::newRow("no sizes, error object") << false << Failure::ErrorObject;
        QTest::newRow("sizes listed, connection dropped") << true << Failure::Dropped;
    }

    void threeFilesOneFailing()
    {
        QFETCH(bool, sizes);
        QFETCH(Failure, failure);
        auto s = setup(sizes, failure);
        LogCatcher log;
        DownloadMultiItems_Presentation row(s->items, {}, s->dir.path());
        row.setType("multi");
        QList<QPair<int, int>> bar; // (value, maximum) at each change
        connect(row.progressBar, &QProgressBar::valueChanged, &row,
                [&](int v) { bar << qMakePair(v, row.progressBar->maximum()); });
        // The event loop keeps turning while a retry waits.
        int ticks = 0;
        QList<int> ticksAtRetry;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);

        row.resetFlags();
        row.start_downloading_item();
        QVERIFY(row.isStarted());
        QVERIFY(row.stopButton->isEnabled());
        while (!row.isFinished() && QTest::qWaitFor([&] { return row.isFinished() || row.retry_pending(); }, 60000)) {
            if (row.retry_pending()) {
                const int before = ticks;
                QVERIFY(QTest::qWaitFor([&] { return !row.retry_pending(); }, 10000));
                ticksAtRetry << ticks - before;
            }
        }
        QVERIFY2(row.isFinished(), qPrintable(log.texts().join('\n')));

        QVERIFY(row.pendingItems().isEmpty());
        QCOMPARE(paths(row.doneItems()), QStringList({"one", "three.zip"}));
        QCOMPARE(paths(row.failedItems()), QStringList({"two"}));
        for (const DownloadFileItem& item : row.doneItems()) {
            QCOMPARE(readAll(item.filePath), s->data.value(item.filePath));
            QCOMPARE(item.sha256, sha(s->data.value(item.filePath)));
            QCOMPARE(item.fifth, QStringLiteral("fifth")); // carried along
            QVERIFY(item.first.startsWith("id-"));
        }
        QVERIFY(row.failedItems().first().sha256.isEmpty());
        QCOMPARE(readAll(row.failedItems().first().filePath), old);
        QCOMPARE(leftovers(s->dir.path()), QStringList());

        // Six tries of the failing file, each after a pause of its own; one of each other.
        QCOMPARE(s->files.count_of("two"), 6);
        QCOMPARE(s->files.count_of("one"), 1);
        QCOMPARE(s->files.count_of("three.zip"), 1);
        const QList<qint64> times = s->files.times_of("two");
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(times.at(i) - times.at(i - 1) >= 900, qPrintable(QString::number(times.at(i) - times.at(i - 1))));
        QCOMPARE(ticksAtRetry.size(), 5);
        for (int t : ticksAtRetry)
            QVERIFY2(t >= 3, qPrintable(QString::number(t)));
        for (int i = 0; i < 5; ++i)
            QVERIFY(log.contains(QStringLiteral("[ERROR] Download Multi Items Presentation :: error :: retry %1").arg(i)));
        QVERIFY(log.contains("[ERROR] Download Multi Items Presentation :: error :: item failed :: "));
        QCOMPARE(row.retry_count(), 0); // starts again for the next file

        // The digest was asked for except for the package; the address is otherwise as listed.
        const QStringList targets = s->files.targets();
        QVERIFY(targets.contains("/files/one?id=1&file_hash=1"));
        QVERIFY(targets.contains("/files/two?id=2&file_hash=1"));
        QVERIFY(targets.contains("/files/three.zip"));

        // Progress in KiB of the listed sizes, or in files.
        QVERIFY(!bar.isEmpty());
        int highest = 0;
        for (const auto& [value, maximum] : bar) {
            QCOMPARE(maximum, sizes ? 90 : 3);
            QVERIFY(value <= maximum);
            highest = qMax(highest, value);
        }
        if (sizes)
            QVERIFY2(highest >= 60, qPrintable(QString::number(highest)));
        else
            QCOMPARE(highest, 2);

        // The row ended: open folder shown, no stop, no "Relancer"; it counts as done.
        QVERIFY(!row.isStarted());
        QVERIFY(!row.isStopped());
        QVERIFY(row.downloadedSuccessfully());
        QVERIFY(row.has_done_items());
        QVERIFY(row.has_failed_items());
        QVERIFY(row.tryAgainButton->isHidden());
        QVERIFY(row.stopButton->isHidden());
        QVERIFY(!row.openRepButton->isHidden());
        QVERIFY(row.progressBar->isHidden());
        QVERIFY(row.downloadInfoLabel->text().contains(QStringLiteral("2 / 2 fichier(s) - Arrété"))
                || row.downloadInfoLabel->text().endsWith(QStringLiteral("kB")));
    }

    // A stop asks first: "Non" changes nothing; "Oui" ends the transfer, keeps the operator's
    // file and shows "Arrêt Utilisateur" and "Relancer", which then resumes the list.
    void stopAndRelancer()
    {
        auto s = setup(true, Failure::Stall);
        LogCatcher log;
        DownloadMultiItems_Presentation row(s->items, {}, s->dir.path());
        row.setType("multi");
        row.resetFlags();
        row.start_downloading_item();
        QVERIFY(QTest::qWaitFor([&] { return s->files.count_of("two") == 1; }, 20000));
        QVERIFY(log.waitFor("ZRDownload thread :: read stream :: output set filename : " + s->items.at(1).filePath, 20000));
        QVERIFY(row.stopButton->isEnabled());

        {
            ModalAnswerer answerer;
            answerer.answerWithText("Non");
            row.stopButton->click();
            QCOMPARE(answerer.count(), 1);
            QCOMPARE(answerer.last().title, QStringLiteral("Information"));
            QCOMPARE(answerer.last().text, QStringLiteral("Confirmer l'arrêt du téléchargement ?"));
            QStringList buttons = answerer.last().buttons; // in the platform's order
            buttons.sort();
            QCOMPARE(buttons, QStringList({"Non", "Oui"}));
        }
        QVERIFY(!row.isStopped());
        QVERIFY(row.stopButton->isEnabled());

        QElapsedTimer clock;
        {
            ModalAnswerer answerer;
            answerer.answerWithText("Oui");
            clock.start();
            row.stopButton->click();
            QCOMPARE(answerer.count(), 1);
        }
        QVERIFY(row.isStopped());
        QVERIFY(QTest::qWaitFor([&] { return row.downloadInfoLabel->text() == QStringLiteral("Arrêt Utilisateur"); }, 10000));
        QVERIFY(!row.tryAgainButton->isHidden());
        QVERIFY(row.tryAgainButton->isEnabled());
        QVERIFY(row.stopButton->isHidden());
        QVERIFY(!row.downloadedSuccessfully());
        QCOMPARE(readAll(s->items.at(1).filePath), old);
        QCOMPARE(leftovers(s->dir.path()), QStringList());
        QCOMPARE(paths(row.doneItems()), QStringList({"one"}));
        QCOMPARE(paths(row.pendingItems()), QStringList({"two", "three.zip"}));
        QCOMPARE(s->files.count_of("two"), 1); // a stop is not retried

        // "Relancer" goes on with the interrupted file and the rest.
        s->files.set_failure(Failure::None);
        row.tryAgainButton->click();
        QVERIFY(!row.isStopped());
        QVERIFY(row.isStarted());
        QVERIFY(QTest::qWaitFor([&] { return row.isFinished(); }, 30000));
        QVERIFY(row.downloadedSuccessfully());
        QCOMPARE(paths(row.doneItems()), QStringList({"one", "two", "three.zip"}));
        QVERIFY(row.failedItems().isEmpty());
        for (const DownloadFileItem& item : row.doneItems())
            QCOMPARE(readAll(item.filePath), s->data.value(item.filePath));
        QCOMPARE(leftovers(s->dir.path()), QStringList());
    }

    // In the window: the row ends in both tabs (its done files under "Réussis", its failed
    // file under "Echoués" with "Relancer"); "Relancer" brings the failed file back to the
    // first table, where it now succeeds.
    void throughTheWindow()
    {
        auto s = setup(false, Failure::Digest);
        auto* window = new Download_presentation();
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* row = new DownloadMultiItems_Presentation(s->items, {}, s->dir.path());
        row->setType("multi");
        row->resetFlags();
        window->add_item(row);
        QVERIFY(window->isVisible());
        QVERIFY(row->isStarted());
        QVERIFY(QTest::qWaitFor([&] { return window->get_downloads().isEmpty(); }, 60000));

        QCOMPARE(window->get_successes().size(), 1);
        QCOMPARE(window->get_errors().size(), 1);
        auto* good = qobject_cast<DownloadMultiItems_Presentation*>(window->get_successes().first());
        auto* bad = qobject_cast<DownloadMultiItems_Presentation*>(window->get_errors().first());
        QVERIFY(good && bad);
        QCOMPARE(paths(good->doneItems()), QStringList({"one", "three.zip"}));
        QCOMPARE(good->fileNameLabel->text(), QStringLiteral("2 fichiers téléchargés"));
        QVERIFY(good->downloadedSuccessfully());
        QVERIFY(!good->openRepButton->isHidden());
        QCOMPARE(paths(bad->pendingItems()), QStringList({"two"}));
        QCOMPARE(bad->fileNameLabel->text(), QStringLiteral("1 fichiers en erreurs"));
        QVERIFY(bad->isInError());
        QVERIFY(!bad->tryAgainButton->isHidden());
        QCOMPARE(bad->type(), QStringLiteral("multi"));
        QCOMPARE(window->label_current_download->text(), QStringLiteral("En cours (0)"));
        QCOMPARE(window->tabWidget->tabText(0), QStringLiteral("Réussis (1)"));
        QCOMPARE(window->tabWidget->tabText(1), QStringLiteral("Echoués (1)"));
        QCOMPARE(window->tabWidget->tabBar()->tabTextColor(1), QColor(Qt::red));
        QCOMPARE(readAll(s->items.at(1).filePath), old);

        s->files.set_failure(Failure::None);
        bad->tryAgainButton->click();
        QVERIFY(window->get_errors().isEmpty());
        QCOMPARE(window->get_downloads().size(), 1);
        QVERIFY(QTest::qWaitFor([&] { return window->get_downloads().isEmpty(); }, 30000));
        QCOMPARE(window->get_successes().size(), 2);
        QVERIFY(window->get_errors().isEmpty());
        auto* again = qobject_cast<DownloadMultiItems_Presentation*>(window->get_successes().last());
        QVERIFY(again);
        QCOMPARE(paths(again->doneItems()), QStringList({"two"}));
        QCOMPARE(readAll(s->items.at(1).filePath), s->data.value(s->items.at(1).filePath));
        QCOMPARE(window->tabWidget->tabText(0), QStringLiteral("Réussis (2)"));
        QCOMPARE(window->tabWidget->tabText(1), QStringLiteral("Echoués (0)"));
        window->close();
    }
};

ZR_TEST_MAIN_GUI(TestMultiDownloadRow)
#include "tst_multi_download_row.moc"

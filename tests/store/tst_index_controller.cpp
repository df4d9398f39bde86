//! labels: unit
#include "store/ZRIndexController.h"
#include "store/ZRIndexManager.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

QStringList workerNames(const ZRIndexController& c)
{
    QStringList names;
    for (QThread* t : c.findChildren<QThread*>(QString(), Qt::FindDirectChildrenOnly))
        names << t->objectName();
    names.sort();
    return names;
}

QStringList finishedCounts(const zrtest::LogCatcher& log)
{
    QStringList out;
    for (const QString& t : log.texts())
        if (t.startsWith("[INFO] ZRIndex Controller :: manager finished :: "))
            out << t.mid(QStringLiteral("[INFO] ZRIndex Controller :: manager finished :: ").size());
    return out;
}

// A controller whose worker threads cannot start.
class FailingController : public ZRIndexController
{
protected:
    QThread* createWorkerThread(const QString&) override
    {
        auto* thread = new QThread(this);
        thread->setStackSize(1); // below the minimum: thread creation fails
        return thread;
    }
};

} // namespace

class TestIndexController : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;

    zrtest::GeneratedExport makeExport(int days)
    {
        return gen.generate({"--days", QString::number(days), "--cameras", "2", "--minutes", "2", "--placeholder",
                             "--first-day", "2024-05-01", "--seed", "3"});
    }

private slots:
    void oneDay_data()
    {
        QTest::addColumn<bool>("trailingSlash");
        QTest::newRow("plain") << false;
        QTest::newRow("trailing slash") << true;
    }

    void oneDay()
    {
        QFETCH(bool, trailingSlash);
        const zrtest::GeneratedExport ex = makeExport(1);
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const QString day = ex.dayFolders.first();
        ZRIndexController controller;
        QSignalSpy all(&controller, &ZRIndexController::allFinished);
        QSignalSpy errors(&controller, &ZRIndexController::errorOccurred);
        zrtest::LogCatcher log;
        controller.start(trailingSlash ? day + "/" : day);
        QCOMPARE(workerNames(controller), QStringList({"ZRIndexWorker_2024-05-01"}));
        QVERIFY(controller.isRunning());
        QVERIFY(zrtest::waitForSignals(all, 1, 30000));
        QCOMPARE(all.count(), 1);
        QCOMPARE(errors.count(), 0);
        QVERIFY(!controller.isRunning());
        QCOMPARE(finishedCounts(log), QStringList({"1 / 1"}));
        QVERIFY(log.contains("[INFO] ZRIndex Controller :: background generation :: day :: " + day));
        QVERIFY(QFileInfo::exists(ZRIndexManager::dayIndexPath(QFileInfo(day))));
        // The finished threads go away.
        QVERIFY(zrtest::waitUntil([&] { return workerNames(controller).isEmpty(); }, 10000));
    }

    // More days than processors: the extra days wait for a free worker.
    void wholeExportWithBoundedConcurrency()
    {
        const int ideal = qMax(1, QThread::idealThreadCount());
        const int days = ideal + 2;
        const zrtest::GeneratedExport ex = makeExport(days);
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QDir().mkpath(ex.exportPath + "/2024-02-30");  // not a date
        QDir().mkpath(ex.exportPath + "/notes");
        QFile f(ex.exportPath + "/2023-01-01");         // a file named like a day
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        ZRIndexController controller;
        QSignalSpy all(&controller, &ZRIndexController::allFinished);
        QSignalSpy errors(&controller, &ZRIndexController::errorOccurred);
        zrtest::LogCatcher log;
        controller.start(ex.exportPath);
        QCOMPARE(workerNames(controller).size(), ideal);
        QCOMPARE(log.count("[INFO] ZRIndex Controller :: background generation :: day :: "), ideal);

        // A second start while running is refused and changes nothing.
        controller.start(ex.exportPath);
        QVERIFY(log.contains("[WARNING] ZRIndex Controller :: Une indexation est déjà en cours. Ignoré."));

        QVERIFY(zrtest::waitForSignals(all, 1, 60000));
        QTest::qWait(50);
        QCOMPARE(all.count(), 1);
        QCOMPARE(errors.count(), 0);
        QStringList expected;
        for (int i = 1; i <= days; ++i)
            expected << QStringLiteral("%1 / %2").arg(i).arg(days);
        QCOMPARE(finishedCounts(log), expected);
        QCOMPARE(log.count("[INFO] ZRIndex Controller :: background generation :: day :: "), days);
        for (const QString& day : ex.dayFolders) {
            QVERIFY(log.contains("[INFO] ZRIndex Controller :: background generation :: day :: " + day));
            QVERIFY(QFileInfo::exists(ZRIndexManager::dayIndexPath(QFileInfo(day))));
        }

        // The controller is reused: a new run counts from 0.
        zrtest::LogCatcher again;
        controller.start(ex.dayFolders.first());
        QVERIFY(zrtest::waitForSignals(all, 2, 30000));
        QCOMPARE(finishedCounts(again), QStringList({"1 / 1"}));
    }

    void nothingToIndex_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("export without days") << "empty";
        QTest::newRow("a file") << "file";
        QTest::newRow("day given with media folders only") << "media";
    }

    void nothingToIndex()
    {
        QFETCH(QString, kind);
        QTemporaryDir tmp;
        QString path = tmp.filePath("zrnova_aaaa-bbbb-cccc-dddd");
        QDir().mkpath(path + "/cam1");
        if (kind == "file") {
            path += "/cam1/x.zrnfo";
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == "media") {
            path += "/cam1";
        }
        ZRIndexController controller;
        QSignalSpy all(&controller, &ZRIndexController::allFinished);
        controller.start(path);
        QCOMPARE(all.count(), 1);
        QVERIFY(!controller.isRunning());
        QVERIFY(controller.findChildren<QThread*>().isEmpty());
    }

    void missingPath()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("gone/zrnova_aaaa-bbbb-cccc-dddd");
        ZRIndexController controller;
        QSignalSpy all(&controller, &ZRIndexController::allFinished);
        QSignalSpy errors(&controller, &ZRIndexController::errorOccurred);
        zrtest::LogCatcher log;
        controller.start(path);
        QCOMPARE(log.texts(), QStringList({"[ERROR] ZRIndex Controller :: Le chemin n'existe pas : " + path}));
        QTest::qWait(20);
        QCOMPARE(all.count(), 0);
        QCOMPARE(errors.count(), 0);
        QVERIFY(!controller.isRunning());
        // Still idle: a later start is accepted.
        QDir().mkpath(path);
        controller.start(path);
        QCOMPARE(all.count(), 1);
    }

    void failingDaysReportTheirText()
    {
        QTemporaryDir tmp;
        const QString outside = tmp.filePath("plain/2024-05-01");
        QDir().mkpath(outside + "/cam1");
        const QString empty = tmp.filePath("zrnova_aaaa-bbbb-cccc-dddd/2024-05-02");
        QDir().mkpath(empty + "/cam1");
        for (const auto& [path, text] : {std::pair{outside, "Le dossier " + outside + "/ n'est pas un dossier zrnova."},
                                        std::pair{empty, "Aucun enregistrement trouvé dans le dossier " + empty + "/"}}) {
            ZRIndexController controller;
            QSignalSpy all(&controller, &ZRIndexController::allFinished);
            QSignalSpy errors(&controller, &ZRIndexController::errorOccurred);
            QStringList order;
            connect(&controller, &ZRIndexController::errorOccurred, this, [&] { order << "error"; });
            connect(&controller, &ZRIndexController::allFinished, this, [&] { order << "all"; });
            controller.start(path);
            QVERIFY(zrtest::waitForSignals(all, 1, 30000));
            QCOMPARE(errors.count(), 1);
            QCOMPARE(errors.first().first().toString(), text);
            QCOMPARE(order, QStringList({"error", "all"}));
        }
    }

    // A worker that cannot start counts as finished, so the run still ends.
    void failedThreadStartEndsTheRun()
    {
        const zrtest::GeneratedExport ex = makeExport(2);
        QVERIFY2(ex.ok, qPrintable(ex.error));
        FailingController controller;
        QSignalSpy all(&controller, &ZRIndexController::allFinished);
        zrtest::LogCatcher log;
        controller.start(ex.exportPath);
        QVERIFY(zrtest::waitForSignals(all, 1, 10000));
        QVERIFY(!controller.isRunning());
        QCOMPARE(log.count("[ERROR] ZRIndex Controller :: cannot start worker for :: "), 2);
        QCOMPARE(finishedCounts(log), QStringList({"1 / 2", "2 / 2"}));
    }

    // Destroying a running controller waits for its workers instead of tearing running
    // threads down.
    void destroyedWhileRunning()
    {
        const zrtest::GeneratedExport ex = makeExport(3);
        QVERIFY2(ex.ok, qPrintable(ex.error));
        zrtest::LogCatcher log;
        {
            ZRIndexController controller;
            controller.start(ex.exportPath);
            QVERIFY(controller.isRunning());
        }
        QVERIFY(log.contains("[INFO] ZRIndex Controller:: destroy"));
        QTest::qWait(20);
        for (const QString& day : ex.dayFolders)
            QVERIFY(QFileInfo::exists(ZRIndexManager::dayIndexPath(QFileInfo(day))));
    }
};

ZR_TEST_MAIN_CORE(TestIndexController)
#include "tst_index_controller.moc"

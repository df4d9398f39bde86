//! labels: gui
#include "support/CrashFileChecker.h"
#include "support/ReporterWidget.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QtTest>

namespace {

QString reportsFolder() { return QDir::homePath() + "/.ZRPlayer/crash_reports/reports"; }

const QDateTime kBase(QDate(2026, 12, 1), QTime(9, 30, 0));

// "name:minutes" puts a file at kBase plus that many minutes; a name ending in "/" is a folder.
bool makeEntry(const QString& recipe)
{
    const QString name = recipe.section(':', 0, 0);
    const int minutes = recipe.section(':', 1, 1).toInt();
    const QString path = reportsFolder() + '/' + name;
    if (name.endsWith('/'))
        return QDir().mkpath(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write("MDMP" + name.toUtf8());
    f.flush(); // a later flush would set the time to now
    return f.setFileTime(kBase.addSecs(60 * minutes), QFileDevice::FileModificationTime);
}

QList<ReporterWidget*> forms()
{
    QList<ReporterWidget*> out;
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget* w : widgets)
        if (auto* r = qobject_cast<ReporterWidget*>(w))
            out << r;
    return out;
}

QStringList remaining()
{
    QStringList out;
    QDir root(reportsFolder());
    QDirIterator it(reportsFolder(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        out << root.relativeFilePath(p) + (QFileInfo(p).isDir() ? "/" : "");
    }
    out.sort();
    return out;
}

} // namespace

class TestCrashFileChecker : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(QDir::homePath() + "/.ZRPlayer").removeRecursively();
    }

    void cleanup()
    {
        qDeleteAll(forms());
    }

    void keepsNewestAndOffersIt_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("kept");      // empty: no form
        QTest::addColumn<QStringList>("left");  // what the folder holds afterwards

        QTest::newRow("three dumps") << QStringList{"a.dmp:0", "b.dmp:120", "c.dmp:60"} << "b.dmp"
                                     << QStringList{"b.dmp"};
        QTest::newRow("only in a sub-folder") << QStringList{"1f2e/crash.dmp:5"} << "1f2e/crash.dmp"
                                              << QStringList{"1f2e/", "1f2e/crash.dmp"};
        QTest::newRow("newest in a sub-folder")
            << QStringList{"top.dmp:10", "x/y/deep.dmp:30", "x/old.dmp:1"} << "x/y/deep.dmp"
            << QStringList{"x/", "x/y/", "x/y/deep.dmp"};
        QTest::newRow("other files untouched")
            << QStringList{"old.dmp:0", "new.dmp:9", "settings.dat:99", "notes.dmp.txt:99", "folder.dmp/:0"}
            << "new.dmp" << QStringList{"folder.dmp/", "new.dmp", "notes.dmp.txt", "settings.dat"};
        QTest::newRow("equal times: first by name") << QStringList{"m.dmp:7", "k.dmp:7", "z.dmp:7"} << "k.dmp"
                                                    << QStringList{"k.dmp"};
        QTest::newRow("no dumps") << QStringList{"readme.txt:0", "sub/"} << QString()
                                  << QStringList{"readme.txt", "sub/"};
        QTest::newRow("empty folder") << QStringList{} << QString() << QStringList{};
    }

    void keepsNewestAndOffersIt()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, kept);
        QFETCH(QStringList, left);
        QVERIFY(QDir().mkpath(reportsFolder()));
        for (const QString& e : entries)
            QVERIFY2(makeEntry(e), qPrintable(e));

        zrtest::LogCatcher log;
        CrashFileChecker::check_crash_files();
        QVERIFY(log.contains("[INFO] Crash File checker :: directory + " + reportsFolder()));
        QCOMPARE(remaining(), left);

        const QList<ReporterWidget*> shown = forms();
        if (kept.isEmpty()) {
            QVERIFY(shown.isEmpty());
            return;
        }
        QCOMPARE(shown.size(), 1);
        ReporterWidget* form = shown.first();
        const QString keptPath = reportsFolder() + '/' + kept;
        QCOMPARE(form->dump_path(), QFileInfo(keptPath).absoluteFilePath());
        QCOMPARE(form->dump_name(), QFileInfo(keptPath).fileName());
        QVERIFY(form->isVisible());
        QVERIFY(!form->parentWidget());
        QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!form->isModal());
        const QString date = QFileInfo(keptPath).lastModified().toString("yyyy-MM-dd HH:mm:ss");
        QCOMPARE(form->findChild<QLabel*>("crashdateLabel")->text(),
                 QString::fromUtf8("Date de génération du fichier dump : ") + date);
    }

    void missingFolderShowsNothing()
    {
        QVERIFY(!QFileInfo::exists(reportsFolder()));
        CrashFileChecker::check_crash_files();
        QVERIFY(forms().isEmpty());
        QVERIFY(!QFileInfo::exists(reportsFolder()));
    }
};

ZR_TEST_MAIN_GUI(TestCrashFileChecker)
#include "tst_crashfilechecker.moc"

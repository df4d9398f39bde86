//! labels: unit
#include "platform/CrashHandlerStarter.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCrashHandlerStarter : public QObject
{
    Q_OBJECT

    QTemporaryDir root;

    // Runs a copy of this program from folder, with a handler script beside it or not.
    QString runCopyIn(const QString& folder, const QString& database, const QString& metrics)
    {
        const QString copy = folder + QStringLiteral("/tst_crashhandlerstarter");
        if (!QFileInfo::exists(copy)) {
            QFile::copy(QCoreApplication::applicationFilePath(), copy);
            QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner);
        }
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZR_CRASH_DB"), database);
        env.insert(QStringLiteral("ZR_CRASH_METRICS"), metrics);
        run.setProcessEnvironment(env);
        run.start(copy, {QStringLiteral("startFromCopy")});
        if (!run.waitForFinished(60000))
            return QStringLiteral("timeout");
        return QString::fromUtf8(run.readAllStandardOutput());
    }

private slots:
    void initTestCase() { QVERIFY(root.isValid()); }

    // Only meaningful inside a copy started by the tests below.
    void startFromCopy()
    {
        if (!qEnvironmentVariableIsSet("ZR_CRASH_DB"))
            QSKIP("runs only inside a relocated copy");
        const bool started = zrplatform::start_crash_handler(qEnvironmentVariable("ZR_CRASH_DB"),
                                                             qEnvironmentVariable("ZR_CRASH_METRICS"));
        QTextStream(stdout) << "started=" << (started ? "true" : "false") << '\n';
    }

    void missingHandlerReportsFalseAndCreatesFolders()
    {
        const QString app = root.filePath(QStringLiteral("plain"));
        QVERIFY(QDir().mkpath(app));
        const QString database = root.filePath(QStringLiteral("home1/.ZRPlayer/crash_reports"));
        const QString out = runCopyIn(app, database, database + QStringLiteral("/metrics"));
        QVERIFY2(out.contains(QStringLiteral("started=false")), qPrintable(out));
        QVERIFY(QFileInfo(database).isDir());
        QVERIFY(QFileInfo(database + QStringLiteral("/metrics")).isDir());
    }

    void presentHandlerIsStartedWithBothFolders()
    {
        const QString app = root.filePath(QStringLiteral("with-handler"));
        QVERIFY(QDir().mkpath(app));
        const QString record = root.filePath(QStringLiteral("handler-arguments.txt"));
        QFile script(app + QStringLiteral("/crashpad_handler"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.part'\nmv '%1.part' '%1'\n")
                         .arg(record)
                         .toUtf8());
        script.close();
        QVERIFY(QFile::setPermissions(script.fileName(), QFile::permissions(script.fileName()) | QFile::ExeOwner));

        const QString database = root.filePath(QStringLiteral("home2/.ZRPlayer/crash_reports"));
        const QString out = runCopyIn(app, database, database + QStringLiteral("/metrics"));
        QVERIFY2(out.contains(QStringLiteral("started=true")), qPrintable(out));
        // Detached: the handler outlives the program that started it.
        QVERIFY(zrtest::waitUntil([&] { return QFileInfo::exists(record); }, 10000));
        QFile arguments(record);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(arguments.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList({QStringLiteral("--database=") + database,
                                     QStringLiteral("--metrics-dir=") + database + QStringLiteral("/metrics")}));
    }

    void handlerThatCannotRunReportsFalse()
    {
        const QString app = root.filePath(QStringLiteral("not-executable"));
        QVERIFY(QDir().mkpath(app));
        QFile script(app + QStringLiteral("/crashpad_handler"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("not a program");
        script.close();
        QVERIFY(QFile::setPermissions(script.fileName(), QFile::ReadOwner | QFile::WriteOwner));
        const QString database = root.filePath(QStringLiteral("home3/crash_reports"));
        const QString out = runCopyIn(app, database, database + QStringLiteral("/metrics"));
        QVERIFY2(out.contains(QStringLiteral("started=false")), qPrintable(out));
    }
};

ZR_TEST_MAIN_CORE(TestCrashHandlerStarter)
#include "tst_crashhandlerstarter.moc"

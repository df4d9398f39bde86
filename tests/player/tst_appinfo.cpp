//! labels: unit
#include "player/AppInfo.h"
#include "tests/support/TestMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestAppInfo : public QObject
{
    Q_OBJECT

    QTemporaryDir root;

    QString make(const QString& relative)
    {
        const QString path = QDir::cleanPath(root.path() + QLatin1Char('/') + relative);
        if (!QDir().mkpath(path))
            return QString();
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(root.isValid()); }

    void enclosingExportFolder_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("expected");
        QTest::newRow("program in the export's bin") << "exports/zrnova_0a1b-2c3d-4e5f-6789/bin"
                                                     << "exports/zrnova_0a1b-2c3d-4e5f-6789";
        QTest::newRow("program in the export itself") << "exports/zrnova_0a1b-2c3d-4e5f-6789"
                                                      << "exports/zrnova_0a1b-2c3d-4e5f-6789";
        QTest::newRow("deep inside") << "exports/zrnova_0a1b-2c3d-4e5f-6789/2025-06-19/cam/x"
                                     << "exports/zrnova_0a1b-2c3d-4e5f-6789";
        QTest::newRow("upper case") << "exports/ZRNOVA_0A1B-2C3D-4E5F-6789/bin" << "exports/ZRNOVA_0A1B-2C3D-4E5F-6789";
        QTest::newRow("nearest of two") << "zrnova_aaaa-bbbb-cccc-dddd/copy/zrnova_1111-2222-3333-4444/bin"
                                        << "zrnova_aaaa-bbbb-cccc-dddd/copy/zrnova_1111-2222-3333-4444";
        QTest::newRow("no export") << "Program Files/Player" << "";
        QTest::newRow("name too short") << "exports/zrnova_0a1b-2c3d-4e5f/bin" << "";
        QTest::newRow("name too long") << "exports/zrnova_0a1b-2c3d-4e5f-6789x/bin" << "";
    }

    void enclosingExportFolder()
    {
        QFETCH(QString, start);
        QFETCH(QString, expected);
        const QString from = make(start);
        QVERIFY(!from.isEmpty());
        const QString want = expected.isEmpty() ? QString() : QDir::cleanPath(root.path() + QLatin1Char('/') + expected);
        QCOMPARE(AppInfo::findZRNovaDir(from), want);
        // A file starts the search at its folder; backslashes are read as separators.
        const QString file = from + QStringLiteral("/zrplayer");
        QFile touch(file);
        QVERIFY(touch.open(QIODevice::WriteOnly));
        touch.close();
        QCOMPARE(AppInfo::findZRNovaDir(file), want);
        QCOMPARE(AppInfo::findZRNovaDir(QString(from).replace(QLatin1Char('/'), QLatin1Char('\\'))), want);
    }

    void propertiesOfThisProgram()
    {
        AppInfo info;
        QCOMPARE(info.property("appDir").toString(), QCoreApplication::applicationDirPath());
        QCOMPARE(info.property("workingDir").toString(), QDir::currentPath());
        QCOMPARE(info.property("parentZRNovaDir").toString(), AppInfo::findZRNovaDir(QString()));
        QDir up(QCoreApplication::applicationDirPath());
        up.cdUp();
        QCOMPARE(info.property("parentAppDir").toString(), up.absolutePath());
    }

    // Run from a copy of this program installed in an export's bin folder, the real
    // properties point at the export and at the folder above it.
    void programInstalledInsideAnExport()
    {
        if (qEnvironmentVariableIsSet("ZR_APPINFO_PRINT")) {
            AppInfo info;
            QTextStream(stdout) << "parentZRNovaDir=" << info.parentZRNovaDir() << '\n'
                                << "parentAppDir=" << info.parentAppDir() << '\n';
            return;
        }
        const QString bin = make(QStringLiteral("installed/zrnova_0a1b-2c3d-4e5f-6789/bin"));
        const QString copy = bin + QStringLiteral("/tst_appinfo");
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QVERIFY(QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner));

        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZR_APPINFO_PRINT"), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.start(copy, {QStringLiteral("programInstalledInsideAnExport")});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("parentZRNovaDir=") + QDir::cleanPath(root.path()
                                  + QStringLiteral("/installed/zrnova_0a1b-2c3d-4e5f-6789\n"))), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("parentAppDir=") + QDir::cleanPath(root.path() + QStringLiteral("/installed\n"))),
                 qPrintable(out));
    }
};

ZR_TEST_MAIN_CORE(TestAppInfo)
#include "tst_appinfo.moc"

//! labels: unit
#include "app/DebugLevel.h"
#include "app/Http_singleton.h"
#include "app/Log.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <vector>

class TestLog : public QObject
{
    Q_OBJECT

    static QByteArray readLog()
    {
        QFile f(log_file_path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

    static void truncateLog()
    {
        QFile::remove(log_file_path());
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(QDir::homePath() + "/.ZRPlayer");
        DebugLevel::instance()->set_level(1);
    }

    void init() { truncateLog(); }

    void logPathUsesForwardSlashes()
    {
        QCOMPARE(log_file_path(), QDir::homePath() + "/.ZRPlayer/zrlogfile.log");
        QVERIFY(!log_file_path().contains('\\'));
    }

    void lineShapes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("debug") << int(QtDebugMsg) << "\"[INFO] MAIN :: x\"" << "{Debug} \"[INFO] MAIN :: x\"";
        QTest::newRow("critical") << int(QtCriticalMsg) << "bad" << "{Critical} bad";
        QTest::newRow("info untagged") << int(QtInfoMsg) << "plain" << "plain";
        QTest::newRow("placeholder kept") << int(QtDebugMsg) << "a %1 b %2" << "{Debug} a %1 b %2";
    }

    void lineShapes()
    {
        QFETCH(int, type);
        QFETCH(QString, message);
        QFETCH(QString, expected);
        log_message_handler(QtMsgType(type), QMessageLogContext(), message);
        const QString content = QString::fromUtf8(readLog());
        static const QRegularExpression shape(
            "^\\[\\d{2}/\\d{2}/\\d{4} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\] (.*)\\n$",
            QRegularExpression::DotMatchesEverythingOption);
        const auto match = shape.match(content);
        QVERIFY2(match.hasMatch(), qPrintable(content));
        QCOMPARE(match.captured(1), expected);
    }

    void writeLogThroughInstalledHandler()
    {
        const QtMessageHandler before = qInstallMessageHandler(log_message_handler);
        write_log(QStringLiteral("[INFO] ZRStream read & control :: stop"));
        write_log(static_cast<const char*>(nullptr));
        write_log("");
        write_log("quote \" inside");
        qInstallMessageHandler(before);
        const QList<QByteArray> lines = readLog().split('\n');
        QCOMPARE(lines.size(), 5); // four lines and the empty rest after the last line feed
        QVERIFY(lines[0].endsWith("] {Debug} \"[INFO] ZRStream read & control :: stop\""));
        QVERIFY(lines[1].endsWith("] {Debug} \"\""));
        QVERIFY(lines[2].endsWith("] {Debug} \"\""));
        QVERIFY(lines[3].endsWith("] {Debug} \"quote \\\" inside\""));
    }

    void levelZeroDropsTextsButWarningsStillEchoed()
    {
        zrtest::LogCatcher catcher;
        DebugLevel::instance()->set_level(0);
        write_log("dropped");
        DebugLevel::instance()->set_level(1);
        QVERIFY(!catcher.contains("dropped"));

        log_message_handler(QtWarningMsg, QMessageLogContext(), "framework warning");
        QVERIFY(readLog().isEmpty());
    }

    void sizeLimit()
    {
        // Exactly at the limit: kept. One byte more: emptied, even by a warning.
        const QString path = log_file_path();
        const QString line = "x";
        log_message_handler(QtInfoMsg, QMessageLogContext(), line);
        const qint64 lineSize = QFileInfo(path).size();
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(int(kLogFileSizeLimit - lineSize), 'a'));
        }
        log_message_handler(QtInfoMsg, QMessageLogContext(), line);
        QCOMPARE(QFileInfo(path).size(), kLogFileSizeLimit);
        log_message_handler(QtInfoMsg, QMessageLogContext(), line);
        QCOMPARE(QFileInfo(path).size(), qint64(0));

        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(int(kLogFileSizeLimit + 1), 'a'));
        }
        log_message_handler(QtWarningMsg, QMessageLogContext(), "w");
        QCOMPARE(QFileInfo(path).size(), qint64(0));
    }

    void missingFolderLosesMessageQuietly()
    {
        const QString folder = QDir::homePath() + "/.ZRPlayer";
        QVERIFY(QDir(folder).removeRecursively());
        log_message_handler(QtDebugMsg, QMessageLogContext(), "lost");
        QVERIFY(!QFile::exists(log_file_path()));
        QVERIFY(QDir().mkpath(folder));
    }

    void concurrentWritersLeaveWholeLines()
    {
        const QtMessageHandler before = qInstallMessageHandler(log_message_handler);
        const int threads = 8;
        const int perThread = 200;
        std::vector<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers.push_back(QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    write_log(QStringLiteral("[INFO] T%1 :: line %2 %3").arg(t).arg(i).arg(QString(100, QChar('z'))));
            }));
        }
        for (QThread* w : workers)
            w->start();
        for (QThread* w : workers) {
            w->wait();
            delete w;
        }
        qInstallMessageHandler(before);
        const QList<QByteArray> lines = readLog().split('\n');
        QCOMPARE(lines.size(), threads * perThread + 1);
        static const QRegularExpression whole(
            "^\\[[^\\]]+\\] \\{Debug\\} \"\\[INFO\\] T\\d :: line \\d+ z{100}\"$");
        QSet<QString> seen;
        for (int i = 0; i < lines.size() - 1; ++i) {
            const QString l = QString::fromUtf8(lines[i]);
            QVERIFY2(whole.match(l).hasMatch(), qPrintable(l));
            seen.insert(l.mid(l.indexOf("\"[")));
        }
        QCOMPARE(seen.size(), threads * perThread);
    }
};

ZR_TEST_MAIN_CORE(TestLog)
#include "tst_log.moc"

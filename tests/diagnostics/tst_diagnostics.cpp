//! labels: unit net
#include "platform/ProcessFigures.h"
#include "support/AnalyseTools.h"
#include "support/DebugFile.h"
#include "support/HtmlParser.h"
#include "support/ProcessUsage.h"
#include "support/TestBandwidth.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/TlsIdentity.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <thread>
#include <vector>

namespace {

QStringList fileLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A line of the output file, its date and time stripped; empty when the frame is wrong.
QString textOf(const QString& line)
{
    static const QRegularExpression frame(
        QStringLiteral("^\\[\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] \\{ analyse \\} (.*)$"));
    const QRegularExpressionMatch m = frame.match(line);
    return m.hasMatch() ? m.captured(1) : QString();
}

qint64 cpuTime()
{
    qint64 kernel = 0;
    qint64 user = 0;
    zrplatform::process_times(&kernel, &user);
    return kernel + user;
}

// The body of the probe's file, sent in timed pieces.
zrtest::HttpReply throttledBody(int bytes, int pieces, int intervalMs)
{
    zrtest::HttpReply reply;
    reply.body = QByteArray(bytes, 'b');
    reply.chunkSize = bytes / pieces;
    reply.chunkIntervalMs = intervalMs;
    return reply;
}

} // namespace

class TestDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void outputLinesAndTheirFrame()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        zrtest::LogCatcher log;
        {
            AnalyseTools tools;
            tools.set_output_path(path);
            tools.write_output(QStringLiteral("first"));
            tools.write_output(QStringLiteral("second"));
        }
        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(textOf(lines.at(0)), QStringLiteral("first"));
        QCOMPARE(textOf(lines.at(1)), QStringLiteral("second"));
        QCOMPARE(textOf(lines.at(2)), QStringLiteral("[INFO] Analyse tools :: stop"));
        QCOMPARE(log.count(QStringLiteral("[INFO] Test Bandwidth :: destroy ")), 1);
    }

    void emptyOutputPathWritesNothing()
    {
        QTemporaryDir dir;
        zrtest::LogCatcher log;
        {
            AnalyseTools tools;
            tools.process_timer_finished();
            tools.bandwidth_timer_finished(); // no address: no probe
            tools.write_output(QStringLiteral("lost"));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 0);
        QCOMPARE(log.count(QStringLiteral("[INFO] Test Bandwidth :: destroy ")), 1);
        QVERIFY(!log.contains(QStringLiteral("Analyse tools :: stop")));
    }

    void unwritableOutputIsLoggedAndRetried()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/analyse.txt"));
        zrtest::LogCatcher log;
        AnalyseTools tools;
        tools.set_output_path(path);
        tools.write_output(QStringLiteral("lost"));
        QVERIFY(log.contains(QStringLiteral("[WARN] Analyse tools :: failed to create output file :: ") + path));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("missing"))));
        tools.write_output(QStringLiteral("kept"));
        QCOMPARE(fileLines(path).size(), 1);
        QCOMPARE(textOf(fileLines(path).at(0)), QStringLiteral("kept"));
    }

    void oversizedOutputIsEmptiedWithTheNewLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        AnalyseTools tools;
        tools.set_output_path(path);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(AnalyseTools::kOutputSizeLimit - 10));
        }
        tools.write_output(QStringLiteral("goes over"));
        QCOMPARE(QFileInfo(path).size(), qint64(0));
        tools.write_output(QStringLiteral("starts again"));
        QCOMPARE(fileLines(path).size(), 1);
    }

    void processFiguresFollowTheProcess()
    {
        QVERIFY(zrplatform::processor_count() >= 1);
        quint64 total = 0;
        quint64 available = 0;
        QVERIFY(zrplatform::physical_memory(&total, &available));
        QVERIFY(total > 0);
        QVERIFY(available > 0 && available <= total);

        // Processor time grows under a busy loop.
        const qint64 before = cpuTime();
        volatile quint64 sink = 0;
        while (cpuTime() - before < 2000000) // 200 ms of processor time
            for (int i = 0; i < 100000; ++i)
                sink = sink + quint64(i) * 7;
        QVERIFY(cpuTime() - before >= 2000000);

        // Resident memory grows after a large allocation that is touched.
        const qint64 resident = zrplatform::process_working_set();
        QVERIFY(resident > 0);
        const size_t size = 96u * 1024 * 1024;
        std::unique_ptr<char[]> block(new char[size]);
        for (size_t i = 0; i < size; i += 4096)
            block[i] = char(i);
        const qint64 grown = zrplatform::process_working_set();
        QVERIFY2(grown - resident >= qint64(64) * 1024 * 1024,
                 qPrintable(QStringLiteral("%1 -> %2").arg(resident).arg(grown)));
        QVERIFY(block[4096] == char(4096));
    }

    void usageLineCarriesTheFigures()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        AnalyseTools tools;
        tools.set_output_path(path);
        const qint64 before = cpuTime();
        volatile quint64 sink = 0;
        while (cpuTime() - before < 1000000)
            for (int i = 0; i < 100000; ++i)
                sink = sink + quint64(i);
        tools.process_timer_finished();

        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 1);
        static const QRegularExpression usage(QStringLiteral(
            "^\\[INFO\\] Process Usage :: Physical Memory \\[ USE (\\d+\\.\\d\\d) / AVAIL (\\d+)\\.0 / TOT (\\d+)\\.0 Mb \\] --- CPU \\[ (\\d+\\.\\d{5}) % \\]$"));
        const QRegularExpressionMatch m = usage.match(textOf(lines.at(0)));
        QVERIFY2(m.hasMatch(), qPrintable(lines.at(0)));
        QVERIFY(m.captured(1).toDouble() > 1.0);
        QVERIFY(m.captured(2).toULongLong() <= m.captured(3).toULongLong());
        QVERIFY(m.captured(3).toULongLong() > 0);
        QVERIFY(m.captured(4).toDouble() > 0.0);
        QVERIFY(m.captured(4).toDouble() <= 100.0);

        QCOMPARE(ProcessUsage::usage_text(12.345, 100, 2000, 3.5),
                 QStringLiteral("[INFO] Process Usage :: Physical Memory [ USE 12.35 / AVAIL 100.0 / TOT 2000.0 Mb ] --- CPU [ 3.50000 % ]"));
    }

    void bandwidthTexts_data()
    {
        QTest::addColumn<qint64>("microseconds");
        QTest::addColumn<QString>("time");
        QTest::newRow("one second and five ms") << qint64(1005000) << QStringLiteral("1.005000 sec");
        QTest::newRow("below a second") << qint64(999) << QStringLiteral("0.000999 sec");
        QTest::newRow("whole seconds") << qint64(12000000) << QStringLiteral("12.000000 sec");
        QTest::newRow("zero") << qint64(0) << QString();
    }

    void bandwidthTexts()
    {
        QFETCH(qint64, microseconds);
        QFETCH(QString, time);
        QCOMPARE(TestBandwidth::time_text(microseconds), time);
    }

    void bandwidthLineParts()
    {
        QCOMPARE(TestBandwidth::data_text(262144), QStringLiteral("262144 bytes"));
        QCOMPARE(TestBandwidth::data_text(0), QString());
        QCOMPARE(TestBandwidth::speed_text(2047), QStringLiteral("1 kbyte/sec."));
        QCOMPARE(TestBandwidth::speed_text(-1), QString());
        QCOMPARE(TestBandwidth::bandwidth_line(QString(), QString(), QString()),
                 QStringLiteral("[INFO] Bandwidth Usage [ DATA  / TIME  / SPEED  ]"));
    }

    void bandwidthOfAThrottledServer()
    {
        // 256 KiB in 8 pieces 100 ms apart.
        const int bytes = 256 * 1024;
        zrtest::HttpServer server;
        server.route("/lib/256k.bytes", throttledBody(bytes, 8, 100));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        AnalyseTools tools;
        tools.set_output_path(path);
        tools.get_test_bandwidth()->set_url(server.baseUrl());

        QElapsedTimer clock;
        clock.start();
        tools.bandwidth_timer_finished();
        const double wallSeconds = clock.nsecsElapsed() / 1e9;

        QCOMPARE(server.requestCount(), 1);
        QCOMPARE(server.requests().at(0).target, QByteArray("/lib/256k.bytes"));
        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 1);
        static const QRegularExpression line(QStringLiteral(
            "^\\[INFO\\] Bandwidth Usage \\[ DATA (\\d+) bytes / TIME (\\d+)\\.(\\d{6}) sec / SPEED (\\d+) kbyte/sec\\. \\]$"));
        const QRegularExpressionMatch m = line.match(textOf(lines.at(0)));
        QVERIFY2(m.hasMatch(), qPrintable(lines.at(0)));
        QCOMPARE(m.captured(1).toInt(), bytes);
        const double seconds = m.captured(2).toDouble() + m.captured(3).toDouble() / 1e6;
        QVERIFY(seconds <= wallSeconds);
        // The pieces come 7 pauses apart at best; a loaded machine only slows them down.
        QVERIFY(seconds >= 0.7 * 0.8);
        const double expectedKiB = bytes / 1024.0 / wallSeconds;
        const double speedKiB = m.captured(4).toDouble();
        QVERIFY2(qAbs(speedKiB - expectedKiB) <= 0.2 * expectedKiB,
                 qPrintable(QStringLiteral("measured %1 KiB/s, expected %2").arg(speedKiB).arg(expectedKiB)));
    }

    void bandwidthOverTlsWithASelfSignedCertificate()
    {
        QString problem;
        const zrtest::TlsIdentity identity = zrtest::TlsIdentity::generateSelfSigned(&problem);
        if (identity.isNull())
            QSKIP(qPrintable(problem));
        zrtest::HttpServer server({}, identity);
        QVERIFY(server.port() != 0);
        server.route("/lib/256k.bytes", zrtest::HttpReply::text(QByteArray(4096, 'x'), 200, "application/octet-stream"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        AnalyseTools tools;
        tools.set_output_path(path);
        tools.get_test_bandwidth()->set_url(server.baseUrl());
        tools.bandwidth_timer_finished();
        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(textOf(lines.at(0)).startsWith(QStringLiteral("[INFO] Bandwidth Usage [ DATA 4096 bytes / TIME ")), qPrintable(lines.at(0)));
    }

    void failedProbeWritesNoLine()
    {
        QString deadUrl;
        {
            zrtest::HttpServer gone;
            deadUrl = gone.baseUrl();
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        AnalyseTools tools;
        tools.set_output_path(path);
        tools.get_test_bandwidth()->set_url(deadUrl);
        tools.bandwidth_timer_finished();
        QVERIFY(!tools.get_test_bandwidth()->is_busy());
        QVERIFY(!QFile::exists(path));
    }

    void aSecondProbeWhileOneRunsDoesNothing()
    {
        zrtest::HttpServer server;
        server.route("/lib/256k.bytes", throttledBody(64 * 1024, 4, 150));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        AnalyseTools tools;
        tools.set_output_path(path);
        TestBandwidth* probe = tools.get_test_bandwidth();
        probe->set_url(server.baseUrl());

        std::thread first([probe] { probe->measure_bandwidth(); });
        const bool started = zrtest::waitUntil([&] { return server.requestCount() == 1; });
        probe->measure_bandwidth(); // returns at once
        const bool stillBusy = probe->is_busy();
        first.join();
        QVERIFY(started);
        QVERIFY(stillBusy);
        QCOMPARE(server.requestCount(), 1);
        QCOMPARE(fileLines(path).size(), 1);
        QVERIFY(!probe->is_busy());
    }

    void timersDriveTheSlots()
    {
        zrtest::HttpServer server;
        server.route("/lib/256k.bytes", zrtest::HttpReply::text(QByteArray(1024, 'x'), 200, "application/octet-stream"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analyse.txt"));
        AnalyseTools tools;
        tools.set_output_path(path);
        tools.get_test_bandwidth()->set_url(server.baseUrl());
        tools.start_process_timer(10);
        tools.start_bandwidth_timer(10);
        QVERIFY(zrtest::waitUntil([&] {
            const QStringList lines = fileLines(path);
            return lines.filter(QStringLiteral("Process Usage")).size() >= 2
                && lines.filter(QStringLiteral("Bandwidth Usage")).size() >= 2;
        }));
    }

    void emptyClassesExist()
    {
        DebugFile debugFile;
        HtmlParser parser;
        QCOMPARE(debugFile.metaObject()->methodCount(), QObject::staticMetaObject.methodCount());
        QCOMPARE(parser.metaObject()->methodCount(), QObject::staticMetaObject.methodCount());
    }
};

ZR_TEST_MAIN_CORE(TestDiagnostics)
#include "tst_diagnostics.moc"

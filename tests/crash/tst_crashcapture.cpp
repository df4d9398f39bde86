//! labels: gui net
// A program that crashes leaves a dump where the next start's crash-dump check looks, and
// the report form sends it.
#include "support/CrashFileChecker.h"
#include "support/ReporterWidget.h"
#include "tests/crash/Multipart.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>
#include <QtTest>

#include <csignal>

namespace {

QString reportsFolder() { return QDir::homePath() + "/.ZRPlayer/crash_reports/reports"; }

QStringList dumpsIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.dmp")}, QDir::Files, QDir::Name);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The text between "<name>:\n" and the next empty line.
QByteArray section(const QByteArray& dump, const QByteArray& name)
{
    const qsizetype start = dump.indexOf("\n" + name + ":\n");
    if (start < 0)
        return QByteArray();
    const qsizetype from = start + name.size() + 3;
    const qsizetype end = dump.indexOf("\n\n", from);
    return dump.mid(from, end < 0 ? -1 : end - from);
}

struct Child
{
    bool crashed = false;
    int exitCode = -1; // the signal's number when it crashed
    qint64 pid = 0;
    QByteArray out;
    QByteArray err;
};

Child crashChild(const QString& how)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QDir::homePath());
    // Under AddressSanitizer the capture writes first, then hands the signal to the sanitizer.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":allow_user_segv_handler=1"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ZR_CRASH_CHILD), {how});
    Child child;
    if (!process.waitForStarted(30000))
        return child;
    child.pid = process.processId();
    process.waitForFinished(60000);
    child.crashed = process.exitStatus() == QProcess::CrashExit;
    child.exitCode = process.exitCode();
    child.out = process.readAllStandardOutput();
    child.err = process.readAllStandardError();
    return child;
}

} // namespace

class TestCrashCapture : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(QDir::homePath() + "/.ZRPlayer").removeRecursively(); }

    void cleanup()
    {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget* w : widgets)
            if (qobject_cast<ReporterWidget*>(w))
                delete w;
    }

    void fatalSignalLeavesADump_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("name");
        QTest::newRow("write to an unmapped address") << "segv" << int(SIGSEGV) << "SIGSEGV";
        QTest::newRow("read past a mapped file's end") << "bus" << int(SIGBUS) << "SIGBUS";
        QTest::newRow("integer division by zero") << "fpe" << int(SIGFPE) << "SIGFPE";
        QTest::newRow("illegal instruction") << "ill" << int(SIGILL) << "SIGILL";
        QTest::newRow("abort") << "abort" << int(SIGABRT) << "SIGABRT";
    }
    void fatalSignalLeavesADump()
    {
        QFETCH(QString, how);
        QFETCH(int, signal);
        QFETCH(QString, name);
        const Child child = crashChild(how);

        // It still dies of its crash.
        QVERIFY2(child.crashed, child.err.constData());
#ifndef __SANITIZE_ADDRESS__
        // (Under AddressSanitizer the sanitizer reports the fault and ends the process itself.)
        QCOMPARE(child.exitCode, signal);
#endif
        QVERIFY2(child.err.contains("[INFO] MAIN :: crash capture installed"), child.err.constData());

        const QStringList dumps = dumpsIn(reportsFolder());
        QCOMPARE(dumps.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+-%1\\.dmp$").arg(child.pid)).match(dumps.first()).hasMatch(),
                 qPrintable(dumps.first()));
        const QString path = reportsFolder() + '/' + dumps.first();
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const QByteArray dump = readFile(path);
        const QByteArray program = QFile::encodeName(QFileInfo(QStringLiteral(ZR_CRASH_CHILD)).canonicalFilePath());

        QVERIFY2(dump.startsWith("ZRPLAYER 3.4.4 crash dump\nprogram: " + program + "\n"), dump.left(200).constData());
        QVERIFY2(dump.contains("\nsignal: " + QByteArray::number(signal) + " (" + name.toLatin1() + ")\n"), dump.constData());
        QVERIFY(dump.contains("\nprocess: " + QByteArray::number(child.pid) + "\n"));
        if (how == QLatin1String("segv"))
            QVERIFY(dump.contains("\naddress: 0x0000000000000010\n"));
        if (how == QLatin1String("bus")) {
            const QByteArray mapped = child.out.trimmed().mid(8); // "address 0x7f..."
            QVERIFY2(mapped.startsWith("0x"), child.out.constData());
            const quint64 expected = mapped.mid(2).toULongLong(nullptr, 16);
            QVERIFY(dump.contains("\naddress: 0x" + QByteArray::number(expected, 16).rightJustified(16, '0') + "\n"));
        }
        if (how == QLatin1String("abort"))
            QVERIFY(dump.contains("\nsent by process: " + QByteArray::number(child.pid) + "\n"));

#if defined(__x86_64__)
        const QByteArray registers = section(dump, "registers");
        QVERIFY2(QRegularExpression(QStringLiteral("(^|\\n)rip 0x[0-9a-f]{16}(\\n|$)"))
                     .match(QString::fromLatin1(registers)).hasMatch(),
                 registers.constData());
        QCOMPARE(registers.count('\n') + 1, 21);
#endif
        // Frames of the program itself, named by its file.
        const QList<QByteArray> frames = section(dump, "backtrace").split('\n');
        const QByteArray programName = QFileInfo(QStringLiteral(ZR_CRASH_CHILD)).fileName().toUtf8();
        int own = 0;
        for (const QByteArray& frame : frames)
            own += frame.contains(programName + "(") ? 1 : 0;
        QVERIFY2(own >= 2, section(dump, "backtrace").constData());
        // A copy of the memory map, from the program's own mapping to the stack.
        const QByteArray maps = section(dump, "memory map");
        QVERIFY(maps.contains(program));
        QVERIFY(maps.contains("[stack]"));
        QVERIFY(dump.endsWith("\nend of dump\n"));
    }

    // The next start's check finds the dump and offers it; the form uploads it as it was written.
    void nextStartOffersAndSendsTheDump()
    {
        const Child child = crashChild(QStringLiteral("segv"));
        QVERIFY(child.crashed);
        const QStringList dumps = dumpsIn(reportsFolder());
        QCOMPARE(dumps.size(), 1);
        const QString path = reportsFolder() + '/' + dumps.first();
        const QByteArray written = readFile(path);

        CrashFileChecker::check_crash_files();
        ReporterWidget* form = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* r = qobject_cast<ReporterWidget*>(w))
                form = r;
        QVERIFY(form);
        QVERIFY(form->isVisible());

        zrtest::HttpServer server([](const zrtest::HttpRequest&) {
            return zrtest::HttpReply::json("{\"upload_file_minidump\":{\"status_info\":{\"status\":\"OK\",\"error_code\":0}},"
                                           "\"upload_file_log\":{\"status_info\":{\"status\":\"OK\",\"error_code\":0}}}");
        });
        form->set_upload_url(QUrl(server.url("/traitement")));
        QTest::keyClicks(form->findChild<QTextEdit*>("commentTextEdit"), "Plantage au demarrage");
        QTest::keyClicks(form->findChild<QLineEdit*>("emailLineEdit"), "ops@site.example");
        QTest::mouseClick(form->findChild<QPushButton*>("restartButton"), Qt::LeftButton);

        QVERIFY(server.waitForRequests(1, 15000));
        const QByteArray type = server.requests().first().headers.value("content-type");
        const crashtest::FormBody form_body =
            crashtest::parseForm(server.requests().first().body, type.mid(type.indexOf('=') + 1));
        QVERIFY2(form_body.valid, qPrintable(form_body.error));
        const crashtest::FormPart* part = form_body.part("upload_file_minidump");
        QVERIFY(part);
        QCOMPARE(part->fileName, dumps.first().toUtf8());
        QVERIFY(part->content == written);
        QVERIFY(zrtest::waitUntil([&] { return !QFile::exists(path); }, 15000));
    }
};

ZR_TEST_MAIN_GUI(TestCrashCapture)
#include "tst_crashcapture.moc"

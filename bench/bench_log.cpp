//! libs: zr_app
// Messages per second through write_log with the message handler installed, beside a plain
// append of the same lines to a file (open, append, close per line, as the handler does).
#include "app/DebugLevel.h"
#include "app/Log.h"
#include "bench/support/BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

int main(int argc, char** argv)
{
    const QString home = zrbench::tempDir(QStringLiteral("log"));
    qputenv("HOME", home.toLocal8Bit());
    QCoreApplication app(argc, argv);
    QDir().mkpath(home + QStringLiteral("/.ZRPlayer"));
    DebugLevel::instance()->set_level(1);

    const int n = 20000;
    const QString text = QStringLiteral("[INFO] ZRStream read & control :: read frame :: 1234");

    // Keep the echo off the terminal: stderr goes to /dev/null while we measure.
    FILE* err = freopen("/dev/null", "w", stderr);
    (void)err;
    install_log_message_handler();
    const double ours = zrbench::bestSeconds([&] {
        QFile::remove(log_file_path());
        for (int i = 0; i < n; ++i)
            write_log(text);
    });
    qInstallMessageHandler(nullptr);

    const QString plainPath = home + QStringLiteral("/plain.log");
    const QByteArray line = "[10/12/2026 12:00:00.000] {Debug} \"" + text.toUtf8() + "\"\n";
    const double plain = zrbench::bestSeconds([&] {
        QFile::remove(plainPath);
        for (int i = 0; i < n; ++i) {
            QFile f(plainPath);
            if (f.open(QIODevice::WriteOnly | QIODevice::Append)) {
                f.write(line);
                f.close();
            }
        }
    });

    zrbench::report(QStringLiteral("log: messages per second"), n / ours, n / plain, QStringLiteral("msg/s"));
    QDir(home).removeRecursively();
    return 0;
}

#include "fuzz/FuzzSupport.h"

#include "app/DebugLevel.h"
#include "store/Encrypt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace zrfuzz {

namespace {

void quietHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

QTemporaryDir& scratchDir()
{
    // In memory where the system offers it: the targets write and replace files on every
    // input, and a replaced file is synced to disk.
    static const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(base + QStringLiteral("/zrfuzz-XXXXXX"));
    return dir;
}

} // namespace

void init()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("HOME", (scratch() + QStringLiteral("/home")).toUtf8());
    QDir().mkpath(scratch() + QStringLiteral("/home"));
    DebugLevel::instance()->set_level(0);
    qInstallMessageHandler(quietHandler);
    static int argc = 1;
    static char name[] = "zrfuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

QString scratch()
{
    return scratchDir().path();
}

QString freshFolder(const QString& name)
{
    const QString path = scratch() + QLatin1Char('/') + name;
    QDir dir(path);
    if (dir.exists())
        dir.removeRecursively();
    QDir().mkpath(path);
    return path;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeEncrypted(const QString& path, const QByteArray& plaintext)
{
    return Encrypt().encrypt_to_file(plaintext.toStdString(), path) == 1;
}

void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", what, file, line);
    std::fflush(stderr);
    std::abort();
}

} // namespace zrfuzz

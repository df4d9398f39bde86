#include "tests/support/UnprivilegedChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace zrtest {

namespace {

const char kChildVariable[] = "ZR_UNPRIVILEGED_CHILD";

bool addMode(const QString& path, mode_t bits)
{
    struct stat st;
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0)
        return false;
    return (st.st_mode & bits) == bits || ::chmod(native.constData(), (st.st_mode & 07777) | bits) == 0;
}

bool hasMode(const QString& path, mode_t bits)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & bits) == bits;
}

bool giveToChild(const QString& path, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    return ::chown(native.constData(), UnprivilegedChild::kUid, UnprivilegedChild::kUid) == 0
        && ::chmod(native.constData(), mode) == 0;
}

// Whether others can reach and run the file: every folder above it searchable.
bool reachable(const QString& file, mode_t fileBits)
{
    if (!hasMode(file, fileBits))
        return false;
    QString dir = QFileInfo(file).absolutePath();
    for (;;) {
        if (!hasMode(dir, S_IXOTH))
            return false;
        const QString up = QFileInfo(dir).absolutePath();
        if (up == dir)
            return true;
        dir = up;
    }
}

} // namespace

bool UnprivilegedChild::needed()
{
    return ::geteuid() == 0 && !isChild();
}

bool UnprivilegedChild::isChild()
{
    return qEnvironmentVariableIsSet(kChildVariable);
}

QString UnprivilegedChild::unavailable()
{
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("running as root without setpriv: no unprivileged user to run as");
    return QString();
}

QString UnprivilegedChild::verdict(const QByteArray& output)
{
    QStringList kept;
    for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n')))
        if (!line.startsWith(QLatin1String("QDEBUG")) && !line.startsWith(QLatin1String("QINFO")))
            kept << line;
    return kept.join(QLatin1Char('\n'));
}

bool UnprivilegedChild::makeReachable(const QString& path)
{
    // Only folders of the temporary area are opened up; above it they must be reachable already.
    const QString temp = QDir(QDir::tempPath()).canonicalPath();
    QString dir = QDir(path).canonicalPath();
    if (dir.isEmpty() || !addMode(dir, S_IROTH | S_IXOTH))
        return false;
    for (;;) {
        const QString up = QFileInfo(dir).absolutePath();
        if (up == dir)
            return true;
        dir = up;
        if ((dir + QLatin1Char('/')).startsWith(temp + QLatin1Char('/'))) {
            if (!addMode(dir, S_IXOTH))
                return false;
        } else if (!hasMode(dir, S_IXOTH)) {
            return false;
        }
    }
}

int UnprivilegedChild::run(const QString& function, const QProcessEnvironment& extra, QByteArray* output,
                           int timeoutMs)
{
    QTemporaryDir work;
    if (!work.isValid() || !addMode(work.path(), S_IXOTH) || !makeReachable(work.path()))
        return -1;
    const QString home = work.path() + QStringLiteral("/home");
    const QString runtime = home + QStringLiteral("/run");
    if (!QDir().mkpath(runtime) || !giveToChild(home, 0700) || !giveToChild(runtime, 0700))
        return -1;

    QString program = QCoreApplication::applicationFilePath();
    if (!reachable(program, S_IROTH | S_IXOTH)) {
        const QString copy = work.path() + QStringLiteral("/") + QFileInfo(program).fileName();
        if (!QFile::copy(program, copy) || ::chmod(QFile::encodeName(copy).constData(), 0755) != 0)
            return -1;
        program = copy;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("TMPDIR"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    const QString authority = env.value(QStringLiteral("XAUTHORITY"));
    if (!authority.isEmpty() && QFileInfo::exists(authority)) {
        const QString copy = home + QStringLiteral("/Xauthority");
        if (QFile::copy(authority, copy) && giveToChild(copy, 0600))
            env.insert(QStringLiteral("XAUTHORITY"), copy);
    }
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));

    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(home);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=%1").arg(kUid), QStringLiteral("--regid=%1").arg(kUid),
                 QStringLiteral("--clear-groups"), program, function});
    const bool finished = child.waitForStarted(30000) && child.waitForFinished(timeoutMs);
    if (!finished) {
        child.kill();
        child.waitForFinished(30000);
    }
    if (output)
        *output = child.readAll();
    if (!finished || child.exitStatus() != QProcess::NormalExit)
        return -1;
    return child.exitCode();
}

} // namespace zrtest

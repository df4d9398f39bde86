#include "platform/CrashHandlerStarter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace zrplatform {

QString crash_handler_path()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/crashpad_handler");
}

bool start_crash_handler(const QString& database_dir, const QString& metrics_dir)
{
    // The folders are wanted even without a handler: the crash-dump check looks there.
    QDir().mkpath(database_dir);
    QDir().mkpath(metrics_dir);

    const QFileInfo handler(crash_handler_path());
    if (!handler.exists() || !handler.isFile() || !handler.isExecutable())
        return false;

    const QStringList arguments = {QStringLiteral("--database=") + database_dir,
                                   QStringLiteral("--metrics-dir=") + metrics_dir};
    return QProcess::startDetached(handler.absoluteFilePath(), arguments, handler.absolutePath());
}

} // namespace zrplatform

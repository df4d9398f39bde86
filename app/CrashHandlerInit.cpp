#include "app/CrashHandlerInit.h"

#include "app/Http_singleton.h"
#include "app/Log.h"
#include "platform/CrashCapture.h"
#include "platform/CrashHandlerStarter.h"

#include <QCoreApplication>
#include <QFile>
#include <QDir>

// The log's message handler is not installed yet, so the outcome reaches only the default output.
void init_crash_handler()
{
    Http_singleton* identity = Http_singleton::instance();
    const QDir user_folder(QDir::homePath() + QStringLiteral("/.") + identity->get_application_name());
    const QString database = user_folder.path() + QStringLiteral("/crash_reports");
    const QString metrics = user_folder.path() + QStringLiteral("/crash_reports/metrics");
    if (zrplatform::start_crash_handler(database, metrics))
        write_log("[INFO] MAIN :: crashpad started");
    else
        write_log("[INFO] MAIN :: failed to start crashpad");

    const QByteArray header = identity->get_product_name().toUtf8() + ' ' + identity->get_version().toUtf8()
        + " crash dump\nprogram: " + QFile::encodeName(QCoreApplication::applicationFilePath()) + '\n';
    if (zrplatform::install_crash_capture(database + QStringLiteral("/reports"), header))
        write_log("[INFO] MAIN :: crash capture installed");
}

#include "app/Log.h"

#include "app/DebugLevel.h"
#include "app/Http_singleton.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex& logFileMutex()
{
    static QMutex mutex;
    return mutex;
}

QString taggedMessage(QtMsgType type, const QString& message)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("{Debug} %1").arg(message);
    case QtWarningMsg:
        return QStringLiteral("{Warning} %1").arg(message);
    case QtCriticalMsg:
        return QStringLiteral("{Critical} %1").arg(message);
    case QtFatalMsg:
        return QStringLiteral("{Fatal} %1").arg(message);
    default:
        return message;
    }
}

} // namespace

void write_log(const QString& text)
{
    if (DebugLevel::instance()->get_level() > 0)
        qDebug() << text;
}

void write_log(const char* text)
{
    write_log(QString::fromUtf8(text ? text : ""));
}

QString log_file_path()
{
    Http_singleton* identity = Http_singleton::instance();
    const QString name = identity->get_log_file_name();
    if (identity->has_custom_settings() && !identity->get_log_directory().isNull())
        return identity->get_log_directory() + QLatin1Char('/') + name;
    return QDir::homePath() + QStringLiteral("/.") + identity->get_application_name() + QLatin1Char('/') + name;
}

void log_message_handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context);
    const QString line = QStringLiteral("[%1] ").arg(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss.zzz")))
        + taggedMessage(type, message);
    const QString path = log_file_path();

    // Qt's recursion guard sends this nested message straight to stderr.
    qDebug().noquote() << line;

    const QByteArray bytes = line.toUtf8() + '\n';
    // One lock over open, append, size check and close so that threads leave whole lines.
    QMutexLocker locker(&logFileMutex());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (type != QtWarningMsg) {
            file.write(bytes);
            file.flush();
        }
        if (file.size() > kLogFileSizeLimit)
            file.resize(0);
        file.close();
    } else if (QFile::exists(path) && QFileInfo(path).size() > kLogFileSizeLimit) {
        QFile::resize(path, 0);
    }
}

void install_log_message_handler()
{
    qInstallMessageHandler(log_message_handler);
}

bool drop_log_prefix(const QString& path, const QByteArray& sent)
{
    QMutexLocker locker(&logFileMutex());
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray head = file.read(sent.size());
    if (head != sent)
        return false; // emptied and rewritten meanwhile: everything in it is newer
    const QByteArray rest = file.readAll();
    file.seek(0);
    if (file.write(rest) != rest.size())
        return false;
    file.resize(rest.size());
    return true;
}

void empty_log_file(const QString& path)
{
    QMutexLocker locker(&logFileMutex());
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.resize(0);
}

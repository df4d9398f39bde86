#include "support/CrashFileChecker.h"

#include "app/Http_singleton.h"
#include "app/Log.h"
#include "support/ReporterWidget.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

QString CrashFileChecker::reports_folder()
{
    return QDir::homePath() + QStringLiteral("/.") + Http_singleton::instance()->get_application_name()
        + QStringLiteral("/crash_reports/reports");
}

void CrashFileChecker::check_crash_files()
{
    const QString folder = reports_folder();
    write_log(QStringLiteral("[INFO] Crash File checker :: directory + ") + folder);

    QStringList dumps;
    QDirIterator it(folder, QStringList{QStringLiteral("*.dmp")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        dumps << it.next();
    if (dumps.isEmpty())
        return;
    // The file system lists in no set order; ties on the date go to the first name.
    dumps.sort();

    if (Http_singleton::instance()->skip_crash_report()) {
        for (const QString& dump : qAsConst(dumps))
            QFile::remove(dump);
        return;
    }

    QFileInfo newest;
    for (const QString& dump : qAsConst(dumps)) {
        const QFileInfo info(dump);
        if (!newest.exists() || info.lastModified() > newest.lastModified())
            newest = info;
    }
    if (!newest.exists())
        return;

    const QString kept = newest.absoluteFilePath();
    for (const QString& dump : qAsConst(dumps)) {
        if (QFileInfo(dump).absoluteFilePath() != kept)
            QFile::remove(dump);
    }

    auto* form = new ReporterWidget(newest.fileName(), kept, nullptr);
    form->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    form->show();
}

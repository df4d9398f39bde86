#pragma once

#include <QObject>
#include <QString>

// Start-up look into the crash handler's database: keeps the newest dump and offers it
// to the operator.
class CrashFileChecker : public QObject
{
    Q_OBJECT
public:
    static void check_crash_files();

    // "<home>/.ZRPlayer/crash_reports/reports"
    static QString reports_folder();
};

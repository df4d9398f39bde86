#pragma once

#include <QFileInfo>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

// Checks a day folder against its encrypted hash list ("hash.json") on a thread of its own,
// reporting every step by a signal. The verdict is true only when every counted file of the
// day was found through the list, hashed once and matched.
class IntegrityCheck : public QThread
{
    Q_OBJECT

public:
    explicit IntegrityCheck(QString day_directory);
    // Stops a check that still runs and waits for its thread before the object goes.
    ~IntegrityCheck() override;

    // The verdict so far (true until the first failure); read it after finished().
    bool get_result() const { return result.load(); }

    // The hash list's entries; an empty array when it is missing or unreadable.
    QJsonArray get_json_array(const QString& path) const;
    // The day's counted files (names with the four excluded texts left out), recursively.
    int count_files(const QString& folder) const;
    // The same walk, leaving out only the hash list, merged camera list and day index names.
    QList<QFileInfo> list_files(const QString& folder) const;
    // Logs the files that the list names but the day lacks, then those the day adds.
    void log_file_differences(const QJsonArray& entries, const QList<QFileInfo>& files) const;

public slots:
    void user_stop();

signals:
    void hash_file_found(bool found);
    void file_count(int count);
    void start_check();
    void file_count_check(bool ok);
    void begin_check_file(QString file);
    void end_check_file(QString file, bool ok);
    void end_check(bool ok);

protected:
    void run() override;

private:
    void check_integrity_in_directory();
    // Where an entry's file lies inside the day folder, or an empty text (with its log line).
    QString resolve_entry(const QString& name, const QString& relative, const QString& absolute,
                          bool* through_absolute) const;
    // The walk behind count_files and list_files, without following symbolic links.
    void walk(const QString& folder, const QStringList& excluded, QList<QFileInfo>& out) const;

    std::atomic<bool> result;
    QString day_directory;
    std::atomic<bool> stop_requested;
};

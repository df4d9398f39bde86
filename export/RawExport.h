#pragma once

#include <QFileInfo>
#include <QString>
#include <QThread>

#include <atomic>

// The "RAW" export: copies a range's recording files unchanged, with their seek tables and
// every camera-information file of the export folder, into a copy of the export folder's tree
// under a destination folder. Nothing is ever overwritten: a target already there is a failed
// copy. Each failure is logged, counted and skipped; the copy always ends with
// copy_failures(count) then endingsignal().
class RawExport : public QThread
{
    Q_OBJECT

public:
    RawExport();
    ~RawExport() override;

    // Only the folder of the given path is used.
    void set_destination(QFileInfo destination);
    void set_files(QFileInfoList files);
    bool copy_file(QString source, QString target);

    // Where a file of an export folder goes under dest: dest followed by the file's path from
    // its export folder on. Empty when the path lies in no export folder.
    static QString target_path(const QString& dest, const QString& source);

    int get_failed_count() const { return failed; }

signals:
    void valueChanged(int percent);
    void endingsignal();
    void error(int code);
    // Just before endingsignal(): how many files could not be copied.
    void copy_failures(int count);

public slots:
    // Ends the copy after the file being copied; the end is reported as usual.
    void set_stop();

protected:
    void run() override;

private:
    // Copies source to its target under dest, counting a failure.
    void copy_into(const QString& dest, const QString& source);

    QFileInfo destination;
    QFileInfoList files;
    std::atomic<int> failed{0};
    std::atomic<bool> stop_requested{false};
};

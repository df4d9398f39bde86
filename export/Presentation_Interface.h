#pragma once

#include "export/Ui_DownloadItem_Presentation.h"

#include <QNetworkReply>
#include <QString>
#include <QWidget>

#include <utility>

class QPushButton;
class QThread;

// The base of the download window's rows: one row per job (an export, a download) with its
// form, three state flags (finished, started, in error) and a type text by which the window
// re-files the row when it ends. The window drives every row through these operations
// without knowing its class; statusChanged() tells it to look at the row again. A row starts
// with its buttons and bar hidden and its open, open-folder and "Relancer" buttons wired to its
// own slots; the stop button is the row's to wire.
class Presentation_Interface : public QWidget, public Ui_DownloadItem_Presentation
{
    Q_OBJECT

public:
    // logPrefix: the prefix of the log lines that trace the window's calls into the row; empty,
    // the row's default slots leave no trace.
    explicit Presentation_Interface(QString logPrefix = QString());
    ~Presentation_Interface() override;

    // By default only traced.
    virtual void init();
    virtual bool isFinished() { return m_finished; }
    virtual void setFinished() = 0;
    virtual bool isInError() { return m_inError; }
    virtual bool isStarted() { return m_started; }
    virtual void setStarted() = 0;
    virtual bool isStopped() = 0;
    // Finished, and "Relancer" not shown.
    virtual bool downloadedSuccessfully();
    virtual QString fileName() = 0;
    virtual void setType(QString type) { m_type = std::move(type); }
    virtual QString type() { return m_type; }
    virtual void updateInfoLabel() = 0;
    // "<n> bytes", "<n> kB" or "<n> MB".
    virtual QString sizeString(qint64 bytes);

    // Rows whose jobs hold several files or a download thread of their own ("multi",
    // "encode") tell the window what to file in their place; the window shows any other
    // ended row as a plain finished row.
    enum class Filing { Success, Failure, Retry };
    virtual Presentation_Interface* filed_row(Filing) { return nullptr; }
    virtual bool has_done_items() { return false; }
    virtual bool has_failed_items() { return false; }
    // Stops and lets go of the row's own download thread (a row of type "encode" that
    // succeeded); false when the thread is still running.
    virtual bool release_job() { return true; }

    // In error := value; the open buttons hidden, "Relancer" shown.
    virtual void setInError(bool value);
    // A waiting row again: neither finished, started nor in error.
    void resetFlags();

signals:
    void statusChanged();

public slots:
    virtual void finished() = 0;
    virtual void start_downloading_item() = 0;
    // A row without a reply of its own only traces these three.
    virtual void downloadReadyRead();
    virtual void error(QNetworkReply::NetworkError code);
    virtual void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) = 0;
    virtual void metaDataChanged();
    virtual void stop() = 0;

private slots:
    virtual void tryAgain() = 0;
    // By default the file of fileName(), and its folder, in the desktop's programs.
    virtual void open();
    virtual void openRep();

protected:
    // The style of the two text lines and the bar, and the standard file icon.
    void apply_row_look();
    // A row made for a file already there: no bar, no stop, both open buttons.
    void show_finished_look();
    // A job that ended well: no bar, no stop, both open buttons.
    void show_done_buttons();
    // A job that runs: stop offered, the bar shown, neither open button.
    void show_running_look();
    // A job run again by "Relancer": "Relancer" gone, stop offered, no open-folder button, the
    // bar shown; the open button stays as it is.
    void show_restart_look();
    // "Relancer" on a row not in error: started again, not in error, and the restart look when
    // "Relancer" was on offer (then true).
    bool restart_on_retry();
    // The job ends in error: the info line says why, "Relancer" is offered, the job is told to
    // stop (stop()) and the row is in error. Telling the window is the caller's.
    void show_failure(const QString& text);
    // The row's end is logged with its info line, and the window told.
    void report_finished(const QString& logPrefix);
    // Lets go of a job thread: at once when it is not running, else once it has ended.
    static void release_when_ended(QThread* job);
    // Enabled and shown, or disabled and hidden.
    static void offer(QPushButton* button, bool on);
    void set_finished_flags() { m_finished = true; m_started = false; }
    void set_started_flags() { m_started = true; m_finished = false; }
    // A job's end is announced once: true the first time after a start.
    bool take_end_report();
    void arm_end_report() { m_endReported = false; }
    // The info line of a transfer: "<got> of <total> (<rate>/sec) - <n> secondes restantes"
    // while it runs, the size of finalFile once it succeeded, "<got> of <total> - Arrété"
    // otherwise. The file is looked at only for that final size.
    QString progressText(qint64 received, qint64 total, qint64 elapsedMs, const QString& finalFile);
    // Bytes a second.
    static double byte_rate(qint64 bytes, qint64 elapsedMs);
    // The time left at that rate, rounded down: in seconds, or in minutes beyond a minute.
    static std::pair<double, QString> time_left(qint64 total, qint64 done, double rate);

    bool m_finished = false;
    bool m_started = false;
    bool m_inError = false;
    QString m_type;

private:
    // Traces a call of the window when the row has a log prefix.
    void trace(const QString& call);

    QString m_logPrefix;
    bool m_endReported = false;
};

#pragma once

#include "export/Ui_DownloadItem_Presentation.h"

#include <QNetworkReply>
#include <QString>
#include <QWidget>

// The base of the download window's rows: one row per job (an export, a download) with its
// form, three state flags (finished, started, in error) and a type text by which the window
// re-files the row when it ends. The window drives every row through these operations
// without knowing its class; statusChanged() tells it to look at the row again.
class Presentation_Interface : public QWidget, public Ui_DownloadItem_Presentation
{
    Q_OBJECT

public:
    Presentation_Interface();
    ~Presentation_Interface() override;

    virtual void init() = 0;
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
    void setInError(bool value);
    // A waiting row again: neither finished, started nor in error.
    void resetFlags();

signals:
    void statusChanged();

public slots:
    virtual void finished() = 0;
    virtual void start_downloading_item() = 0;
    virtual void downloadReadyRead() = 0;
    virtual void error(QNetworkReply::NetworkError code) = 0;
    virtual void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) = 0;
    virtual void metaDataChanged() = 0;
    virtual void stop() = 0;

private slots:
    virtual void tryAgain() = 0;
    virtual void open() = 0;
    virtual void openRep() = 0;

protected:
    // The style of the two text lines and the bar, and the standard file icon.
    void apply_row_look();
    // A row made for a file already there: no bar, no stop, both open buttons.
    void show_finished_look();
    void set_finished_flags() { m_finished = true; m_started = false; }
    void set_started_flags() { m_started = true; m_finished = false; }
    // A job's end is announced once: true the first time after a start.
    bool take_end_report();
    void arm_end_report() { m_endReported = false; }
    // The info line of a transfer: "<got> of <total> (<rate>/sec) - <n> secondes restantes"
    // while it runs, the final size once it succeeded, "<got> of <total> - Arrété" otherwise.
    QString progressText(qint64 received, qint64 total, qint64 elapsedMs, qint64 finalSize);

    bool m_finished = false;
    bool m_started = false;
    bool m_inError = false;
    QString m_type;

private:
    bool m_endReported = false;
};

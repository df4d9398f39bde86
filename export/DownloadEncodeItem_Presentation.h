#pragma once

#include "export/Presentation_Interface.h"

#include <QElapsedTimer>
#include <QString>

class ZRDownload_encode_data;

// The download-window row of one raw-data download: it starts the downloader, shows the
// range being fetched with a bar counting seconds, shows the downloader's status messages and
// the French text of its error codes, and offers stop, retry and open. The downloader thread
// goes from row to row when the window re-files the row; the row holding it releases it only
// once its thread has ended.
class DownloadEncodeItem_Presentation : public Presentation_Interface
{
    Q_OBJECT

public:
    DownloadEncodeItem_Presentation(QWidget* window, QString filePath);
    ~DownloadEncodeItem_Presentation() override;

    ZRDownload_encode_data* encoder() const { return thread; }
    // The row takes the downloader over (null: none).
    void setEncoder(ZRDownload_encode_data* downloader);
    // Hands the downloader over: the row no longer follows nor releases it.
    ZRDownload_encode_data* take_encoder();

    void setFinished() override;
    void setStarted() override;
    bool isStopped() override { return stoppedByUser; }
    QString fileName() override { return filePath; }
    void updateInfoLabel() override;
    // The network error slot stays beside error(int).
    using Presentation_Interface::error;

    Presentation_Interface* filed_row(Filing filing) override;
    bool release_job() override;

signals:
    void stop_button_pressed();
    void tryAgainFromError(QString type);

public slots:
    void finished() override;
    void start_downloading_item() override;
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) override;
    void stop() override;

    void error(int code);
    void stop_button();
    void frame_downloaded_encoded(QString current_timestamp, QString end_timestamp);
    void generic_message(QString message);

private slots:
    void tryAgain() override;

private:
    void detach();

    ZRDownload_encode_data* thread = nullptr;
    QString filePath;
    qint64 bytesReceived = 0;
    QElapsedTimer timer;
    int totalSeconds = -1;
    bool stoppedByUser = false;
};

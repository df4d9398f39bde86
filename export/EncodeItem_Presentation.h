#pragma once

#include "export/Presentation_Interface.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class ff_export;

// The download-window row of one encoded export: it starts the export thread, shows the
// frame being encoded against the end time with a bar counting seconds of recording, turns a
// failure code into its French text, stops the export on "Stop", and releases the export
// thread once that thread has ended.
class EncodeItem_Presentation : public Presentation_Interface
{
    Q_OBJECT

public:
    EncodeItem_Presentation(QWidget* dialog, QString filePath);
    ~EncodeItem_Presentation() override;

    // The row owns the export thread from start_downloading_item on.
    void set_exporter(ff_export* exporter);
    ff_export* get_exporter() const { return exporter; }
    // The output was created empty to hold its name: remove it when the export fails before
    // writing anything.
    void set_remove_empty_on_failure(bool value) { remove_empty_on_failure = value; }

    void setFinished() override;
    void setStarted() override;
    bool isStopped() override { return stopped; }
    QString fileName() override { return filePath; }
    void updateInfoLabel() override;
    // The network error slot stays beside error(int).
    using Presentation_Interface::error;

signals:
    void stop_button_pressed();
    void tryAgainFromError(QString type);

public slots:
    void finished() override;
    void start_downloading_item() override;
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) override;
    void stop() override;
    void frame_downloaded_encoded(QString current_timestamp, QString end_timestamp);
    void error(int code);
    void destroy_exporter();

private slots:
    void tryAgain() override;

private:
    // Lets go of the export thread: at once when it is not running, else when it has ended.
    void release_exporter();

    qint64 bytesReceived = 0;
    QElapsedTimer timer;
    QString filePath;
    int totalSeconds = -1;
    bool stopped = false;
    QPointer<ff_export> exporter;
    bool remove_empty_on_failure = false;
};

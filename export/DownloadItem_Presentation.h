#pragma once

#include "export/Presentation_Interface.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// A download-window row for one file fetched from a URL (one GET per attempt) with progress,
// rate, time left, stop, retry and open buttons. The data go to "<name>.part", which takes the
// file's name only when the whole reply has arrived: a failed or stopped download leaves a
// file already there as it was. Built without a URL or an access manager it is the finished
// row that shows an ended export.
class DownloadItem_Presentation : public Presentation_Interface
{
    Q_OBJECT

public:
    DownloadItem_Presentation(QWidget* window, QString filePath);
    ~DownloadItem_Presentation() override;

    // What a creator of a download supplies: the address, the access manager (not owned)
    // and, when known, the expected size in KiB.
    void set_url(QString urlText);
    void set_manager(QNetworkAccessManager* manager);
    void set_size_text(QString sizeText);

    void init() override;
    void setFinished() override;
    void setStarted() override;
    bool isStopped() override { return m_finished; }
    QString fileName() override { return filePath; }
    void updateInfoLabel() override;
    // A free download path in the download folder for the current URL.
    QString getFileName();
    // The file being written while the data arrive.
    QString partPath() const { return m_output.fileName(); }

public slots:
    void finished() override;
    void start_downloading_item() override;
    void downloadReadyRead() override;
    void error(QNetworkReply::NetworkError code) override;
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) override;
    void stop() override;

private slots:
    void tryAgain() override;
    void open() override;
    void openRep() override;

private:
    // Ends the attempt with an error text: the row in error, "Relancer" shown, the reply
    // aborted, the partial data dropped.
    void fail(const QString& text);
    // Closes the partial file; on success it takes the final name, otherwise it is removed.
    void settle_output(bool complete);
    void abort_reply();

    QUrl url;
    QPointer<QNetworkReply> reply;
    QPointer<QNetworkAccessManager> manager;
    QString urlText;
    qint64 bytesReceived = 0;
    qint64 totalBytes = 0; // the reply's total (or the expected size), 0 when unknown
    QElapsedTimer timer;
    QString filePath;
    QFile m_output;
    QString sizeText;
    // The row aborts its own reply: the abort's error is not the download's.
    bool aborting = false;
    bool userStopped = false;
};

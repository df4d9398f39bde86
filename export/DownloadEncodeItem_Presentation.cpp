#include "export/DownloadEncodeItem_Presentation.h"

#include "app/Log.h"
#include "export/SqueezeLabel.h"
#include "export/ZRDownload_encode_data.h"
#include "export/export_error.h"

#include <QDateTime>
#include <QProgressBar>
#include <QPushButton>

namespace {

const QString kInfo = QStringLiteral("[INFO] Download Encode Item Presentation :: ");
const QString kStampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

} // namespace

DownloadEncodeItem_Presentation::DownloadEncodeItem_Presentation(QWidget*, QString path)
    : Presentation_Interface(kInfo)
    , filePath(std::move(path))
{
    write_log(kInfo + QStringLiteral("construct"));
    connect(stopButton, &QPushButton::clicked, this, &DownloadEncodeItem_Presentation::stop_button);
    fileNameLabel->setText(filePath);
    show_finished_look();
}

DownloadEncodeItem_Presentation::~DownloadEncodeItem_Presentation()
{
    // The row may go while its download runs (its window closed): the download is told to
    // stop and released once its thread has ended.
    if (ZRDownload_encode_data* downloader = take_encoder()) {
        downloader->set_stop();
        release_when_ended(downloader);
    }
}

void DownloadEncodeItem_Presentation::detach()
{
    if (!thread)
        return;
    disconnect(thread, nullptr, this, nullptr);
    disconnect(this, nullptr, thread, nullptr);
}

void DownloadEncodeItem_Presentation::setEncoder(ZRDownload_encode_data* downloader)
{
    if (thread == downloader)
        return;
    detach();
    thread = downloader;
}

ZRDownload_encode_data* DownloadEncodeItem_Presentation::take_encoder()
{
    detach();
    ZRDownload_encode_data* downloader = thread;
    thread = nullptr;
    return downloader;
}

bool DownloadEncodeItem_Presentation::release_job()
{
    ZRDownload_encode_data* downloader = take_encoder();
    if (!downloader)
        return true;
    downloader->set_stop();
    downloader->quit();
    const bool ended = !downloader->isRunning();
    release_when_ended(downloader);
    return ended;
}

Presentation_Interface* DownloadEncodeItem_Presentation::filed_row(Filing filing)
{
    auto* fresh = new DownloadEncodeItem_Presentation(nullptr, filePath);
    // A failed or retried row keeps the same downloader; a succeeded one needs it no more and
    // is an ended row (it can be removed from its tab).
    if (filing == Filing::Success)
        fresh->setFinished();
    else
        fresh->setEncoder(take_encoder());
    return fresh;
}

void DownloadEncodeItem_Presentation::setFinished()
{
    write_log(kInfo + QStringLiteral("setFinished"));
    set_finished_flags();
    m_inError = false;
}

void DownloadEncodeItem_Presentation::setStarted()
{
    write_log(kInfo + QStringLiteral("setStarted"));
    set_started_flags();
}

void DownloadEncodeItem_Presentation::finished()
{
    write_log(kInfo + QStringLiteral("finished"));
    // After an error or a stop the end has been reported already.
    if (m_inError || !take_end_report())
        return;
    // The file the download produced (its name may have lost its blanks, or be the archive).
    if (thread && !thread->result_path().isEmpty()) {
        filePath = thread->result_path();
        fileNameLabel->setText(filePath);
    }
    show_done_buttons();
    setFinished();
    report_finished(kInfo);
}

void DownloadEncodeItem_Presentation::start_downloading_item()
{
    write_log(kInfo + QStringLiteral("start_downloading_item"));
    setStarted();
    arm_end_report();
    show_running_look();
    if (!thread) {
        write_log(QStringLiteral("[ERROR] Download Encode Item Presentation :: download_encode object not allocated"));
        return;
    }
    // One connection of each kind, however often the row is started.
    detach();
    connect(thread, &ZRDownload_encode_data::start_download, this, &DownloadEncodeItem_Presentation::start_downloading_item);
    connect(thread, &ZRDownload_encode_data::finished, this, &DownloadEncodeItem_Presentation::finished);
    connect(thread, &ZRDownload_encode_data::error, this, qOverload<int>(&DownloadEncodeItem_Presentation::error));
    connect(thread, &ZRDownload_encode_data::frame_downloaded_encoded, this,
            &DownloadEncodeItem_Presentation::frame_downloaded_encoded);
    connect(thread, &ZRDownload_encode_data::generic_message, this, &DownloadEncodeItem_Presentation::generic_message);
    connect(this, &DownloadEncodeItem_Presentation::stop_button_pressed, thread, &ZRDownload_encode_data::set_stop_from_user);
    write_log(kInfo + QStringLiteral("download encode object is finished ") + QString::number(thread->isFinished() ? 1 : 0));
    write_log(kInfo + QStringLiteral("download encode object is running  ") + QString::number(thread->isRunning() ? 1 : 0));
    // A run that has reported its end returns at once: a new run starts after it.
    if (thread->isRunning())
        thread->wait();
    totalSeconds = -1;
    write_log(kInfo + QStringLiteral("start download encode object"));
    thread->start(QThread::InheritPriority);
}

void DownloadEncodeItem_Presentation::frame_downloaded_encoded(QString current, QString end)
{
    const QDateTime cur = QDateTime::fromString(current, kStampFormat);
    const QDateTime last = QDateTime::fromString(end, kStampFormat);
    if (!cur.isValid() || !last.isValid())
        return;
    if (totalSeconds < 0) {
        totalSeconds = int(cur.secsTo(last));
        progressBar->setMaximum(totalSeconds);
    }
    downloadInfoLabel->setText(QStringLiteral("Téléchargement / encodage en cours [ ") + current + QStringLiteral(" > ")
                               + end + QStringLiteral(" ]"));
    progressBar->setValue(totalSeconds - int(cur.secsTo(last)));
}

void DownloadEncodeItem_Presentation::generic_message(QString message)
{
    downloadInfoLabel->setText(message);
}

void DownloadEncodeItem_Presentation::error(int code)
{
    write_log(kInfo + QStringLiteral("error"));
    if (!take_end_report())
        return;
    show_failure(tr("%1").arg(export_error::message_for_code(code)));
    emit statusChanged();
}

void DownloadEncodeItem_Presentation::stop_button()
{
    write_log(kInfo + QStringLiteral("stop button"));
    // The operator's stop is the row's end: a later report of the download changes nothing.
    take_end_report();
    show_failure(export_error::message_for_code(-34));
    emit statusChanged();
}

void DownloadEncodeItem_Presentation::stop()
{
    write_log(kInfo + QStringLiteral("stop"));
    if (thread && thread->isRunning())
        thread->quit();
    emit stop_button_pressed();
}

void DownloadEncodeItem_Presentation::tryAgain()
{
    write_log(QStringLiteral("[INFO] Download Encode Item Presentation ::tryAgain ") + QString::number(m_inError ? 1 : 0));
    if (m_inError) {
        write_log(kInfo + QStringLiteral("tryAgain :: tryAgainFromError"));
        emit tryAgainFromError(type());
        return;
    }
    stoppedByUser = false;
    if (restart_on_retry())
        emit statusChanged();
}

void DownloadEncodeItem_Presentation::updateInfoLabel()
{
    write_log(kInfo + QStringLiteral("updateInfoLabel"));
    const qint64 total = progressBar->maximum();
    const qint64 elapsed = timer.isValid() ? timer.elapsed() : 1;
    downloadInfoLabel->setText(progressText(bytesReceived, total, elapsed, filePath));
}

void DownloadEncodeItem_Presentation::downloadProgress(qint64 received, qint64 total)
{
    write_log(kInfo + QStringLiteral("downloadProgress"));
    bytesReceived = received;
    if (total != -1) {
        progressBar->setValue(int(received));
        progressBar->setMaximum(int(total));
    } else {
        progressBar->setValue(0);
        progressBar->setMaximum(0);
    }
    updateInfoLabel();
}

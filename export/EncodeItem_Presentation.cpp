#include "export/EncodeItem_Presentation.h"

#include "app/Log.h"
#include "export/SqueezeLabel.h"
#include "export/export_error.h"
#include "export/ff_export.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>

namespace {

const QString kInfo = QStringLiteral("[INFO] Encode Item Presentation :: ");

} // namespace

EncodeItem_Presentation::EncodeItem_Presentation(QWidget*, QString path)
    : Presentation_Interface(kInfo)
    , filePath(std::move(path))
{
    write_log(kInfo + QStringLiteral("construct"));
    connect(stopButton, &QPushButton::clicked, this, &EncodeItem_Presentation::stop);
    fileNameLabel->setText(filePath);
    show_finished_look();
}

EncodeItem_Presentation::~EncodeItem_Presentation()
{
    // The row may go while its export runs (its window closed): the export is told to stop and
    // released once its thread has ended.
    if (exporter) {
        disconnect(exporter, nullptr, this, nullptr);
        exporter->set_stop();
        release_exporter();
    }
}

void EncodeItem_Presentation::set_exporter(ff_export* ex)
{
    exporter = ex;
}

void EncodeItem_Presentation::release_exporter()
{
    ff_export* ex = exporter;
    exporter = nullptr;
    release_when_ended(ex);
}

void EncodeItem_Presentation::setFinished()
{
    write_log(kInfo + QStringLiteral("setFinished"));
    set_finished_flags();
    m_inError = false;
}

void EncodeItem_Presentation::setStarted()
{
    write_log(kInfo + QStringLiteral("setStarted"));
    set_started_flags();
}

void EncodeItem_Presentation::finished()
{
    write_log(kInfo + QStringLiteral("finished"));
    // The export thread has ended: it can go now.
    release_exporter();
    // After an error the end has been reported already, with the error.
    if (m_inError || !take_end_report())
        return;
    show_done_buttons();
    setFinished();
    report_finished(kInfo);
}

void EncodeItem_Presentation::start_downloading_item()
{
    write_log(kInfo + QStringLiteral("start_downloading_item"));
    setStarted();
    arm_end_report();
    show_running_look();
    if (!exporter) {
        write_log(QStringLiteral("[ERROR] Encode Item Presentation :: download_encode object not allocated"));
        return;
    }
    if (exporter->isRunning() || exporter->isFinished()) {
        write_log(QStringLiteral("[WARN] Encode Item Presentation :: export already started"));
        return;
    }
    connect(exporter, &QThread::finished, this, &EncodeItem_Presentation::finished);
    connect(exporter, &ff_export::error, this, qOverload<int>(&EncodeItem_Presentation::error));
    connect(exporter, &ff_export::frame_downloaded_encoded, this, &EncodeItem_Presentation::frame_downloaded_encoded);
    connect(exporter, &ff_export::endingsignal, this, &EncodeItem_Presentation::destroy_exporter);
    connect(this, &EncodeItem_Presentation::stop_button_pressed, exporter, &ff_export::set_stop);
    write_log(kInfo + QStringLiteral("download encode object is finished ") + QString::number(exporter->isFinished() ? 1 : 0));
    write_log(kInfo + QStringLiteral("download encode object is running  ") + QString::number(exporter->isRunning() ? 1 : 0));
    write_log(kInfo + QStringLiteral("start download encode object"));
    exporter->start(QThread::InheritPriority);
}

void EncodeItem_Presentation::frame_downloaded_encoded(QString current, QString end)
{
    const QDateTime cur = QDateTime::fromString(current, QStringLiteral("yyyyMMddHHmmsszzz"));
    const QDateTime endTime = QDateTime::fromString(cur.date().toString(QStringLiteral("yyyyMMdd")) + end,
                                                    QStringLiteral("yyyyMMddHHmmss"));
    if (!cur.isValid() || !endTime.isValid())
        return;
    if (totalSeconds < 0) {
        totalSeconds = int(cur.secsTo(endTime));
        progressBar->setMaximum(totalSeconds);
    }
    progressBar->setValue(totalSeconds - int(cur.secsTo(endTime)));
    downloadInfoLabel->setText(QStringLiteral("Encodage en cours [ ") + cur.toString(QStringLiteral("HH:mm:ss.zzz"))
                               + QStringLiteral(" > ") + endTime.toString(QStringLiteral("HH:mm:ss.zzz"))
                               + QStringLiteral(" ]"));
}

void EncodeItem_Presentation::error(int code)
{
    write_log(QStringLiteral("[INFO] Download Encode Item Presentation :: error"));
    if (!take_end_report())
        return;
    show_failure(tr("%1").arg(export_error::message_for_code(code)));
    // The name was held by an empty file: nothing was written, nothing is left.
    if (remove_empty_on_failure) {
        const QFileInfo out(filePath);
        if (out.isFile() && !out.isSymLink() && out.size() == 0)
            QFile::remove(filePath);
    }
    emit statusChanged();
}

void EncodeItem_Presentation::destroy_exporter()
{
    // The export thread sends its end just before it returns: it is released once its thread
    // has finished (finished()), never while it still runs.
    if (exporter)
        write_log(kInfo + QStringLiteral("destroy exporter"));
}

void EncodeItem_Presentation::tryAgain()
{
    write_log(kInfo + QStringLiteral("tryAgain ") + QString::number(m_inError ? 1 : 0));
    if (m_inError) {
        write_log(kInfo + QStringLiteral("tryAgain :: tryAgainFromError"));
        emit tryAgainFromError(type());
        return;
    }
    stopped = false;
    if (restart_on_retry())
        emit statusChanged();
}

void EncodeItem_Presentation::updateInfoLabel()
{
    write_log(kInfo + QStringLiteral("updateInfoLabel"));
    const qint64 total = progressBar->maximum();
    const qint64 elapsed = timer.isValid() ? timer.elapsed() : 1;
    downloadInfoLabel->setText(progressText(bytesReceived, total, elapsed, filePath));
}

void EncodeItem_Presentation::downloadProgress(qint64 received, qint64 total)
{
    write_log(kInfo + QStringLiteral("downloadProgress"));
    if (!timer.isValid())
        timer.start();
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

void EncodeItem_Presentation::stop()
{
    write_log(kInfo + QStringLiteral("stop"));
    emit stop_button_pressed();
}

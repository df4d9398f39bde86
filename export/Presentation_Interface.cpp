#include "export/Presentation_Interface.h"

#include <cmath>

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QUrl>

#include "app/Log.h"
#include "export/SqueezeLabel.h"
#include "platform/DesktopOpener.h"

namespace {

const char* const kBarStyle =
    "QProgressBar {    border: 1px solid grey; border-radius: 5px; text-align: center;color:white; "
    "font: 14px;background-color: rgba(255,255,255,0.2);padding-top:3px;padding-bottom:3px;}";

} // namespace

Presentation_Interface::Presentation_Interface(QString logPrefix)
    : QWidget(nullptr)
    , m_logPrefix(std::move(logPrefix))
{
    setupUi(this);
    tryAgainButton->hide();
    stopButton->hide();
    openButton->hide();
    progressBar->hide();
    openRepButton->hide();
    connect(openButton, &QPushButton::clicked, this, &Presentation_Interface::open);
    connect(openRepButton, &QPushButton::clicked, this, &Presentation_Interface::openRep);
    connect(tryAgainButton, &QPushButton::clicked, this, &Presentation_Interface::tryAgain);
}

Presentation_Interface::~Presentation_Interface() = default;

bool Presentation_Interface::downloadedSuccessfully()
{
    // Hidden by the row itself, not by a window that is not shown.
    return m_finished && tryAgainButton->isHidden();
}

void Presentation_Interface::trace(const QString& call)
{
    if (!m_logPrefix.isEmpty())
        write_log(m_logPrefix + call);
}

void Presentation_Interface::init()
{
    trace(QStringLiteral("init"));
}

void Presentation_Interface::downloadReadyRead()
{
    trace(QStringLiteral("downloadReadyRead"));
}

void Presentation_Interface::error(QNetworkReply::NetworkError)
{
    trace(QStringLiteral("network error"));
}

void Presentation_Interface::metaDataChanged()
{
    trace(QStringLiteral("metaDataChanged"));
}

void Presentation_Interface::open()
{
    const QString path = QFileInfo(fileName()).absoluteFilePath();
    trace(QStringLiteral("open rep ") + path);
    zrplatform::open_with_desktop(QUrl::fromLocalFile(path));
}

void Presentation_Interface::openRep()
{
    const QString folder = QFileInfo(fileName()).absolutePath();
    trace(QStringLiteral("open rep ") + folder);
    zrplatform::open_with_desktop(QUrl::fromLocalFile(folder));
}

void Presentation_Interface::offer(QPushButton* button, bool on)
{
    button->setEnabled(on);
    button->setVisible(on);
}

void Presentation_Interface::show_done_buttons()
{
    progressBar->hide();
    offer(stopButton, false);
    offer(openButton, true);
    offer(openRepButton, true);
}

void Presentation_Interface::show_finished_look()
{
    show_done_buttons();
    apply_row_look();
}

void Presentation_Interface::show_running_look()
{
    offer(stopButton, true);
    offer(openButton, false);
    offer(openRepButton, false);
    progressBar->show();
}

void Presentation_Interface::show_restart_look()
{
    offer(tryAgainButton, false);
    offer(stopButton, true);
    offer(openRepButton, false);
    progressBar->show();
}

bool Presentation_Interface::restart_on_retry()
{
    set_started_flags();
    m_inError = false;
    if (!tryAgainButton->isEnabled())
        return false;
    show_restart_look();
    return true;
}

void Presentation_Interface::show_failure(const QString& text)
{
    downloadInfoLabel->setText(text);
    offer(tryAgainButton, true);
    stop();
    m_inError = true;
}

void Presentation_Interface::report_finished(const QString& logPrefix)
{
    write_log(logPrefix + QStringLiteral("finished :: downloadInfoLabel :: ") + downloadInfoLabel->text());
    emit statusChanged();
}

void Presentation_Interface::release_when_ended(QThread* job)
{
    if (!job)
        return;
    if (job->isRunning()) {
        connect(job, &QThread::finished, job, &QObject::deleteLater);
        // It may have ended between the look and the connection: deleteLater twice is harmless.
        if (job->isFinished())
            job->deleteLater();
    } else {
        job->deleteLater();
    }
}

double Presentation_Interface::byte_rate(qint64 bytes, qint64 elapsedMs)
{
    return double(bytes) * 1000.0 / double(qMax<qint64>(1, elapsedMs));
}

std::pair<double, QString> Presentation_Interface::time_left(qint64 total, qint64 done, double rate)
{
    double remaining = rate > 0 ? double(total - done) / rate : 0;
    QString unit = tr("secondes");
    if (remaining > 60) {
        remaining /= 60;
        unit = tr("minutes");
    }
    return {std::floor(remaining), unit};
}

QString Presentation_Interface::progressText(qint64 received, qint64 total, qint64 elapsedMs, const QString& finalFile)
{
    const double rate = byte_rate(received, elapsedMs);
    auto [remaining, unit] = time_left(total, received, rate);
    if (remaining == 0)
        remaining = 1;
    if (!downloadedSuccessfully()) {
        const QString tail = total == 0 ? QString() : tr("- %1 %2 restantes").arg(remaining).arg(unit);
        return tr("%1 of %2 (%3/sec) %4")
            .arg(sizeString(received), total == 0 ? tr("?") : sizeString(total), sizeString(qint64(rate)), tail);
    }
    if (received == total)
        return sizeString(QFileInfo(finalFile).size());
    return tr("%1 of %2 - Arrété").arg(sizeString(received), sizeString(total));
}

QString Presentation_Interface::sizeString(qint64 bytes)
{
    qint64 count = bytes;
    QString unit;
    if (bytes < 1024) {
        unit = tr("bytes");
    } else if (bytes < 1048576) {
        count = bytes >> 10;
        unit = tr("kB");
    } else {
        count = bytes >> 20;
        unit = tr("MB");
    }
    return QStringLiteral("%1 %2").arg(count).arg(unit);
}

void Presentation_Interface::setInError(bool value)
{
    m_inError = value;
    offer(openButton, false);
    offer(openRepButton, false);
    offer(tryAgainButton, true);
}

void Presentation_Interface::resetFlags()
{
    m_finished = false;
    m_started = false;
    m_inError = false;
}

void Presentation_Interface::apply_row_look()
{
    fileIcon->setPixmap(style()->standardIcon(QStyle::SP_FileIcon).pixmap(48, 48));
    fileNameLabel->setStyleSheet(QStringLiteral("color: white;"));
    downloadInfoLabel->setStyleSheet(QStringLiteral("color: white;"));
    progressBar->setStyleSheet(QString::fromUtf8(kBarStyle));
}

bool Presentation_Interface::take_end_report()
{
    if (m_endReported)
        return false;
    m_endReported = true;
    return true;
}

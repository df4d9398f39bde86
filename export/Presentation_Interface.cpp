#include "export/Presentation_Interface.h"

#include <cmath>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include "export/SqueezeLabel.h"

namespace {

const char* const kBarStyle =
    "QProgressBar {    border: 1px solid grey; border-radius: 5px; text-align: center;color:white; "
    "font: 14px;background-color: rgba(255,255,255,0.2);padding-top:3px;padding-bottom:3px;}";

} // namespace

Presentation_Interface::Presentation_Interface()
    : QWidget(nullptr)
{
    setupUi(this);
}

Presentation_Interface::~Presentation_Interface() = default;

bool Presentation_Interface::downloadedSuccessfully()
{
    // Hidden by the row itself, not by a window that is not shown.
    return m_finished && tryAgainButton->isHidden();
}

void Presentation_Interface::show_finished_look()
{
    progressBar->hide();
    stopButton->setEnabled(false);
    stopButton->hide();
    openButton->setEnabled(true);
    openButton->show();
    openRepButton->setEnabled(true);
    openRepButton->show();
    apply_row_look();
}

QString Presentation_Interface::progressText(qint64 received, qint64 total, qint64 elapsedMs, qint64 finalSize)
{
    const double rate = received * 1000.0 / double(qMax<qint64>(1, elapsedMs));
    double remaining = rate > 0 ? double(total - received) / rate : 0;
    QString unit = tr("secondes");
    if (remaining > 60) {
        remaining /= 60;
        unit = tr("minutes");
    }
    remaining = std::floor(remaining);
    if (remaining == 0)
        remaining = 1;
    if (!downloadedSuccessfully()) {
        const QString tail = total == 0 ? QString() : tr("- %1 %2 restantes").arg(remaining).arg(unit);
        return tr("%1 of %2 (%3/sec) %4")
            .arg(sizeString(received), total == 0 ? tr("?") : sizeString(total), sizeString(qint64(rate)), tail);
    }
    if (received == total)
        return sizeString(finalSize);
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
    openButton->setEnabled(false);
    openButton->hide();
    openRepButton->setEnabled(false);
    openRepButton->hide();
    tryAgainButton->setEnabled(true);
    tryAgainButton->show();
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

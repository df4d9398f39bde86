#include "export/DownloadItem_Presentation.h"

#include "app/Log.h"
#include "export/SqueezeLabel.h"
#include "platform/DesktopOpener.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace {

const QString kLog = QStringLiteral("DownloadItem_Presentation");

} // namespace

DownloadItem_Presentation::DownloadItem_Presentation(QWidget*, QString path)
    : filePath(std::move(path))
{
    connect(stopButton, &QPushButton::clicked, this, &DownloadItem_Presentation::stop);
    fileNameLabel->setText(filePath);
    m_finished = true;
    m_started = false;
    m_inError = false;
    m_output.setFileName(filePath);
    show_finished_look();
}

DownloadItem_Presentation::~DownloadItem_Presentation()
{
    // A download still running when the row goes is cancelled; its partial data go with it.
    if (reply) {
        disconnect(reply, nullptr, this, nullptr);
        if (reply->isRunning())
            reply->abort();
        reply->deleteLater();
    }
    if (m_output.isOpen()) {
        m_output.close();
        m_output.remove();
    }
}

void DownloadItem_Presentation::set_url(QString text)
{
    urlText = std::move(text);
    // A row with something to fetch waits for its start; only a row without one is an ended
    // job from the outset.
    if (!urlText.isEmpty() && !m_started)
        resetFlags();
}

void DownloadItem_Presentation::set_manager(QNetworkAccessManager* m)
{
    manager = m;
}

void DownloadItem_Presentation::set_size_text(QString text)
{
    sizeText = std::move(text);
}

void DownloadItem_Presentation::init()
{
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation::Init"));
    if (!reply)
        return;
    set_started_flags();
    m_inError = false;
    userStopped = false;
    aborting = false;
    arm_end_report();
    url = reply->url();
    reply->ignoreSslErrors();
    connect(reply, &QNetworkReply::readyRead, this, &DownloadItem_Presentation::downloadReadyRead);
    connect(reply, &QNetworkReply::errorOccurred, this, &DownloadItem_Presentation::error);
    connect(reply, &QNetworkReply::downloadProgress, this, &DownloadItem_Presentation::downloadProgress);
    connect(reply, &QNetworkReply::metaDataChanged, this, &DownloadItem_Presentation::metaDataChanged);
    connect(reply, &QNetworkReply::finished, this, &DownloadItem_Presentation::finished);
    downloadInfoLabel->clear();
    progressBar->setValue(0);
    progressBar->setMaximum(0);
    progressBar->setMinimum(0);
    progressBar->setValue(0);
    bytesReceived = 0;
    timer.start();
    if (reply->error() != QNetworkReply::NoError) {
        error(reply->error());
        finished();
    }
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation::Init Done"));
}

void DownloadItem_Presentation::setFinished()
{
    set_finished_flags();
}

void DownloadItem_Presentation::setStarted()
{
    set_started_flags();
}

void DownloadItem_Presentation::settle_output(bool complete)
{
    if (m_output.isOpen())
        m_output.close();
    const QString part = m_output.fileName();
    if (part.isEmpty() || part == filePath || !QFileInfo::exists(part))
        return;
    if (!complete) {
        QFile::remove(part);
        return;
    }
    // The whole file is here: it takes its name, replacing an older file of that name.
    const QFileInfo target(filePath);
    if ((target.exists() || target.isSymLink()) && !QFile::remove(filePath)) {
        QFile::remove(part);
        downloadInfoLabel->setText(QStringLiteral("Erreur à l'enregistrement : %1").arg(filePath));
        setInError(true);
        return;
    }
    if (!QFile::rename(part, filePath)) {
        QFile::remove(part);
        downloadInfoLabel->setText(QStringLiteral("Erreur à l'enregistrement : %1").arg(filePath));
        setInError(true);
    }
}

void DownloadItem_Presentation::finished()
{
    if (!m_started || !take_end_report())
        return;
    bool complete = !m_inError && !userStopped && reply && reply->error() == QNetworkReply::NoError;
    if (complete && reply->bytesAvailable() > 0)
        downloadReadyRead();
    complete = complete && !m_inError;
    // A connection closed before the announced length is a failed download, even when the
    // network layer reports no error: a cut file never takes the file's name.
    // (A compressed reply announces its compressed length: not comparable.)
    const QVariant announced = reply ? reply->header(QNetworkRequest::ContentLengthHeader) : QVariant();
    const QByteArray encoding = reply ? reply->rawHeader("Content-Encoding").trimmed().toLower() : QByteArray();
    const bool comparable = announced.isValid() && (encoding.isEmpty() || encoding == "identity");
    if (complete && comparable && m_output.isOpen() && m_output.pos() != announced.toLongLong()) {
        m_inError = true;
        downloadInfoLabel->setText(QStringLiteral("Erreur réseau : %1")
                                       .arg(QStringLiteral("réponse incomplète (%1 octets sur %2)")
                                                .arg(m_output.pos())
                                                .arg(announced.toLongLong())));
        tryAgainButton->setEnabled(true);
        tryAgainButton->show();
        complete = false;
    }
    // A complete reply without a body is an empty file.
    if (complete && !m_output.isOpen() && m_output.fileName() == filePath) {
        if (filePath.isEmpty())
            filePath = getFileName();
        m_output.setFileName(filePath + QStringLiteral(".part"));
        if (!m_output.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            downloadInfoLabel->setText(QStringLiteral("Error opening save file : %1").arg(m_output.errorString()));
            setInError(true);
            complete = false;
        }
    }
    settle_output(complete);
    progressBar->hide();
    stopButton->setEnabled(false);
    stopButton->hide();
    if (!m_inError) {
        openButton->setEnabled(true);
        openButton->show();
        openRepButton->setEnabled(true);
        openRepButton->show();
    }
    setFinished();
    if (complete)
        downloadInfoLabel->setText(sizeString(QFileInfo(filePath).size()));
    report_finished(QStringLiteral("[INFO] DownloadItem_Presentation::"));
}

void DownloadItem_Presentation::start_downloading_item()
{
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation :: start downloading item :: from url :: ") + urlText);
    setStarted();
    show_running_look();
    url = QUrl(urlText, QUrl::TolerantMode);
    if (manager) {
        reply = manager->get(QNetworkRequest(url));
        init();
    }
}

void DownloadItem_Presentation::fail(const QString& text)
{
    m_inError = true;
    downloadInfoLabel->setText(text);
    downloadInfoLabel->show();
    tryAgainButton->setEnabled(true);
    tryAgainButton->show();
    abort_reply();
}

void DownloadItem_Presentation::abort_reply()
{
    if (reply && reply->isRunning()) {
        aborting = true;
        reply->abort();
    } else if (m_started) {
        finished();
    }
}

void DownloadItem_Presentation::downloadReadyRead()
{
    if (!reply || m_inError || userStopped)
        return;
    const QString type = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation :: read data :: ") + type);
    if (type.contains(QLatin1String("html"))) {
        const QString text = QString::fromUtf8(reply->readAll());
        write_log(QStringLiteral("[INFO] DownloadItem_Presentation::contain HTML + ") + text);
        fail(QStringLiteral("Download Error - %1").arg(text));
        return;
    }
    if (type.contains(QLatin1String("json"))) {
        const QString text = QString::fromUtf8(reply->readAll());
        write_log(QStringLiteral("[INFO] DownloadItem_Presentation :: contain JSON :: ") + text);
        const QJsonValue v = QJsonDocument::fromJson(text.toUtf8()).object().value(QStringLiteral("ZRRETURN_CODE"));
        const QString code = v.isString() ? v.toString() : QString();
        write_log(QStringLiteral("[INFO] DownloadItem_Presentation :: ZRRETURN_CODE + ") + code);
        fail(QStringLiteral("Download Error - %1").arg(code));
        return;
    }
    // An HTTP error's body is not the file: the error itself ends the attempt.
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() >= 400) {
        reply->readAll();
        return;
    }
    if (!m_output.isOpen()) {
        write_log(QStringLiteral("DownloadItem_Presentation::m_output not open"));
        if (filePath.isEmpty())
            filePath = getFileName();
        write_log(QStringLiteral("[INFO] DownloadItem_Presentation::m_output set filename ") + filePath);
        fileNameLabel->setText(QFileInfo(filePath).fileName());
        // The data go beside the file until the whole reply is here.
        m_output.setFileName(filePath + QStringLiteral(".part"));
        write_log(QStringLiteral("[INFO] DownloadItem_Presentation::m_output WILL open"));
        if (!m_output.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            write_log(QStringLiteral("[ERROR] DownloadItem_Presentation::m_output ERROR opening"));
            fail(QStringLiteral("Error opening save file : %1").arg(m_output.errorString()));
            return;
        }
        emit statusChanged();
    }
    const QByteArray data = reply->readAll();
    if (m_output.write(data) != data.size())
        fail(QStringLiteral("Erreur à l'enregistrement : %1").arg(m_output.errorString()));
}

void DownloadItem_Presentation::error(QNetworkReply::NetworkError)
{
    if (aborting)
        return;
    write_log(QStringLiteral("[ERROR] DownloadItem_Presentation::error"));
    // The reply ends by itself after an error; finished() settles the row.
    m_inError = true;
    downloadInfoLabel->setText(QStringLiteral("Erreur réseau : %1").arg(reply ? reply->errorString() : QString()));
    tryAgainButton->setEnabled(true);
    tryAgainButton->show();
    stopButton->setEnabled(false);
    stopButton->hide();
}

void DownloadItem_Presentation::downloadProgress(qint64 received, qint64 total)
{
    // Once the attempt has failed or been stopped, its line says why.
    if (m_inError || userStopped || aborting)
        return;
    bytesReceived = received;
    if (total != -1) {
        const qint64 max = sizeText.isEmpty() ? total : sizeText.toLongLong() * 1024;
        // The bar holds 32-bit values: large files are shown in KiB.
        const int shift = max > std::numeric_limits<int>::max() ? 10 : 0;
        totalBytes = max;
        progressBar->setMaximum(int(max >> shift));
        progressBar->setValue(int(received >> shift));
    } else {
        progressBar->setValue(0);
        progressBar->setMaximum(0);
        totalBytes = 0;
    }
    updateInfoLabel();
}

void DownloadItem_Presentation::stop()
{
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation::stop"));
    setUpdatesEnabled(false);
    stopButton->setEnabled(false);
    stopButton->hide();
    openButton->setEnabled(true);
    openButton->show();
    openRepButton->setEnabled(true);
    openRepButton->show();
    tryAgainButton->setEnabled(true);
    tryAgainButton->show();
    setUpdatesEnabled(true);
    if (!m_inError)
        userStopped = true;
    abort_reply();
}

void DownloadItem_Presentation::tryAgain()
{
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation::tryAgain + ") + url.toString());
    if (!tryAgainButton->isEnabled())
        return;
    offer(tryAgainButton, false);
    show_running_look();
    if (!manager)
        return;
    QNetworkReply* next = manager->get(QNetworkRequest(url));
    if (reply) {
        disconnect(reply, nullptr, this, nullptr);
        reply->deleteLater();
    }
    // Only the partial data of the last attempt go; a file already there stays.
    if (m_output.isOpen())
        m_output.close();
    if (m_output.fileName() != filePath && QFileInfo::exists(m_output.fileName()))
        QFile::remove(m_output.fileName());
    m_output.setFileName(filePath);
    reply = next;
    init();
    emit statusChanged();
}

void DownloadItem_Presentation::open()
{
    const QString path = QFileInfo(filePath).absoluteFilePath();
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation::open + ") + path);
    zrplatform::open_with_desktop(QUrl::fromLocalFile(path));
}

void DownloadItem_Presentation::openRep()
{
    const QString path = QFileInfo(filePath).absoluteFilePath();
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation::open + ") + path);
    zrplatform::open_with_desktop(QUrl::fromLocalFile(QFileInfo(filePath).absolutePath()));
}

QString DownloadItem_Presentation::getFileName()
{
    write_log(QStringLiteral("[INFO] DownloadItem_Presentation::getFileName"));
    QSettings settings;
    settings.beginGroup(QStringLiteral("downloadmanager"));
    QString folder = settings
                         .value(QStringLiteral("downloadDirectory"),
                                QStandardPaths::writableLocation(QStandardPaths::DesktopLocation))
                         .toString();
    settings.endGroup();
    if (!folder.isEmpty())
        folder += QLatin1Char('/');
    const QFileInfo info(url.path(QUrl::FullyDecoded));
    QString base = info.completeBaseName();
    const QString suffix = info.suffix();
    if (base.isEmpty())
        base = QStringLiteral("unnamed_download");
    QString candidate = folder + base + QLatin1Char('.') + suffix;
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = folder + base + QLatin1Char('-') + QString::number(n) + QLatin1Char('.') + suffix;
    return candidate;
}

void DownloadItem_Presentation::updateInfoLabel()
{
    const qint64 total = sizeText.isEmpty() ? totalBytes : sizeText.toLongLong() * 1024;
    const qint64 elapsed = timer.isValid() ? timer.elapsed() : 1;
    downloadInfoLabel->setText(progressText(bytesReceived, total, elapsed, filePath));
}

#include "export/DownloadMultiItems_Presentation.h"

#include "app/Log.h"
#include "export/SqueezeLabel.h"
#include "export/ZRDownload_thread.h"
#include "platform/DesktopOpener.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include <limits>

namespace {

const QString kInfo = QStringLiteral("[INFO] Download Multi Items Presentation :: ");
const QString kError = QStringLiteral("[ERROR] Download Multi Items Presentation :: ");

int to_bar(qint64 value)
{
    return int(qBound(qint64(0), value, qint64(std::numeric_limits<int>::max())));
}

} // namespace

DownloadMultiItems_Presentation::DownloadMultiItems_Presentation(QList<DownloadFileItem> pending,
                                                                 QList<DownloadFileItem> done, QString folder)
    : m_pending(std::move(pending))
    , m_done(std::move(done))
    , m_folder(std::move(folder))
{
    write_log(QStringLiteral("[INFO] Download MultiItems Presentation :: Construct"));
    write_log(QStringLiteral("[INFO] Download MultiItems Presentation :: Construct :: download         ")
              + QString::number(m_pending.size()));
    write_log(QStringLiteral("[INFO] Download MultiItems Presentation :: Construct :: download done    ")
              + QString::number(m_done.size()));
    if (!m_pending.isEmpty() && !m_done.isEmpty())
        displayName = QStringLiteral("%1 / %2 fichiers téléchargés").arg(m_done.size()).arg(m_done.size() + m_pending.size());
    else if (!m_pending.isEmpty())
        displayName = QStringLiteral("%1 fichiers en erreurs").arg(m_pending.size());
    else
        displayName = QStringLiteral("%1 fichiers téléchargés").arg(m_done.size());

    if (m_pending.isEmpty()) {
        totalKiB = -1;
    } else {
        totalKiB = 0;
        for (const DownloadFileItem& item : std::as_const(m_pending))
            totalKiB += item.sizeKiB();
    }

    connect(stopButton, &QPushButton::clicked, this, &DownloadMultiItems_Presentation::stop_button);

    tryAgainButton->setEnabled(!m_pending.isEmpty());
    tryAgainButton->setVisible(!m_pending.isEmpty());
    fileNameLabel->setText(displayName);
    if (!m_folder.isEmpty()) {
        downloadInfoLabel->setText(m_folder);
        downloadInfoLabel->show();
    }
    set_finished_flags();
    if (!m_done.isEmpty()) {
        outputName = m_done.first().filePath;
        openRepButton->setEnabled(true);
        openRepButton->show();
    }
    progressBar->hide();
    stopButton->setEnabled(false);
    stopButton->hide();
    apply_row_look();

    retryTimer.setSingleShot(true);
    retryTimer.setInterval(kRetryPauseMs);
    connect(&retryTimer, &QTimer::timeout, this, &DownloadMultiItems_Presentation::tryAgain);
}

DownloadMultiItems_Presentation::~DownloadMultiItems_Presentation()
{
    retryTimer.stop();
    release_thread();
}

void DownloadMultiItems_Presentation::release_thread()
{
    if (!thread)
        return;
    disconnect(thread, nullptr, this, nullptr);
    // A transfer still running when the row goes is stopped; the thread goes once it ended.
    if (thread->isRunning())
        thread->set_stop();
    thread->wait();
    delete thread;
    thread = nullptr;
}

QString DownloadMultiItems_Presentation::digest_url(const QString& url)
{
    for (const char* word : {".exe", ".dmg", ".zip", "file_hash"})
        if (url.contains(QLatin1String(word)))
            return url;
    return url + QStringLiteral("&file_hash=1");
}

void DownloadMultiItems_Presentation::init()
{
    set_started_flags();
    m_inError = false;
}

void DownloadMultiItems_Presentation::setFinished()
{
    write_log(kInfo + QStringLiteral("setFinished"));
    set_finished_flags();
    m_inError = false;
}

void DownloadMultiItems_Presentation::setStarted()
{
    set_started_flags();
}

bool DownloadMultiItems_Presentation::downloadedSuccessfully()
{
    return !stoppedByUser && m_finished && tryAgainButton->isHidden();
}

void DownloadMultiItems_Presentation::finished()
{
    progressBar->hide();
    stopButton->setEnabled(false);
    stopButton->hide();
    openRepButton->setEnabled(true);
    openRepButton->show();
    tryAgainButton->setEnabled(stoppedByUser);
    tryAgainButton->setVisible(stoppedByUser);
    setFinished();
    updateInfoLabel();
    report_finished(kInfo);
}

void DownloadMultiItems_Presentation::start_downloading_item()
{
    write_log(kInfo + QStringLiteral("start downloading item"));
    setStarted();
    show_restart_look();
    timer.start();
    downloadInfoLabel->clear();
    progressBar->setValue(0);
    progressBar->setMaximum(to_bar(totalKiB));
    progressBar->setMinimum(0);
    if (m_pending.isEmpty()) {
        finished();
        return;
    }
    current = m_pending.first();
    urlText = current.url;
    displayName = current.filePath;
    write_log(kInfo + QStringLiteral("start downloading item :: ") + displayName);
    init();
    urlText = digest_url(urlText);
    get_data(urlText);
}

void DownloadMultiItems_Presentation::get_data(const QString& url)
{
    write_log(kInfo + QStringLiteral("get data with libcurl"));
    if (thread) {
        write_log(kInfo + QStringLiteral("get data with libcurl :: delete download thread :: is running ")
                  + QString::number(thread->isRunning() ? 1 : 0));
        release_thread();
    }
    currentReceived = 0;
    currentTotal = 0;
    const quint64 id = ++attempt;
    thread = new ZRDownload_thread(this, url);
    thread->set_output_path(current.filePath);
    // Each report is applied only while its attempt is the current one: a report already
    // queued by a thread that has been replaced is dropped.
    auto mine = [this, id] { return id == attempt; };
    connect(thread, &ZRDownload_thread::downloadProgress, this, [this, mine](qlonglong got, qlonglong total) {
        if (mine())
            downloadProgress(got, total);
    });
    connect(thread, &ZRDownload_thread::download_finished, this, [this, mine](const QString& sha) {
        if (mine())
            item_finished(sha);
    });
    connect(thread, &ZRDownload_thread::download_error, this, [this, mine](const QString& u, const QString& code) {
        if (mine())
            error(u, code);
    });
    connect(thread, &ZRDownload_thread::statusChanged, this, [this, mine] {
        if (mine())
            emit statusChanged();
    });
    connect(thread, &ZRDownload_thread::owner_file_name, this, [this, mine](const QString& name) {
        if (mine())
            fileNameLabel->setText(name);
    });
    connect(thread, &ZRDownload_thread::owner_stop, this, [this, mine] {
        if (mine())
            stop();
    });
    connect(thread, &ZRDownload_thread::owner_info, this, [this, mine](const QString& text) {
        if (!mine())
            return;
        downloadInfoLabel->setText(text);
        downloadInfoLabel->show();
    });
    connect(thread, &ZRDownload_thread::owner_try_again_shown, this, [this, mine] {
        if (!mine())
            return;
        tryAgainButton->setEnabled(true);
        tryAgainButton->show();
    });
    connect(thread, &ZRDownload_thread::owner_open_folder_hidden, this, [this, mine] {
        if (!mine())
            return;
        openRepButton->setEnabled(false);
        openRepButton->hide();
    });
    thread->start(QThread::InheritPriority);
}

QString DownloadMultiItems_Presentation::file_sha256(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

void DownloadMultiItems_Presentation::item_finished(QString file_sha)
{
    if (stoppedByUser) {
        write_log(kInfo + QStringLiteral("item finished :: is stopped"));
        finished();
        return;
    }
    if (!m_inError && !file_sha.isEmpty()) {
        file_sha.remove(QStringLiteral("\r\n"));
        // Hexadecimal digits compare without regard to case.
        file_sha = file_sha.trimmed().toLower();
        write_log(kInfo + QStringLiteral("item finished :: file digest :: ") + file_sha);
        const QString actual = file_sha256(current.filePath);
        write_log(kInfo + QStringLiteral("item finished :: check sha :: ") + actual);
        // A file that does not match, or cannot be read back, is not a downloaded file: the
        // attempt failed.
        if (actual != file_sha) {
            downloadInfoLabel->setText(
                ZRDownload_thread::download_error_text(tr("Empreinte SHA-256 différente")));
            error(urlText, QStringLiteral("sha-256"));
            return;
        }
        current.sha256 = file_sha;
    } else if (!m_inError) {
        // Without a digest the file counts as downloaded; its own hash is recorded when it
        // can be read (an unreadable file stays without one: not verified).
        current.sha256 = file_sha256(current.filePath);
    }

    doneBytes += currentReceived;
    if (!m_pending.isEmpty())
        m_pending.removeFirst();
    if (m_inError) {
        write_log(kInfo + QStringLiteral("item finished :: item in error, add to error list :: ") + current.filePath);
        m_failed.append(current);
    } else {
        write_log(kInfo + QStringLiteral("item finished :: ") + current.filePath);
        write_log(kInfo + QStringLiteral("item finished :: get file sha :: ") + current.sha256);
        outputName = current.filePath;
        m_done.append(current);
    }

    if (!m_pending.isEmpty()) {
        current = m_pending.first();
        urlText = current.url;
        displayName = current.filePath;
        write_log(kInfo + QStringLiteral("item finished :: start new item       :: ") + displayName);
        write_log(kInfo + QStringLiteral("item finished :: url                  :: ") + urlText);
        urlText = digest_url(urlText);
        init();
        retries = 0;
        get_data(urlText);
    } else {
        finished();
    }
}

void DownloadMultiItems_Presentation::error(QString url, QString)
{
    write_log(kError + QStringLiteral("error :: ") + downloadInfoLabel->text());
    if (stoppedByUser) {
        if (showStopMessage)
            downloadInfoLabel->setText(tr("Arrêt Utilisateur"));
        tryAgainButton->setEnabled(true);
        tryAgainButton->show();
        stop();
        return;
    }
    if (retries >= kMaxRetries) {
        write_log(kError + QStringLiteral("error :: item failed :: ") + url);
        m_inError = true;
        item_finished(QString());
        return;
    }
    write_log(kError + QStringLiteral("error :: retry ") + QString::number(retries));
    tryAgainButton->setEnabled(true);
    tryAgainButton->hide();
    openRepButton->setEnabled(false);
    openRepButton->hide();
    retryTimer.start();
    retries += 1;
}

void DownloadMultiItems_Presentation::downloadProgress(qint64 received, qint64 total)
{
    if (stoppedByUser)
        return;
    currentTotal = total;
    currentReceived = received;
    if (totalKiB < 1) {
        const int value = int(m_done.size() + m_failed.size());
        progressBar->setMaximum(int(m_pending.size()) + value);
        progressBar->setValue(value);
    } else {
        progressBar->setMaximum(to_bar(totalKiB));
        progressBar->setValue(to_bar((doneBytes + received) / 1024));
    }
    updateInfoLabel();
}

void DownloadMultiItems_Presentation::stop()
{
    write_log(kInfo + QStringLiteral("stop"));
    setUpdatesEnabled(false);
    stopButton->setEnabled(false);
    stopButton->hide();
    openRepButton->setEnabled(true);
    openRepButton->show();
    tryAgainButton->setEnabled(true);
    tryAgainButton->show();
    retryTimer.stop();
    if (thread)
        thread->set_stop();
    setUpdatesEnabled(true);
}

void DownloadMultiItems_Presentation::tryAgain()
{
    write_log(kInfo + QStringLiteral("try Again ") + QString::number(m_inError ? 1 : 0));
    retryTimer.stop();
    if (m_inError) {
        write_log(kInfo + QStringLiteral("tryAgain :: tryAgainFromError"));
        tryAgainButton->setEnabled(true);
        tryAgainButton->show();
        m_inError = false;
        emit tryAgainFromError(type());
        return;
    }
    stoppedByUser = false;
    showStopMessage = false;
    if (!restart_on_retry())
        return;
    // Only the partial data of the interrupted file go; a file already at its path stays
    // until a complete download replaces it.
    if (!m_pending.isEmpty() && !m_pending.first().filePath.isEmpty()) {
        const QString part = m_pending.first().filePath + QStringLiteral(".part");
        if (QFileInfo::exists(part))
            QFile::remove(part);
    }
    start_downloading_item();
    emit statusChanged();
}

void DownloadMultiItems_Presentation::stop_button()
{
    write_log(kInfo + QStringLiteral("stop button called"));
    QMessageBox box;
    box.setWindowTitle(tr("Information"));
    box.setText(tr("Confirmer l'arrêt du téléchargement ?"));
    box.addButton(tr("Non"), QMessageBox::NoRole);
    QPushButton* yes = box.addButton(tr("Oui"), QMessageBox::YesRole);
    box.exec();
    if (box.clickedButton() != yes)
        return;
    stoppedByUser = true;
    showStopMessage = true;
    stop();
}

void DownloadMultiItems_Presentation::open()
{
    write_log(kInfo + QStringLiteral("ERROR SIMULATION"));
    show_failure(QStringLiteral("ERREUR SIMULEE"));
}

void DownloadMultiItems_Presentation::openRep()
{
    if (m_folder.isEmpty())
        return;
    write_log(kInfo + QStringLiteral("open rep :: ") + m_folder);
    zrplatform::open_with_desktop(QUrl::fromLocalFile(m_folder));
}

QString DownloadMultiItems_Presentation::sizeString(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 %2").arg(bytes).arg(QStringLiteral("B"));
    if (bytes >= 1048576)
        return QStringLiteral("%1 %2").arg(bytes / 1048576).arg(QStringLiteral("MB"));
    return QStringLiteral("%1 %2").arg(bytes / 1024).arg(QStringLiteral("kB"));
}

void DownloadMultiItems_Presentation::updateInfoLabel()
{
    const qint64 total = qMax<qint64>(0, totalKiB) * 1024;
    const qint64 done = doneBytes + currentReceived;
    const double rate = byte_rate(done, timer.isValid() ? timer.elapsed() : 1);
    auto [remaining, unit] = time_left(total, done, rate);
    if (remaining <= 0)
        remaining = 1;
    const int count = int(m_done.size());
    const int all = int(m_pending.size()) + count;
    QString text;
    if (downloadedSuccessfully()) {
        if (done == total)
            text = sizeString(QFileInfo(outputName).size());
        else
            text = tr("%1 / %2 fichier(s) - Arrété").arg(count).arg(all);
    } else {
        const QString tail = total > 0 ? tr("- %1 %2 restantes").arg(qint64(remaining)).arg(unit) : QString();
        const qint64 bits = qint64(qBound(0.0, rate * 8, double(std::numeric_limits<int>::max())));
        QString bitRate;
        if (bits < 1024)
            bitRate = QStringLiteral("%1 %2").arg(bits).arg(QStringLiteral("Bit"));
        else if (bits < 1048576)
            bitRate = QStringLiteral("%1 %2").arg(bits / 1024).arg(QStringLiteral("kBit"));
        else
            bitRate = QStringLiteral("%1 %2").arg(bits / 1048576).arg(QStringLiteral("MBit"));
        text = tr("%1 / %2 fichier(s) ( %5/sec %6 )").arg(count).arg(all).arg(bitRate, tail);
    }
    downloadInfoLabel->setText(text);
}

Presentation_Interface* DownloadMultiItems_Presentation::filed_row(Filing filing)
{
    switch (filing) {
    case Filing::Success:
    case Filing::Retry:
        return new DownloadMultiItems_Presentation(m_pending, m_done, m_folder);
    case Filing::Failure:
        return new DownloadMultiItems_Presentation(m_failed, {}, m_folder);
    }
    return nullptr;
}

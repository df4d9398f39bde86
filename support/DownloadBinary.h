#pragma once

#include "support/ReleaseEntry.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVersionNumber>

#include <memory>
#include <optional>

class QCryptographicHash;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressDialog;
class QSaveFile;
class QWidget;
class UpdateInteraction;

// The auto-update client: finds the newest release on the release server, offers it,
// downloads the package with its SHA-256 checked and hands it to the operating system.
class DownloadBinary : public QObject
{
    Q_OBJECT
public:
    DownloadBinary(QString versionText, QWidget* dialogParent, QObject* parent);
    ~DownloadBinary() override;

    void set_quit_after_install(bool quit);
    // Whether the program should go on starting: false only once a package was downloaded,
    // checked and handed to the system; no update, a refusal and every failure give true.
    bool check_update(bool ask);

    // Where the track listing is looked for; defaults to Http_singleton::get_apps_url().
    void set_apps_url(const QString& url);
    // Transfer time-outs (no byte for that long ends a request).
    void set_timeouts(int requestMs, int downloadMs);
    // Longest time the check (listing, indexes, release notes) may take as a whole, however
    // slowly a server trickles its bytes; then it ends as failed and start-up goes on.
    void set_check_deadline(int ms);

    // Largest listing, index or release-notes body read; a longer one ends its request.
    static constexpr qint64 kBodyLimit = 4 * 1024 * 1024;
    // Answers the question, the save dialog and shows the progress; not owned. nullptr: the real dialogs.
    void set_interaction(UpdateInteraction* interaction);

    // Parsing, choice and formatting helpers (no state).
    static QStringList parseTrackList(const QByteArray& body);
    // Without duplicates, in numeric order (3.9 before 3.10).
    static QStringList orderTracks(const QStringList& tracks);
    static QString chooseTrack(const QStringList& tracks, const QString& current);
    static QString majorMinorText(const QVersionNumber& version);
    static QVersionNumber versionFromText(const QString& text);
    static qint64 buildStampFromText(const QString& text);
    static QList<ReleaseEntry> parseReleaseIndex(const QByteArray& body);
    static void parseEntryVersion(ReleaseEntry& entry);
    static QUrl findChangelogUrl(const QByteArray& body);
    static ReleaseEntry pickPlatformAsset(const QList<ReleaseEntry>& entries);
    static ReleaseEntry pickPlatformAsset(const QList<ReleaseEntry>& entries, bool buildFlag, bool inBin);
    static int assetScore(bool buildFlag, bool inBin, const ReleaseEntry& entry);
    static QString formatSize(qint64 bytes);
    static QString formatDuration(qint64 seconds);
    static QString formatBuildStamp(qint64 stamp);
    // A bare file name for a name taken from a server; "update.bin" when nothing usable is left.
    static QString safeFileName(const QString& name);
    static QUrl trackListUrlFor(const QString& appsUrl, const QString& productName);

signals:
    void updateCheckStarted(QUrl url);
    void updateAvailable(QVersionNumber current, QVersionNumber remote, QString notes, QUrl packageUrl,
                         QString sha256);
    void noUpdateAvailable(QVersionNumber current);
    void updateCheckFailed(QString error);
    void downloadStarted(QUrl url, QString targetPath);
    void downloadProgress(qlonglong received, qlonglong total);
    void downloadFinished(QString path);
    void downloadFailed(QString error);
    void verificationFailed(QString expected, QString actual);
    void installerLaunched(QString path);
    void installerLaunchFailed(QString error);

private slots:
    void onTrackListFinished(QNetworkReply* r);
    void onMetaJsonFinished(QNetworkReply* r);
    void onDownloadReadyRead();
    void onDownloadFinished();
    void handleSslErrors(const QList<QSslError>& errors);

private:
    void startCheck();
    void requestIndex(const QUrl& url);
    void resetTransfer();
    void watchReplyErrors(QNetworkReply* r);
    QNetworkReply* sendGet(const QUrl& url, int timeoutMs);
    void routeOnce(QNetworkReply* r, void (DownloadBinary::*slot)(QNetworkReply*));
    static void limitBody(QNetworkReply* r);
    static QString replyError(QNetworkReply* r);
    void fallBackOrFail(const QString& message, bool dropAsset);
    QUrl channelIndexUrl(const QString& channelName) const;
    bool askQuestion(const QString& digest, const QVersionNumber& remote);
    QByteArray fetchText(QNetworkAccessManager* manager, const QUrl& url, QString* error);
    void startDownload(const QUrl& url, const QString& targetPathArgument, const QString& sha256,
                       bool quitAfter, bool interactive);
    void showProgressDialog(const QString& title, const QString& fileName);
    void closeProgressDialog();
    void updateProgressDialog(qint64 received, qint64 total);
    void dropSaveFile();
    UpdateInteraction& interaction();

    QString versionText;
    QVersionNumber currentVersion;
    qint64 currentBuildStamp = -1;
    QWidget* dialogParent = nullptr;
    QNetworkAccessManager* network = nullptr;
    QPointer<QNetworkReply> reply;
    std::unique_ptr<QSaveFile> saveFile;
    std::unique_ptr<QCryptographicHash> hash;
    QUrl trackListUrl;
    QUrl indexUrl;
    QUrl downloadUrl;
    QString expectedSha256;
    QString targetPath;
    std::optional<ReleaseEntry> selectedAsset;
    QVersionNumber remoteVersion;
    QString channel;
    QUrl changelogUrl;
    QString track;
    bool testingFallback = false;
    bool testingTried = false;
    QPointer<QProgressDialog> progressDialog;
    qint64 lastReceived = 0;
    qint64 lastSampleMs = 0;
    bool quitAfterInstall = true;

    QString appsUrl;
    int requestTimeoutMs = 15000;
    int downloadTimeoutMs = 600000;
    int checkDeadlineMs = 20000;
    QDeadlineTimer checkDeadline{QDeadlineTimer::Forever};
    UpdateInteraction* customInteraction = nullptr;
    std::unique_ptr<UpdateInteraction> defaultInteraction;
};

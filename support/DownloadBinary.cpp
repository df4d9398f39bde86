#include "support/DownloadBinary.h"

#include "app/Http_singleton.h"
#include "app/Log.h"
#include "platform/DesktopOpener.h"
#include "platform/ReleasePlatform.h"
#include "support/UpdateInteraction.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace {

const QString kStable = QStringLiteral("STABLE");
const QString kTesting = QStringLiteral("TESTING");

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// Blanks, colons and letter case do not matter in a written digest.
QString normalisedDigest(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.isSpace() || c == QLatin1Char(':'))
            continue;
        out += c.toLower();
    }
    return out;
}

QString suffixOf(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

QUrl withPathAppended(QUrl url, const QString& tail)
{
    QString path = url.path(QUrl::FullyDecoded);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + tail, QUrl::DecodedMode);
    return url;
}

} // namespace

DownloadBinary::DownloadBinary(QString text, QWidget* parentWidget, QObject* parent)
    : QObject(parent)
    , versionText(std::move(text))
    , dialogParent(parentWidget)
{
    currentVersion = versionFromText(versionText);
    currentBuildStamp = buildStampFromText(versionText);
    network = new QNetworkAccessManager(this);
    appsUrl = Http_singleton::instance()->get_apps_url();
}

DownloadBinary::~DownloadBinary()
{
    // Nothing may reach this object's slots while it goes away.
    if (reply) {
        QNetworkReply* r = reply;
        reply = nullptr;
        r->disconnect(this);
        r->abort();
    }
    if (progressDialog)
        delete progressDialog.data();
    saveFile.reset(); // never committed here: the temporary file is discarded
    hash.reset();
    delete network;
    network = nullptr;
}

void DownloadBinary::set_quit_after_install(bool quit) { quitAfterInstall = quit; }
void DownloadBinary::set_apps_url(const QString& url) { appsUrl = url; }

void DownloadBinary::set_timeouts(int requestMs, int downloadMs)
{
    requestTimeoutMs = requestMs;
    downloadTimeoutMs = downloadMs;
}

void DownloadBinary::set_check_deadline(int ms) { checkDeadlineMs = ms; }

void DownloadBinary::set_interaction(UpdateInteraction* value) { customInteraction = value; }

UpdateInteraction& DownloadBinary::interaction()
{
    if (customInteraction)
        return *customInteraction;
    if (!defaultInteraction)
        defaultInteraction = std::make_unique<UpdateInteraction>();
    return *defaultInteraction;
}

// ---------------------------------------------------------------- text helpers

QVersionNumber DownloadBinary::versionFromText(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+(?:\\.\\d+){0,2})"));
    const QRegularExpressionMatch m = re.match(text);
    return QVersionNumber::fromString(m.hasMatch() ? m.captured(1) : text);
}

qint64 DownloadBinary::buildStampFromText(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("DEV(\\d{12})"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return -1;
    bool ok = false;
    const qint64 value = m.captured(1).toLongLong(&ok, 10);
    return ok ? value : -1;
}

QString DownloadBinary::majorMinorText(const QVersionNumber& version)
{
    return QStringLiteral("%1.%2").arg(version.segmentAt(0)).arg(version.segmentAt(1));
}

QStringList DownloadBinary::parseTrackList(const QByteArray& body)
{
    const QString text = QString::fromUtf8(body);
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral("href=['\"](\\d+\\.\\d+)/['\"]"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral(">(\\d+\\.\\d+)/<"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral("<Key>(\\d+\\.\\d+)/</Key>"), QRegularExpression::CaseInsensitiveOption),
    };
    static const QRegularExpression trackShape(QStringLiteral("^\\d+\\.\\d+$"));
    QStringList tracks;
    for (const QRegularExpression& re : patterns) {
        QRegularExpressionMatchIterator it = re.globalMatch(text);
        while (it.hasNext())
            tracks.append(it.next().captured(1));
    }
    QStringList kept;
    for (const QString& t : tracks)
        if (trackShape.match(t).hasMatch())
            kept.append(t);
    return kept;
}

QStringList DownloadBinary::orderTracks(const QStringList& tracks)
{
    QStringList out = tracks;
    out.removeDuplicates();
    std::stable_sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return QVersionNumber::compare(QVersionNumber::fromString(a + QStringLiteral(".0")),
                                       QVersionNumber::fromString(b + QStringLiteral(".0"))) < 0;
    });
    return out;
}

QString DownloadBinary::chooseTrack(const QStringList& tracks, const QString& current)
{
    if (tracks.isEmpty() || tracks.contains(current))
        return current;
    const QVersionNumber c = QVersionNumber::fromString(current + QStringLiteral(".0"));
    QString taken;
    QVersionNumber takenVersion;
    for (const QString& t : tracks) {
        const QVersionNumber v = QVersionNumber::fromString(t + QStringLiteral(".0"));
        if (v > c)
            continue;
        if (taken.isEmpty() || v > takenVersion) {
            taken = t;
            takenVersion = v;
        }
    }
    return taken.isEmpty() ? tracks.last() : taken;
}

void DownloadBinary::parseEntryVersion(ReleaseEntry& entry)
{
    static const QRegularExpression re(QStringLiteral("(\\d+\\.\\d+\\.\\d+)(?:\\.DEV(\\d{12}))?"));
    static const QRegularExpression ltsRe(QStringLiteral("(\\d{2})LTS"));
    const QRegularExpressionMatch n = re.match(entry.name);
    const QRegularExpressionMatch i = re.match(entry.id);
    const QRegularExpressionMatch& m = n.hasMatch() ? n : i;
    if (!m.hasMatch()) {
        entry.versionText.clear();
        entry.version = QVersionNumber();
        entry.buildStamp = -1;
    } else {
        entry.versionText = m.captured(0);
        entry.version = QVersionNumber::fromString(m.captured(1));
        entry.buildStamp = -1;
        if (!m.captured(2).isEmpty()) {
            bool ok = false;
            const qint64 stamp = m.captured(2).toLongLong(&ok, 10);
            if (ok)
                entry.buildStamp = stamp;
        }
        entry.devBuild = entry.buildStamp >= 0;
    }
    const QRegularExpressionMatch lts = ltsRe.match(entry.name);
    entry.lts = lts.hasMatch() ? lts.captured(1).toInt() : -1;
}

QList<ReleaseEntry> DownloadBinary::parseReleaseIndex(const QByteArray& body)
{
    QList<ReleaseEntry> entries;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return entries;
    if (doc.isArray()) {
        const QJsonArray array = doc.array();
        for (const QJsonValue& value : array) {
            if (!value.isObject())
                continue;
            const QJsonObject o = value.toObject();
            ReleaseEntry e;
            e.name = o.value(QLatin1String("name")).toString();
            e.url = QUrl(o.value(QLatin1String("url")).toString(), QUrl::TolerantMode);
            bool ok = false;
            const qint64 size = o.value(QLatin1String("size")).toVariant().toLongLong(&ok);
            e.size = ok ? size : 0;
            e.arch = o.value(QLatin1String("arch")).toString();
            e.sha256 = o.value(QLatin1String("sha256")).toString();
            e.id = o.value(QLatin1String("id")).toString();
            e.idSha256 = o.value(QLatin1String("id_sha256")).toString();
            e.suffix = suffixOf(e.name);
            parseEntryVersion(e);
            if (e.url.isValid())
                entries.append(e);
        }
    } else if (doc.isObject()) {
        // A lone object names no platform, so it never passes the platform choice.
        const QJsonObject o = doc.object();
        ReleaseEntry e;
        e.name = o.value(QLatin1String("name")).toString();
        e.url = QUrl(o.value(QLatin1String("url")).toString(), QUrl::TolerantMode);
        e.sha256 = o.value(QLatin1String("sha256")).toString();
        e.versionText = o.value(QLatin1String("version")).toString();
        e.version = versionFromText(e.versionText);
        e.buildStamp = buildStampFromText(e.versionText);
        e.devBuild = e.buildStamp >= 0;
        e.suffix = suffixOf(e.name.isEmpty() ? QFileInfo(e.url.path()).fileName() : e.name);
        entries.append(e);
    }
    return entries;
}

QUrl DownloadBinary::findChangelogUrl(const QByteArray& body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isArray())
        return QUrl();
    const QJsonArray array = doc.array();
    for (const QJsonValue& value : array) {
        if (!value.isObject())
            continue;
        const QJsonObject o = value.toObject();
        const bool marked =
            o.value(QLatin1String("type")).toString().compare(QLatin1String("changelog"), Qt::CaseInsensitive) == 0
            || o.value(QLatin1String("name")).toString().compare(QLatin1String("CHANGELOG.md"), Qt::CaseInsensitive) == 0;
        if (!marked)
            continue;
        const QUrl url(o.value(QLatin1String("url")).toString(), QUrl::TolerantMode);
        if (url.isValid())
            return url;
    }
    return QUrl();
}

int DownloadBinary::assetScore(bool buildFlag, bool inBin, const ReleaseEntry& entry)
{
    const bool zip = entry.suffix == QLatin1String("zip");
    const bool exe = entry.suffix == QLatin1String("exe");
    const bool launcher = entry.name.contains(QLatin1String("launcher"), Qt::CaseInsensitive)
        || entry.id.contains(QLatin1String("launcher"), Qt::CaseInsensitive);
    if (!buildFlag) {
        if (exe)
            return 2;
        return zip && !launcher ? 1 : 0;
    }
    if (exe)
        return 1;
    if (zip)
        return launcher ? (inBin ? 3 : 0) : 2;
    return 0;
}

ReleaseEntry DownloadBinary::pickPlatformAsset(const QList<ReleaseEntry>& entries)
{
    const bool inBin = QDir(QCoreApplication::applicationDirPath()).dirName().compare(QLatin1String("bin"), Qt::CaseInsensitive) == 0;
    return pickPlatformAsset(entries, Http_singleton::instance()->get_build_flag(), inBin);
}

ReleaseEntry DownloadBinary::pickPlatformAsset(const QList<ReleaseEntry>& entries, bool buildFlag, bool inBin)
{
    const QString arch = zrplatform::release_asset_arch();
    const ReleaseEntry* chosen = nullptr;
    int chosenScore = -1;
    for (const ReleaseEntry& e : entries) {
        if (e.arch.compare(arch, Qt::CaseInsensitive) != 0)
            continue;
        const int score = assetScore(buildFlag, inBin, e);
        if (!chosen || score > chosenScore || (score == chosenScore && compareReleases(e, *chosen) > 0)) {
            chosen = &e;
            chosenScore = score;
        }
    }
    return chosen ? *chosen : ReleaseEntry();
}

QString DownloadBinary::formatSize(qint64 bytes)
{
    static const char* const units[] = {"octets", "Ko", "Mo", "Go", "To"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    int decimals = 0;
    if (unit > 0)
        decimals = value < 10.0 ? 2 : (value < 100.0 ? 1 : 0);
    return QString::number(value, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString DownloadBinary::formatDuration(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds - h * 3600) / 60;
    const qint64 s = seconds % 60;
    if (h == 0)
        return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
}

QString DownloadBinary::formatBuildStamp(qint64 stamp)
{
    const QString digits = QString::number(stamp);
    const QDateTime when = QDateTime::fromString(digits, QStringLiteral("yyyyMMddhhmm"));
    if (when.isValid())
        return QLocale().toString(when, QStringLiteral("yyyy-MM-dd HH:mm"));
    return digits;
}

QString DownloadBinary::safeFileName(const QString& name)
{
    // The name comes from a server: keep only its last component, without anything a
    // file system could read as a folder, a drive or a control sequence.
    QString base = name;
    const int cut = std::max(base.lastIndexOf(QLatin1Char('/')), base.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        base = base.mid(cut + 1);
    QString clean;
    for (const QChar c : base) {
        if (c == QLatin1Char(':') || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            continue;
        clean += c;
    }
    clean = clean.trimmed();
    // Only dots and blanks: Windows drops trailing dots and blanks, leaving the folder itself.
    bool onlyDots = true;
    for (const QChar c : std::as_const(clean))
        if (c != QLatin1Char('.') && !c.isSpace())
            onlyDots = false;
    if (onlyDots)
        return QStringLiteral("update.bin");
    return clean;
}

QUrl DownloadBinary::trackListUrlFor(const QString& apps, const QString& productName)
{
    QString product = productName;
    product.remove(QRegularExpression(QStringLiteral("\\s")));
    const QString prefix = QString::fromLatin1(
        QCryptographicHash::hash(product.toUtf8(), QCryptographicHash::Md5).toHex().left(5));
    return withPathAppended(QUrl::fromUserInput(apps), prefix + QLatin1Char('_') + product + QLatin1Char('/'));
}

// ---------------------------------------------------------------- requests

QNetworkReply* DownloadBinary::sendGet(const QUrl& url, int timeoutMs)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("AutoUpdate/%1").arg(versionText));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(timeoutMs);
    return network->get(request);
}

void DownloadBinary::resetTransfer()
{
    if (reply) {
        // A superseded request is dropped quietly: its slot must not report it.
        QNetworkReply* r = reply;
        reply = nullptr;
        r->setProperty("handled", true);
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
    dropSaveFile();
    hash.reset();
    closeProgressDialog();
}

void DownloadBinary::dropSaveFile()
{
    if (saveFile) {
        saveFile->cancelWriting();
        saveFile.reset();
    }
}

void DownloadBinary::watchReplyErrors(QNetworkReply* r)
{
    connect(r, &QNetworkReply::sslErrors, this, &DownloadBinary::handleSslErrors);
}

void DownloadBinary::routeOnce(QNetworkReply* r, void (DownloadBinary::*slot)(QNetworkReply*))
{
    r->setProperty("handled", false);
    connect(r, &QNetworkReply::finished, this, [this, r, slot] {
        if (r->property("handled").toBool())
            return;
        r->setProperty("handled", true);
        (this->*slot)(r);
    });
    if (r->isFinished() && !r->property("handled").toBool()) {
        r->setProperty("handled", true);
        (this->*slot)(r);
    }
}

void DownloadBinary::limitBody(QNetworkReply* r)
{
    // The body stays in the reply until it is read whole: stop as soon as the declared
    // size or what has arrived goes past the cap (progress signals come too rarely for that).
    auto check = [r] {
        const QVariant declared = r->header(QNetworkRequest::ContentLengthHeader);
        const bool over = r->bytesAvailable() > kBodyLimit || (declared.isValid() && declared.toLongLong() > kBodyLimit);
        if (over && !r->property("tooLarge").toBool()) {
            r->setProperty("tooLarge", true);
            r->abort();
        }
    };
    connect(r, &QNetworkReply::metaDataChanged, r, check);
    connect(r, &QNetworkReply::readyRead, r, check);
}

QString DownloadBinary::replyError(QNetworkReply* r)
{
    if (r->property("tooLarge").toBool())
        return tr("Réponse trop volumineuse (plus de %1).").arg(formatSize(kBodyLimit));
    return r->errorString();
}

void DownloadBinary::handleSslErrors(const QList<QSslError>& errors)
{
    if (errors.isEmpty())
        return;
    const QString message = tr("Erreur SSL: %1").arg(errors.first().errorString());
    const bool wasDownload = saveFile != nullptr;
    // abort() finishes the reply at once, and its finish handler releases the save file,
    // the hash and the dialog: look at each of them again afterwards, never before.
    const QPointer<QNetworkReply> current = reply;
    if (current && current->isRunning())
        current->abort();
    dropSaveFile();
    if (wasDownload)
        emit downloadFailed(message);
    else
        emit updateCheckFailed(message);
    closeProgressDialog();
}

void DownloadBinary::startCheck()
{
    trackListUrl = trackListUrlFor(appsUrl, Http_singleton::instance()->get_product_name());
    track.clear();
    testingFallback = false;
    testingTried = false;
    resetTransfer();
    emit updateCheckStarted(trackListUrl);
    if (!isWebScheme(trackListUrl)) {
        emit updateCheckFailed(tr("Adresse invalide : %1").arg(trackListUrl.toString()));
        return;
    }
    QNetworkReply* r = sendGet(trackListUrl, requestTimeoutMs);
    reply = r;
    watchReplyErrors(r);
    limitBody(r);
    routeOnce(r, &DownloadBinary::onTrackListFinished);
}

void DownloadBinary::onTrackListFinished(QNetworkReply* r)
{
    if (reply == r)
        reply = nullptr;
    if (r->error() != QNetworkReply::NoError) {
        emit updateCheckFailed(replyError(r));
        r->deleteLater();
        return;
    }
    const QStringList tracks = orderTracks(parseTrackList(r->readAll()));
    r->deleteLater();
    track = chooseTrack(tracks, majorMinorText(currentVersion));
    const QString identityVersion = Http_singleton::instance()->get_version();
    const bool testBuild = currentBuildStamp > 0 || identityVersion.contains(QLatin1String(".DEV"))
        || identityVersion.contains(QLatin1String(".patch"));
    if (testBuild)
        testingFallback = true;
    channel = kStable;
    requestIndex(channelIndexUrl(channel));
}

QUrl DownloadBinary::channelIndexUrl(const QString& channelName) const
{
    return withPathAppended(trackListUrl, track + QLatin1Char('/') + channelName + QStringLiteral("/index.json"));
}

void DownloadBinary::requestIndex(const QUrl& url)
{
    resetTransfer();
    indexUrl = url;
    emit updateCheckStarted(url);
    QNetworkReply* r = sendGet(url, requestTimeoutMs);
    reply = r;
    watchReplyErrors(r);
    limitBody(r);
    routeOnce(r, &DownloadBinary::onMetaJsonFinished);
}

void DownloadBinary::fallBackOrFail(const QString& message, bool dropAsset)
{
    if (testingFallback && channel == kStable && !testingTried) {
        testingTried = true;
        channel = kTesting;
        requestIndex(channelIndexUrl(kTesting));
        return;
    }
    if (dropAsset)
        selectedAsset.reset();
    emit updateCheckFailed(message);
}

void DownloadBinary::onMetaJsonFinished(QNetworkReply* r)
{
    if (reply == r)
        reply = nullptr;
    r->deleteLater();
    if (r->error() != QNetworkReply::NoError) {
        fallBackOrFail(replyError(r), false);
        return;
    }
    const QByteArray body = r->readAll();
    changelogUrl = findChangelogUrl(body);
    const QList<ReleaseEntry> entries = parseReleaseIndex(body);
    if (entries.isEmpty()) {
        fallBackOrFail(tr("JSON vide ou invalide (aucun asset)."), true);
        return;
    }
    const ReleaseEntry* newest = &entries.first();
    for (const ReleaseEntry& e : entries)
        if (compareReleases(e, *newest) > 0)
            newest = &e;

    const ReleaseEntry asset = pickPlatformAsset(entries);
    if (!asset.url.isValid()) {
        fallBackOrFail(tr("Aucun binaire compatible pour cette plateforme."), false);
        return;
    }
    selectedAsset = asset;
    // The offer is about the package that would be installed, not about the newest entry
    // of some other platform: an older or equal package is no update.
    remoteVersion = asset.version.isNull() ? newest->version : asset.version;

    bool newer = false;
    if (testingFallback && channel == kStable) {
        const int cmp = QVersionNumber::compare(asset.version, currentVersion);
        newer = cmp > 0
            || (cmp == 0 && asset.version.segmentCount() == currentVersion.segmentCount() && currentBuildStamp > 0);
        if (!newer && !testingTried) {
            testingTried = true;
            channel = kTesting;
            requestIndex(channelIndexUrl(kTesting));
            return;
        }
    } else {
        newer = compareReleases(asset.buildStamp, asset.version, currentBuildStamp, currentVersion) > 0;
    }
    if (newer)
        emit updateAvailable(currentVersion, remoteVersion, QString(), asset.url, asset.sha256);
    else
        emit noUpdateAvailable(currentVersion);
}

// ---------------------------------------------------------------- the check

bool DownloadBinary::check_update(bool ask)
{
    Http_singleton* identity = Http_singleton::instance();
    bool available = false;
    bool failed = false;
    bool answered = false;
    QUrl packageUrl;
    QString digest;
    QVersionNumber remote;
    QEventLoop loop;

    const QMetaObject::Connection onAvailable = connect(
        this, &DownloadBinary::updateAvailable, &loop,
        [&](const QVersionNumber&, const QVersionNumber& r, const QString&, const QUrl& url, const QString& sha) {
            available = true;
            identity->set_update_check_ok(true);
            packageUrl = url;
            digest = sha;
            remote = r;
            answered = true;
            loop.quit();
        });
    const QMetaObject::Connection onNone = connect(this, &DownloadBinary::noUpdateAvailable, &loop, [&] {
        write_log("[INFO] Auto Update :: no update available");
        available = false;
        answered = true;
        loop.quit();
    });
    const QMetaObject::Connection onFailed = connect(this, &DownloadBinary::updateCheckFailed, &loop,
                                                     [&](const QString& error) {
        write_log(QStringLiteral("[WARN] Auto Update :: check failed :: ") + error);
        available = false;
        failed = true;
        answered = true;
        loop.quit();
    });
    // However slowly the servers answer, start-up goes on once the deadline has passed.
    checkDeadline = QDeadlineTimer(checkDeadlineMs);
    QTimer deadlineTimer;
    deadlineTimer.setSingleShot(true);
    connect(&deadlineTimer, &QTimer::timeout, &loop, [&] {
        if (answered)
            return;
        resetTransfer();
        emit updateCheckFailed(tr("Délai dépassé : vérification des mises à jour interrompue."));
    });
    deadlineTimer.start(checkDeadlineMs);
    startCheck();
    // The check can end before the loop would run (an unusable address): a quit()
    // before exec() would be lost.
    if (!answered)
        loop.exec();
    deadlineTimer.stop();
    disconnect(onAvailable);
    disconnect(onNone);
    disconnect(onFailed);

    if (!(available && packageUrl.isValid() && !failed)) {
        if (!available) {
            write_log("[INFO] Auto Update :: no update available");
            identity->set_update_check_ok(true);
        }
        if (!packageUrl.isEmpty() && !packageUrl.isValid()) {
            write_log(QStringLiteral("[WARN] Auto Update :: update url not valid :: ") + packageUrl.toString());
            identity->set_update_check_ok(false);
        }
        if (failed) {
            write_log("[WARN] Auto Update :: failed to get update");
            identity->set_update_check_ok(false);
        }
        return true;
    }
    if (ask && !askQuestion(digest, remote))
        return true;

    QEventLoop downloadLoop;
    bool ok = false;
    bool ended = false;
    const QMetaObject::Connection onFinished = connect(this, &DownloadBinary::downloadFinished, &downloadLoop, [&] {
        ok = true;
        ended = true;
        downloadLoop.quit();
    });
    const QMetaObject::Connection onDownloadError = connect(this, &DownloadBinary::downloadFailed, &downloadLoop, [&] {
        ok = false;
        ended = true;
        downloadLoop.quit();
    });
    const QMetaObject::Connection onMismatch = connect(
        this, &DownloadBinary::verificationFailed, &downloadLoop, [&](const QString& expected, const QString& actual) {
            write_log(QStringLiteral("[WARN] Auto Update :: package digest mismatch :: expected ") + expected
                      + QStringLiteral(" :: actual ") + actual);
            ok = false;
            ended = true;
            downloadLoop.quit();
        });
    // A package nobody could open must not end the program without a window.
    const QMetaObject::Connection onNotOpened = connect(this, &DownloadBinary::installerLaunchFailed, &downloadLoop,
                                                        [&](const QString& error) {
        write_log(QStringLiteral("[WARN] Auto Update :: installer not opened :: ") + error);
        ok = false;
    });
    startDownload(packageUrl, QString(), digest, quitAfterInstall, true);
    if (!ended)
        downloadLoop.exec();
    disconnect(onFinished);
    disconnect(onDownloadError);
    disconnect(onMismatch);
    disconnect(onNotOpened);
    return !ok;
}

bool DownloadBinary::askQuestion(const QString& digest, const QVersionNumber& remote)
{
    QString currentText = currentVersion.toString();
    if (currentBuildStamp > 0)
        currentText += tr(" (TESTING, %1)").arg(formatBuildStamp(currentBuildStamp));

    QString remoteText = remote.toString();
    QStringList extras;
    if (!channel.isEmpty())
        extras.append(channel);
    const ReleaseEntry asset = selectedAsset.value_or(ReleaseEntry());
    if (selectedAsset && asset.buildStamp > 0)
        extras.append(tr(" %1").arg(formatBuildStamp(asset.buildStamp)));
    if (!extras.isEmpty())
        remoteText += QStringLiteral(" (") + extras.join(QStringLiteral(", ")) + QLatin1Char(')');

    const QString file = asset.name.isEmpty() ? QFileInfo(asset.url.path()).fileName() : asset.name;
    const QString size = asset.size > 0 ? formatSize(asset.size) : tr("inconnue");

    QString text = tr("Version actuelle : %1\nVersion disponible : %2").arg(currentText, remoteText);
    if (!file.isEmpty())
        text += tr("\nFichier : %1").arg(file);
    text += tr("\nTaille : %1").arg(size);
    if (!asset.arch.isEmpty())
        text += tr("\nPlateforme : %1").arg(asset.arch);

    QMessageBox box(QMessageBox::Question, tr("Mise à jour disponible"), text,
                    QMessageBox::Yes | QMessageBox::No, dialogParent);
    box.setInformativeText(tr("Télécharger et installer maintenant ?"));

    QString details;
    if (changelogUrl.isValid()) {
        const QByteArray body = fetchText(network, changelogUrl, nullptr);
        if (!body.isEmpty()) {
            QString notes = QString::fromUtf8(body);
            if (notes.size() > 12000)
                notes = notes.left(12000) + QLatin1Char('\n') + QChar(0x2026);
            details = tr("%1").arg(notes);
        }
    }
    if (!digest.isEmpty()) {
        if (!details.isEmpty())
            details += QLatin1Char('\n');
        details += tr("SHA-256 : %1").arg(digest);
    }
    if (!details.isEmpty())
        box.setDetailedText(details);
    return interaction().ask_question(box) == QMessageBox::Yes;
}

QByteArray DownloadBinary::fetchText(QNetworkAccessManager* manager, const QUrl& url, QString* error)
{
    if (!isWebScheme(url)) {
        if (error)
            *error = tr("Adresse invalide : %1").arg(url.toString());
        return QByteArray();
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("AutoUpdate/%1").arg(QCoreApplication::applicationVersion()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(requestTimeoutMs);
    // The notes are fetched within what is left of the check's deadline.
    if (checkDeadline.hasExpired()) {
        if (error)
            *error = tr("Délai dépassé : vérification des mises à jour interrompue.");
        return QByteArray();
    }
    QNetworkReply* r = manager->get(request);
    limitBody(r);
    if (!r->isFinished()) {
        QEventLoop loop;
        connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer deadlineTimer;
        deadlineTimer.setSingleShot(true);
        connect(&deadlineTimer, &QTimer::timeout, r, &QNetworkReply::abort);
        if (!checkDeadline.isForever())
            deadlineTimer.start(int(std::min<qint64>(checkDeadline.remainingTime(), INT_MAX)));
        loop.exec();
    }
    QByteArray body;
    if (r->error() == QNetworkReply::NoError)
        body = r->readAll();
    else if (error)
        *error = replyError(r);
    r->deleteLater();
    return body;
}

// ---------------------------------------------------------------- the download

void DownloadBinary::startDownload(const QUrl& url, const QString& targetPathArgument, const QString& sha256,
                                   bool quitAfter, bool interactive)
{
    resetTransfer();
    downloadUrl = url;
    expectedSha256 = sha256.trimmed();
    quitAfterInstall = quitAfter;

    // Only web addresses: the network manager would also read file:, data: or qrc:.
    if (!isWebScheme(url)) {
        emit downloadFailed(tr("Adresse de téléchargement non prise en charge : %1").arg(url.toString()));
        return;
    }
    // Over plain http only the digest vouches for what arrives.
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0
        && normalisedDigest(expectedSha256).isEmpty()) {
        emit downloadFailed(tr("Paquet sans empreinte SHA-256 sur une connexion non chiffrée."));
        return;
    }

    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    const QString name = targetPathArgument.isEmpty() ? safeFileName(url.fileName()) : targetPathArgument;
    if (!interactive) {
        targetPath = QDir(folder).filePath(name);
    } else {
        const QString filter = tr("Fichier (%1)").arg(QStringLiteral("*.") + QFileInfo(name).suffix());
        targetPath = interaction().ask_save_path(dialogParent, tr("Enregistrer la mise à jour"),
                                                 QDir(folder).filePath(name), filter);
        if (targetPath.isEmpty()) {
            emit downloadFailed(tr("Opération annulée par l’utilisateur."));
            return;
        }
    }

    saveFile = std::make_unique<QSaveFile>(targetPath);
    if (!saveFile->open(QIODevice::WriteOnly)) {
        saveFile.reset();
        emit downloadFailed(tr("Impossible d’ouvrir le fichier destination."));
        return;
    }
    hash = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);

    QNetworkReply* r = sendGet(url, downloadTimeoutMs);
    reply = r;
    watchReplyErrors(r);
    if (interactive) {
        showProgressDialog(tr("Téléchargement de la mise à jour"),
                           targetPathArgument.isEmpty() ? url.fileName() : targetPathArgument);
        connect(r, &QNetworkReply::downloadProgress, this, &DownloadBinary::updateProgressDialog);
        connect(r, &QNetworkReply::finished, this, &DownloadBinary::closeProgressDialog);
        connect(r, &QNetworkReply::errorOccurred, this, &DownloadBinary::closeProgressDialog);
    }
    emit downloadStarted(url, targetPath);
    connect(r, &QNetworkReply::readyRead, this, &DownloadBinary::onDownloadReadyRead);
    connect(r, &QNetworkReply::downloadProgress, this,
            [this](qint64 received, qint64 total) { emit downloadProgress(received, total); });
    connect(r, &QNetworkReply::finished, this, &DownloadBinary::onDownloadFinished);
}

void DownloadBinary::onDownloadReadyRead()
{
    if (!reply || !saveFile)
        return;
    const QByteArray data = reply->readAll();
    if (data.isEmpty())
        return;
    if (hash)
        hash->addData(data);
    saveFile->write(data);
}

void DownloadBinary::onDownloadFinished()
{
    QNetworkReply* r = reply;
    if (!r)
        return;
    reply = nullptr;
    const QNetworkReply::NetworkError error = r->error();
    if (error == QNetworkReply::OperationCanceledError) {
        dropSaveFile();
        emit downloadFailed(tr("Téléchargement annulé."));
    } else if (error != QNetworkReply::NoError) {
        dropSaveFile();
        emit downloadFailed(r->errorString());
    } else {
        const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // Whatever is still buffered belongs to the package.
        if (saveFile) {
            const QByteArray rest = r->readAll();
            if (!rest.isEmpty()) {
                if (hash)
                    hash->addData(rest);
                saveFile->write(rest);
            }
        }
        const QString actual = hash ? QString::fromLatin1(hash->result().toHex()) : QString();
        if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
            // A redirect that was not followed, or any other non-success answer, is no package.
            dropSaveFile();
            emit downloadFailed(tr("Réponse inattendue du serveur (HTTP %1).").arg(status.toInt()));
        } else if (hash && !expectedSha256.isEmpty()
                   && normalisedDigest(actual) != normalisedDigest(expectedSha256)) {
            // Compared before the commit: a bad package never replaces a file nor stays behind.
            dropSaveFile();
            hash.reset();
            emit verificationFailed(expectedSha256, actual);
        } else if (saveFile && !saveFile->commit()) {
            saveFile.reset();
            emit downloadFailed(tr("Échec de l’enregistrement du fichier."));
        } else {
            hash.reset();
            const QString path = targetPath;
            emit downloadFinished(path);
            if (zrplatform::open_with_desktop(QUrl::fromLocalFile(path))) {
                emit installerLaunched(path);
                if (quitAfterInstall)
                    QTimer::singleShot(100, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
            } else {
                emit installerLaunchFailed(tr("Impossible d’ouvrir le fichier téléchargé."));
            }
        }
    }
    r->deleteLater();
}

// ---------------------------------------------------------------- progress

void DownloadBinary::showProgressDialog(const QString& title, const QString& fileName)
{
    if (progressDialog)
        return;
    auto* dialog = new QProgressDialog(dialogParent);
    dialog->setWindowTitle(title.isEmpty() ? tr("Téléchargement en cours…") : title);
    dialog->setLabelText(tr("Téléchargement du paquet\nFichier : %1").arg(fileName.isEmpty() ? tr("(inconnu)") : fileName));
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setRange(0, 100);
    dialog->setValue(0);
    dialog->setCancelButtonText(tr("Annuler"));
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QProgressDialog::canceled, this, [this] {
        if (reply && reply->isRunning())
            reply->abort();
    });
    progressDialog = dialog;
    lastReceived = 0;
    lastSampleMs = QDateTime::currentMSecsSinceEpoch();
    interaction().show_progress(*dialog);
}

void DownloadBinary::closeProgressDialog()
{
    if (!progressDialog)
        return;
    QProgressDialog* dialog = progressDialog;
    progressDialog = nullptr;
    dialog->hide();
    dialog->deleteLater();
}

void DownloadBinary::updateProgressDialog(qint64 received, qint64 total)
{
    const QPointer<QProgressDialog> dialog = progressDialog;
    if (!dialog)
        return;
    if (total < 1) {
        dialog->setRange(0, 0);
    } else {
        dialog->setRange(0, 100);
        const qint64 percent = std::clamp<qint64>(received * 100 / total, 0, 100);
        dialog->setValue(int(percent)); // may run events of a modal dialog
        if (!dialog || dialog != progressDialog)
            return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 elapsed = now - lastSampleMs;
    if (elapsed < 250)
        return;
    const double rate = double(std::max<qint64>(received - lastReceived, 0)) * 1000.0 / double(elapsed);
    const QString rateText = rate > 0 ? tr("%1/s").arg(formatSize(qint64(rate))) : QStringLiteral("—");
    QString line;
    if (total < 1 || rate <= 1.0) {
        if (received > 0)
            line = tr("\nReçu : %1  ·  Débit : %2").arg(formatSize(received), rateText);
    } else {
        line = tr("\nReçu : %1 / %2  ·  Débit : %3  ·  Restant : %4")
                   .arg(formatSize(received), formatSize(total), rateText,
                        formatDuration(qint64(double(total - received) / rate)));
    }
    QString label = dialog->labelText();
    const int lineBreak = label.indexOf(QLatin1Char('\n'));
    if (lineBreak >= 0)
        label.truncate(lineBreak);
    dialog->setLabelText(label + line);
    lastReceived = received;
    lastSampleMs = now;
}

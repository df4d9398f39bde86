//! libs: zr_support
// The update client's answers: the track listing, the release index (list or lone object),
// the changelog entry and the platform asset choice, and the file name taken from a server.
// The first byte chooses the build flags of the choice; the rest is the server's body.
#include "fuzz/FuzzSupport.h"
#include "platform/ReleasePlatform.h"
#include "support/DownloadBinary.h"

#include <QFileInfo>

namespace {

void checkBareName(const QString& raw)
{
    const QString name = DownloadBinary::safeFileName(raw);
    ZR_FUZZ_CHECK(!name.isEmpty());
    ZR_FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')));
    ZR_FUZZ_CHECK(!name.contains(QLatin1Char(':')));
    // Nothing a file system could take for the folder itself or its parent.
    bool onlyDots = true;
    for (const QChar c : name)
        if (c != QLatin1Char('.') && !c.isSpace())
            onlyDots = false;
    ZR_FUZZ_CHECK(!onlyDots);
    ZR_FUZZ_CHECK(name == name.trimmed());
    ZR_FUZZ_CHECK(DownloadBinary::safeFileName(name) == name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    if (size == 0)
        return 0;
    const uint8_t flags = data[0];
    const QByteArray body(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const QStringList tracks = DownloadBinary::parseTrackList(body);
    const QStringList ordered = DownloadBinary::orderTracks(tracks);
    ZR_FUZZ_CHECK(ordered.size() <= tracks.size());
    for (const QString& t : tracks)
        ZR_FUZZ_CHECK(ordered.contains(t));
    const QString current = QStringLiteral("3.4");
    const QString chosen = DownloadBinary::chooseTrack(ordered, current);
    ZR_FUZZ_CHECK(chosen == current || ordered.contains(chosen));

    const QList<ReleaseEntry> entries = DownloadBinary::parseReleaseIndex(body);
    const ReleaseEntry asset = DownloadBinary::pickPlatformAsset(entries, flags & 1, flags & 2);
    if (!asset.url.isEmpty() || !asset.name.isEmpty()) {
        ZR_FUZZ_CHECK(asset.arch.compare(zrplatform::release_asset_arch(), Qt::CaseInsensitive) == 0);
        bool found = false;
        for (const ReleaseEntry& e : entries)
            found = found || (e.name == asset.name && e.url == asset.url && e.sha256 == asset.sha256);
        ZR_FUZZ_CHECK(found);
    }
    for (const ReleaseEntry& e : entries) {
        ZR_FUZZ_CHECK(compareReleases(e, e) == 0);
        ZR_FUZZ_CHECK(compareReleases(e, asset) == -compareReleases(asset, e));
        checkBareName(e.name);
        checkBareName(QFileInfo(e.url.path()).fileName());
        DownloadBinary::formatBuildStamp(e.buildStamp);
        DownloadBinary::formatSize(e.size);
    }
    DownloadBinary::findChangelogUrl(body);

    const QString text = QString::fromUtf8(body);
    checkBareName(text);
    DownloadBinary::versionFromText(text);
    DownloadBinary::buildStampFromText(text);
    DownloadBinary::formatDuration(qint64(flags) * 1000003 - 5);
    return 0;
}

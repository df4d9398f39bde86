//! libs: zr_store
// The snapshot cache ("zrindex_cache.v1.bin") of an export folder: a cache that loads saves
// and loads back as the same entries, and a digest taken with whatever the cache holds equals
// the digest of the tree taken without it (its folders were just made: no entry can match).
#include "fuzz/FuzzSupport.h"
#include "store/ZRDirectorySnapshot.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    const QString root = zrfuzz::freshFolder(QStringLiteral("snapshot"));
    QDir().mkpath(root + QStringLiteral("/2025-03-14/cam3"));
    QDir().mkpath(root + QStringLiteral("/.zrindex"));
    ZR_FUZZ_CHECK(zrfuzz::writeFile(root + QStringLiteral("/2025-03-14/cam3/3_20250314_080000.zrseek"), "x"));
    const QString cachePath = root + QStringLiteral("/.zrindex/zrindex_cache.v1.bin");
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ZR_FUZZ_CHECK(zrfuzz::writeFile(cachePath, bytes));

    {
        ZRDirectorySnapshot loaded;
        if (loaded.openCacheForRoot(root) && !loaded.cache().isEmpty()) {
            for (const SnapshotEntry& e : loaded.cache())
                ZR_FUZZ_CHECK(e.hash.size() == 32);
            ZR_FUZZ_CHECK(loaded.saveCache());
            ZRDirectorySnapshot again;
            ZR_FUZZ_CHECK(again.openCacheForRoot(root));
            ZR_FUZZ_CHECK(again.cache().size() == loaded.cache().size());
            for (auto it = loaded.cache().cbegin(); it != loaded.cache().cend(); ++it) {
                const auto found = again.cache().constFind(it.key());
                ZR_FUZZ_CHECK(found != again.cache().cend());
                ZR_FUZZ_CHECK(found->hash == it->hash && found->dirMTime == it->dirMTime
                              && found->fileCount == it->fileCount && found->dirCount == it->dirCount);
            }
            ZR_FUZZ_CHECK(zrfuzz::writeFile(cachePath, bytes));
        }
    }

    QStringList changed;
    ZRDirectorySnapshot cached;
    const QString withCache = cached.twoPhase(root, &changed, true);
    ZRDirectorySnapshot fresh;
    const QString without = fresh.twoPhase(root, nullptr, false);
    ZR_FUZZ_CHECK(without.size() == 64);
    ZR_FUZZ_CHECK(withCache == without);
    return 0;
}

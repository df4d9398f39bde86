//! libs: zr_store
// The day index ("zrvideoindex.json") read from an export, re-based when the export moved:
// whatever the file holds, a second read gives the lists of the first (the rewrite the first
// read may have made reads back equal), and the index the player writes from those lists
// reads back equal too.
#include "fuzz/FuzzSupport.h"
#include "store/StoreLayout.h"
#include "store/ZRIndexManager.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

using Lists = QList<QStringList>;

Lists readIndex(ZRIndexManager& manager, const QString& day)
{
    QList<QFileInfo> video, alarm, tag, audio, preview;
    manager.get_value_from_indexfile(day, &video, &alarm, &tag, &audio, &preview);
    Lists out;
    for (const QList<QFileInfo>* list : {&video, &alarm, &tag, &audio, &preview}) {
        QStringList paths;
        for (const QFileInfo& info : *list)
            paths.append(normalizePath(info.absoluteFilePath()));
        out.append(paths);
    }
    return out;
}

QList<QFileInfo> infos(const QStringList& paths)
{
    QList<QFileInfo> out;
    for (const QString& p : paths)
        out.append(QFileInfo(p));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    const QString root = zrfuzz::freshFolder(QStringLiteral("dayindex"));
    const QString exportFolder = root + QStringLiteral("/zrnova_aaaa-bbbb-cccc-dddd");
    const QString day = exportFolder + QStringLiteral("/2025-03-14");
    QDir().mkpath(day + QStringLiteral("/cam3"));
    const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(day));
    ZR_FUZZ_CHECK(!indexPath.isEmpty());
    QDir().mkpath(QFileInfo(indexPath).path());
    ZR_FUZZ_CHECK(zrfuzz::writeFile(indexPath, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))));

    ZRIndexManager manager;
    // The stored hash, read without building the document, is what the JSON library reads.
    const QString stored = manager.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day));
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QJsonValue member = QJsonDocument::fromJson(bytes).object().value(QStringLiteral("last_modified"));
    const QString expected = member.isString() ? member.toString() : QString();
    ZR_FUZZ_CHECK(stored == expected && stored.isNull() == expected.isNull());
    const Lists first = readIndex(manager, day);
    const Lists second = readIndex(manager, day);
    ZR_FUZZ_CHECK(first == second);

    manager.create_zrindexfile(day, infos(first[0]), infos(first[1]), infos(first[2]), infos(first[3]),
                               infos(first[4]));
    const Lists written = readIndex(manager, day);
    ZR_FUZZ_CHECK(written == first);
    ZR_FUZZ_CHECK(!manager.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day)).isNull());
    return 0;
}

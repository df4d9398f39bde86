//! libs: zr_store
// Tag files (encrypted JSON, one tag or a "tags" list) and alarm entries, whose moment comes
// from the alarm image's name. Input: a file name on the first line, then the tag's plaintext.
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzSupport.h"
#include "store/StoreLayout.h"
#include "store/Vignette.h"
#include "store/ZRFile.h"
#include "store/ZRTag.h"

#include <QFileInfo>

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    FuzzInput in(data, size);
    const QString name = QString::fromUtf8(in.line(128));
    const QByteArray plaintext = in.rest();

    static const QString folder = zrfuzz::freshFolder(QStringLiteral("tag"));
    const QString path = folder + QStringLiteral("/3_20250314_080500.zrtag");
    ZR_FUZZ_CHECK(zrfuzz::writeEncrypted(path, plaintext));
    std::unique_ptr<ZRTag> tag(ZRFile::parse_tags_file(QFileInfo(path)));
    if (tag) {
        ZR_FUZZ_CHECK(!tag->is_empty());
        bool ok = false;
        tag->get_tag_cam_id().toInt(&ok);
        ZR_FUZZ_CHECK(ok);
        const Vignette entry(QStringLiteral("3_20250314_080500.zrtag"), folder, QFileInfo(path), QStringLiteral("Hall"),
                             tag->get_tag_datetime(), tag->get_tag_name(), tag->get_tag_description(),
                             tag->get_tag_id(), tag->get_tag_cam_id());
        entry.timestamp();
    }

    // An alarm image's name: its moment is day and time fields, or nothing.
    const Vignette alarm(name, folder + QLatin1Char('/') + name, QStringLiteral("Hall"), QStringLiteral("3"),
                         QString(), QString());
    const QString moment = alarm.timestamp();
    ZR_FUZZ_CHECK(moment.isNull() || !moment.isEmpty());
    ZR_FUZZ_CHECK(!moment.contains(QLatin1Char('_')));
    mediaKindByName(name);
    classifyMedia(name, qint64(size), [](const QString&) { return qint64(1); });
    QString camera, date, time;
    if (splitRecordingName(name, &camera, &date, &time))
        ZR_FUZZ_CHECK(!camera.contains(QLatin1Char('_')) && !date.contains(QLatin1Char('_')));
    splitRecordingBaseName(name, &camera, &date, &time);
    recordingBaseName(name);
    return 0;
}

//! libs: zr_media
// Seek tables and their time stamps: the reference parse of a whole table, the reader's parse
// of a file with its stream filter, and the stamp, size and codec helpers on every field.
#include "fuzz/FuzzSupport.h"
#include "media/ZRSeekTable.h"

#include <QHash>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));

    const QString kind = (size & 1) ? QStringLiteral("audio") : QStringLiteral("video");
    const QList<ZRFrame> reference = ZRSeekTable::parse_text(text, kind, QStringLiteral("1_20250314_080000.zrvideo"));

    static const QString folder = zrfuzz::freshFolder(QStringLiteral("seek"));
    const QString seekPath = folder + QStringLiteral("/3_20250314_080000.zrseek");
    ZR_FUZZ_CHECK(zrfuzz::writeFile(seekPath, text));
    const QHash<int, QString> names{{3, QStringLiteral("Hall")}};
    const ZRSeekTable::FileResult all = ZRSeekTable::parse_file(seekPath, QString(), names);
    for (const QString& stream : all.streams)
        ZR_FUZZ_CHECK(!stream.isEmpty());
    if (!all.streams.isEmpty()) {
        // A stream the file names is found again, and its frames belong to it.
        const ZRSeekTable::FileResult one = ZRSeekTable::parse_file(seekPath, all.streams.last(), names);
        ZR_FUZZ_CHECK(one.detected_stream.isEmpty());
        ZR_FUZZ_CHECK(one.streams == all.streams);
    }

    // Every field of every line through the helpers.
    for (const QByteArray& line : text.split('\n')) {
        for (const QByteArray& field : line.split(':')) {
            const QString f = QString::fromUtf8(field);
            qint64 ms = 0;
            if (ZRSeekTable::parse_stamp(f, &ms)) {
                ZR_FUZZ_CHECK(f.size() == 17);
                ZR_FUZZ_CHECK(!ZRSeekTable::display_text(f).isEmpty());
                ZR_FUZZ_CHECK(ZRSeekTable::time_of_day(f).isValid());
                qint64 fromBytes = 0;
                ZR_FUZZ_CHECK(ZRSeekTable::parse_stamp(field.constData(), field.size(), &fromBytes));
                ZR_FUZZ_CHECK(fromBytes == ms);
            } else {
                ZR_FUZZ_CHECK(ZRSeekTable::display_text(f).isEmpty());
            }
            ZRSeekTable::parse_seconds_stamp(f, &ms);
            ZR_FUZZ_CHECK(ZRSeekTable::parse_size(f) >= 0);
            ZR_FUZZ_CHECK(!ZRSeekTable::decoder_for_codec_text(f).isEmpty());
        }
    }
    (void)reference;
    return 0;
}

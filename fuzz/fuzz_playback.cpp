//! libs: zr_media
// Playback of a recording from outside through the real reader: a seek table and a data file
// (the input's first two bytes give the table's length, big-endian; the table follows, then
// the data file). The reader opens it, steps forward and back and seeks; every picture it
// hands over is whole: linesize times height bytes are readable.
#include "fuzz/FuzzSupport.h"
#include "media/ZRSeekTable.h"
#include "media/ZRStreamReadAndControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QThreadPool>

#include <algorithm>

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    av_log_set_level(AV_LOG_QUIET);
    if (size < 2)
        return 0;
    const size_t tableLength = std::min(size - 2, (size_t(data[0]) << 8) | data[1]);
    const QByteArray table(reinterpret_cast<const char*>(data + 2), qsizetype(tableLength));
    const QByteArray media(reinterpret_cast<const char*>(data + 2 + tableLength), qsizetype(size - 2 - tableLength));

    static const QString folder = [] {
        const QString f = zrfuzz::freshFolder(QStringLiteral("playback")) + QStringLiteral("/zrnova_aaaa-bbbb-cccc-dddd/2025-03-14/cam3");
        QDir().mkpath(f);
        return f;
    }();
    const QString seekPath = folder + QStringLiteral("/3_20250314_080000.zrseek");
    const QString dataPath = folder + QStringLiteral("/3_20250314_080000.zrvideo");
    ZR_FUZZ_CHECK(zrfuzz::writeFile(seekPath, table));
    ZR_FUZZ_CHECK(zrfuzz::writeFile(dataPath, media));

    const ZRSeekTable::FileResult parsed = ZRSeekTable::parse_file(seekPath, QString());
    const QString stream = parsed.streams.isEmpty() ? QStringLiteral("1") : parsed.streams.first();

    int shown = 0;
    {
        ZRStreamReadAndControl reader;
        QObject::connect(&reader, &ZRStreamReadAndControl::set_display_frame, &reader,
                         [&shown](uint8_t* frame, int linesize, int width, int height, QString, QString, bool, int,
                                  double, bool) {
                             ZR_FUZZ_CHECK(frame && width > 0 && height > 0 && linesize >= width * 4);
                             unsigned sum = 0;
                             for (qint64 i = 0; i < qint64(linesize) * height; ++i)
                                 sum += frame[i];
                             (void)sum;
                             ++shown;
                         },
                         Qt::DirectConnection);
        if (reader.init_displayer_for_stream(QFileInfo(seekPath), stream, {QFileInfo(dataPath)})) {
            for (int i = 0; i < 8; ++i)
                reader.read_and_display_next_frame(true);
            const QList<ZRFrame> frames = reader.get_frames();
            if (!frames.isEmpty())
                reader.set_read_timestamp(frames.at(frames.size() / 2).get_timestamp().left(14));
            for (int i = 0; i < 4; ++i)
                reader.read_and_display_previous_frame(true);
            reader.change_rate(4);
            reader.read_and_display_next_frame(true);
            reader.stop();
        }
        QCoreApplication::processEvents();
    }
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    return 0;
}

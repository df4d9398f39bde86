#include "export/ZRDownload_encode_data.h"

#include "app/Http_singleton.h"
#include "app/Log.h"
#include "display/ZRStreamParser.h"
#include "media/ZRStreamEncoder.h"
#include "media/ZRStreamRemux.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <zip.h>
#include <zlib.h>

#include <memory>

namespace {

const QString kInfo = QStringLiteral("[INFO] Raw data downloader :: ");
const QString kWarn = QStringLiteral("[WARN] Raw data downloader :: ");
const QString kError = QStringLiteral("[ERROR] Raw data downloader :: ");

constexpr int kCopyWaitMs = 200;
constexpr int kEncodeWaitMs = 500;
constexpr int kMaxWaits = 30;

// Size and CRC-32 of a file on disk; false when it cannot be read whole.
bool file_crc(const QString& path, qint64* size, quint32* crc)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    uLong value = crc32(0L, Z_NULL, 0);
    qint64 total = 0;
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = f.read(block.data(), block.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        value = crc32(value, reinterpret_cast<const Bytef*>(block.constData()), uInt(n));
        total += n;
    }
    *size = total;
    *crc = quint32(value);
    return true;
}

} // namespace

ZRDownload_encode_data::ZRDownload_encode_data()
    : QThread(nullptr)
{
}

ZRDownload_encode_data::~ZRDownload_encode_data()
{
    write_log(kInfo + QStringLiteral("destruct"));
    // The run may still be going (a window closed under it): it is told to stop and waited for
    // before its members go.
    if (isRunning()) {
        set_stop();
        wait();
    }
    QMutexLocker locker(&parserMutex);
    if (parser && !parser->isRunning()) {
        delete parser;
        parser = nullptr;
    } else {
        write_log(QStringLiteral("[WARN] Raw data downloader :: destruct :: faile to delete streamparser"));
    }
    locker.unlock();
    queue.clear();
    write_log(kInfo + QStringLiteral("destruct :: ") + QString::number(isRunning() ? 1 : 0));
}

void ZRDownload_encode_data::set_stream(QString s, QString h, QString p, QString pq)
{
    scheme = std::move(s);
    host = std::move(h);
    port = std::move(p);
    pathQuery = std::move(pq);
}

QString ZRDownload_encode_data::result_path() const
{
    QMutexLocker locker(&resultMutex);
    return resultPath;
}

QString ZRDownload_encode_data::get_last_timestamp() const
{
    QMutexLocker locker(&resultMutex);
    return lastTimestamp;
}

QString ZRDownload_encode_data::working_folder()
{
    const QString folder = QDir::homePath() + QStringLiteral("/.") + Http_singleton::instance()->get_application_name()
                           + QStringLiteral("/ZRDOWNLOAD/");
    QDir().mkpath(folder);
    return folder;
}

void ZRDownload_encode_data::set_stop()
{
    write_log(kInfo + QStringLiteral("set stop"));
    stopRequested = true;
    QMutexLocker locker(&parserMutex);
    if (parser)
        parser->threadStop(false);
    queue.wake();
}

void ZRDownload_encode_data::set_stop_from_user()
{
    write_log(QStringLiteral("[INFO] Raw data downloader ::set stop from user"));
    stoppedByUser = true;
    set_stop();
}

void ZRDownload_encode_data::get_error()
{
    write_log(QStringLiteral("[INFO] Raw data downloader ::get error"));
    emit error(-11);
}

void ZRDownload_encode_data::start_parser(bool raw)
{
    auto* client = new ZRStreamParser(scheme, host, port, QStringLiteral("-1"), pathQuery, false, QString(), false, nullptr);
    client->set_name("RAW DATA");
    client->set_download_mode(true);
    client->set_raw_mode(raw);
    client->set_decoding_disabled(false);
    client->set_frame_queue(&queue);
    client->set_max_queue_size(raw ? 60 : 30);
    connect(client, qOverload<>(&ZRStreamParser::error), this, &ZRDownload_encode_data::get_error);
    {
        QMutexLocker locker(&parserMutex);
        parser = client;
    }
    // A stop that came while the client was being made reaches it now.
    if (stopRequested)
        client->threadStop(false);
    client->start(QThread::InheritPriority);
}

void ZRDownload_encode_data::stop_parser()
{
    ZRStreamParser* client = nullptr;
    {
        QMutexLocker locker(&parserMutex);
        client = parser;
        parser = nullptr;
    }
    if (client) {
        client->threadStop(false);
        client->wait();
        delete client;
    }
    queue.clear();
}

DecodedFrame* ZRDownload_encode_data::front()
{
    QMutexLocker locker(&queue.mutex);
    return queue.frames.empty() ? nullptr : queue.frames.front();
}

void ZRDownload_encode_data::drop_front()
{
    delete queue.take();
}

DecodedFrame* ZRDownload_encode_data::wait_front(int waitMs, const QString& who, bool* timedOut)
{
    int waits = 0;
    while (!stopRequested) {
        if (DecodedFrame* frame = front())
            return frame;
        {
            QMutexLocker locker(&queue.mutex);
            if (queue.frames.empty() && !stopRequested)
                queue.changed.wait(&queue.mutex, waitMs);
            if (!queue.frames.empty() || stopRequested)
                continue;
        }
        if (++waits > kMaxWaits) {
            write_log(kError + who + QStringLiteral(" :: frame waited ") + QString::number(waits)
                      + QStringLiteral(" stop encoding."));
            stopRequested = true;
            *timedOut = true;
        }
    }
    return nullptr;
}

void ZRDownload_encode_data::remove_file(const QString& path, const QString& warnPrefix)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    if (!QFile::remove(path))
        write_log(warnPrefix + QFileInfo(path).absoluteFilePath());
}

void ZRDownload_encode_data::run()
{
    write_log(kInfo + QStringLiteral("start stream parser :: video format ") + videoFormat);
    stopRequested = false;
    stoppedByUser = false;
    {
        QMutexLocker locker(&resultMutex);
        resultPath.clear();
        lastTimestamp.clear();
    }
    queue.clear();
    if (!archivePath.isEmpty() && QFileInfo::exists(archivePath)) {
        write_log(kError + QStringLiteral("archive file already exist"));
        emit error(-29);
        return;
    }
    if (videoFormat.toLower().contains(QLatin1String("raw")))
        stream_copy();
    else
        encode();
}

void ZRDownload_encode_data::stream_copy()
{
    write_log(kInfo + QStringLiteral("start zrstream remuxer :: register filepath :: absolute path ")
              + QFileInfo(videoPath).absolutePath());
    // Working files of their own for each run: two downloads never share one.
    const QString base = working_folder() + QStringLiteral("tmp_") + QUuid::createUuid().toString(QUuid::Id128);
    const QString rawPath = QFileInfo(base + QStringLiteral(".raw")).absoluteFilePath();
    const QString copyPath = base + QStringLiteral(".copy.mp4");
    const QString mp4Path = base + QStringLiteral(".mp4");
    const auto cleanUp = [&] {
        for (const QString& p : {rawPath, copyPath, mp4Path})
            if (QFileInfo::exists(p))
                QFile::remove(p);
    };

    QFile raw(rawPath);
    if (!raw.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        write_log(kError + QStringLiteral("zrstream remuxer :: failed to open temporary file"));
        cleanUp();
        emit error(-20);
        return;
    }
    write_log(kInfo + QStringLiteral("start zrstream remuxer"));
    start_parser(true);

    int frames = 0;
    int tries = 0;
    bool timedOut = false;
    double streamFps = 0.0;
    while (!stopRequested) {
        DecodedFrame* frame = wait_front(kCopyWaitMs, QStringLiteral("zrstream remuxer"), &timedOut);
        if (!frame)
            break;
        const QString stamp = QString::fromLatin1(frame->get_timestamp() ? frame->get_timestamp() : "");
        if (stamp > endTime) {
            set_stop();
            break;
        }
        if (!frame->get_frame_data() || frame->get_frame_length() <= 0) {
            write_log(kWarn + QStringLiteral("zrstream remuxer :: frame without data skipped :: ") + stamp);
            drop_front();
            continue;
        }
        const qint64 written = raw.write(reinterpret_cast<const char*>(frame->get_frame_data()), frame->get_frame_length());
        if (written > 0) {
            ++frames;
            tries = 0;
            if (frame->get_fps() > 0)
                streamFps = frame->get_fps();
            emit frame_downloaded_encoded(stamp, endTime);
            {
                QMutexLocker locker(&resultMutex);
                lastTimestamp = stamp;
            }
            drop_front();
        } else if (++tries >= kFrameTries) {
            write_log(kWarn + QStringLiteral("zrstream remuxer :: frame dropped after %1 failed writes :: ").arg(tries) + stamp);
            drop_front();
            tries = 0;
        }
    }
    write_log(kInfo + QStringLiteral("zrstream remuxer :: outfile close"));
    raw.close();
    stop_parser();
    if (timedOut) {
        cleanUp();
        emit error(-1);
        return;
    }

    // Frames per second of the range; without a usable length or frame count, the stream's
    // own rate, else 25.
    double fps = durationSeconds > 0 ? double(frames / durationSeconds) : 0.0;
    if (fps < 1.0)
        fps = streamFps > 0 ? streamFps : 25.0;

    int result = 1;
    for (int attempt = 1; attempt <= kRemuxAttempts; ++attempt) {
        ZRStreamRemux remuxer;
        result = remuxer.remux(rawPath, copyPath, mp4Path, fps);
        if (result == 0)
            break;
        write_log(kWarn + QStringLiteral("zrstream remuxer :: retry to remux file"));
        if (!QFileInfo::exists(rawPath))
            break; // nothing left to copy from
    }
    if (result != 0) {
        cleanUp();
        emit error(result < 0 ? result : -21);
        return;
    }

    // The copy becomes the file at the video path (blanks of its name turned into "_"); a file
    // already there is not replaced.
    const QString target = ZRStreamRemux::final_file_name(QDir::fromNativeSeparators(videoPath));
    if (QFileInfo::exists(target) || !QFile::rename(mp4Path, target)) {
        write_log(kError + QStringLiteral("zrstream remuxer :: failed to move the video to ") + target);
        cleanUp();
        emit error(-20);
        return;
    }
    {
        QMutexLocker locker(&resultMutex);
        resultPath = target;
    }
    cleanUp();
    if (!descriptorPath.isEmpty() && !descriptorData.isEmpty()) {
        const int d = write_descriptor();
        if (d != 1) {
            emit error(d);
            return;
        }
    }
    if (!archivePath.isEmpty()) {
        const int a = build_archive(target);
        if (a != 1) {
            emit error(a);
            return;
        }
        QMutexLocker locker(&resultMutex);
        resultPath = archivePath;
    }
    emit finished();
}

void ZRDownload_encode_data::encode()
{
    start_parser(false);
    int code = 1;
    std::unique_ptr<ZRStreamEncoder> encoder;
    int count = 0;
    int tries = 0;
    bool timedOut = false;
    QString format = videoFormat;
    while (!stopRequested) {
        DecodedFrame* frame = wait_front(kEncodeWaitMs, QStringLiteral("raw zrstream"), &timedOut);
        if (!frame) {
            if (timedOut)
                code = -10;
            break;
        }
        if (!encoder) {
            if (format.compare(QLatin1String("h264"), Qt::CaseInsensitive) == 0)
                format = QStringLiteral("libx264");
            else if (format.compare(QLatin1String("h265"), Qt::CaseInsensitive) == 0)
                format = QStringLiteral("hevc");
            if (frame->get_width() != -1 && frame->get_height() != -1 && frame->get_frame()) {
                // Without a rate from the stream the file plays at 25 frames a second.
                const int fps = frame->get_fps() >= 1.0 ? int(frame->get_fps()) : 25;
                encoder = std::make_unique<ZRStreamEncoder>();
                if (!encoder->init_encoder(videoPath, format.toLower(), 2048, fps, frame->get_width(),
                                           frame->get_height(), overlay != 0, QStringLiteral("large"),
                                           frame->get_pix_fmt())) {
                    write_log(kError + QStringLiteral("raw zrstream :: failed to init encoder"));
                    code = -5;
                    set_stop();
                    encoder.reset();
                }
            } else {
                write_log(kWarn + QStringLiteral("raw zrstream :: remove frame ") + QString::number(frame->get_frameid())
                          + QStringLiteral(" / invalid size"));
                drop_front();
            }
            continue;
        }
        const QString stamp = QString::fromLatin1(frame->get_timestamp() ? frame->get_timestamp() : "");
        if (stamp > endTime) {
            set_stop();
            break;
        }
        if (!frame->get_frame()) {
            write_log(kWarn + QStringLiteral("raw zrstream :: picture without data skipped :: ") + stamp);
            drop_front();
            continue;
        }
        if (encoder->encode_frame(frame->get_frame(), frame->get_width(), frame->get_height(), stamp, overlayText,
                                  frame->get_frameid())) {
            emit frame_downloaded_encoded(stamp, endTime);
            {
                QMutexLocker locker(&resultMutex);
                lastTimestamp = stamp;
            }
            drop_front();
            ++count;
            tries = 0;
        } else if (++tries >= kFrameTries) {
            write_log(kWarn + QStringLiteral("raw zrstream :: frame dropped after %1 refused encodings :: ").arg(tries) + stamp);
            drop_front();
            tries = 0;
        }
    }
    stop_parser();

    const QString video = videoPath;
    const QString removeWarning = kWarn + QStringLiteral("raw zrstream :: archive :: Failed to remove file ");
    if (encoder) {
        const bool complete = encoder->end_encoding();
        encoder.reset();
        if (count < kMinEncodedFrames) {
            code = -14;
            remove_file(video, removeWarning);
        } else if (!complete && code == 1) {
            // A file whose writing failed is not a video.
            code = -9;
            remove_file(video, removeWarning);
        }
    }
    if (stoppedByUser) {
        code = -34;
        remove_file(video, removeWarning);
        emit error(code);
    } else if (code != 1) {
        emit error(code);
    } else {
        {
            QMutexLocker locker(&resultMutex);
            resultPath = video;
        }
        bool ok = true;
        if (!descriptorPath.isEmpty() && !descriptorData.isEmpty()) {
            const int d = write_descriptor();
            if (d != 1) {
                emit error(d);
                ok = false;
            }
        }
        if (ok && !archivePath.isEmpty()) {
            const int a = build_archive(video);
            if (a != 1) {
                emit error(a);
                ok = false;
            } else {
                QMutexLocker locker(&resultMutex);
                resultPath = archivePath;
            }
        }
        if (ok)
            emit finished();
    }
    write_log(kInfo + QStringLiteral("set stop"));
    stopRequested = true;
}

int ZRDownload_encode_data::write_descriptor()
{
    write_log(kInfo + QStringLiteral("descriptor"));
    emit generic_message(QStringLiteral("Création du descripteur [") + descriptorPath + QStringLiteral("]"));
    const QString text = QString::fromUtf8(QByteArray::fromBase64(descriptorData.toLatin1()));
    if (text.isEmpty()) {
        write_log(kError + QStringLiteral("descriptor :: failed to decode data"));
        return -30;
    }
    QFile file(descriptorPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        write_log(kError + QStringLiteral("descriptor :: failed to open file"));
        return -31;
    }
    const QByteArray bytes = text.toUtf8() + '\n';
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    if (!ok) {
        write_log(kError + QStringLiteral("descriptor :: failed to open file"));
        return -31;
    }
    return 1;
}

int ZRDownload_encode_data::build_archive(const QString& video)
{
    write_log(kInfo + QStringLiteral("archive data :: ") + archivePath);
    write_log(kInfo + QStringLiteral("archive data :: descriptor :: ") + descriptorPath);
    write_log(kInfo + QStringLiteral("archive data :: video      :: ") + video);
    emit generic_message(QStringLiteral("Archivage des fichiers en cours ... [") + archivePath + QStringLiteral("]"));
    if (!QFileInfo(descriptorPath).isFile()) {
        write_log(kError + QStringLiteral("archive :: descriptor file missing"));
        return -26;
    }
    if (!QFileInfo(video).isFile()) {
        write_log(kError + QStringLiteral("archive :: video file missing"));
        return -27;
    }
    const QByteArray archiveName = QFile::encodeName(archivePath);
    int zipError = 0;
    zip_t* archive = zip_open(archiveName.constData(), ZIP_CREATE | ZIP_EXCL, &zipError);
    if (!archive) {
        write_log(kError + QStringLiteral("archive :: Failed to create archive"));
        return -28;
    }
    const QList<QPair<QString, int>> entries = {{descriptorPath, -22}, {video, -23}};
    for (const auto& [path, failure] : entries) {
        const QByteArray source = QFile::encodeName(path);
        const QByteArray name = QFileInfo(path).fileName().toUtf8();
        zip_source_t* src = zip_source_file(archive, source.constData(), 0, 0);
        if (!src || zip_file_add(archive, name.constData(), src, ZIP_FL_ENC_UTF_8) < 0) {
            write_log(kError + QStringLiteral("archive :: Failed to add file to zip : ") + path);
            if (src)
                zip_source_free(src);
            zip_discard(archive);
            QFile::remove(archivePath);
            return failure;
        }
    }
    if (zip_close(archive) != 0) {
        write_log(kError + QStringLiteral("archive :: Failed to create archive"));
        zip_discard(archive);
        QFile::remove(archivePath);
        return -28;
    }
    const int checked = check_archive(video);
    if (checked != 1)
        return checked; // the originals stay
    remove_file(descriptorPath, kWarn + QStringLiteral("archive :: Failed to remove file "));
    remove_file(video, kWarn + QStringLiteral("archive :: Failed to remove file "));
    return 1;
}

int ZRDownload_encode_data::check_archive(const QString& video)
{
    const QByteArray archiveName = QFile::encodeName(archivePath);
    int zipError = 0;
    zip_t* archive = zip_open(archiveName.constData(), ZIP_RDONLY, &zipError);
    if (!archive) {
        write_log(kError + QStringLiteral("archive :: Failed to open archive : ") + archivePath);
        return -33;
    }
    const QByteArray name = QFileInfo(video).fileName().toUtf8();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(archive, name.constData(), 0, &st) != 0) {
        write_log(kError + QStringLiteral("archive :: Failed to read archive : ") + archivePath);
        zip_close(archive);
        return -32;
    }
    // The whole entry is read back and must be the file on disk, byte count and CRC alike.
    bool ok = false;
    if (zip_file_t* entry = zip_fopen_index(archive, st.index, 0)) {
        uLong crc = crc32(0L, Z_NULL, 0);
        zip_uint64_t total = 0;
        QByteArray block(1 << 16, Qt::Uninitialized);
        zip_int64_t n = 0;
        while ((n = zip_fread(entry, block.data(), zip_uint64_t(block.size()))) > 0) {
            crc = crc32(crc, reinterpret_cast<const Bytef*>(block.constData()), uInt(n));
            total += zip_uint64_t(n);
        }
        zip_fclose(entry);
        qint64 diskSize = -1;
        quint32 diskCrc = 0;
        ok = n == 0 && file_crc(video, &diskSize, &diskCrc) && total == zip_uint64_t(diskSize)
             && (st.valid & ZIP_STAT_SIZE) && st.size == total && quint32(crc) == diskCrc
             && (!(st.valid & ZIP_STAT_CRC) || st.crc == diskCrc);
    }
    zip_close(archive);
    if (!ok) {
        write_log(kError + QStringLiteral("archive :: Failed to read archive : ") + archivePath);
        return -32;
    }
    return 1;
}

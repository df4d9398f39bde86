#include "export/ff_export.h"

#include "app/Log.h"
#include "media/ZRAudioVideoFileReader.h"
#include "media/ZRStreamEncoder.h"

#include <QFile>
#include <QMutexLocker>

namespace {

const QString kLog = QStringLiteral("ZRPlayer Exporter :: ");
constexpr int kWaitStepMs = 300;
constexpr int kQueueLimit = 30;
constexpr int kMaxTries = 3; // a picture the encoder keeps refusing is dropped after this

} // namespace

ff_export::ff_export()
    : QThread(nullptr)
{
}

ff_export::~ff_export()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("destruct "));
    if (isRunning()) {
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("is running, waiting... "));
        set_stop();
        wait();
    }
    frame_queue.clear();
}

void ff_export::set_files(QFileInfoList f)
{
    files = std::move(f);
}

void ff_export::set_start_time(QString t)
{
    start_time = std::move(t);
}

void ff_export::set_end_time(QString t)
{
    end_time = std::move(t);
}

void ff_export::set_camera_names(QHash<int, QString> names)
{
    camera_names = std::move(names);
}

void ff_export::set_stream_id(QString id)
{
    stream_id = std::move(id);
}

bool ff_export::set_encoder_parameters(QString path, QString c, int parameter, int, int, bool overlay, QString size)
{
    output_path = std::move(path);
    codec = std::move(c);
    encoder_parameter = parameter;
    overlay_enabled = overlay;
    overlay_size = std::move(size);
    return true;
}

void ff_export::readerFinished()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("reader finished"));
    reader_finished = true;
    frame_queue.wake();
}

void ff_export::set_stop()
{
    {
        QMutexLocker lock(&reader_mutex);
        if (reader)
            reader->stop();
    }
    stopped_by_user = true;
    stop_requested = true;
    frame_queue.wake();
}

std::unique_ptr<ZRStreamEncoder> ff_export::create_encoder(const DecodedFrame* head, int* code)
{
    auto encoder = std::make_unique<ZRStreamEncoder>();
    QString name = codec;
    if (name.compare(QLatin1String("h264"), Qt::CaseInsensitive) == 0)
        name = QStringLiteral("libx264");
    else if (name.compare(QLatin1String("h265"), Qt::CaseInsensitive) == 0)
        name = QStringLiteral("hevc");
    const int fps = int(reader->get_stream_fps());
    if (encoder->init_encoder(output_path, name.toLower(), encoder_parameter, fps, head->get_width(),
                              head->get_height(), overlay_enabled, overlay_size, head->get_pix_fmt()))
        return encoder;
    write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("failed to init encoder"));
    *code = encoder->has_write_error() ? -9 : -5;
    return nullptr;
}

QStringList ff_export::finish_reader()
{
    ZRAudioVideoFileReader* r = nullptr;
    {
        QMutexLocker lock(&reader_mutex);
        r = reader;
    }
    if (!r)
        return {};
    r->stop();
    r->wait();
    const QStringList skipped = r->get_skipped_files();
    {
        QMutexLocker lock(&reader_mutex);
        reader = nullptr;
    }
    delete r;
    return skipped;
}

void ff_export::fail(int code, bool remove_output)
{
    const QFileInfo out(output_path);
    // A partial file is never left behind looking like a finished export (only a plain file or
    // a link to one is removed, never what a link points to).
    if (remove_output && !output_path.isEmpty() && (out.isSymLink() || out.isFile())) {
        QFile::remove(output_path);
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("partial file removed :: ") + output_path);
    }
    frame_queue.clear();
    emit error(code);
}

void ff_export::run()
{
    auto* r = new ZRAudioVideoFileReader(files, stream_id, start_time, end_time);
    r->set_camera_names(camera_names);
    r->set_frame_queue(&frame_queue);
    r->set_max_queue_size(kQueueLimit);
    // Direct: the flag must be set even while the GUI thread is busy.
    connect(r, &QThread::finished, this, &ff_export::readerFinished, Qt::DirectConnection);
    {
        QMutexLocker lock(&reader_mutex);
        reader = r;
    }
    reader_finished = false;
    if (stopped_by_user)
        r->stop();
    r->start();

    std::unique_ptr<ZRStreamEncoder> encoder;
    int done = 0;
    int total = -1;
    int tries = 0;
    QStringList skipped;

    while (true) {
        DecodedFrame* head = nullptr;
        {
            QMutexLocker lock(&frame_queue.mutex);
            if (frame_queue.frames.empty()) {
                if (reader_finished)
                    stop_requested = true;
                else if (!stop_requested)
                    frame_queue.changed.wait(&frame_queue.mutex, kWaitStepMs);
            } else {
                head = frame_queue.frames.front();
            }
        }
        if (head && !encoder) {
            const double fps = r->get_stream_fps();
            if (fps > 0 && !head->get_is_keyframe()) {
                delete frame_queue.take();
                head = nullptr;
            } else if (fps > 0) {
                int code = 0;
                encoder = create_encoder(head, &code);
                if (!encoder) {
                    finish_reader();
                    fail(code, code == -9);
                    return;
                }
            } else {
                head = nullptr;
                QMutexLocker lock(&frame_queue.mutex);
                frame_queue.changed.wait(&frame_queue.mutex, kWaitStepMs);
            }
        }
        if (head && encoder) {
            const QString stamp = QString::fromUtf8(head->get_timestamp());
            if (encoder->encode_frame(head->get_frame(), head->get_width(), head->get_height(), stamp,
                                      head->get_drawoverlay(), head->get_frameid(), nullptr, nullptr, nullptr)) {
                tries = 0;
                done += 100;
                total = r->get_frame_count();
                emit frame_downloaded_encoded(stamp, end_time);
                if (total > 0)
                    emit valueChanged(done / total);
                delete frame_queue.take();
            } else if (encoder->has_write_error()) {
                finish_reader();
                encoder.reset();
                fail(-9, true);
                return;
            } else if (++tries >= kMaxTries) {
                write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("frame dropped, the encoder refuses it :: ")
                          + stamp);
                tries = 0;
                delete frame_queue.take();
            }
        }
        if (stop_requested)
            break;
    }

    skipped = finish_reader();
    frame_queue.clear();
    if (encoder) {
        const bool written = encoder->end_encoding();
        encoder.reset();
        if (!written) {
            fail(-9, true);
            return;
        }
    } else if (!stopped_by_user) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("no frame to encode in the range"));
        fail(-10, false);
        return;
    }
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Encodage terminé"));
    if (!skipped.isEmpty()) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("part of the range is missing :: ")
                  + skipped.join(QStringLiteral(", ")));
        emit files_skipped(skipped);
    }
    emit endingsignal();
}

#include "media/ff_audio_decoder_sdl_player.h"

#include "app/Log.h"
#include "media/Http_header_parser.h"
#include "media/ZRAudioVideoFileReader.h"
#include "media/ZRSeekTable.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTimer>

#include <SDL.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <cstdio>

namespace {

const QString kLog = QStringLiteral("Audio Streamdecoder :: ");
const QString kStream = QStringLiteral("1");
constexpr int kFrameTimerMs = 900;
constexpr qint64 kInputTimeoutTicks = 100000000; // 10 s in 100-nanosecond ticks

void info(const QString& text) { write_log(QStringLiteral("[INFO] ") + kLog + text); }
void warn(const QString& text) { write_log(QStringLiteral("[WARN] ") + kLog + text); }
void error(const QString& text) { write_log(QStringLiteral("[ERROR] ") + kLog + text); }

// A time stamp "yyyyMMddHHmmsszzz" (or "yyyyMMddHHmmss") in wall-clock milliseconds.
bool stamp_ms(const QString& text, qint64* ms)
{
    return ZRSeekTable::parse_stamp(text, ms) || ZRSeekTable::parse_seconds_stamp(text, ms);
}

} // namespace

struct ff_audio_decoder_sdl_player::DecoderContext
{
    SwrContext* resampler = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* decoded = nullptr;
    AVFrame* converted = nullptr;
    AVChannelLayout in_layout{};
    AVChannelLayout out_layout{};
    int out_rate = 48000;

    ~DecoderContext()
    {
        swr_free(&resampler);
        avcodec_free_context(&codec);
        av_frame_free(&decoded);
        av_frame_free(&converted);
        av_channel_layout_uninit(&in_layout);
        av_channel_layout_uninit(&out_layout);
    }
};

std::atomic<qint64> ff_audio_decoder_sdl_player::last_activity{0};
std::atomic<qint64> ff_audio_decoder_sdl_player::byte_counter{0};
std::atomic<bool> ff_audio_decoder_sdl_player::interrupted{false};

ff_audio_decoder_sdl_player::ff_audio_decoder_sdl_player(QString file, QString address, Http_header_parser* h)
    : header(h), audio_file(std::move(file)), stream_address(std::move(address))
{
    data_stream.setDevice(&data_device);
    connect(this, &ff_audio_decoder_sdl_player::stop_timer, this, &ff_audio_decoder_sdl_player::stop_and_delete_timer);
}

ff_audio_decoder_sdl_player::~ff_audio_decoder_sdl_player()
{
    stop = true;
    wait();
    delete frame_timer;
    delete bandwidth_timer;
    data_stream.setDevice(nullptr);
    data_device.close();
    delete file_reader;
}

qint64 ff_audio_decoder_sdl_player::now_ticks()
{
    return QDateTime::currentMSecsSinceEpoch() * 10000;
}

bool ff_audio_decoder_sdl_player::is_frame_timer_running() const
{
    return frame_timer && frame_timer->isActive();
}

// ---------------------------------------------------------------------------------------------
// Owner's side: binding, positioning and the frame timer

void ff_audio_decoder_sdl_player::rebind_reader(const QString& path)
{
    auto* reader = new ZRAudioVideoFileReader({QFileInfo(path)}, kStream);
    reader->buffer_mode = true;
    reader->read_seek_file({QFileInfo(path)}, kStream, QString(), QString(), false);
    data_device.close();
    data_device.setBuffer(&reader->buffer);
    data_device.open(QIODevice::ReadWrite);
    delete file_reader;
    file_reader = reader;
}

int ff_audio_decoder_sdl_player::index_for_time(const QString& time) const
{
    if (!file_reader)
        return -1;
    const int found = file_reader->get_frame_index_for_timestamp(time);
    qint64 wanted = 0;
    if (found >= 0 || !stamp_ms(time, &wanted))
        return found;
    const int count = file_reader->get_frame_count();
    for (int i = 0; i < count; ++i) {
        qint64 at = 0;
        if (ZRSeekTable::parse_stamp(file_reader->get_frame(i).get_timestamp(), &at) && at >= wanted)
            return i;
    }
    return qMax(count, 0);
}

bool ff_audio_decoder_sdl_player::load_frame(int index)
{
    const bool ok = file_reader && file_reader->read_frame(false, index, kStream);
    data_device.seek(0);
    if (ok)
        last_activity = now_ticks();
    return ok;
}

QString ff_audio_decoder_sdl_player::frame_stamp(int index) const
{
    if (!file_reader || index < 0 || index >= file_reader->get_frame_count())
        return QString();
    return file_reader->get_frame(index).get_timestamp();
}

void ff_audio_decoder_sdl_player::change_audio_file(QString path)
{
    info(QStringLiteral("change zraudio file :: ") + path);
    framereader_stopped = false;
    seek_ready = false;
    QMutexLocker lock(&buffer_mutex);
    audio_file = path;
    rebind_reader(path);
    current_index = 0;
    seek_ready = true;
}

void ff_audio_decoder_sdl_player::create_frame_timer(const char* where)
{
    if (!frame_timer) {
        frame_timer = new QTimer();
        connect(frame_timer, &QTimer::timeout, this, &ff_audio_decoder_sdl_player::read_next_audio_frame);
    }
    if (!framereader_stopped) {
        info(QLatin1String(where) + QStringLiteral(" :: audio_framerate->start @ ")
             + (qstrcmp(where, "set_new_timestamp") == 0 ? QStringLiteral("1019") : QStringLiteral("981")));
        frame_timer->start(kFrameTimerMs);
    }
}

void ff_audio_decoder_sdl_player::set_new_timestamp(QString audio_time, QString video_time)
{
    if (frame_timer && frame_timer->isActive())
        frame_timer->stop();
    info(QStringLiteral("set audio timestamp :: ") + audio_time + QStringLiteral(" :: video timestamp :: ") + video_time);
    {
        QMutexLocker lock(&buffer_mutex);
        if (!file_reader) {
            warn(QStringLiteral("set new timestamp :: file reader not init"));
            return;
        }
        video_timestamp = video_time;
        audio_timestamp = audio_time;
        const int index = index_for_time(audio_time);
        current_index = index;
        data_ready = load_frame(index);
    }
    create_frame_timer("set_new_timestamp");
}

void ff_audio_decoder_sdl_player::get_video_frame_timestamp(QString time)
{
    if (framereader_stopped)
        return;
    qint64 ms = 0;
    if (!ZRSeekTable::parse_stamp(time, &ms))
        return; // not a frame time: nothing to follow
    const QString t = time;
    bool positioned = false;
    {
        QMutexLocker lock(&buffer_mutex);
        if (current_index == -1) {
            video_timestamp = t;
            info(QStringLiteral("read audio at timestamp ") + t);
            if (!file_reader) {
                warn(QStringLiteral("get video frame timestamp :: file reader not init"));
                return;
            }
            const int index = index_for_time(t);
            current_index = index;
            data_ready = load_frame(index);
            positioned = true;
        }
        if (video_timestamp != t)
            video_timestamp = t;
    }
    if (positioned)
        create_frame_timer("get_video_frame_timestamp");
}

void ff_audio_decoder_sdl_player::read_next_audio_frame()
{
    if (!seek_ready) {
        warn(QStringLiteral("read next audio frame :: zrseek is changing."));
        return;
    }
    bool finished = false, reinit = false, played = false;
    int played_index = -1;
    QString played_stamp;
    {
        QMutexLocker lock(&buffer_mutex);
        const int index = current_index;
        const int count = file_reader ? file_reader->get_frame_count() : -1;
        if (index >= count) {
            warn(QStringLiteral("read next audio frame :: index out of bounds"));
            finished = true;
        } else {
            const QString f_text = frame_stamp(index);
            if (f_text.isEmpty()) {
                warn(QStringLiteral("read next audio frame :: timestamp at index [") + QString::number(index)
                     + QStringLiteral("] is null."));
                if (index < 0) {
                    info(QStringLiteral("read next audio frame :: index is negative, try to re-init"));
                    reinit = true;
                }
            } else {
                qint64 f = 0, a = 0, v = 0;
                ZRSeekTable::parse_stamp(f_text, &f);
                const bool have_last = stamp_ms(last_played_timestamp, &a);
                // Without a video time the sound plays in its own order.
                const qint64 d = stamp_ms(video_timestamp, &v) ? v - f : 0;
                if (have_last && (f - a) / 1000 > 1 && d < -1000)
                    return; // after a gap the sound waits for the video
                int next = index;
                if (!waiting_for_video) {
                    if (d < -3000) {
                        next = index - 1;
                        waiting_for_video = true;
                    } else if (d > 3000) {
                        info(QStringLiteral("read next audio frame :: too much variation"));
                        info(QStringLiteral("read next audio frame :: audio frame at current index       ") + f_text);
                        info(QStringLiteral("read next audio frame :: current video frame timestamp      ")
                             + video_timestamp);
                        next = index_for_time(video_timestamp);
                        data_ready = load_frame(next);
                        last_played_timestamp = frame_stamp(next);
                    } else {
                        data_ready = load_frame(index);
                        last_played_timestamp = f_text;
                        played = true;
                        played_index = index;
                        played_stamp = f_text;
                    }
                } else if (d > -500 && d < 500) {
                    waiting_for_video = false;
                }
                current_index = next + 1;
            }
        }
    }
    if (finished) {
        emit send_parsing_finished();
    } else if (reinit) {
        set_new_timestamp(audio_timestamp, video_timestamp);
    } else if (played) {
        emit send_slidervalue(played_index, played_stamp);
        emit send_settime(ZRSeekTable::time_of_day(played_stamp));
    }
}

void ff_audio_decoder_sdl_player::set_start_framereader_timer()
{
    if (frame_timer && !frame_timer->isActive()) {
        info(QStringLiteral("set_start_framereader_timer :: audio_framerate->start @ 1036"));
        frame_timer->start(kFrameTimerMs);
    }
}

void ff_audio_decoder_sdl_player::set_stop_framereader_timer()
{
    info(QStringLiteral("stop frame reader"));
    framereader_stopped = true;
}

void ff_audio_decoder_sdl_player::stop_stream()
{
    emit stop_timer();
    emit send_message(QStringLiteral("WHITE"), QStringLiteral("Audio stream closing."));
    stop = true;
    if (frame_timer && frame_timer->isActive())
        frame_timer->stop();
}

void ff_audio_decoder_sdl_player::begin_stream()
{
    if (!bandwidth_timer) {
        bandwidth_timer = new QTimer();
        connect(bandwidth_timer, &QTimer::timeout, this, &ff_audio_decoder_sdl_player::calculate_bandwidth);
        bandwidth_timer->start(5000);
    }
    start(QThread::InheritPriority);
}

void ff_audio_decoder_sdl_player::calculate_bandwidth()
{
    counting_bytes = false;
    const qint64 value = (byte_counter.load() / 5) * 8;
    QString rate;
    if (value < 1024)
        rate = QStringLiteral("%1 %2/s").arg(value).arg(tr("bytes"));
    else if (value >= 1048576)
        rate = QStringLiteral("%1 %2/s").arg(value >> 20).arg(tr("MB"));
    else
        rate = QStringLiteral("%1 %2/s").arg(value >> 10).arg(tr("kB"));
    emit send_message(QStringLiteral("GREEN"), QStringLiteral("Audio playing : ") + rate);
    byte_counter = 0;
    counting_bytes = true;
}

void ff_audio_decoder_sdl_player::stop_and_delete_timer()
{
    info(QStringLiteral("stop_and_delete_timer"));
    if (bandwidth_timer) {
        bandwidth_timer->stop();
        delete bandwidth_timer;
        bandwidth_timer = nullptr;
    }
}

void ff_audio_decoder_sdl_player::read_stream(char* buffer_curl, int array_size)
{
    counting_bytes = true;
    if (!buffer_curl)
        write_log(QStringLiteral("[ERROR] Audio Streamdecode :: get stream :: buffer curl is null"));
    if (counting_bytes)
        byte_counter += array_size;
    if (!header || !header->is_multipart())
        return;
    // Later chunks of the same answer are only counted: one decode loop per player, and a
    // stopped player stays stopped.
    if (!claim_decode_loop())
        return;
    if (!refused_by_header()) {
        open_and_play(true);
        release();
    }
}

bool ff_audio_decoder_sdl_player::claim_decode_loop()
{
    return !stop.load() && !started.exchange(true);
}

// ---------------------------------------------------------------------------------------------
// Decoding side

void ff_audio_decoder_sdl_player::run()
{
    if (!claim_decode_loop())
        return;
    bool stream;
    {
        QMutexLocker lock(&buffer_mutex);
        stream = audio_file.isEmpty();
    }
    // A stream whose header record names a multipart stream of another kind is refused before
    // anything is opened.
    if (stream && refused_by_header())
        return;
    open_and_play(stream);
    release();
}

bool ff_audio_decoder_sdl_player::refused_by_header()
{
    if (!header || !header->is_multipart())
        return false;
    const QString type = header->get_content_type();
    if (type == QLatin1String("audio/aac") || type == QLatin1String("audio/mpeg"))
        return false;
    info(QStringLiteral("DO MULTIPART STREAMING + ") + stream_address);
    stop = true;
    emit send_message(QStringLiteral("RED"), QStringLiteral("Audio stream error : Format too old."));
    emit stop_timer();
    return true;
}

void ff_audio_decoder_sdl_player::fail(const QString& text)
{
    // An input aborted because the owner closed the stream is no error; nor is a second
    // failure of a loop that already ended.
    if (stop.exchange(true))
        return;
    emit send_message(QStringLiteral("RED"), text);
    emit stop_timer();
}

int ff_audio_decoder_sdl_player::read_packet(void* opaque, uint8_t* buffer, int size)
{
    auto* stream = static_cast<QDataStream*>(opaque);
    QIODevice* device = stream->device();
    const qint64 got = device ? device->read(reinterpret_cast<char*>(buffer), size) : -1;
    return got > 0 ? int(got) : AVERROR_EOF;
}

int64_t ff_audio_decoder_sdl_player::seek_packet(void* opaque, int64_t offset, int whence)
{
    auto* stream = static_cast<QDataStream*>(opaque);
    QIODevice* device = stream->device();
    if (!device)
        return -1;
    if ((whence & ~AVSEEK_FORCE) == SEEK_SET) {
        const bool ok = device->seek(offset);
        info(QStringLiteral("SeekFunc :: SET ") + QString::number(ok ? 1 : 0));
        return ok ? device->pos() : -1;
    }
    if (whence & AVSEEK_SIZE) {
        info(QStringLiteral("SeekFunc :: SIZE ") + QString::number(device->size()));
        return device->size();
    }
    return 0;
}

int ff_audio_decoder_sdl_player::interrupt_callback(void* opaque)
{
    // A stopped player does not wait for a silent input to time out.
    if (opaque && static_cast<ff_audio_decoder_sdl_player*>(opaque)->stop.load())
        return 1;
    const qint64 elapsed = now_ticks() - last_activity.load();
    if (elapsed > kInputTimeoutTicks) {
        info(QStringLiteral("timeout read frame ") + QString::number(elapsed / 10000));
        interrupted = true;
        return 1;
    }
    return 0;
}

void ff_audio_decoder_sdl_player::open_and_play(bool stream)
{
    started = true;
    data_ready = true;
    QString input;
    QString file;
    {
        QMutexLocker lock(&buffer_mutex);
        file = audio_file;
    }
    custom_input = !file.isEmpty();
    input = custom_input ? QStringLiteral("STREAM") : stream_address;
    info(QStringLiteral("DO DIRECT STREAMING ::  ") + input);

    delete decoder;
    decoder = new DecoderContext();
    last_activity = now_ticks();

    AVDictionary* options = nullptr;
    av_dict_set(&options, "fflags", "nobuffer", 0);
    av_dict_set(&options, "flags", "low_delay", 0);
    av_dict_set(&options, "analyzeduration", "0", 0);
    av_dict_set(&options, "flush_packets", "1", 0);
    av_dict_set(&options, "probesize", "10000", 0);
    if (stream)
        av_dict_set(&options, "reset_timestamps", "1", 0);
    else
        av_dict_set(&options, "avioflags", "direct", 0);
    struct DictFree { AVDictionary** d; ~DictFree() { av_dict_free(d); } } free_options{&options};

    format_context = avformat_alloc_context();
    if (!format_context) {
        fail(QStringLiteral("Audio stream error : Could not open stream."));
        return;
    }
    format_context->interrupt_callback.callback = &ff_audio_decoder_sdl_player::interrupt_callback;
    format_context->interrupt_callback.opaque = this;

    const AVInputFormat* forced_format = nullptr;
    if (custom_input) {
        info(QStringLiteral("check for audio :: create filereader"));
        QMutexLocker lock(&buffer_mutex);
        rebind_reader(file);
        const int count = file_reader->get_frame_count();
        for (int i = 0; i < count; ++i)
            if (load_frame(i))
                break;
        // The seek table names the codec; a lone packet is too little for probing to be sure.
        if (count > 0 && file_reader->get_frame(0).get_codec().compare(QLatin1String("aac"), Qt::CaseInsensitive) == 0)
            forced_format = av_find_input_format("aac");
        seek_ready = true;
        auto* io_buffer = static_cast<unsigned char*>(av_malloc(size_t(io_buffer_size) + 64));
        io_context = io_buffer ? avio_alloc_context(io_buffer, io_buffer_size, 0, &data_stream,
                                                    &ff_audio_decoder_sdl_player::read_packet, nullptr,
                                                    &ff_audio_decoder_sdl_player::seek_packet)
                               : nullptr;
        if (!io_context) {
            av_free(io_buffer);
            info(QStringLiteral("avio_alloc_context() failed."));
            return;
        }
        format_context->pb = io_context;
        format_context->flags |= AVFMT_FLAG_CUSTOM_IO;
    }

    info(QStringLiteral("open input ") + input);
    int rc;
    {
        QMutexLocker lock(custom_input ? &buffer_mutex : nullptr);
        rc = avformat_open_input(&format_context, custom_input ? "STREAM" : input.toUtf8().constData(), forced_format,
                                 &options);
    }
    if (rc < 0) {
        error(QStringLiteral("Could not open ") + input + QStringLiteral(" // error ") + QString::number(rc));
        fail(QStringLiteral("Audio stream error : Could not open stream."));
        return;
    }
    info(QStringLiteral("find stream info"));
    {
        QMutexLocker lock(custom_input ? &buffer_mutex : nullptr);
        rc = avformat_find_stream_info(format_context, nullptr);
    }
    if (rc < 0) {
        error(QStringLiteral("Could not retrieve stream info from ") + input);
        fail(QStringLiteral("Audio stream error : Could not retrieve stream info."));
        return;
    }
    av_dump_format(format_context, 0, input.toUtf8().constData(), 0);
    info(QStringLiteral("streams ") + QString::number(format_context->nb_streams));
    audio_stream_index = -1;
    for (unsigned i = 0; i < format_context->nb_streams; ++i) {
        if (format_context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            audio_stream_index = int(i);
            break;
        }
    }
    info(QStringLiteral("stream index ") + QString::number(audio_stream_index));
    if (audio_stream_index < 0) {
        error(QStringLiteral("Could not retrieve audio stream from ") + input);
        fail(QStringLiteral("Audio stream error : Could not retrieve audio stream."));
        return;
    }
    const AVCodecParameters* parameters = format_context->streams[audio_stream_index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) {
        error(QStringLiteral("Failed to open codec id ") + QString::number(parameters->codec_id) + QStringLiteral(" in ")
              + input);
        fail(QStringLiteral("Audio stream error : Failed to open codec."));
        return;
    }
    decoder->codec = avcodec_alloc_context3(codec);
    if (!decoder->codec) {
        error(QStringLiteral("Failed to allocate context in ") + input);
        fail(QStringLiteral("Audio stream error : Failed to allocate context."));
        return;
    }
    if (avcodec_parameters_to_context(decoder->codec, parameters) < 0) {
        error(QStringLiteral("Failed to set parameters in ") + input);
        fail(QStringLiteral("Audio stream error : Failed to to set parameters."));
        return;
    }
    if (avcodec_open2(decoder->codec, codec, &options) < 0) {
        error(QStringLiteral("Failed to open decoder for stream ") + QString::number(audio_stream_index)
              + QStringLiteral(" in ") + input);
        fail(QStringLiteral("Audio stream error : Failed to open decoder for stream."));
        return;
    }
    decoder->decoded = av_frame_alloc();
    if (!decoder->decoded) {
        error(QStringLiteral("Error allocating the decode frame"));
        fail(QStringLiteral("Audio stream error :  Error allocating the decode frame."));
        return;
    }
    decoder->converted = av_frame_alloc();
    if (!decoder->converted) {
        error(QStringLiteral("Error allocating the transcode frame"));
        fail(QStringLiteral("Audio stream error :  Error allocating the transcode frame."));
        return;
    }

    AVCodecContext* ctx = decoder->codec;
    if (ctx->sample_rate == 0)
        ctx->sample_rate = 8000;
    if (ctx->ch_layout.nb_channels == 0) {
        av_channel_layout_uninit(&ctx->ch_layout);
        av_channel_layout_default(&ctx->ch_layout, 1);
    }
    // Whatever order the stream declares (none, mono, 5.1), the resampler is told the standard
    // layout of its channel count and mixes it down to stereo.
    av_channel_layout_default(&decoder->in_layout, ctx->ch_layout.nb_channels);
    av_channel_layout_default(&decoder->out_layout, 2);
    decoder->out_rate = 48000;
    if (stream) {
        decoder->out_rate = ctx->sample_rate;
        info(QStringLiteral("Define specific out formats for MPEG"));
    }
    char layout_text[128] = {};
    av_channel_layout_describe(&decoder->in_layout, layout_text, sizeof layout_text);
    info(QStringLiteral("in_channel_layout ") + QString::fromLatin1(layout_text));
    info(QStringLiteral("in sample rate ") + QString::number(ctx->sample_rate));
    info(QStringLiteral("in_channels ") + QString::number(ctx->ch_layout.nb_channels));

    const AVSampleFormat in_format = ctx->sample_fmt == AV_SAMPLE_FMT_NONE ? AV_SAMPLE_FMT_FLTP : ctx->sample_fmt;
    if (swr_alloc_set_opts2(&decoder->resampler, &decoder->out_layout, AV_SAMPLE_FMT_S16, decoder->out_rate,
                            &decoder->in_layout, in_format, ctx->sample_rate, 0, nullptr) < 0
        || swr_init(decoder->resampler) < 0) {
        error(QStringLiteral("ERROR OPEN RESAMPLE"));
        fail(QStringLiteral("Audio stream error :  Error open resampler."));
        return;
    }

    SDL_AudioSpec wanted{};
    wanted.freq = decoder->out_rate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
    wanted.samples = 1024;
    wanted.callback = nullptr;
    SDL_AudioSpec obtained{};
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        sdl_initialised = true;
        info(QStringLiteral("List audio devices"));
        const int devices = SDL_GetNumAudioDevices(0);
        for (int i = 0; i < devices; ++i) {
            const char* name = SDL_GetAudioDeviceName(i, 0);
            info(QStringLiteral("Audio device ") + QString::number(i) + QStringLiteral(" : ")
                 + QString::fromUtf8(name ? name : ""));
        }
        device_id = int(SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0));
    }
    if (device_id <= 0) {
        device_id = 0;
        error(QStringLiteral("Open device :: ") + QString::fromUtf8(SDL_GetError()));
        fail(QStringLiteral("Audio stream error :  Open device"));
        return;
    }
    info(QStringLiteral("Device open :: ") + QString::number(device_id));
    device_open = true;
    SDL_PauseAudioDevice(SDL_AudioDeviceID(device_id), 0);
    last_activity = now_ticks();
    if (custom_input) {
        info(QStringLiteral("Init done. Flush audio data"));
        flush_first_frame = true;
    }

    bool ended = false;
    while (!stop && !ended) {
        if (data_ready)
            ended = decode_and_play();
        if (!stop && !ended)
            msleep(100);
    }
    if (ended)
        drain_device();
}

void ff_audio_decoder_sdl_player::drain_device()
{
    // A stream that ended by itself is heard to its end: closing the device would drop what is
    // still queued (the input is read much faster than it plays). A stop cuts it short.
    const auto device = SDL_AudioDeviceID(device_id);
    const qint64 bytes_per_second = qint64(decoder->out_rate) * 4;
    const qint64 queued = SDL_GetQueuedAudioSize(device);
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + queued * 1000 / bytes_per_second + 2000;
    while (!stop && SDL_GetQueuedAudioSize(device) > 0 && QDateTime::currentMSecsSinceEpoch() < deadline)
        msleep(20);
}

bool ff_audio_decoder_sdl_player::decode_and_play()
{
    interrupted = false;
    // The owner's tick refills the buffer only while no packet is being read from it.
    QMutexLocker lock(custom_input ? &buffer_mutex : nullptr);
    if (custom_input && format_context->pb)
        format_context->pb->eof_reached = 0; // the buffer holds a new frame
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        fail(QStringLiteral("Audio stream error :  Error decode frame."));
        return true;
    }
    struct PacketFree { AVPacket** p; ~PacketFree() { av_packet_free(p); } } free_packet{&packet};
    AVCodecContext* ctx = decoder->codec;
    bool input_ended = false;
    while (!stop && !interrupted) {
        if (av_read_frame(format_context, packet) < 0) {
            input_ended = true;
            break;
        }
        if (packet->stream_index != audio_stream_index) {
            av_packet_unref(packet);
            continue;
        }
        last_activity = now_ticks();
        byte_counter += packet->size;
        const int sent = avcodec_send_packet(ctx, packet);
        av_packet_unref(packet);
        if (sent < 0) {
            error(QStringLiteral("decode and play data :: Error submitting the packet to the decoder"));
            fail(QStringLiteral("Audio stream error :  Error decode frame."));
            return true;
        }
        for (bool first = true;; first = false) {
            const int rc = avcodec_receive_frame(ctx, decoder->decoded);
            if (rc == AVERROR(EAGAIN)) {
                if (first)
                    error(QStringLiteral("decode and play data :: ret == AVERROR(EAGAIN)"));
                break;
            }
            if (rc == AVERROR_EOF) {
                error(QStringLiteral("decode and play data :: ret == AVERROR(AVERROR_EOF)"));
                break;
            }
            if (rc < 0) {
                error(QStringLiteral("decode and play data :: Error during decoding"));
                fail(QStringLiteral("Audio stream error :  Error decode frame."));
                return true;
            }
            AVFrame* in = decoder->decoded;
            if (flush_first_frame) {
                flush_first_frame = false;
                av_frame_unref(in);
                continue;
            }
            if (in->sample_rate <= 0)
                in->sample_rate = ctx->sample_rate;
            if (in->ch_layout.order != AV_CHANNEL_ORDER_NATIVE || in->ch_layout.nb_channels <= 0) {
                const int channels = in->ch_layout.nb_channels > 0 ? in->ch_layout.nb_channels : ctx->ch_layout.nb_channels;
                av_channel_layout_uninit(&in->ch_layout);
                av_channel_layout_default(&in->ch_layout, channels);
            }
            AVFrame* out = decoder->converted;
            av_frame_unref(out);
            out->sample_rate = decoder->out_rate;
            out->format = AV_SAMPLE_FMT_S16;
            av_channel_layout_copy(&out->ch_layout, &decoder->out_layout);
            int converted = swr_convert_frame(decoder->resampler, out, in);
            if (converted == AVERROR_INPUT_CHANGED
                || converted == (AVERROR_INPUT_CHANGED | AVERROR_OUTPUT_CHANGED)) {
                // The stream changed its rate or channels: convert from what it is now.
                av_frame_unref(out);
                out->sample_rate = decoder->out_rate;
                out->format = AV_SAMPLE_FMT_S16;
                av_channel_layout_copy(&out->ch_layout, &decoder->out_layout);
                if (swr_config_frame(decoder->resampler, out, in) >= 0)
                    converted = swr_convert_frame(decoder->resampler, out, in);
            }
            av_frame_unref(in);
            if (converted < 0 || out->nb_samples <= 0)
                continue;
            const int size = av_samples_get_buffer_size(nullptr, 2, out->nb_samples, AV_SAMPLE_FMT_S16, 1);
            if (size > 0 && SDL_QueueAudio(SDL_AudioDeviceID(device_id), out->data[0], Uint32(size)) != 0) {
                const QString why = QString::fromUtf8(SDL_GetError());
                error(QStringLiteral("decode and play data :: SDL_QueueAudio ") + why);
                std::fprintf(stderr, "SDL_QueueAudio: %s\n", qPrintable(why));
            }
        }
    }
    data_ready = false;
    if (custom_input)
        return false;
    if (interrupted || input_ended) {
        info(QStringLiteral("audio interrupted return true"));
        return true;
    }
    return false;
}

void ff_audio_decoder_sdl_player::release()
{
    if (device_open) {
        SDL_CloseAudioDevice(SDL_AudioDeviceID(device_id));
        device_open = false;
        device_id = 0;
    }
    if (sdl_initialised) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdl_initialised = false;
    }
    {
        QMutexLocker lock(&buffer_mutex);
        avformat_close_input(&format_context);
        if (format_context) {
            avformat_free_context(format_context);
            format_context = nullptr;
        }
        if (io_context) {
            av_freep(&io_context->buffer);
            avio_context_free(&io_context);
        }
    }
    delete decoder;
    decoder = nullptr;
}

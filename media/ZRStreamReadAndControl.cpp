#include "media/ZRStreamReadAndControl.h"

#include "app/Log.h"
#include "media/FFmpegHolders.h"
#include "media/ZRSeekTable.h"
#include "store/StoreLayout.h"

#include <QAbstractEventDispatcher>
#include <QMetaObject>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

namespace {

const QString kPrefix = QStringLiteral("[INFO] ZRStream read & control :: ");

// Clears the re-entry guard on every way out of a play slot.
struct BusyGuard
{
    bool& flag;
    explicit BusyGuard(bool& f)
        : flag(f)
    {
        flag = true;
    }
    ~BusyGuard() { flag = false; }
};

qint64 steady_now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void ZRStreamReadAndControl::TimerRelease::operator()(QTimer* t) const
{
    t->stop();
    t->deleteLater();
}

ZRStreamReadAndControl::ZRStreamReadAndControl() = default;

ZRStreamReadAndControl::~ZRStreamReadAndControl()
{
    write_log(kPrefix + QStringLiteral("destruct"));
    timer.reset();
    // The prefetch tasks emit on this object: none may outlive it.
    for (QFuture<QList<ZRFrame>>& f : prefetch_tasks)
        f.waitForFinished();
    next_prefetch.waitForFinished();
    previous_prefetch.waitForFinished();
}

// ---------------------------------------------------------------------------------------------
// Stream set-up

bool ZRStreamReadAndControl::init_displayer_for_stream(QFileInfo file, QString sid, QList<QFileInfo> data_files)
{
    write_log(kPrefix + QStringLiteral(" init displayer for stream ") + sid + QStringLiteral(" with ") + file.fileName());
    // A second open replaces the day's list; appending would play every file twice.
    files.clear();
    for (const QFileInfo& f : data_files) {
        if (!f.fileName().contains(QLatin1String(".zrvideo")))
            continue;
        files.append(QFileInfo(seekTablePathOf(f.absoluteFilePath())));
    }
    current_file = QFileInfo(file.filePath());
    source.close_data_file();

    if (file.fileName().contains(QLatin1String(".zraudio"))) {
        audio.bind(file);
        return true;
    }
    audio.bind(file);
    return open_first_frame(sid);
}

bool ZRStreamReadAndControl::open_first_frame(const QString& sid)
{
    write_log(kPrefix + QStringLiteral(" init displayer for stream ") + sid);
    stream_id = sid;
    index = 0;
    index_shown = false;
    read_seek_file(files, stream_id);
    if (frames.isEmpty()) {
        write_log("[ERROR] ZRStream read & control ::  init displayer for stream :: failed to read SEEK file");
        return false;
    }
    if (!source.init_decoder_for_codec(frames.first().get_codec())) {
        write_log("[ERROR] ZRStream read & control ::  init displayer for stream :: failed to init decoder");
        return false;
    }
    for (index = 0; index < frames.size(); ++index) {
        if (frames[index].is_keyframe() && read_frame(true, index, stream_id)) {
            index = 0;
            return true;
        }
    }
    write_log("[ERROR] ZRStream read & control ::  init displayer for stream :: failed to read first frame");
    return false;
}

QList<ZRFrame> ZRStreamReadAndControl::parse_seek(const QString& path, const QString& sid, QString* detected)
{
    ZRSeekTable::FileResult r = ZRSeekTable::parse_file(path, sid, camera_names);
    emit send_available_videostream(r.streams);
    if (detected)
        *detected = r.detected_stream;
    return r.frames;
}

QList<ZRFrame> ZRStreamReadAndControl::read_seek_file(QList<QFileInfo> list, QString sid)
{
    frames.clear();
    files = list;

    if (next_prefetch.isRunning() && next_prefetch_file == current_file && next_prefetch_stream == sid) {
        next_prefetch.waitForFinished();
        const QList<ZRFrame> taken = next_prefetch.result();
        for (const ZRFrame& f : taken)
            if (f.get_in_range() == 1 && f.get_stream_id().contains(sid))
                frames.append(f);
        if (!frames.isEmpty()) {
            fps = get_fps_estimate();
            effective_fps = rate * fps;
            return frames;
        }
    }

    QString detected;
    const QList<ZRFrame> parsed = parse_seek(current_file.filePath(), sid, &detected);
    // frames is always empty here (a take-over that found frames has returned): the test only
    // states the rule, and the replaced id serves the next read, not this one.
    if (frames.isEmpty() && !detected.isEmpty()) {
        sid = detected;
        stream_id = detected;
        write_log(QStringLiteral("[INFO] ZRStream read & control :: ID STREAM NOT FOUND, set to ") + detected);
    }
    for (const ZRFrame& f : parsed)
        if (f.get_in_range() == 1 && f.get_stream_id().contains(sid))
            frames.append(f);

    emit send_available_videostream(QStringList{sid});

    reset_forward_prefetch();
    triggerPrefetch(sid);

    if (frames.isEmpty()) {
        write_log("[ERROR] ZRStream read & control :: Read Seek File :: no frame found");
        emit error(-10);
    } else {
        fps = get_fps_estimate();
        effective_fps = rate * fps;
    }
    return frames;
}

bool ZRStreamReadAndControl::continue_read(QString file_name, QString sid, bool play, QString direction)
{
    write_log(kPrefix + QStringLiteral("continue read :: filename ") + file_name);
    if (file_name.contains(QLatin1String(".zraudio"))) {
        write_log("[INFO] Zrplayer Canvas :: continue decoding :: audio only");
        audio.bind(QFileInfo(seekTablePathFor(file_name)));
        return true;
    }
    if (sid != stream_id) {
        write_log("[ERROR] ZRStream read & control :: continue read :: idstream not match");
        return false;
    }
    const QString seek = seekTablePathFor(file_name);
    const QFileInfo seek_info(seek);
    audio.bind(seek_info);

    current_file = seek_info;
    if (!seek.isEmpty() && files.contains(seek_info)) {
        write_log(kPrefix + QStringLiteral("continue read :: seek ready :: ") + seek);
        read_seek_file(files, sid);
    } else {
        write_log(kPrefix + QStringLiteral("continue read :: seek not ready :: ") + seek);
        read_seek_file(QList<QFileInfo>{seek_info}, sid);
    }
    // Either way a file without frames is a failure (an empty path included).
    if (frames.isEmpty()) {
        write_log("[ERROR] ZRStream read & control :: continue read :: frame list is empty");
        return false;
    }
    write_log(kPrefix + QStringLiteral("continue read :: frame List size :: ") + QString::number(frames.size())
              + QStringLiteral(" / ") + direction);
    if (direction.contains(QLatin1String("next"))) {
        index = 0;
        index_shown = false;
        if (play)
            read_forward();
    } else {
        index = int(frames.size()) - 1;
        index_shown = false;
        if (play)
            read_backward();
    }
    return true;
}

void ZRStreamReadAndControl::stop()
{
    write_log(kPrefix + QStringLiteral("stop"));
    if (timer)
        timer->stop();
    source.drop_ahead();
    audio.stop();
    files.clear();
    stream_id = QString();
}

QString ZRStreamReadAndControl::get_idstream()
{
    return stream_id;
}

// ---------------------------------------------------------------------------------------------
// Frames

bool ZRStreamReadAndControl::read_frame(bool silent, int i, QString sid)
{
    // Silent reads only prime the codec: no conversion to BGRA.
    AVFrame* picture = nullptr;
    if (!source.read(frames, i, sid, !silent, &picture))
        return false;
    if (!picture)
        return !silent;
    if (silent)
        return true;
    return hand_over(picture, i);
}

bool ZRStreamReadAndControl::hand_over(AVFrame* picture, int i)
{
    // Hand over our own reference: the next decode writes into fresh buffers, a decoder change
    // frees only the decoder's reference, and ours is dropped by a call queued behind the
    // frame's delivery in this thread.
    const std::shared_ptr<AVFrame> held(av_frame_alloc(), ff::FrameFree());
    if (!held || av_frame_ref(held.get(), picture) < 0)
        return false;
    emit set_display_frame(held->data[0], held->linesize[0], source.get_width(), source.get_height(),
                           ZRSeekTable::display_text(frames[i].get_timestamp()), QString(), false, i, effective_fps,
                           source.get_is_keyframe());
    if (QObject* context = QAbstractEventDispatcher::instance(thread()))
        QMetaObject::invokeMethod(context, [held]() {}, Qt::QueuedConnection);
    return true;
}

double ZRStreamReadAndControl::get_fps_estimate()
{
    QString reference, current;
    int count = 0;
    for (const ZRFrame& f : std::as_const(frames)) {
        const QString second = f.get_timestamp().left(f.get_timestamp().size() - 3);
        if (reference.isEmpty())
            reference = second;
        if (current.isEmpty())
            current = second;
        if (reference != current) {
            ++count;
            reference = current;
        }
        current = second;
    }
    // Without a change of second (one frame, or under a second of frames) the division would
    // give infinity: the frame count stands in, and the rate is never below 1.
    double estimate = count > 0 ? double(frames.size()) / count : double(frames.size());
    estimate = std::max(estimate, 1.0);
    write_log(kPrefix + QStringLiteral(" get FPS :: ") + QString::number(estimate, 'f', 2));
    return estimate;
}

void ZRStreamReadAndControl::set_read_timestamp(QString ts)
{
    write_log(kPrefix + QStringLiteral("set read timestamp :: timestamp ") + ts);
    wait_for_keyframe = true;
    qint64 wanted = 0;
    if (!ZRSeekTable::parse_seconds_stamp(ts, &wanted))
        return;
    for (int j = 0; j < frames.size(); ++j) {
        qint64 at = 0;
        if (!ZRSeekTable::parse_stamp(frames[j].get_timestamp(), &at))
            continue;
        if (at - wanted >= 0 && frames[j].is_keyframe()) {
            set_index(j);
            audio.position(ts, frames[j].get_timestamp().left(14));
            return;
        }
    }
}

void ZRStreamReadAndControl::set_index(int i)
{
    pace.forget();
    source.drop_groups();
    source.drop_ahead();
    index = i;
    index_shown = false;
    wait_for_keyframe = true;
    write_log(kPrefix + QStringLiteral("set index :: ") + QString::number(i));
    if (i >= 0 && i < frames.size()) {
        if (frames[i].is_keyframe())
            read_frame(false, i, stream_id);
        emit setTime(ZRSeekTable::time_of_day(frames[i].get_timestamp()));
    }
    aim_ahead();
}

// ---------------------------------------------------------------------------------------------
// Prefetch of the neighbouring seek tables

QFuture<QList<ZRFrame>> ZRStreamReadAndControl::start_parse_task(const QFileInfo& file, const QString& sid)
{
    prefetch_tasks.erase(std::remove_if(prefetch_tasks.begin(), prefetch_tasks.end(),
                                        [](const QFuture<QList<ZRFrame>>& f) { return f.isFinished(); }),
                         prefetch_tasks.end());
    // The task works on its own copies; it touches the reader only to emit, and the
    // destructor waits for it.
    const QString path = file.filePath();
    const QString stream = sid;
    const QHash<int, QString> names = camera_names;
    QFuture<QList<ZRFrame>> future = QtConcurrent::run(QThreadPool::globalInstance(), [this, path, stream, names]() {
        ZRSeekTable::FileResult r = ZRSeekTable::parse_file(path, stream, names);
        emit send_available_videostream(r.streams);
        return r.frames;
    });
    prefetch_tasks.append(future);
    return future;
}

void ZRStreamReadAndControl::triggerPrefetch(const QString& sid)
{
    // By QFileInfo equality here, by path text in triggerPrefetchPrev, by canonical path in
    // current_file_position: each finds the current file as its callers were checked with;
    // making them one would change which neighbour a differently written path gets.
    const qsizetype at = files.indexOf(current_file);
    if (at < 0 || at + 1 >= files.size())
        return;
    next_prefetch_file = files.at(at + 1);
    next_prefetch_stream = sid;
    write_log(QStringLiteral("[DEBUG] Triggering prefetch for: ") + next_prefetch_file.fileName());
    next_prefetch = start_parse_task(next_prefetch_file, sid);
}

void ZRStreamReadAndControl::triggerPrefetchPrev(const QString& sid)
{
    // By path text, not by QFileInfo as the forward prefetch (see triggerPrefetch).
    qsizetype at = -1;
    for (qsizetype k = 0; k < files.size(); ++k) {
        if (files.at(k).filePath() == current_file.filePath()) {
            at = k;
            break;
        }
    }
    if (at < 1)
        return;
    previous_prefetch_file = files.at(at - 1);
    previous_prefetch_stream = sid;
    previous_prefetch = start_parse_task(previous_prefetch_file, sid);
}

void ZRStreamReadAndControl::reset_forward_prefetch()
{
    write_log(kPrefix + QStringLiteral("reset Forward Prefetch"));
    if (next_prefetch.isRunning())
        next_prefetch.cancel();
    next_prefetch = QFuture<QList<ZRFrame>>();
    next_prefetch_file = QFileInfo();
}

void ZRStreamReadAndControl::reset_backward_prefetch()
{
    write_log(kPrefix + QStringLiteral("reset backward Prefetch"));
    if (previous_prefetch.isRunning())
        previous_prefetch.cancel();
    previous_prefetch = QFuture<QList<ZRFrame>>();
    previous_prefetch_file = QFileInfo();
}

// ---------------------------------------------------------------------------------------------
// Pacing, rates and stepping

bool ZRStreamReadAndControl::is_playing() const
{
    return timer && timer->isActive();
}

int ZRStreamReadAndControl::get_timer_interval() const
{
    return timer ? timer->interval() : -1;
}

int ZRStreamReadAndControl::timer_frames_per_second() const
{
    if (std::abs(rate) > 1)
        return std::max(2 * std::abs(rate), 1);
    // An infinite or unknown rate ends in one tick per second.
    const double n = fps - 1.0;
    if (!std::isfinite(n) || n < 1.0)
        return 1;
    return int(std::min(n, 1000.0));
}

void ZRStreamReadAndControl::replace_timer(bool backward)
{
    timer.reset(new QTimer(this));
    timer_backward = backward;
    if (backward)
        connect(timer.get(), &QTimer::timeout, this, [this]() { read_and_display_previous_frame(false); });
    else
        connect(timer.get(), &QTimer::timeout, this, [this]() { read_and_display_next_frame(false); });
}

void ZRStreamReadAndControl::change_rate(double r)
{
    write_log(kPrefix + QStringLiteral(" change rate :: ") + QString::number(r, 'g', 6));
    if ((rate > 0 && r < 0) || (rate < 0 && r > 0)) {
        reset_forward_prefetch();
        reset_backward_prefetch();
    }
    rate = int(r);
    wait_for_keyframe = true;
    index_shown = false;
    pace.forget();
    source.drop_groups();
    source.drop_ahead();
    audio.follow_rate(r);
    effective_fps = r * fps;
    if (timer)
        timer->stop();
    if (frames.isEmpty()) {
        write_log(kPrefix + QStringLiteral(" change rate  :: no frame"));
        return;
    }
    if (effective_fps > 0) {
        read_forward();
    } else {
        effective_fps = r == -1.0 ? -5.0 : r * fps;
        read_backward();
    }
}

void ZRStreamReadAndControl::read_forward()
{
    source.drop_groups();
    replace_timer(false);
    const int n = timer_frames_per_second();
    if (std::abs(rate) > 1)
        write_log(kPrefix + QStringLiteral("read forward (keyframes) :: ") + QString::number(n) + QStringLiteral(" fps"));
    else
        write_log(kPrefix + QStringLiteral("read forward (all frames) :: ") + QString::number(n) + QStringLiteral(" fps"));
    timer->start(std::max(1000 / n, 1));
    aim_ahead();
}

void ZRStreamReadAndControl::read_backward()
{
    replace_timer(true);
    const int n = timer_frames_per_second();
    pace.set_interval_ms(std::max(1000 / n, 1));
    write_log(kPrefix + QStringLiteral("read backward :: interval ") + QString::number(pace.interval_ms())
              + QStringLiteral(" ms"));
    timer->start(pace.interval_ms());
    reset_backward_prefetch();
    triggerPrefetchPrev(stream_id);
    // At rate -1 the pictures come from the decoded groups.
    if (std::abs(rate) < 2)
        source.drop_ahead();
    aim_ahead();
}

void ZRStreamReadAndControl::toggle_pause()
{
    if (!timer)
        return;
    if (timer->isActive()) {
        timer->stop();
        write_log(kPrefix + QStringLiteral("set pause"));
    } else {
        timer->start();
        write_log(kPrefix + QStringLiteral("unset pause"));
        aim_ahead();
    }
}

void ZRStreamReadAndControl::slider_pressed()
{
    write_log(kPrefix + QStringLiteral("slider pressed"));
    toggle_pause();
}

void ZRStreamReadAndControl::setup_fps(double f)
{
    fps = f;
    effective_fps = rate * f;
}

void ZRStreamReadAndControl::emit_position(int i)
{
    const QString stamp = frames[i].get_timestamp();
    emit slidervalue(i, stamp);
    emit setTime(ZRSeekTable::time_of_day(stamp));
}

bool ZRStreamReadAndControl::show_from_keyframe(int k, int target, bool backward)
{
    bool shown;
    AVFrame* picture = nullptr;
    // Going backward, the group is decoded once and its pictures shown from the cache; the
    // decode from the key frame stays for whatever the cache cannot give.
    if (backward && source.read_from_group(frames, k, target, stream_id, &picture)) {
        shown = hand_over(picture, target);
    } else {
        for (int j = k; j < target; ++j)
            read_frame(true, j, stream_id);
        shown = read_frame(false, target, stream_id);
    }
    emit_position(target);
    index = target;
    index_shown = false;
    pace.forget();
    if (backward)
        prepare_group_before(k);
    return shown;
}

void ZRStreamReadAndControl::prepare_group_before(int k, bool waiting)
{
    const int p = FrameSource::key_frame_at_or_before(frames, k - 1);
    if (p >= 0) {
        source.prepare_group(frames, p, k - 1, stream_id, waiting);
        return;
    }
    // The group before is the previous file's last one, once its table has been read.
    if (!previous_prefetch.isValid() || !previous_prefetch.isFinished() || previous_prefetch.isCanceled()
        || previous_prefetch_file == current_file)
        return;
    const QList<ZRFrame> before = previous_prefetch.result();
    const int q = FrameSource::key_frame_at_or_before(before, int(before.size()) - 1);
    if (q >= 0)
        source.prepare_group(before, q, int(before.size()) - 1, stream_id, waiting);
}

void ZRStreamReadAndControl::aim_ahead()
{
    if (!timer || frames.isEmpty())
        return;
    const int count = int(frames.size());
    if (timer_backward && std::abs(rate) < 2) {
        // The first tick at -1 goes back a few frames: its group is decoded from now on.
        const int target = std::min(index - BackwardPace::kRestartFrames, count - 1);
        const int k = FrameSource::key_frame_at_or_before(frames, target);
        if (k >= 0)
            source.prepare_group(frames, k, target, stream_id);
        return;
    }
    if (!source.decode_ahead_enabled())
        return;
    if (!timer_backward) {
        const int i = index_shown ? index + 1 : std::max(index, 0);
        if (i < count && std::abs(rate) < 2) {
            source.aim_ahead(frames, i, DecodeAhead::Walk::Frames, stream_id, wait_for_keyframe, rate == 1);
        } else if (i < count) {
            int j = i;
            while (j < count && !frames[j].starts_keyframe())
                ++j;
            if (j < count)
                source.aim_ahead(frames, j, DecodeAhead::Walk::KeysForward, stream_id, false, false);
        }
        // Play goes on into the next recording without waiting for its first picture.
        if (next_prefetch.isValid() && next_prefetch.isFinished() && !next_prefetch.isCanceled()
            && next_prefetch_file != current_file)
            source.follow_ahead(next_prefetch.result());
        return;
    }
    int k = std::min(index, count) - 1;
    while (k >= 0 && !frames[k].starts_keyframe())
        --k;
    if (k >= 0)
        source.aim_ahead(frames, k, DecodeAhead::Walk::KeysBackward, stream_id, false, false);
    if (previous_prefetch.isValid() && previous_prefetch.isFinished() && !previous_prefetch.isCanceled()
        && previous_prefetch_file != current_file)
        source.follow_ahead(previous_prefetch.result());
}

void ZRStreamReadAndControl::wait_decode_ahead()
{
    if (DecodeAhead* a = source.decode_ahead())
        a->wait_idle();
    source.group_cache().wait_idle();
}

bool ZRStreamReadAndControl::tick_ahead(int i, bool backward)
{
    if (!source.decode_ahead_enabled())
        return false;
    AVFrame* picture = nullptr;
    bool read = false;
    bool waiting_after = wait_for_keyframe;
    const DecodeAhead::Take got = source.take_ahead(frames, i, stream_id, &picture, &read, &waiting_after);
    // Not on the worker's way (a crossing to a recording not known ahead): decoded here, once.
    if (got == DecodeAhead::Take::Elsewhere)
        return false;
    const bool ready = got == DecodeAhead::Take::Ready;
    if (got == DecodeAhead::Take::Pending) {
        // Being decoded: the next tick asks for this frame again.
        if (!backward)
            index = i;
        aim_ahead();
        return true;
    }
    if (std::abs(rate) < 2) {
        if (picture)
            hand_over(picture, i);
        wait_for_keyframe = waiting_after;
        emit_position(i);
        index = i + 1;
        aim_ahead();
        return true;
    }
    // A key frame not decoded in time is passed over as one that could not be read.
    if (!ready)
        source.set_last_read_index(i);
    const bool shown = ready && read && (!picture || hand_over(picture, i));
    if (backward) {
        if (shown)
            emit_position(i);
        index = i;
        index_shown = false;
    } else {
        emit_position(i);
        index = i + 1;
    }
    aim_ahead();
    return true;
}

void ZRStreamReadAndControl::step_shown(bool shown)
{
    // The step decoded its group from the key frame: play resuming at rate 1 can show every
    // frame from here instead of waiting for the next key frame.
    if (shown)
        wait_for_keyframe = false;
}

void ZRStreamReadAndControl::read_and_display_next_frame(bool step)
{
    if (busy)
        return;
    BusyGuard guard(busy);
    if (frames.isEmpty()) {
        write_log(kPrefix + QStringLiteral("next :: no frame"));
        return;
    }
    const int count = int(frames.size());

    if (!step) {
        // After a backward step the picture at index is already on screen: go on after it.
        const int i = index_shown ? index + 1 : std::max(index, 0);
        index_shown = false;
        if (i >= count) {
            index = i;
            switch_to_next_file();
            return;
        }
        if (std::abs(rate) < 2) {
            if (tick_ahead(i, false))
                return;
            if (wait_for_keyframe) {
                if (frames[i].is_keyframe() && read_frame(false, i, stream_id) && rate == 1)
                    wait_for_keyframe = false;
            } else {
                read_frame(false, i, stream_id);
            }
            emit_position(i);
            index = i + 1;
            aim_ahead();
            return;
        }
        int j = i;
        while (j < count && !frames[j].starts_keyframe())
            ++j;
        if (j >= count) {
            switch_to_next_file();
            return;
        }
        if (tick_ahead(j, false))
            return;
        read_frame(false, j, stream_id);
        emit_position(j);
        index = j + 1;
        aim_ahead();
        return;
    }

    int t = source.get_last_read_index() + 1;
    if (t >= count) {
        step_across_end();
        return;
    }
    int first_key = 0;
    while (first_key < count && !frames[first_key].starts_keyframe())
        ++first_key;
    if (first_key >= count) {
        step_forward_without_keyframe();
        return;
    }
    int k;
    if (first_key > t) {
        t = first_key;
        k = first_key;
    } else {
        k = std::max(t, 0);
        while (k > 0 && !frames[k].starts_keyframe())
            --k;
    }
    index_shown = false;
    step_shown(show_from_keyframe(k, t, false));
    // Play goes on with the frame after the one shown.
    index = t + 1;
    aim_ahead();
}

void ZRStreamReadAndControl::read_and_display_previous_frame(bool step)
{
    if (busy)
        return;
    BusyGuard guard(busy);
    if (frames.isEmpty()) {
        write_log(kPrefix + QStringLiteral("prev :: no frame"));
        return;
    }
    const int count = int(frames.size());

    if (!step) {
        if (std::abs(rate) < 2) {
            const int target = pace.aim(index, count, steady_now_ns());
            if (index <= 0 || target < 0) {
                switch_to_previous_file();
                return;
            }
            const int k = FrameSource::key_frame_at_or_before(frames, target);
            if (k < 0) {
                switch_to_previous_file();
                return;
            }
            // The interface does not wait for the decoder: while the group is decoded this tick
            // shows nothing, and the first tick after it catches up with the frames play went
            // past meanwhile.
            if (source.group_still_decoding(frames, k, target, stream_id)) {
                pace.wait(index, target, k);
                // The group before is decoded next: play needs it once it has caught up.
                prepare_group_before(k, true);
                return;
            }
            show_from_keyframe(k, target, true);
            return;
        }
        int k = std::min(index, count) - 1;
        while (k >= 0 && !frames[k].starts_keyframe())
            --k;
        if (k < 0) {
            switch_to_previous_file();
            return;
        }
        if (tick_ahead(k, true))
            return;
        if (read_frame(false, k, stream_id))
            emit_position(k);
        // An unreadable key frame is passed over, or every tick would retry it.
        index = k;
        index_shown = false;
        aim_ahead();
        return;
    }

    int i = source.get_last_read_index();
    if (i > count - 1)
        i = count - 1;
    if (i <= 0)
        i = 0;
    index = i;
    // Frame 0 stays on screen when there is nothing before it.
    index_shown = source.get_last_read_index() == 0;
    if (i == 0) {
        step_across_start(false);
        return;
    }
    const int target = i - 1;
    int k = target;
    while (k >= 0 && !frames[k].starts_keyframe())
        --k;
    if (k < 0) {
        step_across_start(true);
        return;
    }
    step_shown(show_from_keyframe(k, target, true));
    index_shown = true;
    aim_ahead();
}

void ZRStreamReadAndControl::step_into_last_frame()
{
    if (busy || frames.isEmpty())
        return;
    BusyGuard guard(busy);
    const int target = int(frames.size()) - 1;
    int k = target;
    while (k >= 0 && !frames[k].starts_keyframe())
        --k;
    if (k < 0) {
        // No key frame to decode from: report the position without a picture.
        source.set_last_read_index(target);
        emit_position(target);
        index = target;
        index_shown = true;
        return;
    }
    step_shown(show_from_keyframe(k, target, true));
    index_shown = true;
    aim_ahead();
}

// ---------------------------------------------------------------------------------------------
// File switching

qsizetype ZRStreamReadAndControl::current_file_position() const
{
    // By canonical path: a file removed meanwhile is not found and the switch ends play (see
    // triggerPrefetch for the other two ways).
    const QString current = current_file.canonicalFilePath();
    if (current.isEmpty())
        return -1;
    for (qsizetype k = 0; k < files.size(); ++k)
        if (files.at(k).canonicalFilePath() == current)
            return k;
    return -1;
}

QFileInfo ZRStreamReadAndControl::next_file_in_list() const
{
    const qsizetype k = current_file_position();
    return k >= 0 && k + 1 < files.size() ? files.at(k + 1) : QFileInfo();
}

QFileInfo ZRStreamReadAndControl::previous_file_in_list() const
{
    const qsizetype k = current_file_position();
    return k > 0 ? files.at(k - 1) : QFileInfo();
}

QList<ZRFrame> ZRStreamReadAndControl::parse_with_stream_retry(const QFileInfo& entry, const QString& direction,
                                                               bool* retried)
{
    *retried = false;
    QString detected;
    QList<ZRFrame> list = parse_seek(entry.filePath(), stream_id, &detected);
    if (list.isEmpty() && !detected.isEmpty()) {
        write_log(kPrefix + direction + QStringLiteral(" :: requested stream '") + stream_id
                  + QStringLiteral("' not found, retry with detected '") + detected + QStringLiteral("'"));
        list = parse_seek(entry.filePath(), detected);
        if (!list.isEmpty()) {
            stream_id = detected;
            *retried = true;
        }
    }
    return list;
}

bool ZRStreamReadAndControl::check_next_prefetch_target(QFileInfo expected)
{
    if (!next_prefetch.isValid()) {
        write_log("[DBG] next step :: prefetch invalid");
        return false;
    }
    const QString a = expected.canonicalFilePath();
    const QString b = next_prefetch_file.canonicalFilePath();
    if (!a.isEmpty() && !b.isEmpty() && a == b)
        return true;
    write_log(QStringLiteral("[WARN] next step :: prefetch target mismatch: expected=") + expected.fileName()
              + QStringLiteral(" got=") + next_prefetch_file.fileName());
    return false;
}

bool ZRStreamReadAndControl::check_previous_prefetch_target(QFileInfo expected)
{
    if (!previous_prefetch.isValid()) {
        write_log("[DBG] prev step :: prefetch invalid");
        return false;
    }
    const QString a = expected.canonicalFilePath();
    const QString b = previous_prefetch_file.canonicalFilePath();
    if (!a.isEmpty() && !b.isEmpty() && a == b)
        return true;
    write_log(QStringLiteral("[WARN] prev step :: prefetch target mismatch: expected=") + expected.fileName()
              + QStringLiteral(" got=") + previous_prefetch_file.fileName());
    return false;
}

void ZRStreamReadAndControl::stop_play()
{
    timer.reset();
}

void ZRStreamReadAndControl::adopt_file(const QFileInfo& file, const QList<ZRFrame>& list, bool forward,
                                        const QString& log_line)
{
    current_file = file;
    frames = list;
    index = forward ? 0 : int(frames.size()) - 1;
    index_shown = false;
    pace.forget();
    source.close_data_file();
    write_log(log_line);
    if (forward) {
        reset_forward_prefetch();
        triggerPrefetch(stream_id);
    } else {
        reset_backward_prefetch();
        triggerPrefetchPrev(stream_id);
    }
}

void ZRStreamReadAndControl::switch_to_next_file()
{
    write_log(kPrefix + QStringLiteral("next :: end reached, checking next prefetch..."));
    if (next_prefetch.isValid() && next_prefetch.isFinished() && !next_prefetch.isCanceled()
        && next_prefetch_file != current_file) {
        const QList<ZRFrame> result = next_prefetch.result();
        if (!result.isEmpty()) {
            const QFileInfo next = next_prefetch_file;
            adopt_file(next, result, true,
                       kPrefix + QStringLiteral("next :: switching to next file (prefetched): ") + next.fileName());
            QMetaObject::invokeMethod(this, "read_and_display_next_frame", Qt::QueuedConnection, Q_ARG(bool, false));
            return;
        }
    }

    const qsizetype at = current_file_position();
    if (at < 0) {
        write_log("[WARN] ZRStream read & control :: next :: current file not found in list");
        stop_play();
        return;
    }
    if (at == files.size() - 1) {
        write_log(kPrefix + QStringLiteral("next :: end of list reached"));
        stop_play();
        return;
    }
    for (qsizetype k = at + 1; k < files.size(); ++k) {
        const QFileInfo entry = files.at(k);
        write_log(kPrefix + QStringLiteral("next :: synchronously loading: ") + entry.fileName());
        bool retried = false;
        const QList<ZRFrame> list = parse_with_stream_retry(entry, QStringLiteral("next"), &retried);
        if (list.isEmpty())
            continue;
        adopt_file(entry, list, true,
                   kPrefix + QStringLiteral("next :: switched to next file (sync): ") + entry.fileName()
                       + QStringLiteral(" (stream=") + stream_id + QStringLiteral(")"));
        QMetaObject::invokeMethod(this, "read_and_display_next_frame", Qt::QueuedConnection, Q_ARG(bool, false));
        return;
    }
    write_log("[WARN] ZRStream read & control :: next :: no usable next file found (sync fallback failed)");
    stop_play();
}

void ZRStreamReadAndControl::switch_to_previous_file()
{
    write_log(kPrefix + QStringLiteral("prev :: begin reached, checking prev prefetch..."));
    if (previous_prefetch.isValid() && previous_prefetch.isFinished() && !previous_prefetch.isCanceled()
        && previous_prefetch_file != current_file) {
        const QList<ZRFrame> result = previous_prefetch.result();
        if (!result.isEmpty()) {
            const QFileInfo previous = previous_prefetch_file;
            adopt_file(previous, result, false,
                       kPrefix + QStringLiteral("prev :: switching to previous file (prefetched): ")
                           + previous.fileName());
            QMetaObject::invokeMethod(this, "read_and_display_previous_frame", Qt::QueuedConnection,
                                      Q_ARG(bool, false));
            return;
        }
    }

    const qsizetype at = current_file_position();
    if (at <= 0) {
        write_log(kPrefix + QStringLiteral("prev :: no previous file available (start of list reached)"));
        stop_play();
        return;
    }
    for (qsizetype k = at - 1; k >= 0; --k) {
        const QFileInfo entry = files.at(k);
        write_log(kPrefix + QStringLiteral("prev :: synchronously loading: ") + entry.fileName());
        bool retried = false;
        const QList<ZRFrame> list = parse_with_stream_retry(entry, QStringLiteral("prev"), &retried);
        if (retried)
            next_prefetch_file = QFileInfo();
        if (list.isEmpty())
            continue;
        adopt_file(entry, list, false,
                   kPrefix + QStringLiteral("prev :: switched to previous file (sync): ") + entry.fileName()
                       + QStringLiteral(" (stream=") + stream_id + QStringLiteral(")"));
        QMetaObject::invokeMethod(this, "read_and_display_previous_frame", Qt::QueuedConnection, Q_ARG(bool, false));
        return;
    }
    write_log("[WARN] ZRStream read & control :: prev :: no usable previous file found (sync fallback failed)");
    stop_play();
}

void ZRStreamReadAndControl::step_across_end()
{
    const QFileInfo next = next_file_in_list();
    if (next.filePath().isEmpty()) {
        write_log("[INFO] next step :: end of list reached");
        return;
    }
    if (check_next_prefetch_target(next)) {
        if (next_prefetch.isFinished() && !next_prefetch.isCanceled() && !next_prefetch.result().isEmpty()) {
            const QList<ZRFrame> result = next_prefetch.result();
            const QFileInfo next_file = next_prefetch_file;
            source.set_last_read_index(-1);
            wait_for_keyframe = false;
            adopt_file(next_file, result, true,
                       QStringLiteral("[INFO] next step :: switched to next (prefetched): ") + next_file.fileName());
            // Cleared before its guard goes, as the step always has: the step queued below runs
            // only after this slot has returned, so nothing gets in early.
            busy = false;
            QMetaObject::invokeMethod(this, "read_and_display_next_frame", Qt::QueuedConnection, Q_ARG(bool, true));
        } else {
            write_log("[DBG] next step :: prefetch consistent but not finished yet");
        }
        return;
    }
    reset_forward_prefetch();
    triggerPrefetch(stream_id);
    next_prefetch_file = next;
    write_log(QStringLiteral("[INFO] next step :: prefetch restarted for expected next: ") + next.fileName());
}

void ZRStreamReadAndControl::step_forward_without_keyframe()
{
    const QFileInfo next = next_file_in_list();
    if (next.filePath().isEmpty() || check_next_prefetch_target(next)) {
        switch_to_next_file();
        return;
    }
    reset_forward_prefetch();
    triggerPrefetch(stream_id);
    next_prefetch_file = next;
}

void ZRStreamReadAndControl::step_across_start(bool no_kf)
{
    const QFileInfo prev = previous_file_in_list();
    if (prev.filePath().isEmpty()) {
        write_log(no_kf ? "[INFO] prev step :: no previous file (no KF before target)"
                        : "[INFO] prev step :: start of list reached");
        return;
    }
    if (check_previous_prefetch_target(prev)) {
        if (previous_prefetch.isFinished() && !previous_prefetch.isCanceled()
            && !previous_prefetch.result().isEmpty()) {
            const QList<ZRFrame> result = previous_prefetch.result();
            const QFileInfo previous = previous_prefetch_file;
            wait_for_keyframe = false;
            adopt_file(previous, result, false,
                       no_kf ? QStringLiteral("[INFO] prev step :: switched to previous (prefetched, no KF before target)")
                             : QStringLiteral("[INFO] prev step :: switched to previous (prefetched): ")
                                   + previous.fileName());
            // Cleared before its guard goes, as the step always has (see step_across_end).
            busy = false;
            QMetaObject::invokeMethod(this, "step_into_last_frame", Qt::QueuedConnection);
        } else {
            write_log(no_kf ? "[DBG] prev step :: prefetch consistent but not finished (no KF before target)"
                            : "[DBG] prev step :: prefetch consistent but not finished yet");
        }
        return;
    }
    reset_backward_prefetch();
    triggerPrefetchPrev(stream_id);
    previous_prefetch_file = prev;
    if (!no_kf)
        write_log(QStringLiteral("[INFO] prev step :: prefetch restarted for expected prev: ") + prev.fileName());
}

//! labels: unit
// The playback reader with an audio companion set: the reader binds it to each recording's
// sound, positions it on a seek, starts and stops its frame timer with the rate, and stops and
// deletes it with itself. SDL's disk driver writes what would be heard.
#include "media/ZRStreamReadAndControl.h"
#include "media/ff_audio_decoder_sdl_player.h"
#include "tests/media/GeneratedSound.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/ToneMeter.h"

#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace zrtest;

namespace {

constexpr int kRate = 48000;

// The tones of lines first, first + 1, ... heard one after the other.
bool heardInOrder(const QString& path, int first, int count)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && heardInOrder(toneRuns(f.readAll(), 2, kRate, kRate / 10), first, count);
}

const QString kReader = QStringLiteral("[INFO] ZRStream read & control :: ");
const QString kPlayer = QStringLiteral("[INFO] Audio Streamdecoder :: ");

} // namespace

class TestReaderAudio : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedRecording rec;
    QTemporaryDir silent; // the same recording's video without its sound
    QString silentVideo;
    DiskAudioOutput out;
    QString heard;

private slots:
    void initTestCase()
    {
        heard = out.next();
        const GeneratedExport ex = generateWithSound(gen);
        QVERIFY2(ex.ok, qPrintable(ex.error));
        rec = ex.cameras[0].recordings[0];
        QVERIFY(!rec.audioPath.isEmpty());
        silentVideo = silent.filePath(QFileInfo(rec.videoPath).fileName());
        QVERIFY(QFile::copy(rec.videoPath, silentVideo));
        QVERIFY(QFile::copy(rec.seekPath, silent.filePath(QFileInfo(rec.seekPath).fileName())));
    }

    void readerDrivesItsAudioCompanion()
    {
        LogCatcher log;
        auto* reader = new ZRStreamReadAndControl();
        QPointer<ff_audio_decoder_sdl_player> player = new ff_audio_decoder_sdl_player();
        reader->set_audio_player(player);
        QSignalSpy slider(player.data(), &ff_audio_decoder_sdl_player::send_slidervalue);
        QSignalSpy messages(player.data(), &ff_audio_decoder_sdl_player::send_message);

        // Opening the recording binds its sound.
        QVERIFY(reader->init_displayer_for_stream(QFileInfo(rec.seekPath), QStringLiteral("1"), {QFileInfo(rec.videoPath)}));
        QVERIFY(log.contains(kReader + QStringLiteral("init audio & start :: set new audio file :: ") + rec.audioPath));
        QVERIFY(log.contains(kPlayer + QStringLiteral("change zraudio file :: ") + rec.audioPath));
        QCOMPARE(player->get_current_index(), 0);
        player->begin_stream(); // the owner starts the decode loop
        QVERIFY(log.waitFor(kPlayer + QStringLiteral("Init done. Flush audio data"), 30000));

        // A seek positions the sound at the wanted second: line 32 (2.048 s) and on, heard in order.
        const QString at2 = rec.start.addSecs(2).toString(QStringLiteral("yyyyMMddHHmmss"));
        reader->set_read_timestamp(at2);
        QVERIFY(log.contains(kPlayer + QStringLiteral("set audio timestamp :: ") + at2 + QStringLiteral(" :: video timestamp :: ")
                             + at2));
        QCOMPARE(player->get_current_index(), 32);
        QVERIFY(player->is_frame_timer_running());
        QTRY_VERIFY_WITH_TIMEOUT(slider.size() >= 3, 30000);
        QCOMPARE(slider[0][0].toInt(), 32);
        QCOMPARE(slider[2][0].toInt(), 34);
        QTRY_VERIFY_WITH_TIMEOUT(heardInOrder(heard, 33, 2), 30000);

        // Another rate stops the frame reader: a new position leaves its timer stopped; rate 1
        // starts it again.
        reader->change_rate(2);
        QVERIFY(log.contains(kPlayer + QStringLiteral("stop frame reader")));
        const QString at5 = rec.start.addSecs(5).toString(QStringLiteral("yyyyMMddHHmmss"));
        reader->set_read_timestamp(at5);
        QCOMPARE(player->get_current_index(), 79);
        QVERIFY(!player->is_frame_timer_running());
        reader->change_rate(1);
        QVERIFY(log.contains(kPlayer + QStringLiteral("set_start_framereader_timer :: audio_framerate->start @ 1036")));
        QVERIFY(player->is_frame_timer_running());

        // A recording without sound stops the frame reader.
        QVERIFY(reader->continue_read(silentVideo, QStringLiteral("1"), false, QStringLiteral("next")));
        QVERIFY(log.contains(kReader + QStringLiteral("init audio & start :: stop")));
        QCOMPARE(log.count(kPlayer + QStringLiteral("stop frame reader")), 2);

        // Stopping the reader stops and deletes its companion; its decode loop has ended.
        reader->stop();
        QVERIFY(log.contains(kReader + QStringLiteral("stop : stop audio stream")));
        QVERIFY(player.isNull());
        QCOMPARE(reader->get_audio_player(), nullptr);
        QVERIFY(!messages.isEmpty());
        QCOMPARE(messages.last()[1].toString(), QStringLiteral("Audio stream closing."));
        delete reader;
    }

    // Destroying the reader stops its companion and deletes it once control returns to the
    // event loop.
    void destroyingTheReaderEndsItsCompanion()
    {
        LogCatcher log;
        auto* reader = new ZRStreamReadAndControl();
        QPointer<ff_audio_decoder_sdl_player> player = new ff_audio_decoder_sdl_player();
        reader->set_audio_player(player);
        QVERIFY(reader->init_displayer_for_stream(QFileInfo(rec.seekPath), QStringLiteral("1"), {QFileInfo(rec.videoPath)}));
        player->begin_stream();
        QVERIFY(log.waitFor(kPlayer + QStringLiteral("Init done. Flush audio data"), 30000));
        QSignalSpy messages(player.data(), &ff_audio_decoder_sdl_player::send_message);
        delete reader;
        QVERIFY(log.contains(kReader + QStringLiteral("destruct ;; stop audio stream")));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0][1].toString(), QStringLiteral("Audio stream closing."));
        QTRY_VERIFY_WITH_TIMEOUT(player.isNull(), 30000);
    }

    // Without a companion the reader only tells whether the sound exists, silently.
    void withoutCompanionNothingIsBound()
    {
        LogCatcher log;
        ZRStreamReadAndControl reader;
        QVERIFY(reader.init_displayer_for_stream(QFileInfo(rec.seekPath), QStringLiteral("1"), {QFileInfo(rec.videoPath)}));
        reader.set_read_timestamp(rec.start.addSecs(2).toString(QStringLiteral("yyyyMMddHHmmss")));
        reader.change_rate(2);
        reader.stop();
        QVERIFY(log.contains(kReader + QStringLiteral("init audio & start :: ")));
        QVERIFY(!log.contains(QStringLiteral("set new audio file")));
        QVERIFY(!log.contains(QStringLiteral("Audio Streamdecoder")));
        QVERIFY(!log.contains(QStringLiteral("stop audio stream")));
    }
};

ZR_TEST_MAIN_CORE(TestReaderAudio)
#include "tst_reader_audio.moc"

//! labels: unit
#include "media/ff_audio_decoder_sdl_player.h"
#include "tests/media/GeneratedSound.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/ToneMeter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace zrtest;

namespace {

constexpr int kRate = 48000;

// "yyyyMMddHHmmsszzz" of a recording's start plus ms.
QString stampAt(const GeneratedRecording& r, int ms)
{
    return r.start.addMSecs(ms).toString(QStringLiteral("yyyyMMddHHmmsszzz"));
}

// What the disk driver wrote so far, cut into tones separated by silence (the player queues
// one 64 ms seek line per 900 ms tick).
QList<ToneRun> heard(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return toneRuns(f.readAll(), 2, kRate, kRate / 10);
}

QString describe(const QList<ToneRun>& runs)
{
    QStringList s;
    for (const ToneRun& r : runs)
        s << QString::number(r.hz, 'f', 1);
    return s.join(QLatin1Char(' '));
}

// A copy of a recording's sound in dir with its seek table rewritten by edit (lines without
// their line feeds) and its data file cut to dataBytes (-1 keeps it whole, -2 removes it).
QString damagedCopy(const GeneratedRecording& r, const QString& dir, const std::function<void(QList<QByteArray>&)>& edit,
                    qint64 dataBytes)
{
    const QString audio = dir + QStringLiteral("/1_20250314_080000.zraudio");
    QFile::remove(audio);
    QFile src(r.audioSeekPath);
    src.open(QIODevice::ReadOnly);
    QList<QByteArray> lines = src.readAll().split('\n');
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    edit(lines);
    QFile seek(dir + QStringLiteral("/1_20250314_080000.zraudioseek"));
    seek.open(QIODevice::WriteOnly | QIODevice::Truncate);
    seek.write(lines.join('\n') + '\n');
    seek.close();
    if (dataBytes != -2) {
        QFile::copy(r.audioPath, audio);
        if (dataBytes >= 0)
            QFile::resize(audio, dataBytes);
    }
    return audio;
}

} // namespace

// The audio player plays a recording's sound through SDL's disk driver, which writes what
// would be heard to a file: the test hears which seek lines were played.
class TestAudioPlayer : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedRecording rec;
    DiskAudioOutput out;

    // A player given audio, its decode loop started: it parses the seek table itself and is not
    // positioned until the first video time (or until the owner binds and positions it).
    std::unique_ptr<ff_audio_decoder_sdl_player> startPlayer(const QString& audio)
    {
        auto p = std::make_unique<ff_audio_decoder_sdl_player>(audio);
        p->begin_stream();
        return p;
    }

private slots:
    void initTestCase()
    {
        const GeneratedExport ex = generateWithSound(gen);
        QVERIFY2(ex.ok, qPrintable(ex.error));
        rec = ex.cameras[0].recordings[0];
        QVERIFY(rec.audioPackets > 150);
    }

    void playsOneLinePerTickFromTheVideoTime()
    {
        const QString heardPath = out.next();
        LogCatcher log;
        auto p = startPlayer(rec.audioPath);
        QSignalSpy slider(p.get(), &ff_audio_decoder_sdl_player::send_slidervalue);
        QSignalSpy times(p.get(), &ff_audio_decoder_sdl_player::send_settime);
        QVERIFY(log.waitFor(QStringLiteral("[INFO] Audio Streamdecoder :: Init done. Flush audio data"), 30000));
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: Device open :: ")));

        // Video at 2.000 s: the line of that second is 32 (2048 ms), played at once and then one
        // line per tick. The first two sounds follow a jump (the decoder's overlap mixes them);
        // from the third on each is exactly its line's tone.
        p->get_video_frame_timestamp(stampAt(rec, 2000));
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: get_video_frame_timestamp :: audio_framerate->start @ 981")));
        QVERIFY(p->is_frame_timer_running());
        QTRY_VERIFY_WITH_TIMEOUT(slider.size() >= 4, 30000);
        QCOMPARE(slider[0][0].toInt(), 32);
        QCOMPARE(slider[1][0].toInt(), 33);
        QCOMPARE(slider[3][0].toInt(), 35);
        QCOMPARE(slider[0][1].toString(), stampAt(rec, 2048));
        QCOMPARE(times[3][0].toTime(), rec.start.addMSecs(35 * 64).time());
        QTRY_VERIFY_WITH_TIMEOUT(heard(heardPath).size() >= 5, 30000);
        QTRY_VERIFY2_WITH_TIMEOUT(heardInOrder(heard(heardPath), 33, 3), qPrintable(describe(heard(heardPath))), 30000);

        // The video jumps 4 s ahead: the next tick re-seeks to the video's second (line 94 at
        // 6.016 s) and the lines follow from there.
        log.clear();
        p->get_video_frame_timestamp(stampAt(rec, 6000));
        const int before = slider.size();
        QVERIFY(log.waitFor(QStringLiteral("[INFO] Audio Streamdecoder :: read next audio frame :: too much variation"), 30000));
        QTRY_VERIFY_WITH_TIMEOUT(slider.size() >= before + 3, 30000);
        QCOMPARE(slider[before][0].toInt(), 95);
        QCOMPARE(slider[before + 2][0].toInt(), 97);
        QTRY_VERIFY2_WITH_TIMEOUT(heardInOrder(heard(heardPath), 95, 3), qPrintable(describe(heard(heardPath))), 30000);

        // Stop: the timer stops, the closing message goes out and the decode thread ends.
        QSignalSpy messages(p.get(), &ff_audio_decoder_sdl_player::send_message);
        QSignalSpy stopTimer(p.get(), &ff_audio_decoder_sdl_player::stop_timer);
        p->stop_stream();
        QCOMPARE(stopTimer.size(), 1);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0][0].toString(), QStringLiteral("WHITE"));
        QCOMPARE(messages[0][1].toString(), QStringLiteral("Audio stream closing."));
        QVERIFY(!p->is_frame_timer_running());
        QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 30000);
    }

    void waitsForTheVideoAndFollowsThePlaybackRate()
    {
        const QString heardPath = out.next();
        LogCatcher log;
        auto p = startPlayer(rec.audioPath);
        QSignalSpy slider(p.get(), &ff_audio_decoder_sdl_player::send_slidervalue);
        QVERIFY(log.waitFor(QStringLiteral("[INFO] Audio Streamdecoder :: Init done. Flush audio data"), 30000));

        // Bound and positioned by the reader at 5 s while the video is still at 1.5 s: 3.5 s
        // behind. The first tick keeps the index and waits, each later tick passes one line
        // unplayed.
        p->change_audio_file(rec.audioPath);
        QCOMPARE(p->get_current_index(), 0);
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: change zraudio file :: ") + rec.audioPath));
        p->set_new_timestamp(stampAt(rec, 5000), stampAt(rec, 1500));
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: set_new_timestamp :: audio_framerate->start @ 1019")));
        const int at5 = p->get_current_index();
        QCOMPARE(at5, 79); // 79 * 64 = 5056 ms
        QTRY_VERIFY_WITH_TIMEOUT(p->get_current_index() >= at5 + 2, 30000);
        QVERIFY(slider.isEmpty());
        // The video reaches the audio: within 500 ms the waiting ends, then lines play again.
        const int index = p->get_current_index();
        p->get_video_frame_timestamp(stampAt(rec, index * 64 + 64 + 100));
        QTRY_VERIFY_WITH_TIMEOUT(!slider.isEmpty(), 30000);
        QVERIFY(slider[0][0].toInt() >= index + 1);

        // Another rate than 1: the owner stops the frame reader. Video times are ignored and a
        // new position leaves the timer stopped; rate 1 starts it again.
        p->set_stop_framereader_timer();
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: stop frame reader")));
        const int kept = p->get_current_index();
        p->get_video_frame_timestamp(stampAt(rec, 9000));
        p->set_new_timestamp(stampAt(rec, 3000), stampAt(rec, 3000));
        QVERIFY(!p->is_frame_timer_running());
        QCOMPARE(p->get_current_index(), 47); // 47 * 64 = 3008 ms
        QVERIFY(kept != 47);
        const int played = slider.size();
        p->set_start_framereader_timer();
        QVERIFY(log.contains(QStringLiteral("[INFO] Audio Streamdecoder :: set_start_framereader_timer :: audio_framerate->start @ 1036")));
        QVERIFY(p->is_frame_timer_running());
        QTRY_VERIFY_WITH_TIMEOUT(slider.size() >= played + 2, 30000);
        QCOMPARE(slider[played][0].toInt(), 47);
        QCOMPARE(slider[played + 1][0].toInt(), 48);
        QTRY_VERIFY_WITH_TIMEOUT(!heard(heardPath).isEmpty(), 30000);
        p->stop_stream();
        QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 30000);
    }

    void badInputGivesSilenceOrAClearError_data()
    {
        using Edit = std::function<void(QList<QByteArray>&)>;
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("cut");        // -1 whole, -2 removed, -3 cut inside line 20
        QTest::addColumn<QString>("logged"); // expected log fragment
        QTest::addColumn<QString>("red");    // expected RED text at opening, empty when it opens
        QTest::addColumn<QString>("redLater"); // expected RED text while playing, empty when it plays on
        QTest::addColumn<int>("heardFrom");  // line whose tone follows in order, -1 for none

        const Edit none = [](QList<QByteArray>&) {};
        QTest::newRow("truncated data file") << none << -3 << "read frame :: frame outside the data file" << "" << "" << 17;
        QTest::newRow("garbage seek lines")
            << Edit([](QList<QByteArray>& l) {
                   for (int i = l.size(); i > 0; --i)
                       l.insert(i, i % 2 ? QByteArray("garbage::\xff\xfe:::") : QByteArray("20251399250000000:audio1:aac:77"));
                   l.insert(0, ":::");
               })
            << -1 << "DO DIRECT STREAMING" << "" << "" << 17;
        QTest::newRow("size too large")
            << Edit([](QList<QByteArray>& l) { l[18] = l[18].left(l[18].lastIndexOf(':') + 1) + "2147483647"; })
            << -1 << "read frame :: frame outside the data file" << "" << "" << -1;
        // A size of 0 shifts every later line: their bytes are no longer whole packets, which
        // the decoder refuses.
        QTest::newRow("size not a number")
            << Edit([](QList<QByteArray>& l) { l[18] = l[18].left(l[18].lastIndexOf(':') + 1) + "12a"; })
            << -1 << "read frame :: frame outside the data file" << "" << "Audio stream error :  Error decode frame." << -1;
        QTest::newRow("short line")
            << Edit([](QList<QByteArray>& l) { l[18] = l[18].left(17) + ":audio1"; }) << -1
            << "read frame :: frame outside the data file" << "" << "Audio stream error :  Error decode frame." << -1;
        QTest::newRow("missing data file") << none << -2 << "Could not open STREAM" << "Audio stream error : Could not open stream." << "" << -1;
        QTest::newRow("empty data file") << none << 0 << "Could not open STREAM" << "Audio stream error : Could not open stream." << "" << -1;
        QTest::newRow("empty seek table") << Edit([](QList<QByteArray>& l) { l.clear(); }) << -1 << "Could not open STREAM"
                                          << "Audio stream error : Could not open stream." << "" << -1;
    }

    void badInputGivesSilenceOrAClearError()
    {
        using Edit = std::function<void(QList<QByteArray>&)>;
        QFETCH(Edit, edit);
        QFETCH(int, cut);
        QFETCH(QString, logged);
        QFETCH(QString, red);
        QFETCH(QString, redLater);
        QFETCH(int, heardFrom);
        QTemporaryDir dir;
        const qint64 bytes = cut == -3 ? audioOffsetOfLine(rec, 20) + 10 : cut;
        const QString audio = damagedCopy(rec, dir.path(), edit, bytes);
        const QString heardPath = out.next();
        LogCatcher log;
        auto p = startPlayer(audio);
        QSignalSpy messages(p.get(), &ff_audio_decoder_sdl_player::send_message);
        QSignalSpy slider(p.get(), &ff_audio_decoder_sdl_player::send_slidervalue);
        if (!red.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 30000);
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages[0][0].toString(), QStringLiteral("RED"));
            QCOMPARE(messages[0][1].toString(), red);
            QVERIFY2(log.contains(logged), qPrintable(log.texts().join('\n')));
            // The owner's calls stay harmless after the failure.
            p->get_video_frame_timestamp(stampAt(rec, 1000));
            p->set_new_timestamp(stampAt(rec, 1000), stampAt(rec, 1000));
            p->stop_stream();
            return;
        }
        QVERIFY(log.waitFor(QStringLiteral("[INFO] Audio Streamdecoder :: Init done. Flush audio data"), 30000));
        // From line 16 (1.024 s) over the damaged lines 18 to 20.
        p->get_video_frame_timestamp(stampAt(rec, 1000));
        if (!redLater.isEmpty()) {
            // One RED message, the decode loop ends, the timer goes on harmlessly until stopped.
            QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 60000);
            QVERIFY2(log.contains(logged), qPrintable(log.texts().join('\n')));
            int reds = 0;
            for (const QList<QVariant>& m : messages)
                if (m[0].toString() == QLatin1String("RED")) {
                    ++reds;
                    QCOMPARE(m[1].toString(), redLater);
                }
            QCOMPARE(reds, 1);
            QVERIFY(log.contains(QStringLiteral("[ERROR] Audio Streamdecoder :: decode and play data :: ")));
            p->stop_stream();
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(slider.size() >= 6, 60000);
        QVERIFY2(log.contains(logged), qPrintable(log.texts().join('\n')));
        if (heardFrom >= 0)
            QTRY_VERIFY2_WITH_TIMEOUT(heardInOrder(heard(heardPath), heardFrom, 2), qPrintable(describe(heard(heardPath))), 30000);
        for (const QList<QVariant>& m : messages)
            QVERIFY2(m[0].toString() != QLatin1String("RED"), qPrintable(m[1].toString()));
        QVERIFY(!p->isFinished());
        p->stop_stream();
        QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 30000);
    }

    void endOfTheTableIsReportedEachTick()
    {
        out.next();
        LogCatcher log;
        auto p = startPlayer(rec.audioPath);
        QSignalSpy finished(p.get(), &ff_audio_decoder_sdl_player::send_parsing_finished);
        QVERIFY(log.waitFor(QStringLiteral("[INFO] Audio Streamdecoder :: Init done. Flush audio data"), 30000));
        const int last = rec.audioPackets - 1;
        p->set_new_timestamp(stampAt(rec, 9900), stampAt(rec, last * 64));
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() >= 2, 30000);
        QVERIFY(log.contains(QStringLiteral("[WARN] Audio Streamdecoder :: read next audio frame :: index out of bounds")));
        p->stop_stream();
        QTRY_VERIFY_WITH_TIMEOUT(p->isFinished(), 30000);
    }
};

ZR_TEST_MAIN_CORE(TestAudioPlayer)
#include "tst_audio_player.moc"

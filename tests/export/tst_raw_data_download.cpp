//! labels: net gui slow
// The raw data downloader and its download row against the loopback stream server, serving
// the H.264 frames of a generated recording with their time stamps: a stream copy of a 20 s
// range into MP4 (ffprobe, frame markers of the first and last frames), two copies at once,
// encoding with the date-and-time band, the 50-frame rule, a server that stops sending, the
// operator's stop in both modes, an archive already there, the descriptor and the archive;
// the row's progress, and the row in the download window through success, failure, "Relancer"
// and its stop button.
#include "export/DownloadEncodeItem_Presentation.h"
#include "export/Download_presentation.h"
#include "export/SqueezeLabel.h"
#include "export/ZRDownload_encode_data.h"
#include "tests/export/ExportedVideo.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/StreamServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

#include <memory>

using namespace zrtest;

namespace {

const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

// The access units of an Annex-B H.264 file, in order.
QList<QByteArray> accessUnits(const QString& path)
{
    QList<QByteArray> out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.toLocal8Bit().constData(), av_find_input_format("h264"), nullptr) < 0)
        return out;
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        out << QByteArray(reinterpret_cast<const char*>(pkt->data), pkt->size);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return out;
}

struct ServedFrame
{
    QByteArray data;
    QDateTime time;
    bool key = false;
};

// One downloader run with every report it gave.
struct Run
{
    std::unique_ptr<ZRDownload_encode_data> d;
    std::unique_ptr<QSignalSpy> done, errors, progress, messages;

    Run()
        : d(new ZRDownload_encode_data())
    {
        done.reset(new QSignalSpy(d.get(), &ZRDownload_encode_data::finished));
        errors.reset(new QSignalSpy(d.get(), &ZRDownload_encode_data::error));
        progress.reset(new QSignalSpy(d.get(), &ZRDownload_encode_data::frame_downloaded_encoded));
        messages.reset(new QSignalSpy(d.get(), &ZRDownload_encode_data::generic_message));
    }
    void start() { d->start(); }
    int ends() const { return done->count() + errors->count(); }
    bool wait(int timeoutMs = 120000)
    {
        return QTest::qWaitFor([this] { return ends() >= 1; }, timeoutMs) && d->wait(timeoutMs);
    }
    int code() const { return errors->isEmpty() ? 1 : errors->first().at(0).toInt(); }
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList workingFiles()
{
    return QDir(ZRDownload_encode_data::working_folder()).entryList(QDir::Files | QDir::Hidden);
}

// Rows from the top whose left edge is dark: the date-and-time band.
int bandRows(const QImage& luma)
{
    int rows = 0;
    while (rows < luma.height() && luma.pixelColor(0, rows).red() < 45 && luma.pixelColor(1, rows).red() < 45)
        ++rows;
    return rows;
}

} // namespace

class TestRawDataDownload : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex;
    int cameraId = 0;
    QList<ServedFrame> frames; // every recording of the camera, in time order
    QTemporaryDir out;

    QString stamp(int index) const { return frames.at(index).time.toString(kStamp); }

    // A stream server that serves frames first, first + 1, ... on every connection (first is a
    // key frame, as a server starts a range); it closes
    // after `count` parts, or goes silent after `stallAfter` parts.
    std::unique_ptr<StreamServer> server(int first, int count = -1, int stallAfter = -1)
    {
        StreamServer::Options options;
        options.intervalMs = 0;
        options.stallAfterParts = stallAfter;
        const QList<ServedFrame> all = frames;
        return std::make_unique<StreamServer>(
            [all, first, count](int, int index) -> QByteArray {
                const int i = first + index;
                if ((count >= 0 && index >= count) || i >= all.size())
                    return QByteArray();
                StreamFrame f;
                f.data = all.at(i).data;
                f.timestamp = all.at(i).time.toString("yyyyMMddHHmmsszzz").toLatin1();
                f.key = all.at(i).key;
                return StreamServer::part(f, " 25.00");
            },
            options);
    }

    // A downloader of frames first .. last (their time stamps), into video.
    void setUp(ZRDownload_encode_data* d, const StreamServer& s, int first, int last, const QString& video,
               const QString& format, int seconds)
    {
        d->set_stream("http", "127.0.0.1", QString::number(s.port()),
                      QStringLiteral("/raw?camera=%1&from=%2").arg(cameraId).arg(first));
        d->set_end_time(stamp(last));
        d->set_video_path(video);
        d->set_video_format(format);
        d->set_duration_seconds(seconds);
    }

    // The produced file holds frames first .. last: ffprobe's count and the markers of its
    // first and last pictures.
    void checkVideo(const QString& path, int first, int last, double fps)
    {
        const ProbedVideo v = probeVideo(path);
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(v.codec, QString("h264"));
        QVERIFY(v.format.contains("mp4"));
        QCOMPARE(v.width, 320);
        QCOMPARE(v.height, 180);
        const int count = last - first + 1;
        QCOMPARE(v.frames, count);
        QVERIFY2(qAbs(v.duration - count / fps) <= 1.0 / fps + 1e-6, qPrintable(QString::number(v.duration)));
        const QList<QImage> luma = decodeLuma(path);
        QCOMPARE(luma.size(), count);
        const FrameMarker a = markerOf(luma.first());
        const FrameMarker b = markerOf(luma.last());
        QVERIFY(a.found && b.found);
        QCOMPARE(a.cameraId, cameraId);
        QCOMPARE(a.dateTime(), frames.at(first).time);
        QCOMPARE(b.dateTime(), frames.at(last).time);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(out.isValid());
        ex = gen.generate({"--codec", "h264", "--size", "320x180", "--minutes", "1", "--file-seconds", "60", "--fps",
                           "25", "--first-camera", "4"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        cameraId = ex.cameras.first().id;
        for (const GeneratedRecording& rec : ex.cameras.first().recordings) {
            const QList<QByteArray> units = accessUnits(rec.videoPath);
            QCOMPARE(units.size(), rec.frames);
            const QDateTime start(QDate::fromString(rec.day, "yyyy-MM-dd"), QTime::fromMSecsSinceStartOfDay(rec.startMs));
            for (int i = 0; i < units.size(); ++i)
                frames << ServedFrame{units.at(i), start.addMSecs(40 * i), i % 25 == 0};
        }
        QVERIFY(frames.size() >= 1000);
        QVERIFY(QDir().mkpath(out.filePath("out dir")));
    }

    // A 20 s range copied into MP4 twice at once, into two files whose names have blanks: the
    // blanks become "_" in the file names only, every served frame of the range is there at
    // 25 frames a second, and no working file stays.
    void streamCopyTwoAtOnce()
    {
        auto s = server(0);
        Run a, b;
        const QString va = out.filePath("out dir/clip one.mp4");
        const QString vb = out.filePath("out dir/clip two.mp4");
        setUp(a.d.get(), *s, 0, 499, va, "RAW", 20);
        setUp(b.d.get(), *s, 0, 499, vb, "raw", 20);
        a.start();
        b.start();
        QVERIFY(a.wait());
        QVERIFY(b.wait());
        QCOMPARE(a.code(), 1);
        QCOMPARE(b.code(), 1);
        QCOMPARE(a.done->count(), 1);
        QCOMPARE(b.done->count(), 1);
        QCOMPARE(a.d->result_path(), out.filePath("out dir/clip_one.mp4"));
        QCOMPARE(b.d->result_path(), out.filePath("out dir/clip_two.mp4"));
        QVERIFY(!QFile::exists(va) && !QFile::exists(vb));
        QVERIFY(!QFile::exists(out.filePath("out_dir")));
        for (Run* r : {&a, &b}) {
            QCOMPARE(r->progress->count(), 500);
            QCOMPARE(r->progress->first().at(0).toString(), stamp(0));
            QCOMPARE(r->progress->last().at(0).toString(), stamp(499));
            QCOMPARE(r->progress->last().at(1).toString(), stamp(499));
            checkVideo(r->d->result_path(), 0, 499, 25.0);
        }
        QVERIFY(s->connections() >= 2);
        QVERIFY(s->lastRequest().contains(QStringLiteral("/raw?camera=%1&from=0").arg(cameraId).toLatin1()));
        QCOMPARE(workingFiles(), QStringList());
    }

    // Without a usable length the copy plays at the stream's rate.
    void streamCopyWithoutLength()
    {
        auto s = server(100);
        Run r;
        const QString video = out.filePath("nolength.mp4");
        setUp(r.d.get(), *s, 100, 149, video, "raw", 0);
        r.start();
        QVERIFY(r.wait());
        QCOMPARE(r.code(), 1);
        checkVideo(video, 100, 149, 25.0);
    }

    // Encoding draws the date-and-time band above the recording's pictures.
    void encodeWithOverlay()
    {
        auto s = server(25);
        Run r;
        const QString video = out.filePath("encoded.mp4");
        setUp(r.d.get(), *s, 25, 84, video, "H264", 3);
        r.d->set_overlay(1, "Caméra 4");
        r.start();
        QVERIFY(r.wait());
        QCOMPARE(r.code(), 1);
        QCOMPARE(r.d->result_path(), video);
        checkVideo(video, 25, 84, 25.0);
        const QImage first = decodeLuma(video).value(0);
        const int rows = bandRows(first);
        // A dark band with text, above the marker grid (which checkVideo has read).
        QVERIFY2(rows > 0 && rows < first.height() / 3, qPrintable(QString::number(rows)));
        int bright = 0;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < first.width(); ++x)
                bright += first.constScanLine(y)[x] > 160;
        QVERIFY2(bright > 50, qPrintable(QString::number(bright)));
    }

    // Fewer than 50 encoded frames are no video: -14 and no file; 50 are.
    void encodedFrameCount_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("code");
        QTest::newRow("49 frames") << 200 << 248 << -14;
        QTest::newRow("50 frames") << 200 << 249 << 1;
        QTest::newRow("first frame past the end") << 200 << 199 << -14;
    }

    void encodedFrameCount()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, code);
        auto s = server(first);
        Run r;
        const QString video = out.filePath(QStringLiteral("count-%1.mp4").arg(last));
        setUp(r.d.get(), *s, first, last, video, "h264", 2);
        r.start();
        QVERIFY(r.wait());
        QCOMPARE(r.code(), code);
        QCOMPARE(r.done->count(), code == 1 ? 1 : 0);
        QCOMPARE(r.errors->count(), code == 1 ? 0 : 1);
        QCOMPARE(QFile::exists(video), code == 1);
        if (code == 1)
            checkVideo(video, first, last, 25.0);
    }

    // The server stops sending before the end of the range: after the waits, -1 for a stream
    // copy (nothing produced, no working file left) and -10 for encoding.
    void serverStopsSending_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("served");
        QTest::addColumn<int>("code");
        QTest::newRow("stream copy") << "raw" << 10 << -1;
        QTest::newRow("encoding") << "h264" << 60 << -10;
    }

    void serverStopsSending()
    {
        QFETCH(QString, format);
        QFETCH(int, served);
        QFETCH(int, code);
        auto s = server(300, served);
        Run r;
        LogCatcher log;
        const QString video = out.filePath("stops-" + format + ".mp4");
        setUp(r.d.get(), *s, 300, 999, video, format, 28);
        r.start();
        QVERIFY(r.wait());
        QCOMPARE(r.errors->count(), 1);
        QCOMPARE(r.done->count(), 0);
        QCOMPARE(r.code(), code);
        QCOMPARE(r.progress->count(), served);
        QVERIFY(log.contains(" stop encoding."));
        if (format == "raw")
            QVERIFY(!QFile::exists(video));
        QCOMPARE(workingFiles(), QStringList());
    }

    // The operator stops a download whose server has gone silent: encoding ends with -34 and
    // no file; a stream copy keeps the frames so far and finishes.
    void operatorStop_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("encoding") << "h264";
        QTest::newRow("stream copy") << "raw";
    }

    void operatorStop()
    {
        QFETCH(QString, format);
        auto s = server(500, -1, 75);
        Run r;
        const QString video = out.filePath("stopped-" + format + ".mp4");
        setUp(r.d.get(), *s, 500, 999, video, format, 20);
        r.start();
        QVERIFY(QTest::qWaitFor([&] { return r.progress->count() >= 75; }, 60000));
        r.d->set_stop_from_user();
        QVERIFY(r.wait(30000));
        if (format == "raw") {
            QCOMPARE(r.code(), 1);
            QCOMPARE(r.done->count(), 1);
            checkVideo(video, 500, 574, 3.0 /* 75 frames over 20 s: 3 a second */);
        } else {
            QCOMPARE(r.code(), -34);
            QCOMPARE(r.done->count(), 0);
            QVERIFY(!QFile::exists(video));
        }
        QCOMPARE(workingFiles(), QStringList());
    }

    // An archive already there ends the run before any connection, and stays as it was.
    void archiveAlreadyThere()
    {
        auto s = server(0);
        Run r;
        const QString archive = out.filePath("there.zip");
        QFile f(archive);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("the operator's archive");
        f.close();
        setUp(r.d.get(), *s, 0, 99, out.filePath("there.mp4"), "raw", 4);
        r.d->set_archive_path(archive);
        r.start();
        QVERIFY(r.wait());
        QCOMPARE(r.code(), -29);
        QCOMPARE(s->connections(), 0);
        QCOMPARE(readAll(archive), QByteArray("the operator's archive"));
    }

    // The descriptor and the video packed into one archive under their bare names, checked,
    // then the originals deleted; a descriptor that decodes to nothing gives -30, no archive,
    // and keeps the video.
    void descriptorAndArchive()
    {
        auto s = server(0);
        const QString folder = out.filePath("packed");
        QVERIFY(QDir().mkpath(folder));
        const QString video = folder + "/clip.mp4";
        const QString descriptor = folder + "/clip.txt";
        const QString archive = folder + "/clip.zip";
        const QString text = QStringLiteral("Caméra 4 ; %1 ; %2").arg(stamp(0), stamp(49));
        Run r;
        setUp(r.d.get(), *s, 0, 49, video, "raw", 2);
        r.d->set_descriptor(QString::fromLatin1(text.toUtf8().toBase64()), descriptor);
        r.d->set_archive_path(archive);
        r.start();
        QVERIFY(r.wait());
        QCOMPARE(r.code(), 1);
        QCOMPARE(r.d->result_path(), archive);
        QVERIFY(!QFile::exists(video));
        QVERIFY(!QFile::exists(descriptor));
        QCOMPARE(r.messages->count(), 2);
        QCOMPARE(r.messages->at(0).at(0).toString(), "Création du descripteur [" + descriptor + "]");
        QCOMPARE(r.messages->at(1).at(0).toString(), "Archivage des fichiers en cours ... [" + archive + "]");

        int err = 0;
        zip_t* z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, &err);
        QVERIFY(z);
        QCOMPARE(zip_get_num_entries(z, 0), zip_int64_t(2));
        QCOMPARE(QString::fromUtf8(zip_get_name(z, 0, 0)), QString("clip.txt"));
        QCOMPARE(QString::fromUtf8(zip_get_name(z, 1, 0)), QString("clip.mp4"));
        auto entry = [&](int index) {
            QByteArray data;
            zip_stat_t st;
            zip_stat_index(z, zip_uint64_t(index), 0, &st);
            data.resize(qsizetype(st.size));
            zip_file_t* f = zip_fopen_index(z, zip_uint64_t(index), 0);
            if (f) {
                zip_fread(f, data.data(), st.size);
                zip_fclose(f);
            }
            return data;
        };
        QCOMPARE(QString::fromUtf8(entry(0)), text + "\n");
        const QString extracted = out.filePath("extracted.mp4");
        QFile x(extracted);
        QVERIFY(x.open(QIODevice::WriteOnly));
        x.write(entry(1));
        x.close();
        zip_close(z);
        checkVideo(extracted, 0, 49, 25.0);

        Run bad;
        const QString video2 = folder + "/bad.mp4";
        setUp(bad.d.get(), *s, 0, 49, video2, "raw", 2);
        bad.d->set_descriptor("!!!!", folder + "/bad.txt");
        bad.d->set_archive_path(folder + "/bad.zip");
        bad.start();
        QVERIFY(bad.wait());
        QCOMPARE(bad.code(), -30);
        QVERIFY(!QFile::exists(folder + "/bad.zip"));
        QVERIFY(QFile::exists(video2));
    }

    // A stream copy that cannot end as asked: a file already at the video path is kept and the
    // run ends with -20; a descriptor that cannot be written gives -31, an archive without its
    // descriptor -26, and neither makes an archive. No working file stays.
    void copyEndings_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("code");
        QTest::newRow("video already there") << "taken" << -20;
        QTest::newRow("descriptor folder missing") << "descriptor" << -31;
        QTest::newRow("archive without descriptor") << "archive" << -26;
    }

    void copyEndings()
    {
        QFETCH(QString, situation);
        QFETCH(int, code);
        auto s = server(0);
        const QString folder = out.filePath("endings-" + situation);
        QVERIFY(QDir().mkpath(folder));
        const QString video = folder + "/v.mp4";
        if (situation == "taken") {
            QFile f(video);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("the operator's video");
        }
        Run r;
        setUp(r.d.get(), *s, 0, 49, video, "raw", 2);
        if (situation == "descriptor")
            r.d->set_descriptor(QString::fromLatin1(QByteArray("d").toBase64()), folder + "/absent/v.txt");
        if (situation != "taken")
            r.d->set_archive_path(folder + "/v.zip");
        r.start();
        QVERIFY(r.wait());
        QCOMPARE(r.code(), code);
        QCOMPARE(r.done->count(), 0);
        QVERIFY(!QFile::exists(folder + "/v.zip"));
        if (situation == "taken")
            QCOMPARE(readAll(video), QByteArray("the operator's video"));
        else
            checkVideo(video, 0, 49, 25.0); // the video itself stays
        QCOMPARE(workingFiles(), QStringList());
    }

    // The bar counts seconds of the range from the first report on.
    void rowProgress()
    {
        DownloadEncodeItem_Presentation row(nullptr, "/tmp/x.mp4");
        row.frame_downloaded_encoded("2024-05-02 10:00:00.000", "2024-05-02 10:05:00.000");
        QCOMPARE(row.progressBar->maximum(), 300);
        QCOMPARE(row.progressBar->value(), 0);
        row.frame_downloaded_encoded("2024-05-02 10:02:30.000", "2024-05-02 10:05:00.000");
        QCOMPARE(row.progressBar->value(), 150);
        QCOMPARE(row.downloadInfoLabel->text(),
                 QString("Téléchargement / encodage en cours [ 2024-05-02 10:02:30.000 > 2024-05-02 10:05:00.000 ]"));
        QVERIFY(row.encoder() == nullptr);
        row.start_downloading_item(); // without a downloader: only a log line
        QVERIFY(row.isStarted());
    }

    // In the window: a download whose archive is already there is filed under "Echoués" with
    // its text and "Relancer"; once the archive is gone, "Relancer" runs the same downloader
    // again and the row ends under "Réussis" with the archive as its file; each run is
    // reported to the row once. The stop button files a running download under "Echoués" at
    // once, and the encoding ends without a file.
    void rowsInTheWindow()
    {
        auto s = server(0);
        LogCatcher log;
        const QString folder = out.filePath("window");
        QVERIFY(QDir().mkpath(folder));
        const QString archive = folder + "/w.zip";
        QFile f(archive);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();

        auto* window = new Download_presentation();
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* d = new ZRDownload_encode_data();
        setUp(d, *s, 0, 59, folder + "/w.mp4", "raw", 2);
        d->set_descriptor(QString::fromLatin1(QByteArray("w").toBase64()), folder + "/w.txt");
        d->set_archive_path(archive);
        auto* row = new DownloadEncodeItem_Presentation(nullptr, folder + "/w.mp4");
        row->setType("encode");
        row->setEncoder(d);
        row->resetFlags();
        window->add_item(row);
        QVERIFY(QTest::qWaitFor([&] { return window->get_errors().size() == 1; }, 60000));
        QVERIFY(window->get_downloads().isEmpty());
        auto* failed = qobject_cast<DownloadEncodeItem_Presentation*>(window->get_errors().first());
        QVERIFY(failed);
        QCOMPARE(failed->downloadInfoLabel->text(), QString("Archive déjà existante."));
        QVERIFY(failed->isInError());
        QVERIFY(!failed->tryAgainButton->isHidden());
        QCOMPARE(failed->encoder(), d);
        QCOMPARE(window->tabWidget->tabText(1), QString("Echoués (1)"));

        QVERIFY(QFile::remove(archive));
        QVERIFY(QTest::qWaitFor([&] { return d->isFinished(); }, 10000));
        failed->tryAgainButton->click();
        QVERIFY(window->get_errors().isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return window->get_successes().size() == 1; }, 60000));
        auto* good = qobject_cast<DownloadEncodeItem_Presentation*>(window->get_successes().first());
        QVERIFY(good);
        QCOMPARE(good->fileName(), archive);
        QVERIFY(good->downloadedSuccessfully());
        QVERIFY(!good->openButton->isHidden());
        QVERIFY(good->encoder() == nullptr);
        QVERIFY(QFile::exists(archive));
        // Each run reached the row once.
        QCOMPARE(log.texts().count("[INFO] Download Encode Item Presentation :: finished"), 1);
        QCOMPARE(log.texts().count("[INFO] Download Encode Item Presentation :: error"), 1);
        QCOMPARE(window->tabWidget->tabText(0), QString("Réussis (1)"));
        QCOMPARE(window->tabWidget->tabText(1), QString("Echoués (0)"));

        // The stop button, while an encoding runs against a silent server.
        auto silent = server(0, -1, 40);
        auto* e = new ZRDownload_encode_data();
        const QString video = folder + "/stopped.mp4";
        setUp(e, *silent, 0, 999, video, "h264", 40);
        QSignalSpy ended(e, &ZRDownload_encode_data::error);
        auto* running = new DownloadEncodeItem_Presentation(nullptr, video);
        running->setType("encode");
        running->setEncoder(e);
        running->resetFlags();
        window->add_item(running);
        QVERIFY(QTest::qWaitFor([&] { return running->progressBar->value() > 0
                                          || running->downloadInfoLabel->text().startsWith("Téléchargement"); }, 60000));
        running->stopButton->click();
        QCOMPARE(window->get_errors().size(), 1);
        auto* stopped = qobject_cast<DownloadEncodeItem_Presentation*>(window->get_errors().first());
        QVERIFY(stopped);
        QCOMPARE(stopped->downloadInfoLabel->text(), QString("Arrêt de l'utilisateur."));
        QCOMPARE(stopped->encoder(), e);
        QVERIFY(QTest::qWaitFor([&] { return !ended.isEmpty(); }, 30000));
        QCOMPARE(ended.first().at(0).toInt(), -34);
        QVERIFY(QTest::qWaitFor([&] { return e->isFinished(); }, 10000));
        QVERIFY(!QFile::exists(video));
        window->close();
    }
};

ZR_TEST_MAIN_GUI(TestRawDataDownload)
#include "tst_raw_data_download.moc"

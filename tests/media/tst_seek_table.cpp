//! labels: unit
#include "media/ZRSeekTable.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestSeekTable : public QObject
{
    Q_OBJECT

    static QString describe(const QList<ZRFrame>& frames)
    {
        QStringList out;
        for (const ZRFrame& f : frames)
            out << QStringLiteral("%1|%2|%3|%4|%5|%6@%7")
                       .arg(f.get_timestamp().right(5), f.get_stream_id(), f.get_codec(), f.get_resolution(),
                            f.get_keyframe_text())
                       .arg(f.get_size())
                       .arg(f.get_offset());
        return out.join(QLatin1Char(' '));
    }

private slots:
    // Each case: table text, kind, expected records as "last5ofstamp|stream|codec|res|key|size@offset".
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        const QByteArray a = "20260310120000123:video1:frame/h264:1920x1080:1:5000";
        const QByteArray b = "20260310120000163:video1:frame/h264:1920x1080:0:1200";
        const QString two = "00123|1|libx264|1920x1080|1|5000@0 00163|1|libx264|1920x1080|0|1200@5000";
        QTest::newRow("two lines") << a + "\n" + b << "video" << two;
        QTest::newRow("trailing line feed") << a + "\n" + b + "\n" << "video" << two;
        QTest::newRow("CRLF and blank lines") << a + "\r\n\r\n" + b + "\r\n" << "video" << two;
        QTest::newRow("surrounding blanks") << "  " + a + " \n\t" + b + "  " << "video" << two;
        QTest::newRow("interleaved streams")
            << QByteArray("20260310120000000:video1:frame/h264:1920x1080:1:100\n"
                          "20260310120000000:video2:frame/h264:640x360:1:30\n"
                          "20260310120000040:video1:frame/h264:1920x1080:0:50\n"
                          "20260310120000040:video2:frame/h264:640x360:0:7\n")
            << "video"
            << "00000|1|libx264|1920x1080|1|100@0 00000|2|libx264|640x360|1|30@100 "
               "00040|1|libx264|1920x1080|0|50@130 00040|2|libx264|640x360|0|7@180";
        QTest::newRow("bad stamps skipped, offsets unshifted")
            << QByteArray("20261310120000000:video1:frame/h264:1x1:1:999\n"   // month 13
                          "20260310250000000:video1:frame/h264:1x1:1:999\n"   // hour 25
                          "20260230120000000:video1:frame/h264:1x1:1:999\n"   // 30 February
                          "20250229120000000:video1:frame/h264:1x1:1:999\n"   // not a leap year
                          "2026031012000000:video1:frame/h264:1x1:1:999\n"    // 16 digits
                          "202603101200000001:video1:frame/h264:1x1:1:999\n"  // 18 digits
                          "hello:video1:frame/h264:1x1:1:999\n"
                          ":video1:frame/h264:1x1:1:999\n"
                          "20240229235959999:video1:frame/h264:1x1:1:10\n"    // leap day, last ms
                          "20260310120000040:video1:frame/h264:1x1:0:20\n")
            << "video" << "59999|1|libx264|1x1|1|10@0 00040|1|libx264|1x1|0|20@10";
        // A wall-clock stamp inside a daylight-saving gap (Paris, 29 March 2026 02:30) is valid.
        QTest::newRow("daylight-saving gap")
            << QByteArray("20260329023000000:video1:frame/h264:1x1:1:10\n20260329023000040:video1:frame/h264:1x1:0:5\n")
            << "video" << "00000|1|libx264|1x1|1|10@0 00040|1|libx264|1x1|0|5@10";
        QTest::newRow("sizes: non-numeric, negative, overflow count 0")
            << QByteArray("20260310120000000:video1:frame/h264:1x1:1:12a\n"
                          "20260310120000040:video1:frame/h264:1x1:0:-5000\n"
                          "20260310120000080:video1:frame/h264:1x1:0:99999999999\n"
                          "20260310120000120:video1:frame/h264:1x1:0:\n"
                          "20260310120000160:video1:frame/h264:1x1:0:+7\n"
                          "20260310120000200:video1:frame/h264:1x1:0:3\n")
            << "video"
            << "00000|1|libx264|1x1|1|0@0 00040|1|libx264|1x1|0|0@0 00080|1|libx264|1x1|0|0@0 "
               "00120|1|libx264|1x1|0|0@0 00160|1|libx264|1x1|0|7@0 00200|1|libx264|1x1|0|3@7";
        QTest::newRow("short line adds nothing")
            << QByteArray("20260310120000000:video1:frame/h264:1x1:1:10\n"
                          "20260310120000040:video1:frame/h264\n"
                          "20260310120000080:video1:frame/h264:1x1:0:4\n")
            << "video" << "00000|1|libx264|1x1|1|10@0 00040|||||0@10 00080|1|libx264|1x1|0|4@10";
        QTest::newRow("extra fields ignored")
            << QByteArray("20260310120000000:video1:frame/h265:1x1:1:10:extra:more\n")
            << "video" << "00000|1|hevc|1x1|1|10@0";
        QTest::newRow("audio line")
            << QByteArray("20260310120000000:audio1:aac:320\n20260310120000020:audio1:aac:310\n") << "audio"
            << "00000|1|aac|||320@0 00020|1|aac|||310@320";
        QTest::newRow("audio kind from caller, not line")
            << QByteArray("20260310120000000:video1:frame/h264:1920x1080:1:5\n") << "audio"
            << "00000|video1|frame/h264|||0@0";
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        const QList<ZRFrame> frames = ZRSeekTable::parse_text(text, kind, "/d/1_20260310_120000.zrvideo");
        QCOMPARE(describe(frames), expected);
        for (const ZRFrame& f : frames) {
            QCOMPARE(f.get_kind(), kind);
            QCOMPARE(f.get_in_range(), 1);
            QCOMPARE(f.get_data_file(), QString("/d/1_20260310_120000.zrvideo"));
        }
    }

    void codecText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("codec");
        QTest::newRow("frame/h264") << "frame/h264" << "libx264";
        QTest::newRow("H264") << "H264" << "libx264";
        QTest::newRow("frame/h265") << "frame/h265" << "hevc";
        QTest::newRow("frame/MPEG4") << "frame/MPEG4" << "mpeg4";
        QTest::newRow("frame/mpeg4 lower case") << "frame/mpeg4" << "mjpeg";
        QTest::newRow("frame/jpeg") << "frame/jpeg" << "mjpeg";
        QTest::newRow("aac") << "aac" << "aac";
        QTest::newRow("frame/av1") << "frame/av1" << "mjpeg";
        QTest::newRow("frame/vp9") << "frame/vp9" << "mjpeg";
        QTest::newRow("264 wins over 265") << "x264-265" << "libx264";
    }
    void codecText()
    {
        QFETCH(QString, text);
        QFETCH(QString, codec);
        QCOMPARE(ZRSeekTable::decoder_for_codec_text(text), codec);
    }

    void stampHelpers()
    {
        qint64 a = 0, b = 0;
        QVERIFY(ZRSeekTable::parse_stamp(QStringLiteral("20260329023000480"), &a));
        QVERIFY(ZRSeekTable::parse_seconds_stamp(QStringLiteral("20260329023000"), &b));
        QCOMPARE(a - b, 480);
        QVERIFY(ZRSeekTable::parse_stamp(QStringLiteral("19700101000000001"), &a));
        QCOMPARE(a, 1);
        QVERIFY(!ZRSeekTable::parse_seconds_stamp(QStringLiteral("2026032902300")));
        QVERIFY(!ZRSeekTable::parse_stamp(QStringLiteral("00000101000000000")));
        QCOMPARE(ZRSeekTable::display_text(u"20260310120000123"), QString("2026-03-10 12:00:00.123"));
        QCOMPARE(ZRSeekTable::display_text(u"2026031012000012x"), QString());
        QCOMPARE(ZRSeekTable::time_of_day(u"20260310235959999"), QTime(23, 59, 59, 999));
        // Consecutive days are 86400000 ms apart, across a year end and a leap day.
        QVERIFY(ZRSeekTable::parse_stamp(QStringLiteral("20241231120000000"), &a));
        QVERIFY(ZRSeekTable::parse_stamp(QStringLiteral("20250101120000000"), &b));
        QCOMPARE(b - a, 86400000LL);
        QVERIFY(ZRSeekTable::parse_stamp(QStringLiteral("20240228120000000"), &a));
        QVERIFY(ZRSeekTable::parse_stamp(QStringLiteral("20240301120000000"), &b));
        QCOMPARE(b - a, 2 * 86400000LL);
    }

    // The reader's parse of a file: kind and pair of paths from the name, camera names,
    // stream containment filter, and the streams found.
    void parseFile()
    {
        QTemporaryDir dir;
        const QString seek = dir.filePath("12_20260310_120000.zrseek");
        QFile f(seek);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("20260310120000000:video2:frame/h264:1x1:1:10\n"
                "20260310120000000:video11:frame/h264:1x1:1:20\n"
                "20260310120000000:video1:frame/h264:1x1:1:30\n"
                "20260310120000040:video2:frame/h264:1x1:0:5\n");
        f.close();

        ZRSeekTable::FileResult r = ZRSeekTable::parse_file(seek, "1");
        QCOMPARE(r.streams, QStringList({"2", "11", "1"}));
        QCOMPARE(r.detected_stream, QString());
        QCOMPARE(r.frames.size(), 2); // "11" and "1"
        QCOMPARE(r.frames[0].get_stream_id(), QString("11"));
        QCOMPARE(r.frames[0].get_offset(), 10);
        QCOMPARE(r.frames[0].get_camera_name(), QString("CAMERA 12"));
        QCOMPARE(r.frames[0].get_data_file(), dir.filePath("12_20260310_120000.zrvideo"));

        // Named by its data file; a name from the table.
        r = ZRSeekTable::parse_file(dir.filePath("12_20260310_120000.zrvideo"), "7", {{12, "Porte"}});
        QCOMPARE(r.frames.size(), 0);
        QCOMPARE(r.detected_stream, QString("2"));
        r = ZRSeekTable::parse_file(dir.filePath("12_20260310_120000.zrvideo"), "2", {{12, "Porte"}});
        QCOMPARE(r.frames.size(), 2);
        QCOMPARE(r.frames[1].get_camera_name(), QString("Porte"));
        // Empty wanted id keeps everything.
        QCOMPARE(ZRSeekTable::parse_file(seek, "").frames.size(), 4);
        // Other extensions and missing tables give nothing.
        QVERIFY(ZRSeekTable::parse_file(dir.filePath("12_20260310_120000.txt"), "1").frames.isEmpty());
        QVERIFY(ZRSeekTable::parse_file(dir.filePath("12_20260310_130000.zrseek"), "1").frames.isEmpty());
    }

    void audioFile()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("3_20260310_120000.zraudioseek"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("20260310120000000:audio1:aac:320\n");
        f.close();
        const auto r = ZRSeekTable::parse_file(dir.filePath("3_20260310_120000.zraudio"), "1");
        QCOMPARE(r.frames.size(), 1);
        QCOMPARE(r.frames[0].get_kind(), QString("audio"));
        QCOMPARE(r.frames[0].get_codec(), QString("aac"));
        QCOMPARE(r.frames[0].get_size(), 320);
        QVERIFY(r.frames[0].get_resolution().isEmpty());
        QVERIFY(r.frames[0].get_keyframe_text().isEmpty());
    }
};

ZR_TEST_MAIN_CORE(TestSeekTable)
#include "tst_seek_table.moc"

//! labels: unit
#include "store/ZRParserThread.h"
#include "tests/integrity/IntegrityFixture.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QTemporaryDir>
#include <QtTest>

using integritytest::writeBytes;

class TestZRParserThread : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString file(const QString& name, const QByteArray& data)
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        writeBytes(path, data);
        return path;
    }

    static void runOver(ZRParserThread& parser, const QStringList& dataFiles)
    {
        for (const QString& f : dataFiles)
            parser.files.append(QFileInfo(f));
        parser.start();
        QVERIFY(parser.wait(10000));
    }

private slots:
    void distinctStreamsInOrder()
    {
        const QString a = file(QStringLiteral("1_20261201_080000.zrvideo"), "x");
        file(QStringLiteral("1_20261201_080000.zrseek"),
             "20261201080000000:video1:frame/h264:640x360:1:100\n"
             "20261201080000040:video2:frame/h264:320x180:1:50\n"
             "20261201080000080:video1:frame/h264:640x360:0:20\n");
        const QString b = file(QStringLiteral("1_20261201_080100.zrvideo"), "x");
        file(QStringLiteral("1_20261201_080100.zrseek"),
             "\n"                                // empty line: no second field
             "no separator at all\n"
             "20261201080100000:Video3:frame/h264:640x360:1:100\n" // case-sensitive test
             "20261201080100040:video2:frame/h264:320x180:1:50\n"
             "20261201080100080:video4:frame/h264:320x180:1:50");  // last line without a line feed
        const QString audio = file(QStringLiteral("1_20261201_080000.zraudio"), "x");
        file(QStringLiteral("1_20261201_080000.zraudioseek"), "20261201080000000:audio1:aac:300\n");
        const QString other = file(QStringLiteral("1_20261201_080000_preview.jpg"), "x");

        zrtest::LogCatcher log;
        ZRParserThread parser;
        runOver(parser, {a, audio, other, b});
        QCOMPARE(parser.video_streams,
                 (QStringList{QStringLiteral("video1"), QStringLiteral("video2"), QStringLiteral("video4")}));
        QCOMPARE(log.count(QStringLiteral("ZRParserThread :: read and parse zrseek")), 0);
        const QStringList timing = log.texts().filter(QStringLiteral("[INFO] ZRParserThread :: run :: video files parsed in "));
        QCOMPARE(timing.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral(" in [0-9.e+-]+ ms$")).match(timing.first()).hasMatch());
    }

    void emptyAndMissingTables()
    {
        const QString empty = file(QStringLiteral("2_20261201_080000.zrvideo"), "x");
        file(QStringLiteral("2_20261201_080000.zrseek"), QByteArray());
        const QString missing = file(QStringLiteral("3_20261201_080000.zrvideo"), "x");

        zrtest::LogCatcher log;
        ZRParserThread parser;
        runOver(parser, {empty, missing});
        QVERIFY(parser.video_streams.isEmpty());
        const QStringList warnings = log.texts().filter(QStringLiteral("[WARN] ZRParserThread"));
        QCOMPARE(warnings.size(), 4);
        QVERIFY(warnings.at(0).startsWith(QStringLiteral("[WARN] ZRParserThread :: read and parse zrseek :: read return value  :: ")));
        QCOMPARE(warnings.at(1), QStringLiteral("[WARN] ZRParserThread :: read and parse zrseek :: buffer check       :: 1"));
        QCOMPARE(warnings.at(2), QStringLiteral("[WARN] ZRParserThread :: read and parse zrseek :: return empty frame"));
        QCOMPARE(warnings.at(3), QStringLiteral("[WARN] ZRParserThread :: read and parse zrseek :: Error Opening Seek File ")
                                     + dir.path() + QStringLiteral("/3_20261201_080000.zrseek"));
    }

    void longLineIsReadInPieces()
    {
        // 511 bytes per read: the second piece of a long line is a line of its own.
        const QString v = file(QStringLiteral("4_20261201_080000.zrvideo"), "x");
        QByteArray line(505, 'a');
        line += "xxxxxx:videoA:rest\n"; // the piece boundary falls inside the first field
        file(QStringLiteral("4_20261201_080000.zrseek"), line);
        ZRParserThread parser;
        runOver(parser, {v});
        QCOMPARE(parser.video_streams, QStringList{QStringLiteral("videoA")});
    }
};

ZR_TEST_MAIN_CORE(TestZRParserThread)
#include "tst_zrparserthread.moc"

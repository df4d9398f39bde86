//! labels: unit
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/TestMain.h"
#include "tests/tools/VideoFrames.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

using namespace zrtest;

// The frame-marker reader against pictures decoded from generated recordings.
class TestFrameMarker : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex;

private slots:
    void initTestCase()
    {
        ex = gen.generate({QStringLiteral("--cameras"), QStringLiteral("1"), QStringLiteral("--first-camera"),
                           QStringLiteral("4711"), QStringLiteral("--first-day"), QStringLiteral("2026-02-28"),
                           QStringLiteral("--start"), QStringLiteral("23:58:59"), QStringLiteral("--file-seconds"),
                           QStringLiteral("2"), QStringLiteral("--seed"), QStringLiteral("3")});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.cameras.size(), 1);
        QCOMPARE(ex.cameras[0].recordings.size(), 1);
    }

    void readsEveryDecodedFrame_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("jpeg");
        QTest::newRow("full size") << QSize(640, 360) << false;
        QTest::newRow("quarter size") << QSize(160, 90) << false;
        QTest::newRow("quarter size, JPEG quality 30") << QSize(160, 90) << true;
        QTest::newRow("odd window size, JPEG quality 30") << QSize(333, 187) << true;
        QTest::newRow("stretched to 4:3") << QSize(400, 300) << false;
    }

    void readsEveryDecodedFrame()
    {
        QFETCH(QSize, size);
        QFETCH(bool, jpeg);
        const GeneratedRecording& r = ex.cameras[0].recordings[0];
        const QList<QImage> frames = zrtoolstest::decodeStream(r.videoPath, r.seekPath, QStringLiteral("video1"));
        QCOMPARE(frames.size(), r.frames);
        for (int i = 0; i < frames.size(); ++i) {
            QImage img = frames[i];
            if (img.size() != size)
                img = img.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            if (jpeg) {
                QByteArray bytes;
                QBuffer buf(&bytes);
                buf.open(QIODevice::WriteOnly);
                QVERIFY(img.save(&buf, "JPG", 30));
                img = QImage::fromData(bytes, "JPG");
            }
            const FrameMarker m = readFrameMarker(img);
            QVERIFY2(m.found, qPrintable(QStringLiteral("frame %1").arg(i)));
            QCOMPARE(m.cameraId, 4711);
            QCOMPARE(m.date, QDate(2026, 2, 28));
            QCOMPARE(m.msOfDay(), r.startMs + i * 40);
            QCOMPARE(m.frameIndex, i);
        }
    }

    void readsLetterboxedAndLumaPictures()
    {
        const GeneratedRecording& r = ex.cameras[0].recordings[0];
        const QList<QImage> frames = zrtoolstest::decodeStream(r.videoPath, r.seekPath, QStringLiteral("video1"), 8);
        QVERIFY(frames.size() >= 8);
        // Shown in a display of another aspect ratio: black bars left and right.
        QImage box(900, 360, QImage::Format_RGB32);
        box.fill(Qt::black);
        QPainter(&box).drawImage(130, 0, frames[7]);
        FrameMarker m = readFrameMarker(box);
        QVERIFY(m.found);
        QCOMPARE(m.frameIndex, 7);
        QCOMPARE(m.stamp(), QStringLiteral("20260228235859280"));

        const QImage gray = frames[5].convertToFormat(QImage::Format_Grayscale8);
        m = readFrameMarkerLuma(gray.constBits(), gray.width(), gray.height(), int(gray.bytesPerLine()));
        QVERIFY(m.found);
        QCOMPARE(m.frameIndex, 5);
    }

    void findsNothingWithoutMarker()
    {
        QImage plain(640, 360, QImage::Format_RGB32);
        plain.fill(QColor(90, 90, 90));
        QVERIFY(!readFrameMarker(plain).found);
        QVERIFY(!readFrameMarker(QImage()).found);
        // A damaged grid fails its check instead of giving wrong values.
        const GeneratedRecording& r = ex.cameras[0].recordings[0];
        QImage img = zrtoolstest::decodeStream(r.videoPath, r.seekPath, QStringLiteral("video1"), 1).value(0);
        QVERIFY(!img.isNull());
        QPainter p(&img);
        p.fillRect(QRect(200, 120, 60, 40), Qt::white);
        p.fillRect(QRect(300, 160, 60, 40), Qt::black);
        p.end();
        QVERIFY(!readFrameMarker(img).found);
        QVERIFY(!readFrameMarkerLuma(nullptr, 10, 10, 10).found);
    }
};

ZR_TEST_MAIN_GUI(TestFrameMarker)
#include "tst_frame_marker.moc"

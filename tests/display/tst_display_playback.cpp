//! labels: gui slow
//! libs: zr_media
// The playback reader's frames reach the display through the queued hand-over the main window
// sets up, and the display shows exactly the frame whose time it reports.
#include "display/Canvas.h"
#include "media/ZRStreamReadAndControl.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtTest>

using namespace canvastest;

namespace {

QList<QFileInfo> dayFiles(const zrtest::GeneratedCamera& cam)
{
    QList<QFileInfo> out;
    for (const auto& r : cam.recordings)
        out << QFileInfo(r.videoPath);
    return out;
}

QString shownStamp(const Canvas& c)
{
    return QDateTime::fromString(c.get_timestamp(), "yyyy-MM-dd HH:mm:ss.zzz").toString("yyyyMMddHHmmsszzz");
}

} // namespace

class TestDisplayPlayback : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;

private slots:
    void readerFramesShownAsReported()
    {
        const zrtest::GeneratedExport e =
            gen.generate({"--size", "640x360", "--minutes", "1", "--gop", "25", "--first-camera", "7"});
        QVERIFY2(e.ok, qPrintable(e.error));
        const zrtest::GeneratedCamera& cam = e.cameras.first();
        const zrtest::GeneratedRecording& rec = cam.recordings.first();

        ZRStreamReadAndControl reader;
        Canvas c;
        configure_as_player(c, 1600, 900);
        QVERIFY(QObject::connect(&reader,
                                 SIGNAL(set_display_frame(uint8_t*, int, int, int, QString, QString, bool, int, double, bool)),
                                 &c,
                                 SLOT(displayFrame(uint8_t*, int, int, int, QString, QString, bool, int, double, bool)),
                                 Qt::QueuedConnection));
        c.set_camera_label("Camera 7");
        QVERIFY(reader.init_displayer_for_stream(QFileInfo(rec.seekPath), "1", dayFiles(cam)));
        const QString at = rec.start.addSecs(10).toString("yyyyMMddHHmmss");
        reader.set_read_timestamp(at);
        QVERIFY(zrtest::waitUntil([&] { return !c.get_timestamp().isEmpty(); }));

        QImage out = shot(c);
        QCOMPARE(c.get_image_rect(), QRect(480, 270, 640, 360));
        zrtest::FrameMarker m = zrtest::readFrameMarker(out.copy(c.get_image_rect()));
        QVERIFY(m.found);
        QCOMPARE(m.cameraId, 7);
        QCOMPARE(m.stamp(), shownStamp(c));
        QCOMPARE(m.stamp(), at + "000");

        // Playing: whenever we look, the picture is the frame whose time is reported.
        reader.read_forward();
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(120);
            out = shot(c);
            m = zrtest::readFrameMarker(out.copy(c.get_image_rect()));
            QVERIFY(m.found);
            QCOMPARE(m.stamp(), shownStamp(c));
        }
        reader.toggle_pause();
        QCoreApplication::processEvents();

        // Both snapshots carry that same frame.
        const QImage full = c.get_snapshot_full();
        QCOMPARE(full.size(), QSize(640, 360));
        m = zrtest::readFrameMarker(full);
        QVERIFY(m.found);
        QCOMPARE(m.stamp(), shownStamp(c));
        const QImage view = c.get_snapshot();
        QCOMPARE(view.size(), QSize(640, 360));
        QCOMPARE(zrtest::readFrameMarker(view).stamp(), shownStamp(c));

        // Zoomed to level 2 the frame still reads as the same one.
        wheel_and_check(c);
        reader.stop();
    }

private:
    void wheel_and_check(Canvas& c)
    {
        QWheelEvent w(QPointF(800, 450), c.mapToGlobal(QPointF(800, 450)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&c, &w);
        QCOMPARE(c.get_zoom_level(), 2);
        QCOMPARE(c.get_zoom_rect(), QRect(0, 0, 640, 360));
        const QImage out = shot(c);
        const zrtest::FrameMarker m = zrtest::readFrameMarker(out);
        QVERIFY(m.found);
        QCOMPARE(m.stamp(), shownStamp(c));
    }
};

ZR_TEST_MAIN_GUI(TestDisplayPlayback)
#include "tst_display_playback.moc"

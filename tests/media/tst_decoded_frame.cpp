//! labels: unit
// The decoded-frame record (picture by reference, raw copy, time stamp) and the queue that
// carries it between two threads.
#include "media/DecodedFrame.h"
#include "media/DecodedFrameQueue.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QtTest>

#include <thread>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}

namespace {

// A yuv420p picture and a watcher reference on its first buffer, to count who still holds it.
struct Picture
{
    AVFrame* f = av_frame_alloc();
    AVBufferRef* watch = nullptr;
    Picture(int w = 64, int h = 48)
    {
        f->width = w;
        f->height = h;
        f->format = AV_PIX_FMT_YUV420P;
        av_frame_get_buffer(f, 32);
        watch = av_buffer_ref(f->buf[0]);
    }
    ~Picture()
    {
        av_frame_free(&f);
        av_buffer_unref(&watch);
    }
    int holders() const { return av_buffer_get_ref_count(watch) - 1; }
};

} // namespace

class TestDecodedFrame : public QObject
{
    Q_OBJECT

private slots:
    void newRecordIsEmpty()
    {
        DecodedFrame d;
        QCOMPARE(d.get_pix_fmt(), -1);
        QCOMPARE(d.get_width(), -1);
        QCOMPARE(d.get_height(), -1);
        QCOMPARE(d.get_frameid(), -1);
        QCOMPARE(d.get_fps(), -1.0);
        QVERIFY(!d.get_frame());
        QVERIFY(!d.get_frame_data());
        QCOMPARE(d.get_frame_length(), 0);
        QVERIFY(!d.get_timestamp());
        QVERIFY(!d.get_is_keyframe());
        QVERIFY(!d.filled);
        QVERIFY(d.get_drawoverlay().isEmpty());
        QVERIFY(d.get_frametag().isEmpty());
    }

    void timestampKeepsAtMost128Characters()
    {
        DecodedFrame d;
        const QByteArray longText(200, 'x');
        d.set_timestamp(longText.constData());
        QCOMPARE(QByteArray(d.get_timestamp()), longText.left(128));
        d.set_timestamp("20250314101500040");
        QCOMPARE(QByteArray(d.get_timestamp()), QByteArray("20250314101500040"));
        d.set_timestamp(nullptr);
        QVERIFY(!d.get_timestamp());
    }

    // The record holds its own reference: the picture outlives the producer's, and goes with
    // the record; a raw copy and a picture replace each other.
    void pictureByReferenceAndRawCopy()
    {
        Picture p;
        auto* d = new DecodedFrame();
        d->set_frame(p.f);
        QCOMPARE(p.holders(), 2);
        QCOMPARE(d->get_width(), 64);
        QCOMPARE(d->get_height(), 48);
        QCOMPARE(d->get_pix_fmt(), int(AV_PIX_FMT_YUV420P));
        QCOMPARE(d->get_buffer_size(), quint64(64 * 48 * 3 / 2));
        const quint64 planes = quint64(p.f->linesize[0]) * 48 + 2 * quint64(p.f->linesize[1]) * 24;
        QCOMPARE(d->get_plane_bytes(), planes);
        QVERIFY(d->get_buffer_bytes() >= planes);
        QCOMPARE(d->get_linesize(0), p.f->linesize[0]);

        // The producer's decoder moves on: the record still holds the picture.
        av_frame_unref(p.f);
        QCOMPARE(p.holders(), 1);
        QCOMPARE(d->get_frame()->data[0] != nullptr, true);

        d->set_frame(nullptr); // changes nothing
        QCOMPARE(p.holders(), 1);

        const uint8_t bytes[5] = {1, 2, 3, 4, 5};
        d->set_frame_data(bytes, 5); // releases the picture
        QCOMPARE(p.holders(), 0);
        QCOMPARE(d->get_frame_length(), 5);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d->get_frame_data()), 5), QByteArray("\x01\x02\x03\x04\x05", 5));
        QCOMPARE(d->get_width(), -1);
        QCOMPARE(d->get_pix_fmt(), -1);

        d->set_frame_data(bytes, 0);
        QVERIFY(!d->get_frame_data());
        QCOMPARE(d->get_frame_length(), 0);

        Picture q;
        d->set_frame_data(bytes, 5);
        d->set_frame(q.f); // drops the raw copy
        QVERIFY(!d->get_frame_data());
        QCOMPARE(d->get_frame_length(), 0);
        QCOMPARE(q.holders(), 2);
        delete d;
        QCOMPARE(q.holders(), 1);
    }

    // A consumer that ends with records still queued deletes them (and their pictures).
    void queueClearDeletesWhatIsLeft()
    {
        Picture p;
        {
            DecodedFrameQueue queue;
            for (int i = 0; i < 3; ++i) {
                auto* d = new DecodedFrame();
                d->set_frame(p.f);
                d->set_frameid(i);
                d->filled = true;
                queue.push(d);
            }
            QCOMPARE(p.holders(), 4);
            DecodedFrame* first = queue.take();
            QCOMPARE(first->get_frameid(), 0);
            delete first;
            QCOMPARE(queue.size(), size_t(2));
        }
        QCOMPARE(p.holders(), 1);
    }

    // A side waiting on the queue wakes when the other side acts, not at the end of its step.
    void waiterWakesOnPush()
    {
        DecodedFrameQueue queue;
        std::atomic<bool> woke{false};
        std::atomic<bool> waiting{false};
        std::thread consumer([&] {
            QMutexLocker lock(&queue.mutex);
            waiting = true;
            while (queue.frames.empty())
                if (!queue.changed.wait(&queue.mutex, 60000))
                    return;
            woke = true;
        });
        QVERIFY(QTest::qWaitFor([&] { return waiting.load(); }, 10000));
        QElapsedTimer t;
        t.start();
        queue.push(new DecodedFrame());
        consumer.join();
        QVERIFY(woke);
        QVERIFY2(t.elapsed() < 30000, "the waiter slept out its step");
    }
};

ZR_TEST_MAIN_CORE(TestDecodedFrame)
#include "tst_decoded_frame.moc"

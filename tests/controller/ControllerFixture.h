#pragma once

#include "media/ZRStreamReadAndControl.h"
#include "player/ZRPlayerInferfaceController.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/Wait.h"

#include <QImage>
#include <QObject>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

namespace zrtest {

// Lists a day's cameras through the QML entry point and waits for the answer.
// Returns true when camerasForDateReady came; cameras/error get what arrived.
inline bool listCameras(ZRPlayerInferfaceController& c, const QString& date, QStringList* cameras = nullptr,
                        QString* error = nullptr, bool* regenerated = nullptr, int timeoutMs = 60000)
{
    QSignalSpy ready(&c, &ZRPlayerInferfaceController::camerasForDateReady);
    QSignalSpy failed(&c, &ZRPlayerInferfaceController::camerasForDateError);
    QSignalSpy started(&c, &ZRPlayerInferfaceController::startIndexGeneration);
    c.get_cameras_for_date_async(date);
    if (!QTest::qWaitFor([&] { return ready.count() + failed.count() > 0; }, timeoutMs))
        return false;
    if (regenerated)
        *regenerated = started.count() > 0;
    if (!failed.isEmpty()) {
        if (error)
            *error = failed.first().first().toString();
        return false;
    }
    if (cameras)
        *cameras = ready.first().first().toStringList();
    return true;
}

// Lists a day and, when the listing started an index rebuild, waits for it and lists again,
// so the controller holds the day's lists from a fresh index.
inline bool openDay(ZRPlayerInferfaceController& c, const QString& date, QStringList* cameras = nullptr)
{
    QSignalSpy generated(&c, &ZRPlayerInferfaceController::indexGenerated);
    bool regenerated = false;
    if (!listCameras(c, date, cameras, nullptr, &regenerated))
        return false;
    if (!regenerated)
        return true;
    if (!QTest::qWaitFor([&] { return generated.count() > 0; }, 120000))
        return false;
    regenerated = false;
    return listCameras(c, date, cameras, nullptr, &regenerated) && !regenerated;
}

// Keeps the last picture the reader handed over, copied at once as the display does.
class FrameCatcher : public QObject
{
public:
    explicit FrameCatcher(ZRStreamReadAndControl* reader)
    {
        connect(reader, &ZRStreamReadAndControl::set_display_frame, this,
                [this](uint8_t* frame, int linesize, int width, int height, QString timestamp, QString,
                       bool, int frame_id, double, bool) {
                    last = QImage(frame, width, height, linesize, QImage::Format_ARGB32).copy();
                    lastStamp = timestamp;
                    lastId = frame_id;
                    ++count;
                },
                Qt::DirectConnection);
    }
    FrameMarker marker() const { return readFrameMarker(last); }

    QImage last;
    QString lastStamp;
    int lastId = -1;
    int count = 0;
};

} // namespace zrtest

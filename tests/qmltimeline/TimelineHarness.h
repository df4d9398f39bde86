#pragma once

#include "player/AppInfo.h"
#include "player/PreviewPopup.h"
#include "player/ZRFolderDialogController.h"
#include "display/Canvas.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/PlayerResources.h"
#include "player/ZRPlayerInferfaceController.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/QmlWarningCatcher.h"
#include "tests/support/Wait.h"

#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <functional>
#include <memory>

namespace zrtest {

// Keeps the last picture the reader handed over, copied at once as the display does.
class ShownFrame : public QObject
{
public:
    explicit ShownFrame(ZRStreamReadAndControl* reader)
    {
        connect(reader, &ZRStreamReadAndControl::set_display_frame, this,
                [this](uint8_t* frame, int linesize, int width, int height, QString, QString, bool, int frame_id,
                       double, bool) {
                    last = QImage(frame, width, height, linesize, QImage::Format_ARGB32).copy();
                    lastId = frame_id;
                    ++count;
                },
                Qt::DirectConnection);
    }
    FrameMarker marker() const { return readFrameMarker(last); }

    QImage last;
    int lastId = -1;
    int count = 0;
};

inline void collectNamed(QObject* root, const QString& name, QList<QObject*>& out, QSet<QObject*>& seen)
{
    if (!root || seen.contains(root))
        return;
    seen.insert(root);
    if (root->objectName() == name)
        out << root;
    if (auto* item = qobject_cast<QQuickItem*>(root)) {
        for (QQuickItem* child : item->childItems())
            collectNamed(child, name, out, seen);
    }
    for (QObject* child : root->children())
        collectNamed(child, name, out, seen);
}

inline QList<QQuickItem*> findItems(QObject* root, const QString& name)
{
    QList<QObject*> found;
    QSet<QObject*> seen;
    collectNamed(root, name, found, seen);
    QList<QQuickItem*> items;
    for (QObject* o : found)
        if (auto* i = qobject_cast<QQuickItem*>(o))
            items << i;
    return items;
}

inline QObject* findObject(QObject* root, const QString& name)
{
    QList<QObject*> found;
    QSet<QObject*> seen;
    collectNamed(root, name, found, seen);
    return found.isEmpty() ? nullptr : found.first();
}

// Makes the controller a host publishes; unset, a plain ZRPlayerInferfaceController.
using ControllerFactory = std::function<std::unique_ptr<ZRPlayerInferfaceController>()>;
inline ControllerFactory& controllerFactory()
{
    static ControllerFactory factory;
    return factory;
}

// The timeline view in a QQuickWidget on its own engine, with the context objects the main
// window publishes.
class TimelineHost
{
public:
    explicit TimelineHost(int width = 1600, int height = 250)
    {
        init_player_resources();
        controller = controllerFactory() ? controllerFactory()() : std::make_unique<ZRPlayerInferfaceController>(nullptr);
        shown = std::make_unique<ShownFrame>(controller->get_reader());
        // The display the snapshots and the export read, fed as the main window feeds it.
        canvas = std::make_unique<Canvas>(nullptr);
        canvas->set_stream_start(false);
        canvas->set_external_feed();
        canvas->set_keep_aspect_ratio(true);
        canvas->resize(640, 360);
        controller->setCanvas(canvas.get());
        QObject::connect(controller->get_reader(),
                         SIGNAL(set_display_frame(uint8_t*, int, int, int, QString, QString, bool, int, double, bool)),
                         canvas.get(),
                         SLOT(displayFrame(uint8_t*, int, int, int, QString, QString, bool, int, double, bool)),
                         Qt::QueuedConnection);
        popup = std::make_unique<PreviewPopup>();
        appInfo = std::make_unique<AppInfo>();
        folderDialog = std::make_unique<ZRFolderDialogController>();
        engine = std::make_unique<QQmlEngine>();
        engine->addImportPath(QStringLiteral("qrc:/qml/Zrplayer/"));
        QQmlContext* ctx = engine->rootContext();
        ctx->setContextProperty(QStringLiteral("videoController"), controller.get());
        ctx->setContextProperty(QStringLiteral("videoWidget"), controller.get());
        ctx->setContextProperty(QStringLiteral("previewPopup"), popup.get());
        ctx->setContextProperty(QStringLiteral("ZRFolderDialogController"), folderDialog.get());
        ctx->setContextProperty(QStringLiteral("AppInfo"), appInfo.get());
        view = std::make_unique<QQuickWidget>(engine.get(), nullptr);
        view->setResizeMode(QQuickWidget::SizeRootObjectToView);
        view->rootContext()->setContextProperty(QStringLiteral("videoController"), controller.get());
        view->resize(width, height);
        view->setSource(QUrl(QStringLiteral("qrc:/qml/Zrplayer/PlayerZrNova/TimelineView.qml")));
        view->show();
    }
    ~TimelineHost()
    {
        // The view goes first, while the objects its bindings name still exist.
        view->setSource(QUrl());
        view.reset();
        engine.reset();
        popup.reset();
        shown.reset();
        controller.reset();
        canvas.reset();
    }

    bool ready() { return view->status() == QQuickWidget::Ready && QTest::qWaitForWindowExposed(view.get()); }
    QQuickItem* root() const { return view->rootObject(); }
    QQuickItem* timeline() const
    {
        QList<QQuickItem*> l = findItems(root(), QStringLiteral("timeline"));
        return l.isEmpty() ? nullptr : l.first();
    }
    QQuickItem* item(const QString& name) const
    {
        QList<QQuickItem*> l = findItems(root(), name);
        return l.isEmpty() ? nullptr : l.first();
    }
    QList<QQuickItem*> items(const QString& name) const { return findItems(root(), name); }
    QList<QQuickItem*> visibleItems(const QString& name) const
    {
        QList<QQuickItem*> out;
        for (QQuickItem* i : items(name))
            if (i->isVisible())
                out << i;
        return out;
    }
    QVariant tl(const char* property) const { return timeline()->property(property); }

    // Calls a function of the timeline item with numbers.
    QVariant callTimeline(const char* function, QVariant a = {}, QVariant b = {}) const
    {
        QVariant result;
        if (!b.isValid())
            QMetaObject::invokeMethod(timeline(), function, Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, a));
        else
            QMetaObject::invokeMethod(timeline(), function, Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, a),
                                      Q_ARG(QVariant, b));
        return result;
    }
    // The widget point of a timeline x (in the timeline's own coordinates) on the bar's line.
    QPoint timelinePoint(qreal x) const
    {
        QQuickItem* t = timeline();
        const qreal y = t->property("barY").toReal() + 5;
        return t->mapToScene(QPointF(x, y)).toPoint();
    }
    QPoint centerOf(QQuickItem* item) const
    {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }
    void click(const QPoint& p, Qt::MouseButton b = Qt::LeftButton)
    {
        QTest::mouseClick(view.get(), b, Qt::NoModifier, p);
    }
    void click(QQuickItem* item) { click(centerOf(item)); }
    // What a mouse gives a widget on a double click: press, release, press, double click,
    // release (QTest's own double click sends the double-click event alone).
    void doubleClick(const QPoint& p)
    {
        QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::NoModifier, p);
    }
    // A pointer move without a button, handed to the view directly: the display server's
    // pointer is shared with other tests and is left alone.
    void hover(const QPoint& p)
    {
        QMouseEvent me(QEvent::MouseMove, QPointF(p), QPointF(view->mapToGlobal(p)), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
        QCoreApplication::sendEvent(view.get(), &me);
    }
    void wheel(const QPoint& p, int angle)
    {
        QWheelEvent e(QPointF(p), QPointF(view->mapToGlobal(p)), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view.get(), &e);
    }
    // Keeps a picture of the view in $ZR_SCREENSHOT_DIR when that is set.
    void screenshot(const QString& name) const
    {
        const QString dir = qEnvironmentVariable("ZR_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            view->grabFramebuffer().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }
    QString timeCodeText() const { return item(QStringLiteral("timeCodeText"))->property("text").toString(); }

    std::unique_ptr<Canvas> canvas;
    std::unique_ptr<ZRPlayerInferfaceController> controller;
    std::unique_ptr<ShownFrame> shown;
    std::unique_ptr<PreviewPopup> popup;
    std::unique_ptr<AppInfo> appInfo;
    std::unique_ptr<ZRFolderDialogController> folderDialog;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<QQuickWidget> view;
};

// Lists the day's cameras and, when the listing started an index rebuild, waits for it and
// lists again, so the controller holds the day's lists from a fresh index.
inline bool openDay(ZRPlayerInferfaceController& c, const QString& date, QStringList* cameras = nullptr)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSignalSpy ready(&c, &ZRPlayerInferfaceController::camerasForDateReady);
        QSignalSpy failed(&c, &ZRPlayerInferfaceController::camerasForDateError);
        QSignalSpy started(&c, &ZRPlayerInferfaceController::startIndexGeneration);
        QSignalSpy generated(&c, &ZRPlayerInferfaceController::indexGenerated);
        c.set_selected_date(date);
        c.get_cameras_for_date_async(date);
        if (!QTest::qWaitFor([&] { return ready.count() + failed.count() > 0; }, 60000) || !failed.isEmpty())
            return false;
        if (cameras)
            *cameras = ready.first().first().toStringList();
        if (started.isEmpty())
            return true;
        if (!QTest::qWaitFor([&] { return generated.count() > 0; }, 120000))
            return false;
    }
    return false;
}

} // namespace zrtest

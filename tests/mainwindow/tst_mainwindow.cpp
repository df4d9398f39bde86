//! labels: qml
#include "display/Canvas.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/AppInfo.h"
#include "player/PreviewPopup.h"
#include "player/ZRFolderDialogController.h"
#include "player/ZRPlayerInferfaceController.h"
#include "player/ZR_Player_qmlpresentation.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/QmlWarningCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSplitter>
#include <QSplitterHandle>
#include <QtTest>

#include <memory>
#include <vector>

using namespace zrtest;

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    GeneratedExport ex;
    // Every warning from the QML side: the engine's own, a view's load errors and the window's
    // "[QML]" lines all say QML.
    std::unique_ptr<QmlWarningCatcher> qmlWarnings;
    std::unique_ptr<ZR_Player_qmlpresentation> window;

    void showWindow()
    {
        window->resize(1600, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Let both views finish their first layout and bindings.
        QTest::qWait(300);
    }

    QQuickItem* panelRoot() const { return window->get_side_panel_view()->rootObject(); }

private slots:
    void initTestCase()
    {
        qmlWarnings = std::make_unique<QmlWarningCatcher>(&QmlWarningCatcher::mentionsQml);
        ex = gen.generate({"--cameras", "2", "--minutes", "2", "--size", "320x180", "--alarms", "2", "--tags", "2",
                           "--previews", "--seed", "14"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
    }
    void cleanupTestCase() { qmlWarnings.reset(); }

    void init()
    {
        qmlWarnings->clear();
        window = std::make_unique<ZR_Player_qmlpresentation>(nullptr);
        showWindow();
    }

    // Closing and deleting the window, whatever the test did, leaves no QML error behind.
    void cleanup()
    {
        if (!window)
            return;
        LogCatcher log;
        QPointer<ZRPlayerInferfaceController> controller = window->get_controller();
        QPointer<Canvas> canvas = window->get_canvas();
        QPointer<QQuickWidget> timeline = window->get_timeline_view();
        QPointer<QQuickWidget> panel = window->get_side_panel_view();
        QPointer<QQmlEngine> engine = window->get_engine();
        window->close();
        window.reset();
        QTest::qWait(200); // anything the views had queued runs now, into nothing
        QVERIFY(log.contains("[INFO] Zrplayer Presentation :: destroy"));
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: destruct"));
        QVERIFY(!controller && !canvas && !timeline && !panel && !engine);
        ZR_VERIFY_NO_WARNINGS(*qmlWarnings);
    }

    // Both views load from the resources, without a QML warning, in their places.
    void viewsLoad()
    {
        QQuickWidget* timeline = window->get_timeline_view();
        QQuickWidget* panel = window->get_side_panel_view();
        QCOMPARE(timeline->source(), QUrl("qrc:/qml/Zrplayer/PlayerZrNova/TimelineView.qml"));
        QCOMPARE(panel->source(), QUrl("qrc:/qml/Zrplayer/PlayerZrNova/SidePanel.qml"));
        QCOMPARE(timeline->status(), QQuickWidget::Ready);
        QCOMPARE(panel->status(), QQuickWidget::Ready);
        QVERIFY(timeline->rootObject());
        QVERIFY(panel->rootObject());
        QCOMPARE(timeline->engine(), window->get_engine());
        QCOMPARE(panel->engine(), window->get_engine());
        QVERIFY(window->get_engine()->importPathList().contains("qrc:/qml/Zrplayer/"));

        // The timeline is always 250 pixels high, under the video.
        QCOMPARE(timeline->height(), 250);
        QVERIFY(window->get_canvas()->isVisible());
        QVERIFY(window->get_canvas()->height() > 0);
        QCOMPARE(timeline->mapTo(window.get(), QPoint(0, 0)).y(),
                 window->get_canvas()->mapTo(window.get(), QPoint(0, 0)).y() + window->get_canvas()->height());
        QCOMPARE(timeline->parentWidget(), window->get_canvas()->parentWidget());

        // The side panel on the left of the splitter, 350 wide; the divider does not move.
        QSplitter* splitter = window->get_splitter();
        QCOMPARE(splitter->orientation(), Qt::Horizontal);
        QCOMPARE(splitter->count(), 2);
        QCOMPARE(splitter->widget(0), panel);
        QCOMPARE(splitter->widget(1), timeline->parentWidget());
        QCOMPARE(splitter->sizes().first(), 350);
        QVERIFY(!splitter->handle(1)->isEnabled());
        QVERIFY(!splitter->isCollapsible(0));
        QVERIFY(!splitter->isCollapsible(1));
        QCOMPARE(window->styleSheet(), QStringLiteral("background-color:black"));

        // The display is configured for frames fed from outside.
        Canvas* canvas = window->get_canvas();
        QVERIFY(canvas->is_external_feed());
        QVERIFY(!canvas->is_stream_start());
        QVERIFY(canvas->is_digital_zoom_enabled());
        QVERIFY(!canvas->is_fullscreen_enabled());
        QVERIFY(canvas->is_keep_aspect_ratio());

        ZR_VERIFY_NO_WARNINGS(*qmlWarnings);
    }

    // The program's objects reach QML under their names, in the engine and in each view.
    void contextProperties()
    {
        QQmlContext* root = window->get_engine()->rootContext();
        QObject* controller = window->get_controller();
        QCOMPARE(root->contextProperty("videoController").value<QObject*>(), controller);
        QCOMPARE(root->contextProperty("videoWidget").value<QObject*>(), controller);
        QCOMPARE(root->contextProperty("previewPopup").value<QObject*>(), window->get_preview_popup());
        QCOMPARE(root->contextProperty("ZRFolderDialogController").value<QObject*>(),
                 window->get_folder_dialog_controller());
        QCOMPARE(root->contextProperty("AppInfo").value<QObject*>(), window->get_app_info());

        QQmlContext* panel = window->get_side_panel_view()->rootContext();
        QCOMPARE(panel->contextProperty("mainWindow").value<QObject*>(), window.get());
        QCOMPARE(panel->contextProperty("videoController").value<QObject*>(), controller);
        QCOMPARE(panel->contextProperty("previewPopup").value<QObject*>(), window->get_preview_popup());
        QQmlContext* timeline = window->get_timeline_view()->rootContext();
        QCOMPARE(timeline->contextProperty("videoController").value<QObject*>(), controller);

        // As the views' own code sees them.
        const auto evaluate = [](QQuickWidget* view, const QString& expression) {
            QQmlExpression e(view->rootContext(), view->rootObject(), expression);
            const QVariant value = e.evaluate();
            return e.hasError() ? QVariant(e.error().toString()) : value;
        };
        QCOMPARE(evaluate(window->get_side_panel_view(),
                          "videoWidget === videoController && typeof videoWidget.get_available_days"),
                 QVariant("function"));
        QCOMPARE(evaluate(window->get_side_panel_view(), "AppInfo.appDir"),
                 QVariant(QCoreApplication::applicationDirPath()));
        QCOMPARE(evaluate(window->get_side_panel_view(), "typeof ZRFolderDialogController.openFolderDialog"),
                 QVariant("function"));
        QCOMPARE(evaluate(window->get_timeline_view(), "typeof previewPopup.showAtGlobal"), QVariant("function"));
    }

    // A run-time warning of the window's engine reaches the log as a warning line.
    void engineWarningsAreLogged()
    {
        LogCatcher log;
        QQmlComponent component(window->get_engine());
        component.setData("import QtQuick\nItem { Component.onCompleted: noSuchFunction() }",
                          QUrl("qrc:/qml/Zrplayer/PlayerZrNova/WarningProbe.qml"));
        std::unique_ptr<QObject> item(component.create());
        QVERIFY(item);
        QVERIFY(log.waitFor("[QML][warning] qrc:/qml/Zrplayer/PlayerZrNova/WarningProbe.qml:2"));
        QVERIFY(log.contains("noSuchFunction"));
        const QStringList warnings = qmlWarnings->take();
        QVERIFY(!warnings.isEmpty());
        for (const QString& warning : warnings)
            QVERIFY2(warning.contains("WarningProbe.qml"), qPrintable(warning));
    }

    // A frame handed over by the reader is copied by the display after the emitting call
    // returned (queued), so the sender may reuse its buffer only afterwards.
    void frameHandOverIsQueued()
    {
        const int w = 64, h = 48;
        std::vector<uint32_t> pixels(size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[size_t(y) * w + x] = 0xff000000u | uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | 0x40u;
        Canvas* canvas = window->get_canvas();
        const int before = canvas->get_last_frame_id();
        emit window->get_controller()->get_reader()->set_display_frame(
            reinterpret_cast<uint8_t*>(pixels.data()), w * 4, w, h, "2025-01-02 08:00:00.000", QString(), false, 4242,
            25.0, true);
        QCOMPARE(canvas->get_last_frame_id(), before); // not yet: the call is queued
        QVERIFY(waitUntil([&] { return canvas->get_last_frame_id() == 4242; }));
        const QImage shown = canvas->current_image();
        QCOMPARE(shown.size(), QSize(w, h));
        QCOMPARE(shown.pixel(10, 20) & 0xffffffu, pixels[20 * w + 10] & 0xffffffu);
        QCOMPARE(shown.pixel(63, 47) & 0xffffffu, pixels[47 * w + 63] & 0xffffffu);
    }

    // A generated recording played through the controller reaches the window's display.
    void playsGeneratedRecording()
    {
        ZRPlayerInferfaceController* c = window->get_controller();
        const QString day = ex.days.first();
        QCOMPARE(c->get_available_days(ex.exportPath), ex.days);
        QVERIFY(openDay(*c, day));
        c->set_selected_camera(ex.camera(2)->name);
        c->set_zrstream_reader_read_timestamp("080010");
        QCOMPARE(c->get_playback_state(), 1);

        Canvas* canvas = window->get_canvas();
        FrameMarker m;
        QVERIFY(waitUntil([&] {
            m = readFrameMarker(canvas->current_image());
            return m.found;
        }, 10000));
        QCOMPARE(m.cameraId, 2);
        QCOMPARE(m.date, QDate::fromString(day, "yyyy-MM-dd"));
        QVERIFY2(m.time >= QTime(8, 0, 10) && m.time < QTime(8, 0, 40), qPrintable(m.time.toString()));

        // And it is painted: the marker reads from the widget's own picture as well.
        QTest::qWait(200);
        const QImage painted = canvas->grab().toImage();
        const FrameMarker onScreen = readFrameMarker(painted);
        QVERIFY(onScreen.found);
        QCOMPARE(onScreen.cameraId, 2);
        window->grab().save(QDir::current().filePath("mainwindow-playing.png"));
    }

    // The side panel's state signal sets its width: 350 open, 100 closed, the rest to the video.
    void panelStateSetsWidths()
    {
        QQuickItem* root = panelRoot();
        QVERIFY(root);
        QSplitter* splitter = window->get_splitter();
        const int total = window->width();
        QCOMPARE(total, 1600);
        QVERIFY(QMetaObject::invokeMethod(root, "panelStateChanged", Q_ARG(bool, false)));
        QCOMPARE(splitter->sizes().first(), 100);
        QTRY_COMPARE(window->get_side_panel_view()->width(), 100);
        QCOMPARE(splitter->sizes().at(1), total - 100 - splitter->handleWidth());
        QVERIFY(QMetaObject::invokeMethod(root, "panelStateChanged", Q_ARG(bool, true)));
        QCOMPARE(splitter->sizes().first(), 350);
        QTRY_COMPARE(window->get_side_panel_view()->width(), 350);

        // The slot itself follows the window's width.
        window->resize(1800, 900);
        QTRY_COMPARE(window->width(), 1800);
        window->onPanelStateChanged(false);
        QCOMPARE(splitter->sizes().first(), 100);
        QCOMPARE(splitter->sizes().at(1), 1800 - 100 - splitter->handleWidth());
    }

    // A timeline view that cannot load is logged; the window, its 250-pixel strip and the side
    // panel work all the same.
    void missingTimelineViewIsLogged()
    {
        window.reset();
        qmlWarnings->clear();
        LogCatcher log;
#if __has_include("player/zrplayer_qml_timeline.qrc")
        Q_CLEANUP_RESOURCE(zrplayer_qml_timeline);
        window = std::make_unique<ZR_Player_qmlpresentation>(nullptr);
        Q_INIT_RESOURCE(zrplayer_qml_timeline);
#else
        window = std::make_unique<ZR_Player_qmlpresentation>(nullptr);
#endif
        showWindow();
        QCOMPARE(window->get_timeline_view()->status(), QQuickWidget::Error);
        QVERIFY(!window->get_timeline_view()->rootObject());
        QVERIFY(log.contains("[QML] Error loading qrc:/qml/Zrplayer/PlayerZrNova/TimelineView.qml :"));
        QCOMPARE(window->get_timeline_view()->height(), 250);
        QCOMPARE(window->get_side_panel_view()->status(), QQuickWidget::Ready);
        QVERIFY(QMetaObject::invokeMethod(panelRoot(), "panelStateChanged", Q_ARG(bool, false)));
        QCOMPARE(window->get_splitter()->sizes().first(), 100);
        for (const QString& warning : qmlWarnings->take())
            QVERIFY2(warning.contains("TimelineView.qml"), qPrintable(warning));
    }

    // Deleting the window while a recording plays and the views are bound to the controller.
    void teardownWhilePlaying()
    {
        ZRPlayerInferfaceController* c = window->get_controller();
        c->get_available_days(ex.exportPath);
        QVERIFY(openDay(*c, ex.days.first()));
        c->set_selected_camera(ex.camera(1)->name);
        c->set_zrstream_reader_read_timestamp("080100");
        QVERIFY(waitUntil([&] { return window->get_canvas()->get_last_frame_id() >= 0; }, 10000));
        QTest::qWait(300);
        // cleanup() deletes it now and checks that nothing went wrong.
    }
};

ZR_TEST_MAIN_QML(TestMainWindow)
#include "tst_mainwindow.moc"

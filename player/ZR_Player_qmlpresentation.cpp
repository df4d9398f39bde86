#include "player/ZR_Player_qmlpresentation.h"

#include "app/Log.h"
#include "display/Canvas.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/AppInfo.h"
#include "player/PlayerResources.h"
#include "player/PreviewPopup.h"
#include "player/ZRFolderDialogController.h"
#include "player/ZRPlayerInferfaceController.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSplitter>
#include <QSplitterHandle>
#include <QVBoxLayout>
#include <QtDebug>

namespace {

constexpr int kTimelineHeight = 250;
constexpr int kPanelOpenWidth = 350;
constexpr int kPanelClosedWidth = 100;
constexpr int kInitialVideoWidth = 900;
constexpr int kFallbackTotalWidth = 1250;

} // namespace

const QUrl& ZR_Player_qmlpresentation::timeline_view_url()
{
    static const QUrl url(QStringLiteral("qrc:/qml/Zrplayer/PlayerZrNova/TimelineView.qml"));
    return url;
}

const QUrl& ZR_Player_qmlpresentation::side_panel_url()
{
    static const QUrl url(QStringLiteral("qrc:/qml/Zrplayer/PlayerZrNova/SidePanel.qml"));
    return url;
}

ZR_Player_qmlpresentation::ZR_Player_qmlpresentation(QWidget* parent) : QWidget(parent)
{
    // The module lives in a static library's resources: they must be registered before loading.
    init_player_resources();

    setStyleSheet(QStringLiteral("background-color:black"));

    engine = new QQmlEngine(this);
    engine->addImportPath(QStringLiteral("qrc:/qml/Zrplayer/"));
    connect(engine, &QQmlEngine::warnings, this, [](const QList<QQmlError>& errors) {
        for (const QQmlError& error : errors)
            qWarning().noquote() << "[QML][warning]" << error.toString();
    });

    setupContextObjects();
    setupLayout();
}

ZR_Player_qmlpresentation::~ZR_Player_qmlpresentation()
{
    write_log("[INFO] Zrplayer Presentation :: destroy");

    if (side_panel_view && side_panel_view->rootObject())
        disconnect(side_panel_view->rootObject(), nullptr, this, nullptr);

    if (controller && controller->get_reader() && canvas)
        disconnect(controller->get_reader(), &ZRStreamReadAndControl::set_display_frame, canvas, &Canvas::displayFrame);

    // The views go first, while every object their bindings name still exists.
    if (timeline_view) {
        timeline_view->setSource(QUrl());
        delete timeline_view;
        timeline_view = nullptr;
    }
    if (side_panel_view) {
        side_panel_view->setSource(QUrl());
        delete side_panel_view;
        side_panel_view = nullptr;
    }

    delete canvas;
    canvas = nullptr;
    delete folder_dialog_controller;
    folder_dialog_controller = nullptr;
    delete preview_popup;
    preview_popup = nullptr;
    delete app_info;
    app_info = nullptr;
    delete controller;
    controller = nullptr;
    delete engine;
    engine = nullptr;
}

void ZR_Player_qmlpresentation::setupContextObjects()
{
    canvas = new Canvas(this);
    canvas->set_stream_start(false);
    canvas->set_digital_zoom_enabled(true);
    canvas->set_external_feed();
    canvas->set_fullscreen_enabled(false);
    canvas->set_keep_aspect_ratio(true);

    // The controller takes no QObject parent: the window deletes it after the views.
    controller = new ZRPlayerInferfaceController(this);
    preview_popup = new PreviewPopup(this);
    app_info = new AppInfo(this);
    folder_dialog_controller = new ZRFolderDialogController();

    controller->setCanvas(canvas);

    // Queued although both live in the GUI thread: the reader keeps the pixels alive until
    // the display has copied them, after the emitting call has returned.
    connect(controller->get_reader(), &ZRStreamReadAndControl::set_display_frame, canvas, &Canvas::displayFrame,
            Qt::QueuedConnection);

    QQmlContext* root = engine->rootContext();
    root->setContextProperty(QStringLiteral("videoController"), controller);
    root->setContextProperty(QStringLiteral("videoWidget"), controller);
    root->setContextProperty(QStringLiteral("previewPopup"), preview_popup);
    root->setContextProperty(QStringLiteral("ZRFolderDialogController"), folder_dialog_controller);
    root->setContextProperty(QStringLiteral("AppInfo"), app_info);
}

QQuickWidget* ZR_Player_qmlpresentation::createQuickWidget(const QUrl& source,
                                                           const QList<QPair<QString, QObject*>>& properties)
{
    auto* view = new QQuickWidget(engine, this);
    view->setResizeMode(QQuickWidget::SizeRootObjectToView);
    view->setClearColor(Qt::transparent);
    view->setAttribute(Qt::WA_OpaquePaintEvent, false);
    view->setAttribute(Qt::WA_TranslucentBackground, false);

    for (const auto& property : properties)
        view->rootContext()->setContextProperty(property.first, property.second);

    view->setSource(source);
    // A view that cannot load stays in place, empty: the rest of the window still works.
    if (view->status() == QQuickWidget::Error) {
        for (const QQmlError& error : view->errors())
            qWarning().noquote() << "[QML] Error loading" << source.toString() << ":" << error.toString();
    }
    return view;
}

void ZR_Player_qmlpresentation::setupLayout()
{
    timeline_view = createQuickWidget(timeline_view_url(), {{QStringLiteral("videoController"), controller}});
    timeline_view->setMinimumHeight(kTimelineHeight);
    timeline_view->setMaximumHeight(kTimelineHeight);

    side_panel_view = createQuickWidget(side_panel_url(), {{QStringLiteral("videoController"), controller},
                                                           {QStringLiteral("previewPopup"), preview_popup}});
    side_panel_view->rootContext()->setContextProperty(QStringLiteral("mainWindow"), this);
    if (QQuickItem* panel = side_panel_view->rootObject())
        // The panel's signal is declared in QML: only its signature names it.
        connect(panel, SIGNAL(panelStateChanged(bool)), this, SLOT(onPanelStateChanged(bool)));

    auto* video_container = new QWidget(this);
    auto* video_layout = new QVBoxLayout(video_container);
    video_layout->setContentsMargins(0, 0, 0, 0);
    video_layout->setSpacing(0);
    video_layout->addWidget(canvas, 1);
    video_layout->addWidget(timeline_view, 0);

    splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(side_panel_view);
    splitter->addWidget(video_container);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    // Only the side panel moves the divider.
    if (QSplitterHandle* handle = splitter->handle(1))
        handle->setEnabled(false);
    splitter->setSizes({kPanelOpenWidth, kInitialVideoWidth});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter);
}

void ZR_Player_qmlpresentation::onPanelStateChanged(bool isOpen)
{
    if (!side_panel_view || !splitter)
        return;
    const int total = width() > 0 ? width() : kFallbackTotalWidth;
    const int panel = isOpen ? kPanelOpenWidth : kPanelClosedWidth;
    splitter->setSizes({panel, total - panel});
}

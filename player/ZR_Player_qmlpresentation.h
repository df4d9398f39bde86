#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QWidget>

class AppInfo;
class Canvas;
class PreviewPopup;
class QQmlEngine;
class QQuickWidget;
class QSplitter;
class ZRFolderDialogController;
class ZRPlayerInferfaceController;

// The player's main window: the display widget with the timeline view under it, and the side
// panel on the left in a splitter. Both QML views share one engine and reach the program's
// objects through context properties.
class ZR_Player_qmlpresentation : public QWidget
{
    Q_OBJECT
public:
    explicit ZR_Player_qmlpresentation(QWidget* parent = nullptr);
    ~ZR_Player_qmlpresentation() override;

    // For hosts and tests.
    QQmlEngine* get_engine() const { return engine; }
    QQuickWidget* get_timeline_view() const { return timeline_view; }
    QQuickWidget* get_side_panel_view() const { return side_panel_view; }
    QSplitter* get_splitter() const { return splitter; }
    Canvas* get_canvas() const { return canvas; }
    ZRPlayerInferfaceController* get_controller() const { return controller; }
    PreviewPopup* get_preview_popup() const { return preview_popup; }
    AppInfo* get_app_info() const { return app_info; }
    ZRFolderDialogController* get_folder_dialog_controller() const { return folder_dialog_controller; }

    static const QUrl& timeline_view_url();
    static const QUrl& side_panel_url();

public slots:
    void onPanelStateChanged(bool isOpen);

private:
    QQuickWidget* createQuickWidget(const QUrl& source, const QList<QPair<QString, QObject*>>& properties);
    void setupContextObjects();
    void setupLayout();

    QQmlEngine* engine = nullptr;
    QQuickWidget* timeline_view = nullptr;
    QQuickWidget* side_panel_view = nullptr;
    QSplitter* splitter = nullptr;
    Canvas* canvas = nullptr;
    ZRPlayerInferfaceController* controller = nullptr;
    PreviewPopup* preview_popup = nullptr;
    AppInfo* app_info = nullptr;
    ZRFolderDialogController* folder_dialog_controller = nullptr;
};

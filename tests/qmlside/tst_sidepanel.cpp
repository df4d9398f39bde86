//! labels: qml
//! libs: zr_display zr_media zr_store
#include "display/Canvas.h"
#include "media/ZRStreamReadAndControl.h"
#include "store/Encrypt.h"
#include "player/AlarmViewer.h"
#include "player/AppInfo.h"
#include "player/PlayerResources.h"
#include "player/PreviewPopup.h"
#include "player/ZRFolderDialog.h"
#include "player/ZRFolderDialogController.h"
#include "player/ZRPlayerInferfaceController.h"
#include "player/ZR_Player_qmlpresentation.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/QmlWarningCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QQuickItem>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QSplitter>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QtTest>

#include <memory>

namespace {

// The panels' own log lines ("[HomePanel] ...") are expected texts, checked where they matter.
bool isPanelLogLine(const zrtest::CaughtWarning& warning)
{
    for (const char* prefix : {"[HomePanel]", "[AlarmsPanel]", "[MarkersPanel]", "[SidePanel]"}) {
        if (warning.text.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

// Stand-in for the application paths when the program is to look "installed" inside a folder.
class FixedAppInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString appDir MEMBER appDir CONSTANT)
    Q_PROPERTY(QString parentZRNovaDir MEMBER parentZRNovaDir CONSTANT)
public:
    QString appDir;
    QString parentZRNovaDir;
};

QQuickItem* findItem(QQuickItem* root, const QString& name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

// The side panel as the main window shows it: the same objects behind the same context
// property names, a display fed by the reader through a queued connection, and the panel's
// width following panelStateChanged.
class PanelHost : public QObject
{
    Q_OBJECT
public:
    QWidget window;
    QQmlEngine* engine = nullptr;
    Canvas* canvas = nullptr;
    ZRPlayerInferfaceController* controller = nullptr;
    PreviewPopup* preview = nullptr;
    QObject* appInfo = nullptr;
    ZRFolderDialogController* folders = nullptr;
    QQuickWidget* view = nullptr;
    QList<QQmlError> engineWarnings;

    bool owned = true;

    // The side panel of a real main window: nothing is owned here.
    explicit PanelHost(ZR_Player_qmlpresentation* main)
        : owned(false)
    {
        engine = main->get_engine();
        canvas = main->get_canvas();
        controller = main->get_controller();
        preview = main->get_preview_popup();
        appInfo = main->get_app_info();
        folders = main->get_folder_dialog_controller();
        view = main->get_side_panel_view();
        connect(engine, &QQmlEngine::warnings, this, [this](const QList<QQmlError>& list) { engineWarnings << list; });
    }

    explicit PanelHost(QObject* appInfoObject = nullptr, bool withController = true)
    {
        window.resize(1250, 980);
        engine = new QQmlEngine(&window);
        engine->addImportPath(QStringLiteral("qrc:/qml/Zrplayer/"));
        connect(engine, &QQmlEngine::warnings, this, [this](const QList<QQmlError>& list) { engineWarnings << list; });

        canvas = new Canvas(&window);
        canvas->set_stream_start(false);
        canvas->set_external_feed();
        controller = new ZRPlayerInferfaceController(&window);
        preview = new PreviewPopup(&window);
        appInfo = appInfoObject ? appInfoObject : new AppInfo(&window);
        folders = new ZRFolderDialogController();
        controller->setCanvas(canvas);
        QObject::connect(controller->get_reader(),
                         SIGNAL(set_display_frame(uint8_t*, int, int, int, QString, QString, bool, int, double, bool)),
                         canvas,
                         SLOT(displayFrame(uint8_t*, int, int, int, QString, QString, bool, int, double, bool)),
                         Qt::QueuedConnection);

        QQmlContext* root = engine->rootContext();
        if (withController) {
            root->setContextProperty(QStringLiteral("videoController"), controller);
            root->setContextProperty(QStringLiteral("videoWidget"), controller);
        }
        root->setContextProperty(QStringLiteral("previewPopup"), preview);
        root->setContextProperty(QStringLiteral("ZRFolderDialogController"), folders);
        root->setContextProperty(QStringLiteral("AppInfo"), appInfo);

        view = new QQuickWidget(engine, &window);
        view->setResizeMode(QQuickWidget::SizeRootObjectToView);
        view->setClearColor(Qt::transparent);
        if (withController)
            view->rootContext()->setContextProperty(QStringLiteral("videoController"), controller);
        view->rootContext()->setContextProperty(QStringLiteral("previewPopup"), preview);
        view->rootContext()->setContextProperty(QStringLiteral("mainWindow"), &window);
        view->setFixedWidth(350);
        view->setSource(QUrl(QStringLiteral("qrc:/qml/Zrplayer/PlayerZrNova/SidePanel.qml")));
        for (const QQmlError& error : view->errors())
            qWarning().noquote() << "[QML] Error loading" << error.toString();
        if (view->rootObject())
            connect(view->rootObject(), SIGNAL(panelStateChanged(bool)), this, SLOT(onPanelStateChanged(bool)));

        auto* layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(view);
        layout->addWidget(canvas, 1);
        window.show();
    }

    ~PanelHost() override
    {
        if (!owned)
            return;
        // The views go before the objects their context properties name.
        view->setSource(QUrl());
        delete view;
        delete canvas;
        delete folders;
        delete preview;
        if (appInfo->parent() == &window)
            delete appInfo;
        delete controller;
        delete engine;
    }

    QQuickItem* root() const { return qobject_cast<QQuickItem*>(view->rootObject()); }
    QQuickItem* item(const QString& name) const
    {
        if (QQuickItem* found = findItem(root(), name))
            return found;
        return findItem(view->quickWindow()->contentItem(), name);
    }
    QVariant prop(const QString& name, const char* property) const
    {
        QQuickItem* it = item(name);
        return it ? it->property(property) : QVariant();
    }
    QString text(const QString& name) const { return prop(name, "text").toString(); }

    bool waitItem(const QString& name, int timeoutMs = 30000) const
    {
        return QTest::qWaitFor([&] {
            QQuickItem* it = item(name);
            return it && it->isVisible() && it->width() > 0 && it->height() > 0;
        }, timeoutMs);
    }

    // The camera chooser's drop-down: a popup, not one of the visual items.
    QObject* cameraPopup() const
    {
        QQuickItem* combo = item(QStringLiteral("buttonCameraCombo"));
        QObject* popup = combo ? combo->property("popup").value<QObject*>() : nullptr;
        return popup && popup->objectName() == QLatin1String("buttonCameraPopup") ? popup : nullptr;
    }

    // Picks a camera in the chooser's drop-down, as the operator does: open, look, click.
    // The rows follow the controller's camera table, in no fixed order.
    bool chooseCamera(const QString& camera)
    {
        QQuickItem* combo = item(QStringLiteral("buttonCameraCombo"));
        int row = -1;
        if (!combo || !QMetaObject::invokeMethod(combo, "find", Q_RETURN_ARG(int, row), Q_ARG(QString, camera)) || row < 0)
            return false;
        if (!click(QStringLiteral("cameraChooser")))
            return false;
        // The row is clicked once the drop-down has finished opening.
        QObject* popup = cameraPopup();
        if (!popup || !QTest::qWaitFor([&] { return popup->property("opened").toBool(); }, 30000))
            return false;
        const QString name = QStringLiteral("buttonCameraRow%1").arg(row);
        if (!waitItem(name))
            return false;
        return click(name);
    }

    // Clicks the real widget at the item's centre (or at an offset from its top-left corner).
    bool click(const QString& name, QPointF at = QPointF(-1, -1))
    {
        if (!waitItem(name))
            return false;
        QQuickItem* it = item(name);
        const QPointF local = at.x() < 0 ? QPointF(it->width() / 2, it->height() / 2) : at;
        const QPoint scene = it->mapToScene(local).toPoint();
        QTest::mouseMove(view, scene);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, scene);
        QTest::qWait(30);
        return true;
    }

    void wheel(const QString& name, int angle)
    {
        QQuickItem* it = item(name);
        const QPointF scene = it->mapToScene(QPointF(it->width() / 2, it->height() / 2));
        QWheelEvent event(scene, view->mapToGlobal(scene.toPoint()), QPoint(), QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &event);
    }

    // The export folder dialog answered with folder (rejected when folder is empty).
    bool chooseFolder(zrtest::ModalAnswerer& answerer, const QString& folder)
    {
        answerer.setAnswer([folder](QWidget* modal) {
            auto* dialog = qobject_cast<ZRFolderDialog*>(modal);
            if (!dialog)
                return false;
            if (folder.isEmpty()) {
                dialog->reject();
            } else {
                const QFileInfo info(folder);
                dialog->setDirectory(info.absolutePath());
                // Typed as a person would: selectFile() leaves the name field alone while it
                // has the focus, and the dialog would then answer with the folder around.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (name)
                    name->setText(info.fileName());
                else
                    dialog->selectFile(info.fileName());
                QMetaObject::invokeMethod(dialog, "validateAndAccept");
            }
            return true;
        });
        return click(QStringLiteral("folderButton"));
    }

    QStringList calendarDayNames() const
    {
        QStringList names;
        for (int i = 0; i < 7; ++i)
            names << text(QStringLiteral("calendarDayName_%1").arg(i));
        return names;
    }

    QString selectedCalendarDay() const
    {
        const QVariant value = prop(QStringLiteral("calendar"), "selectedDate");
        const QDateTime when = value.toDateTime();
        return when.isValid() ? when.date().toString(QStringLiteral("yyyy-MM-dd")) : QString();
    }

public slots:
    void onPanelStateChanged(bool isOpen)
    {
        const int width = view->rootObject()->property(isOpen ? "expandedWidth" : "collapsedWidth").toInt();
        view->setFixedWidth(width);
    }
};

} // namespace

class TestSidePanel : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator generator;

    // Two consecutive days across a month end, one more day two months later (one camera
    // only) and a day folder with a camera but no recording; alarms and tags everywhere.
    zrtest::GeneratedExport twoMonths;
    QString exportPath;
    QString exportParent;

    // Every warning the QML module prints, whatever path it takes.
    std::unique_ptr<zrtest::QmlWarningCatcher> qmlWarnings;
    std::unique_ptr<PanelHost> host;
    std::unique_ptr<zrtest::ModalAnswerer> answerer;

    static bool waitText(PanelHost& h, const QString& name, const QString& text, int timeoutMs = 60000)
    {
        return QTest::qWaitFor([&] { return h.text(name) == text; }, timeoutMs);
    }

    // No camera list is awaited and no index is being rebuilt.
    static bool settled(const PanelHost& h)
    {
        QQuickItem* home = h.item(QStringLiteral("homePanel"));
        return home && !home->property("loadingCameras").toBool() && !home->property("indexing").toBool();
    }

    // Waits until the page is settled.
    static bool settle(PanelHost& h, int timeoutMs = 120000)
    {
        return QTest::qWaitFor([&] { return settled(h); }, timeoutMs);
    }

    // Clicks a calendar day and waits until its cameras are listed (and its index rebuilt).
    static bool chooseDay(PanelHost& h, const QString& day)
    {
        QSignalSpy answered(h.controller, &ZRPlayerInferfaceController::camerasForDateReady);
        QSignalSpy failed(h.controller, &ZRPlayerInferfaceController::camerasForDateError);
        if (!h.click(QStringLiteral("day_") + day))
            return false;
        return QTest::qWaitFor([&] { return answered.count() + failed.count() > 0; }, 60000) && settle(h);
    }

    // Opens the export through the folder button and waits until its last day is listed.
    bool openExport(PanelHost& h, const QString& folder)
    {
        QSignalSpy ready(h.controller, &ZRPlayerInferfaceController::camerasForDateReady);
        if (!h.chooseFolder(*answerer, folder))
            return false;
        return QTest::qWaitFor([&] { return ready.count() > 0; }, 60000) && settle(h);
    }

private slots:
    void initTestCase()
    {
        init_player_resources();
        qmlWarnings = std::make_unique<zrtest::QmlWarningCatcher>(&zrtest::QmlWarningCatcher::fromQml);
        qmlWarnings->setExpected(&isPanelLogLine);

        const QStringList common = {"--cameras", "2", "--minutes", "2", "--alarms", "2", "--tags", "2",
                                    "--size", "192x108", "--seed", "7"};
        twoMonths = generator.generate(QStringList({"--id", "aaaa-bbbb-cccc-0015", "--days", "3", "--first-day",
                                                    "2025-01-30"}) + common);
        QVERIFY2(twoMonths.ok, qPrintable(twoMonths.error));
        exportPath = twoMonths.exportPath;
        exportParent = QFileInfo(exportPath).absolutePath();

        // April: a day of another export with camera 1 only, moved into this one.
        const zrtest::GeneratedExport april = generator.generate(
            {"--id", "aaaa-bbbb-cccc-0016", "--days", "1", "--first-day", "2025-04-10", "--cameras", "1",
             "--minutes", "1", "--size", "192x108", "--seed", "8"});
        QVERIFY2(april.ok, qPrintable(april.error));
        QVERIFY(QDir().rename(april.dayFolders.first(), exportPath + QStringLiteral("/2025-04-10")));
    }

    void init()
    {
        answerer = std::make_unique<zrtest::ModalAnswerer>();
        qmlWarnings->clear();
    }

    void cleanup()
    {
        QList<QQmlError> engineWarnings;
        if (host)
            engineWarnings = host->engineWarnings;
        host.reset();
        answerer.reset();
        QStringList all;
        for (const QQmlError& error : engineWarnings)
            all << error.toString();
        all << qmlWarnings->take();
        QVERIFY2(all.isEmpty(), qPrintable(all.join(QLatin1Char('\n'))));
    }

    void cleanupTestCase() { qmlWarnings.reset(); }

    void startsEmptyWithoutExport()
    {
        zrtest::LogCatcher log;
        host = std::make_unique<PanelHost>();
        PanelHost& h = *host;
        QVERIFY(h.root());
        QVERIFY(log.contains(QStringLiteral("[SidePanel] videoWidget global injecté =")));
        QVERIFY(h.waitItem(QStringLiteral("folderButton")));

        QCOMPARE(h.prop(QStringLiteral("folderButton"), "text").toString(), QStringLiteral("Aucun dossier sélectionné"));
        QVERIFY(!h.prop(QStringLiteral("regenerateButton"), "enabled").toBool());
        QVERIFY(!h.prop(QStringLiteral("indexStatusText"), "visible").toBool());
        QCOMPARE(h.calendarDayNames(), QStringList({"L", "M", "M", "J", "V", "S", "D"}));
        // The month shown is this month, and none of its days can be chosen.
        const QDate today = QDate::currentDate();
        const QString todayName = QStringLiteral("day_") + today.toString(QStringLiteral("yyyy-MM-dd"));
        QVERIFY(h.item(todayName));
        QVERIFY(h.click(todayName));
        QCOMPARE(h.selectedCalendarDay(), QString());
        QVERIFY(!h.prop(QStringLiteral("calendarPrevious"), "active").toBool());
        QVERIFY(!h.prop(QStringLiteral("calendarNext"), "active").toBool());

        // No camera: the chooser says so and does not open.
        QCOMPARE(h.text(QStringLiteral("buttonCameraText")), QStringLiteral("Aucune caméra"));
        QVERIFY(h.click(QStringLiteral("cameraChooser")));
        QVERIFY(h.cameraPopup());
        QVERIFY(!h.cameraPopup()->property("visible").toBool());

        // Cancelling the folder dialog keeps the page empty.
        QVERIFY(h.chooseFolder(*answerer, QString()));
        QVERIFY(QTest::qWaitFor([&] { return answerer->count() > 0; }, 30000));
        QCOMPARE(h.prop(QStringLiteral("folderButton"), "text").toString(), QStringLiteral("Aucun dossier sélectionné"));
        QCOMPARE(h.controller->get_root_directory(), QString());
    }

    void opensTheExportItIsInstalledIn()
    {
        auto info = std::make_unique<FixedAppInfo>();
        info->appDir = exportPath + QStringLiteral("/2025-01-30");
        info->parentZRNovaDir = exportPath;
        host = std::make_unique<PanelHost>(info.get());
        PanelHost& h = *host;
        QSignalSpy ready(h.controller, &ZRPlayerInferfaceController::camerasForDateReady);

        QCOMPARE(h.prop(QStringLiteral("folderButton"), "text").toString(),
                 QStringLiteral("/") + QFileInfo(exportPath).fileName());
        QCOMPARE(h.controller->get_root_directory(), exportPath);
        QVERIFY(QTest::qWaitFor([&] { return ready.count() > 0; }, 60000));
        QVERIFY(settle(h));
        // Destroy the view while the owner of the stand-in still lives.
        host.reset();
    }

    void calendarMonthsDaysAndCameras()
    {
        zrtest::LogCatcher log;
        host = std::make_unique<PanelHost>();
        PanelHost& h = *host;
        QVERIFY(openExport(h, exportPath));

        QCOMPARE(h.prop(QStringLiteral("folderButton"), "text").toString(),
                 QStringLiteral("/zrnova_aaaa-bbbb-cccc-0015"));
        // Cancelling the dialog now keeps the open export and its days.
        const int answered = answerer->count();
        QVERIFY(h.chooseFolder(*answerer, QString()));
        QVERIFY(QTest::qWaitFor([&] { return answerer->count() > answered; }, 30000));
        QVERIFY(settle(h));
        QCOMPARE(h.prop(QStringLiteral("folderButton"), "text").toString(),
                 QStringLiteral("/zrnova_aaaa-bbbb-cccc-0015"));
        QCOMPARE(h.controller->get_root_directory(), exportPath);
        // The last day is selected and its month shown.
        QCOMPARE(h.controller->selected_date(), QStringLiteral("2025-04-10"));
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-04-10"));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Avril 2025"));
        QCOMPARE(h.calendarDayNames(), QStringList({"L", "M", "M", "J", "V", "S", "D"}));
        // 1 April 2025 is a Tuesday: one blank before it.
        QVERIFY(h.item(QStringLiteral("blank_0")));
        QVERIFY(!h.item(QStringLiteral("blank_1")));
        QCOMPARE(h.prop(QStringLiteral("day_2025-04-10"), "color").value<QColor>(), QColor("#2196F3"));
        QVERIFY(h.prop(QStringLiteral("day_2025-04-10"), "available").toBool());
        QVERIFY(!h.prop(QStringLiteral("day_2025-04-11"), "available").toBool());

        // The first camera of the day is selected.
        QVERIFY(waitText(h, QStringLiteral("buttonCameraText"), QStringLiteral("Camera 1")));
        QCOMPARE(h.controller->selected_camera(), QStringLiteral("Camera 1"));
        QVERIFY(h.prop(QStringLiteral("regenerateButton"), "enabled").toBool());

        // Month arrows skip the months without recordings.
        QVERIFY(!h.prop(QStringLiteral("calendarNext"), "active").toBool());
        QVERIFY(h.click(QStringLiteral("calendarPrevious")));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Février 2025"));
        QVERIFY(h.click(QStringLiteral("calendarPrevious")));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Janvier 2025"));
        QVERIFY(!h.prop(QStringLiteral("calendarPrevious"), "active").toBool());
        QVERIFY(h.click(QStringLiteral("calendarPrevious")));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Janvier 2025"));
        QVERIFY(h.click(QStringLiteral("calendarNext")));
        QVERIFY(h.click(QStringLiteral("calendarNext")));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Avril 2025"));
        QVERIFY(h.click(QStringLiteral("calendarPrevious")));
        QVERIFY(h.click(QStringLiteral("calendarPrevious")));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Janvier 2025"));

        // A day without recordings does not react.
        QVERIFY(h.click(QStringLiteral("day_2025-01-15")));
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-04-10"));
        QCOMPARE(h.controller->selected_date(), QStringLiteral("2025-04-10"));

        // Another camera, chosen on the 30th, is kept on the 31st.
        QVERIFY(chooseDay(h, QStringLiteral("2025-01-30")));
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-01-30"));
        QCOMPARE(h.controller->selected_date(), QStringLiteral("2025-01-30"));
        QVERIFY(waitText(h, QStringLiteral("buttonCameraText"), QStringLiteral("Camera 1")));

        QVERIFY(h.chooseCamera(QStringLiteral("Camera 2")));
        QVERIFY(waitText(h, QStringLiteral("buttonCameraText"), QStringLiteral("Camera 2")));
        QCOMPARE(h.controller->selected_camera(), QStringLiteral("Camera 2"));

        // The next day has camera 2 too: it stays selected.
        QVERIFY(chooseDay(h, QStringLiteral("2025-01-31")));
        QCOMPARE(h.controller->selected_date(), QStringLiteral("2025-01-31"));
        QCOMPARE(h.controller->selected_camera(), QStringLiteral("Camera 2"));
        QCOMPARE(h.text(QStringLiteral("buttonCameraText")), QStringLiteral("Camera 2"));

        // Keys: Right moves one day and into February; nothing is chosen before Return.
        QVERIFY(chooseDay(h, QStringLiteral("2025-01-31")));
        h.view->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return h.item(QStringLiteral("calendarGrid"))->hasActiveFocus(); }, 30000));
        QTest::keyClick(h.view, Qt::Key_Right);
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-02-01"));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Février 2025"));
        QCOMPARE(h.controller->selected_date(), QStringLiteral("2025-01-31"));
        QTest::keyClick(h.view, Qt::Key_Left);
        QTest::keyClick(h.view, Qt::Key_Left);
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-01-30"));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Janvier 2025"));
        QTest::keyClick(h.view, Qt::Key_Up);
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-01-23"));
        // Seven days before lies in December, which holds nothing: no move.
        QTest::keyClick(h.view, Qt::Key_Up);
        QTest::keyClick(h.view, Qt::Key_Up);
        QTest::keyClick(h.view, Qt::Key_Up);
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-01-02"));
        QTest::keyClick(h.view, Qt::Key_Up);
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-01-02"));
        // Down into February reaches a day without recordings; Return chooses it all the same.
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(h.view, Qt::Key_Down);
        QCOMPARE(h.selectedCalendarDay(), QStringLiteral("2025-02-06"));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Février 2025"));
        QSignalSpy failed(h.controller, &ZRPlayerInferfaceController::camerasForDateError);
        QTest::keyClick(h.view, Qt::Key_Return);
        QCOMPARE(h.controller->selected_date(), QStringLiteral("2025-02-06"));
        QVERIFY(QTest::qWaitFor([&] { return failed.count() > 0; }, 60000));
        QVERIFY(log.waitFor(QStringLiteral("[HomePanel] Erreur lors du chargement des caméras :")));
        // No camera: "Aucune caméra", a chooser that does not open, no regeneration; the
        // calendar stays usable.
        QVERIFY(waitText(h, QStringLiteral("buttonCameraText"), QStringLiteral("Aucune caméra")));
        QVERIFY(!h.prop(QStringLiteral("buttonCameraCombo"), "enabled").toBool());
        QVERIFY(!h.prop(QStringLiteral("regenerateButton"), "enabled").toBool());
        QVERIFY(h.prop(QStringLiteral("homePanel"), "calendarEnabled").toBool());
        QVERIFY(h.click(QStringLiteral("cameraChooser")));
        QVERIFY(h.cameraPopup());
        QVERIFY(!h.cameraPopup()->property("visible").toBool());

        // Camera 2 is not recorded on the April day: the first camera is taken, with a warning.
        QVERIFY(h.click(QStringLiteral("calendarPrevious")));
        QVERIFY(chooseDay(h, QStringLiteral("2025-01-31")));
        QCOMPARE(h.controller->selected_camera(), QStringLiteral("Camera 2"));
        QVERIFY(h.click(QStringLiteral("calendarNext")));
        QVERIFY(h.click(QStringLiteral("calendarNext")));
        log.clear();
        QVERIFY(h.click(QStringLiteral("day_2025-04-10")));
        QVERIFY(log.waitFor(QStringLiteral("[HomePanel] Caméra \"Camera 2\" non trouvée. Sélection de la première caméra par défaut."), 60000));
        QVERIFY(waitText(h, QStringLiteral("buttonCameraText"), QStringLiteral("Camera 1")));
        QCOMPARE(h.controller->selected_camera(), QStringLiteral("Camera 1"));
    }

    void indexingStatusBlocksInputAndEnds()
    {
        // A new export: its day has no index yet. A second day holds a camera but no recording,
        // so its index cannot be built.
        const zrtest::GeneratedExport fresh = generator.generate(
            {"--days", "2", "--cameras", "1", "--minutes", "1", "--size", "192x108", "--seed", "21"});
        QVERIFY2(fresh.ok, qPrintable(fresh.error));
        const QString emptyDay = fresh.dayFolders.at(1);
        for (const QFileInfo& file : QDir(emptyDay + QStringLiteral("/cam000001")).entryInfoList(QDir::Files)) {
            if (!file.fileName().endsWith(QLatin1String(".zrnfo")))
                QVERIFY(QFile::remove(file.absoluteFilePath()));
        }
        QVERIFY(QFile::remove(emptyDay + QStringLiteral("/hash.json")));
        // Open the first day: the last one would fail at once.
        QVERIFY(QDir().rename(emptyDay, fresh.exportPath + QStringLiteral("/2025-03-13")));

        zrtest::LogCatcher log;
        host = std::make_unique<PanelHost>();
        PanelHost& h = *host;

        // While the index is rebuilt: blinking text, busy overlay, and a click on the
        // calendar's day goes nowhere.
        struct Seen { bool visible = false; QString text; bool indexing = false; bool overlay = false; int cursor = -1; };
        QList<Seen> seen;
        connect(h.controller, &ZRPlayerInferfaceController::startIndexGeneration, this, [&] {
            Seen now;
            now.visible = h.prop(QStringLiteral("indexStatusText"), "visible").toBool();
            now.text = h.text(QStringLiteral("indexStatusText"));
            now.indexing = h.prop(QStringLiteral("homePanel"), "indexing").toBool();
            QQuickItem* overlay = h.item(QStringLiteral("indexingOverlay"));
            now.overlay = overlay && overlay->isVisible() && overlay->width() == h.item(QStringLiteral("homePanel"))->width();
            now.cursor = overlay ? int(overlay->cursor().shape()) : -1;
            seen << now;
            if (QQuickItem* day = h.item(QStringLiteral("day_2025-03-14"))) {
                const QPoint at = day->mapToScene(QPointF(day->width() / 2, day->height() / 2)).toPoint();
                QTest::mouseClick(h.view, Qt::LeftButton, Qt::NoModifier, at);
            }
        });
        QSignalSpy generated(h.controller, &ZRPlayerInferfaceController::indexGenerated);
        QVERIFY(openExport(h, fresh.exportPath));
        QCOMPARE(h.controller->selected_date(), QStringLiteral("2025-03-14"));
        // Recordings in one month only: no arrow leads anywhere, the title is grey.
        QVERIFY(!h.prop(QStringLiteral("calendarPrevious"), "active").toBool());
        QVERIFY(!h.prop(QStringLiteral("calendarNext"), "active").toBool());
        QCOMPARE(h.prop(QStringLiteral("calendarTitle"), "color").value<QColor>(), QColor("#9e9e9e"));
        QCOMPARE(h.text(QStringLiteral("calendarTitle")), QStringLiteral("Mars 2025"));
        QCOMPARE(seen.size(), 1);
        QVERIFY(seen.first().visible);
        QCOMPARE(seen.first().text, QStringLiteral("Indexation en cours..."));
        QVERIFY(seen.first().indexing);
        QVERIFY(seen.first().overlay);
        QCOMPARE(seen.first().cursor, int(Qt::BusyCursor));
        QCOMPARE(generated.count(), 1);
        // The day was listed twice (before and after the rebuild), never for the blocked click.
        QCOMPARE(log.count(QStringLiteral("ZRPlayer Interface Controller :: get cameras for date async")), 2);
        QVERIFY(waitText(h, QStringLiteral("indexStatusText"), QStringLiteral("Indexation terminée")));
        QCOMPARE(h.prop(QStringLiteral("indexStatusText"), "color").value<QColor>(), QColor("white"));
        QVERIFY(h.prop(QStringLiteral("indexStatusText"), "visible").toBool());
        QVERIFY(!h.prop(QStringLiteral("indexingOverlay"), "visible").toBool());
        QVERIFY(h.prop(QStringLiteral("regenerateButton"), "enabled").toBool());
        // The result shows for five seconds, then fades out (seen below, on a shorter pause:
        // the test waits for the fade-out, not for the clock).
        QObject* resultPause = h.root()->findChild<QObject*>(QStringLiteral("indexResultPause"));
        QVERIFY(resultPause);
        QCOMPARE(resultPause->property("duration").toInt(), 5000);

        // A day whose index cannot be built: failure shown, input given back, and the day is
        // not listed and rebuilt over and over. Each rebuild reports its end and its failure;
        // once every rebuild started has done both and neither a listing nor a rebuild is under
        // way, nothing is left that could start another one.
        QSignalSpy failed(h.controller, &ZRPlayerInferfaceController::indexFailed);
        QSignalSpy rebuilds(h.controller, &ZRPlayerInferfaceController::startIndexGeneration);
        generated.clear();
        log.clear();
        resultPause->setProperty("duration", 100);
        QVERIFY(chooseDay(h, QStringLiteral("2025-03-13")));
        QVERIFY(QTest::qWaitFor([&] { return failed.count() > 0; }, 60000));
        QVERIFY(waitText(h, QStringLiteral("indexStatusText"), QStringLiteral("Échec de l’indexation")));
        QCOMPARE(h.prop(QStringLiteral("indexStatusText"), "color").value<QColor>(), QColor("red"));
        const auto quiet = [&] {
            return failed.count() == rebuilds.count() && generated.count() == rebuilds.count() && settled(h);
        };
        (void)QTest::qWaitFor([&] { return quiet() || rebuilds.count() > 2; }, 120000);
        QVERIFY2(quiet() && rebuilds.count() <= 2,
                 qPrintable(QStringLiteral("%1 rebuilds, %2 ended, %3 failed")
                                .arg(rebuilds.count()).arg(generated.count()).arg(failed.count())));
        QCOMPARE(log.count(QStringLiteral("start regenerate index for current date")), rebuilds.count());
        QVERIFY(QTest::qWaitFor([&] { return !h.prop(QStringLiteral("indexStatusText"), "visible").toBool(); }, 60000));
        QCOMPARE(h.text(QStringLiteral("indexStatusText")), QStringLiteral("Échec de l’indexation"));
        resultPause->setProperty("duration", 5000);
        QVERIFY(!h.prop(QStringLiteral("indexingOverlay"), "visible").toBool());
        QVERIFY(h.prop(QStringLiteral("homePanel"), "calendarEnabled").toBool());
        QVERIFY(answerer->count() >= 1);

        // The regeneration button on an export that went away: it cannot start, and the page
        // comes back at once instead of waiting for an end that never comes.
        QVERIFY(chooseDay(h, QStringLiteral("2025-03-14")));
        QVERIFY(QTest::qWaitFor([&] { return h.prop(QStringLiteral("regenerateButton"), "enabled").toBool(); }, 30000));
        const QString moved = fresh.exportPath + QStringLiteral("_moved");
        QVERIFY(QDir().rename(fresh.exportPath, moved));
        failed.clear();
        QVERIFY(h.click(QStringLiteral("regenerateButton")));
        QVERIFY(QTest::qWaitFor([&] { return failed.count() > 0; }, 60000));
        QVERIFY(waitText(h, QStringLiteral("indexStatusText"), QStringLiteral("Échec de l’indexation")));
        QVERIFY(QTest::qWaitFor([&] { return h.prop(QStringLiteral("regenerateButton"), "enabled").toBool()
                                             && h.prop(QStringLiteral("homePanel"), "calendarEnabled").toBool(); }, 30000));
        QVERIFY(!h.prop(QStringLiteral("homePanel"), "indexing").toBool());
        QVERIFY(QDir().rename(moved, fresh.exportPath));

        // And the button on the export in place, without the day that cannot be indexed:
        // blinking, then done.
        QVERIFY(QDir().rename(fresh.exportPath + QStringLiteral("/2025-03-13"), moved + QStringLiteral("-2025-03-13")));
        QSignalSpy started(h.controller, &ZRPlayerInferfaceController::startIndexGeneration);
        generated.clear();
        failed.clear();
        seen.clear();
        QVERIFY(h.click(QStringLiteral("regenerateButton")));
        QVERIFY(QTest::qWaitFor([&] { return generated.count() > 0; }, 60000));
        QCOMPARE(started.count(), 1);
        QCOMPARE(seen.size(), 1);
        QVERIFY(seen.first().visible);
        QCOMPARE(seen.first().text, QStringLiteral("Indexation en cours..."));
        QVERIFY(seen.first().indexing);
        QVERIFY(settle(h));
        QVERIFY(waitText(h, QStringLiteral("indexStatusText"), QStringLiteral("Indexation terminée")));
        QCOMPARE(failed.count(), 0);
        QVERIFY(h.prop(QStringLiteral("regenerateButton"), "enabled").toBool());
    }

    void alarmAndMarkerPagesSeek()
    {
        // Two rows the pages must leave out (an alarm without thumbnail, a tag without time)
        // and one tag without name or description.
        // Under a folder whose name has a blank, a '#' and an accent: the thumbnails' URLs must
        // still name their files.
        const QString parent = generator.tempPath() + QStringLiteral("/Exports #1 été");
        QVERIFY(QDir().mkpath(parent));
        const zrtest::GeneratedExport edge = zrtest::ExportGenerator::generateInto(
            parent, {"--days", "1", "--cameras", "2", "--minutes", "2", "--alarms", "2", "--tags", "2", "--size", "192x108",
                     "--seed", "33"});
        QVERIFY2(edge.ok, qPrintable(edge.error));
        const QString media = edge.dayFolders.first() + QStringLiteral("/cam000001/");
        QVERIFY(QFile::copy(edge.cameras.first().alarms.first().image, media + QStringLiteral("1_95_20250314_080045.jpg")));
        Encrypt cipher;
        QCOMPARE(cipher.encrypt_to_file(R"({"tag_id":"90","tag_datetime":"20250314080150","tag_cam_id":1})",
                                        media + QStringLiteral("1_90_20250314_080150.zrtag")), 1);
        QCOMPARE(cipher.encrypt_to_file(R"({"tag_id":"91","tag_cam_id":1,"tag_name":"Sans heure"})",
                                        media + QStringLiteral("1_91_20250314_080151.zrtag")), 1);

        host = std::make_unique<PanelHost>();
        PanelHost& h = *host;
        QVERIFY(openExport(h, edge.exportPath));
        if (h.controller->selected_camera() != QLatin1String("Camera 1"))
            QVERIFY(h.chooseCamera(QStringLiteral("Camera 1")));
        QVERIFY(QTest::qWaitFor([&] { return h.controller->selected_camera() == QLatin1String("Camera 1"); }, 30000));

        QVERIFY(h.click(QStringLiteral("tabAlarms")));
        QVERIFY(h.waitItem(QStringLiteral("alarmTile_0")));
        QVERIFY(h.waitItem(QStringLiteral("alarmTile_1")));
        QVERIFY(!h.item(QStringLiteral("alarmTile_2")));
        // Two tiles fit: no scroll track.
        QVERIFY(QTest::qWaitFor([&] { return !h.prop(QStringLiteral("alarmScrollTrack"), "visible").toBool(); }, 30000));
        QQuickItem* tile = h.item(QStringLiteral("alarmTile_0"));
        QCOMPARE(tile->width(), h.item(QStringLiteral("alarmList"))->width() - 8);
        QCOMPARE(tile->height(), tile->width() * 9 / 16);

        // The thumbnails load from their files.
        QVERIFY(QTest::qWaitFor([&] { return h.prop(QStringLiteral("alarmThumbnail_0"), "status").toInt() == 1
                                             && h.prop(QStringLiteral("alarmThumbnail_1"), "status").toInt() == 1; }, 30000));
        const QList<zrtest::GeneratedAlarm> alarms = edge.camera(1)->alarms;
        QCOMPARE(alarms.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const QString stamp = alarms.at(i).datetime;
            QCOMPARE(h.text(QStringLiteral("alarmDate_%1").arg(i)), QStringLiteral("2025-03-14"));
            QCOMPARE(h.text(QStringLiteral("alarmTime_%1").arg(i)),
                     stamp.mid(8, 2) + QLatin1Char(':') + stamp.mid(10, 2) + QLatin1Char(':') + stamp.mid(12, 2));
        }

        // A tile plays from the alarm's time: the display shows that frame.
        const auto shownSecond = [&h]() {
            const zrtest::FrameMarker marker = zrtest::readFrameMarker(h.canvas->current_image());
            return marker.found ? marker.cameraId * 100000 + marker.msOfDay() / 1000 : -1;
        };
        const auto secondOf = [](int camera, const QString& stamp) {
            return camera * 100000 + QTime::fromString(stamp.mid(8), QStringLiteral("HHmmss")).msecsSinceStartOfDay() / 1000;
        };
        QVERIFY(h.click(QStringLiteral("alarmTile_1")));
        QVERIFY2(QTest::qWaitFor([&] { return shownSecond() == secondOf(1, alarms.at(1).datetime); }, 60000),
                 qPrintable(QString::number(shownSecond())));
        QVERIFY(h.click(QStringLiteral("alarmTile_0")));
        QVERIFY2(QTest::qWaitFor([&] { return shownSecond() == secondOf(1, alarms.at(0).datetime); }, 60000),
                 qPrintable(QString::number(shownSecond())));

        // Markers: generated tags with their texts, a tag without texts gets the defaults,
        // a tag without time is left out.
        QVERIFY(h.click(QStringLiteral("tabMarkers")));
        QVERIFY(h.waitItem(QStringLiteral("markerRow_2")));
        QVERIFY(!h.item(QStringLiteral("markerRow_3")));
        QCOMPARE(h.text(QStringLiteral("markerDate_0")), QStringLiteral("2025-03-14"));
        QStringList times;
        QStringList texts;
        for (int i = 0; i < 3; ++i) {
            times << h.text(QStringLiteral("markerTime_%1").arg(i));
            texts << h.text(QStringLiteral("markerText_%1").arg(i));
        }
        QVERIFY2(texts.contains(QStringLiteral("Marqueur - Marqueur standard")), qPrintable(texts.join(" | ")));
        QCOMPARE(times.at(texts.indexOf(QStringLiteral("Marqueur - Marqueur standard"))), QStringLiteral("08:01:50"));
        const int generatedRow = times.indexOf(QStringLiteral("08:01:50")) == 0 ? 1 : 0;
        QVERIFY(texts.at(generatedRow).startsWith(QStringLiteral("Tag ")));
        QVERIFY(texts.at(generatedRow).contains(QStringLiteral(" - ")));
        QQuickItem* row = h.item(QStringLiteral("markerRow_0"));
        QCOMPARE(row->height(), 120.0);

        // A row plays from its time, here in the second recording.
        const int markerRow = texts.indexOf(QStringLiteral("Marqueur - Marqueur standard"));
        QVERIFY(h.click(QStringLiteral("markerRow_%1").arg(markerRow)));
        QVERIFY2(QTest::qWaitFor([&] { return shownSecond() == secondOf(1, QStringLiteral("20250314080150")); }, 60000),
                 qPrintable(QString::number(shownSecond())));

        // Another camera: both pages follow.
        QVERIFY(h.chooseCamera(QStringLiteral("Camera 2")));
        QVERIFY(QTest::qWaitFor([&] { return h.controller->selected_camera() == QLatin1String("Camera 2"); }, 30000));
        QVERIFY(QTest::qWaitFor([&] { return !h.item(QStringLiteral("markerRow_2")); }, 30000));
        const QList<zrtest::GeneratedTag> tags2 = edge.camera(2)->tags;
        // The list is emptied, then filled with the new camera's tags.
        const QString firstTag2 =
            QTime::fromString(tags2.first().datetime.mid(8), QStringLiteral("HHmmss")).toString(QStringLiteral("HH:mm:ss"));
        QVERIFY2(QTest::qWaitFor([&] { return h.text(QStringLiteral("markerTime_0")) == firstTag2; }, 30000),
                 qPrintable(h.text(QStringLiteral("markerTime_0"))));
        QVERIFY(h.click(QStringLiteral("tabAlarms")));
        QVERIFY(h.waitItem(QStringLiteral("alarmTime_0")));
        QCOMPARE(h.text(QStringLiteral("alarmTime_0")),
                 QTime::fromString(edge.camera(2)->alarms.first().datetime.mid(8), QStringLiteral("HHmmss"))
                     .toString(QStringLiteral("HH:mm:ss")));

        // The round button opens the alarm's full image in the viewer.
        QVERIFY(h.controller->metaObject()->indexOfMethod("open_alarm_popup(QString)") >= 0);
        QVERIFY(h.click(QStringLiteral("alarmImageButton_0")));
        AlarmViewer* viewer = nullptr;
        QVERIFY(QTest::qWaitFor([&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* v = qobject_cast<AlarmViewer*>(w); v && v->isVisible())
                    viewer = v;
            }
            return viewer != nullptr;
        }, 30000));
        delete viewer;
    }

    void foldsAndUnfolds()
    {
        host = std::make_unique<PanelHost>();
        PanelHost& h = *host;
        QQuickItem* root = h.root();
        QVERIFY(root);
        QSignalSpy states(root, SIGNAL(panelStateChanged(bool)));
        QVERIFY(h.waitItem(QStringLiteral("foldButton")));
        QCOMPARE(root->width(), 350.0);
        QVERIFY(h.prop(QStringLiteral("tabHome"), "checked").toBool());
        QCOMPARE(h.prop(QStringLiteral("tabHome"), "borderColor").value<QColor>(), QColor("white"));

        QVERIFY(h.click(QStringLiteral("tabAlarms")));
        QCOMPARE(states.count(), 0);
        QCOMPARE(h.prop(QStringLiteral("tabBar"), "currentIndex").toInt(), 1);
        QVERIFY(h.waitItem(QStringLiteral("alarmsPanel")));
        QVERIFY(!h.item(QStringLiteral("homePanel"))->isVisible());
        // A second click on the current tab leaves it current.
        QVERIFY(h.click(QStringLiteral("tabAlarms")));
        QVERIFY(h.prop(QStringLiteral("tabAlarms"), "checked").toBool());
        QVERIFY(!h.prop(QStringLiteral("tabHome"), "checked").toBool());

        // Folding: home page current, 100 px, only the column of tabs.
        QVERIFY(h.click(QStringLiteral("foldButton")));
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.last().first().toBool(), false);
        QVERIFY(!root->property("panelOpen").toBool());
        QCOMPARE(h.prop(QStringLiteral("tabBar"), "currentIndex").toInt(), 0);
        QVERIFY(QTest::qWaitFor([&] { return root->width() == 100.0; }, 30000));
        QVERIFY(QTest::qWaitFor([&] { return !h.item(QStringLiteral("contentArea"))->isVisible(); }, 30000));
        QVERIFY(!h.item(QStringLiteral("navigationRow"))->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return h.prop(QStringLiteral("foldedColumn"), "opacity").toDouble() == 1.0; }, 30000));
        QQuickItem* home = h.item(QStringLiteral("foldedTabHome"));
        QQuickItem* alarms = h.item(QStringLiteral("foldedTabAlarms"));
        QQuickItem* markers = h.item(QStringLiteral("foldedTabMarkers"));
        QVERIFY(home && alarms && markers);
        QCOMPARE(alarms->mapToScene(QPointF(0, 0)).y() - home->mapToScene(QPointF(0, home->height())).y(), 20.0);
        QCOMPARE(home->mapToScene(QPointF(home->width() / 2, 0)).x(), 50.0);

        // A tab of the strip unfolds the panel on its page.
        QVERIFY(h.click(QStringLiteral("foldedTabMarkers")));
        QCOMPARE(states.count(), 2);
        QCOMPARE(states.last().first().toBool(), true);
        QVERIFY(root->property("panelOpen").toBool());
        QVERIFY(QTest::qWaitFor([&] { return root->width() == 350.0; }, 30000));
        QVERIFY(h.waitItem(QStringLiteral("markersPanel")));
        QVERIFY(h.waitItem(QStringLiteral("cameraChooser")));
        QVERIFY(QTest::qWaitFor([&] { return h.prop(QStringLiteral("tabMarkers"), "checked").toBool(); }, 30000));
        QVERIFY(!h.prop(QStringLiteral("tabHome"), "checked").toBool());
        QVERIFY(!h.item(QStringLiteral("foldedColumn"))->isVisible() || h.prop(QStringLiteral("foldedColumn"), "opacity").toDouble() < 1.0);
    }

    void startsWithoutController()
    {
        zrtest::LogCatcher log;
        host = std::make_unique<PanelHost>(nullptr, false);
        PanelHost& h = *host;
        QVERIFY(h.root());
        QVERIFY(log.contains(QStringLiteral("[SidePanel] videoWidget global INEXISTANT dans ce contexte !")));
        QVERIFY(log.waitFor(QStringLiteral("[MarkersPanel] videoWidget non valide")));
        QVERIFY(h.waitItem(QStringLiteral("folderButton")));
        QCOMPARE(h.prop(QStringLiteral("folderButton"), "text").toString(), QStringLiteral("Aucun dossier sélectionné"));
        QVERIFY(h.click(QStringLiteral("tabAlarms")));
        QVERIFY(h.waitItem(QStringLiteral("alarmsPanel")));
        QVERIFY(h.click(QStringLiteral("tabHome")));
    }

    void longListsScroll()
    {
        const zrtest::GeneratedExport many = generator.generate(
            {"--days", "1", "--cameras", "1", "--minutes", "2", "--alarms", "6", "--tags", "9", "--size", "192x108",
             "--seed", "44"});
        QVERIFY2(many.ok, qPrintable(many.error));
        host = std::make_unique<PanelHost>();
        PanelHost& h = *host;
        QVERIFY(openExport(h, many.exportPath));

        QVERIFY(h.click(QStringLiteral("tabMarkers")));
        QVERIFY(h.waitItem(QStringLiteral("markerRow_0")));
        QQuickItem* list = h.item(QStringLiteral("markerList"));
        QVERIFY(QTest::qWaitFor([&] { return list->property("count").toInt() == 9; }, 30000));
        QVERIFY(list->property("contentHeight").toDouble() > list->height());
        QVERIFY(QTest::qWaitFor([&] { return h.prop(QStringLiteral("markerScrollTrack"), "opacity").toDouble() == 1.0; }, 30000));
        QQuickItem* thumb = nullptr;
        for (QQuickItem* child : h.item(QStringLiteral("markerScrollTrack"))->childItems()) {
            if (child->objectName() == QLatin1String("scrollThumb"))
                thumb = child;
        }
        QVERIFY(thumb);
        QVERIFY(thumb->height() >= 40);
        QCOMPARE(list->property("contentY").toDouble(), list->property("originY").toDouble());

        // One wheel notch over the track scrolls 60 px; the end is a stop.
        h.wheel(QStringLiteral("markerScrollTrack"), -120);
        QCOMPARE(list->property("contentY").toDouble() - list->property("originY").toDouble(), 60.0);
        for (int i = 0; i < 40; ++i)
            h.wheel(QStringLiteral("markerScrollTrack"), -120);
        const double maxY = list->property("contentHeight").toDouble() - list->height();
        QCOMPARE(list->property("contentY").toDouble() - list->property("originY").toDouble(), maxY);
        for (int i = 0; i < 40; ++i)
            h.wheel(QStringLiteral("markerScrollTrack"), 120);
        QCOMPARE(list->property("contentY").toDouble() - list->property("originY").toDouble(), 0.0);

        // Dragging the thumb scrolls in proportion to the track (once the thumb has slid back
        // to the top).
        QVERIFY(QTest::qWaitFor([&] { return thumb->y() == 0.0; }, 30000));
        const double trackHeight = h.item(QStringLiteral("markerScrollTrack"))->height();
        const double before = list->property("contentY").toDouble();
        const QPoint grab = thumb->mapToScene(QPointF(thumb->width() / 2, thumb->height() / 2)).toPoint();
        QTest::mouseMove(h.view, grab);
        QTest::mousePress(h.view, Qt::LeftButton, Qt::NoModifier, grab);
        for (int step = 1; step <= 10; ++step) {
            const QPoint at = grab + QPoint(0, 10 * step);
            QMouseEvent move(QEvent::MouseMove, at, h.view->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(h.view, &move);
        }
        QTest::mouseRelease(h.view, Qt::LeftButton, Qt::NoModifier, grab + QPoint(0, 100));
        const double expected = 100.0 / trackHeight * list->property("contentHeight").toDouble();
        QVERIFY2(qAbs(list->property("contentY").toDouble() - before - expected) < 2.0,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(before).arg(list->property("contentY").toDouble()).arg(expected)));

        // Alarms: six tiles do not fit either.
        QVERIFY(h.click(QStringLiteral("tabAlarms")));
        QVERIFY(h.waitItem(QStringLiteral("alarmTile_0")));
        QVERIFY(QTest::qWaitFor([&] { return h.prop(QStringLiteral("alarmScrollTrack"), "opacity").toDouble() == 1.0; }, 30000));
    }

    void inTheMainWindow()
    {
        const zrtest::GeneratedExport one = generator.generate(
            {"--days", "1", "--cameras", "1", "--minutes", "1", "--alarms", "1", "--size", "192x108", "--seed", "55"});
        QVERIFY2(one.ok, qPrintable(one.error));

        auto window = std::make_unique<ZR_Player_qmlpresentation>(nullptr);
        window->setMinimumSize(1600, 900);
        window->resize(1600, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), 30000));
        host = std::make_unique<PanelHost>(window.get());
        PanelHost& h = *host;
        QVERIFY(h.root());
        QVERIFY(h.waitItem(QStringLiteral("foldButton")));
        QCOMPARE(window->get_splitter()->sizes().first(), 350);

        // The window follows the panel: 100 px folded, 350 px open.
        QVERIFY(h.click(QStringLiteral("foldButton")));
        QVERIFY(QTest::qWaitFor([&] { return window->get_splitter()->sizes().first() == 100; }, 30000));
        QCOMPARE(window->get_splitter()->sizes().at(1), window->width() - 100 - window->get_splitter()->handleWidth());
        QVERIFY(QTest::qWaitFor([&] { return h.root()->width() == 100.0; }, 30000));
        QVERIFY(h.click(QStringLiteral("foldedTabAlarms")));
        QVERIFY(QTest::qWaitFor([&] { return window->get_splitter()->sizes().first() == 350; }, 30000));
        QVERIFY(QTest::qWaitFor([&] { return h.root()->width() == 350.0; }, 30000));

        // An alarm tile plays in the window's own display.
        QVERIFY(h.click(QStringLiteral("tabHome")));
        QVERIFY(openExport(h, one.exportPath));
        QVERIFY(h.click(QStringLiteral("tabAlarms")));
        QVERIFY(h.waitItem(QStringLiteral("alarmTile_0")));
        const QString stamp = one.cameras.first().alarms.first().datetime;
        QVERIFY(h.click(QStringLiteral("alarmTile_0")));
        QVERIFY(QTest::qWaitFor([&] {
            const zrtest::FrameMarker marker = zrtest::readFrameMarker(h.canvas->current_image());
            return marker.found && marker.time.toString(QStringLiteral("HHmmss")) == stamp.mid(8);
        }, 60000));

        // The view goes with its window.
        QList<QQmlError> warnings = h.engineWarnings;
        host.reset();
        window.reset();
        QStringList mine;
        for (const QQmlError& error : warnings) {
            for (const char* file : {"SidePanel.qml", "HomePanel.qml", "CustomCalendar.qml", "AlarmsPanel.qml", "MarkersPanel.qml"}) {
                if (error.url().toString().endsWith(QLatin1String(file)))
                    mine << error.toString();
            }
        }
        QVERIFY2(mine.isEmpty(), qPrintable(mine.join(QLatin1Char('\n'))));
    }

    void calendarReadsDateForms_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("available");
        // QML expressions giving availableDates.
        QTest::newRow("json array") << QStringLiteral("'[\"2025-01-05\",\"2025-02-10\"]'")
                                    << QStringList({"2025-01-05", "2025-02-10"});
        QTest::newRow("json string") << QStringLiteral("'\"2025-01-05\"'") << QStringList({"2025-01-05"});
        QTest::newRow("separated text") << QStringLiteral("'2025-1-5, 2025/01/06;2025-01-07  2025-01-08'")
                                        << QStringList({"2025-01-05", "2025-01-06", "2025-01-07", "2025-01-08"});
        QTest::newRow("array of texts and dates") << QStringLiteral("['2025/1/5', new Date(2025, 0, 6, 12)]")
                                                  << QStringList({"2025-01-05", "2025-01-06"});
        QTest::newRow("set") << QStringLiteral("new Set(['2025-01-05', '2025-01-09'])")
                             << QStringList({"2025-01-05", "2025-01-09"});
    }

    void calendarReadsDateForms()
    {
        QFETCH(QString, expression);
        QFETCH(QStringList, available);
        QQmlEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/qml/Zrplayer/"));
        connect(&engine, &QQmlEngine::warnings, this, [](const QList<QQmlError>& list) {
            for (const QQmlError& e : list)
                qWarning().noquote() << e.toString();
        });
        QQmlComponent component(&engine);
        component.setData(QStringLiteral("import QtQuick\nimport PlayerZrNova 1.0\nCustomCalendar { width: 280; "
                                         "currentMonth: new Date(2024, 5, 1); availableDates: %1 }\n")
                              .arg(expression).toUtf8(),
                          QUrl(QStringLiteral("qrc:/qml/Zrplayer/PlayerZrNova/CalendarHost.qml")));
        std::unique_ptr<QObject> calendar(component.create());
        QVERIFY2(calendar, qPrintable(component.errorString()));
        for (const char* day : {"2025-01-05", "2025-01-06", "2025-01-07", "2025-01-08", "2025-01-09", "2025-02-10",
                                   "2025-01-10"}) {
            QVariant result;
            QVERIFY(QMetaObject::invokeMethod(calendar.get(), "isAvailable", Q_RETURN_ARG(QVariant, result),
                                              Q_ARG(QVariant, QVariant(day))));
            QCOMPARE(result.toBool(), available.contains(day));
        }
        // The month shown moves to the first month with recordings.
        QCOMPARE(calendar->property("currentMonth").toDateTime().date(), QDate(2025, 1, 1));
    }
};

ZR_TEST_MAIN_QML(TestSidePanel)
#include "tst_sidepanel.moc"

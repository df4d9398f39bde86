//! labels: qml
#include "player/PlayerResources.h"
#include "tests/support/QmlWarningCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QtTest>

#include <memory>

namespace {

// Stands in for the interface controller: records the read times the module asks for.
class ReadTimeRecorder : public QObject
{
    Q_OBJECT
public:
    QStringList calls;
    Q_INVOKABLE void set_zrstream_reader_read_timestamp(const QString& timestamp) { calls << timestamp; }
};

const QStringList kIcons = {
    "alarm", "arrow_down", "arrow_down_white", "arrow_up", "arrow_up_white", "backward", "camera", "check",
    "checkbox_checked", "checkbox_checked_white", "checkbox_unchecked", "checkbox_unchecked_white",
    "double-chevron", "export", "folder", "folder_open", "folder_open_white", "folder_white", "forward", "home",
    "mark", "minimize", "minus-10", "minus-30", "minus-5", "more-10", "more-30", "more-5", "pause", "play",
    "refresh", "screenshot", "settings", "step_backward", "step_forward", "stop"};

// The views live in the module's folder; a host placed there resolves their imports alike.
const QUrl kHostUrl(QStringLiteral("qrc:/qml/Zrplayer/PlayerZrNova/TestHost.qml"));

QObject* findObject(QObject* root, const QString& name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    if (auto* item = qobject_cast<QQuickItem*>(root)) {
        for (QQuickItem* child : item->childItems()) {
            if (QObject* found = findObject(child, name))
                return found;
        }
    }
    if (auto* window = qobject_cast<QQuickWindow*>(root)) {
        if (QObject* found = findObject(window->contentItem(), name))
            return found;
    }
    for (QObject* child : root->children()) {
        if (QObject* found = findObject(child, name))
            return found;
    }
    return nullptr;
}

QPointF sceneCenter(QQuickItem* item)
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
}

} // namespace

class TestQmlModule : public QObject
{
    Q_OBJECT

    // Every warning counts, not only the QML ones.
    std::unique_ptr<zrtest::QmlWarningCatcher> warnings;
    std::unique_ptr<QQmlEngine> engine;

    std::unique_ptr<QObject> create(const QByteArray& qml)
    {
        QQmlComponent component(engine.get());
        component.setData(qml, kHostUrl);
        std::unique_ptr<QObject> object(component.create());
        if (!object)
            qWarning() << "component errors:" << component.errorString();
        return object;
    }

private slots:
    void initTestCase()
    {
        init_player_resources();
        warnings = std::make_unique<zrtest::QmlWarningCatcher>();
    }

    void init()
    {
        engine = std::make_unique<QQmlEngine>();
        engine->addImportPath(QStringLiteral("qrc:/qml/Zrplayer/"));
        warnings->clear();
    }

    void cleanup()
    {
        engine.reset();
        ZR_VERIFY_NO_WARNINGS(*warnings);
    }

    void cleanupTestCase() { warnings.reset(); }

    void resourceLayout()
    {
        for (const char* path : {"PlayerZrNova/qmldir", "PlayerZrNova/AppState.qml", "PlayerZrNova/MockBackend.qml",
                                 "PlayerZrNova/styles/Colors.qml", "PlayerZrNova/styles/Theme.qml",
                                 "PlayerZrNova/styles/Typography.qml", "PlayerZrNova/fake_qml/fake_main.qml",
                                 "PlayerZrNova/components/ButtonControl.qml", "PlayerZrNova/components/ButtonTab.qml",
                                 "PlayerZrNova/components/ButtonCamera.qml", "PlayerZrNova/components/ButtonZrNova.qml",
                                 "PlayerZrNova/components/SwitchZrNova.qml",
                                 "PlayerZrNova/components/SeparatorZrNova.qml"}) {
            QVERIFY2(QFile::exists(QStringLiteral(":/qml/Zrplayer/") + QLatin1String(path)), path);
        }
        QFile qmldir(QStringLiteral(":/qml/Zrplayer/PlayerZrNova/qmldir"));
        QVERIFY(qmldir.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(qmldir.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.mid(0, 3), QStringList({"module PlayerZrNova", "singleton AppState 1.0 AppState.qml",
                                               "singleton MockBackend 1.0 MockBackend.qml"}));
        for (const char* type : {"Controls", "CustomCalendar", "SidePanel", "TimelineView", "HomePanel", "AlarmsPanel",
                                 "MarkersPanel"})
            QVERIFY(lines.contains(QStringLiteral("%1 1.0 %1.qml").arg(QLatin1String(type))));
    }

    void iconsAreDrawableSvg()
    {
        QDir icons(QStringLiteral(":/qml/Zrplayer/resources/icons"));
        QStringList expected;
        for (const QString& name : kIcons)
            expected << name + QStringLiteral(".svg");
        expected.sort();
        QCOMPARE(icons.entryList(QDir::Files, QDir::Name), expected);

        for (const QString& name : kIcons) {
            QSvgRenderer renderer(icons.filePath(name + QStringLiteral(".svg")));
            QVERIFY2(renderer.isValid(), qPrintable(name));
            QImage image(48, 48, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            renderer.render(&painter);
            painter.end();
            int drawn = 0;
            int light = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb pixel = image.pixel(x, y);
                    if (qAlpha(pixel) > 128) {
                        ++drawn;
                        if (qGray(pixel) > 200)
                            ++light;
                    }
                }
            }
            QVERIFY2(drawn > 20, qPrintable(name));
            // The dark icons have a white twin; every other icon is drawn for the dark panels.
            const bool hasWhiteTwin = kIcons.contains(name + QStringLiteral("_white"));
            QVERIFY2(hasWhiteTwin ? light == 0 : light == drawn, qPrintable(name));
        }
    }

    void moduleSingletonsAndStyles()
    {
        auto object = create(R"(
import QtQuick
import PlayerZrNova 1.0
import "styles"
QtObject {
    property QtObject app: AppState
    property QtObject mock: MockBackend
    property color themePrimary: Theme.colors.primary
    property int typographyHuge: Theme.typography.fontSize.huge
    property color primary: Colors.primary
    property color timelineAlarm: Colors.timelineAlarm
    property color themeSurface: Theme.colors.surface
    property int spacingLarge: Theme.spacing.large
    property int radiusRound: Theme.radius.round
    property int slow: Theme.animations.slow
    property int bounce: Theme.animations.easing.bounce
    property int cardRadius: Theme.components.card.radius
    property string buttonText: Theme.components.button.text
    property int huge: Typography.fontSize.huge
    property int h3Weight: Typography.heading.h3.weight
    property real captionSpacing: Typography.caption.letterSpacing
    property string family: Typography.fontFamily
}
)");
        QVERIFY(object);
        QCOMPARE(object->property("app").value<QObject*>()->objectName(), QStringLiteral("appState"));
        QCOMPARE(object->property("mock").value<QObject*>()->objectName(), QStringLiteral("mockBackend"));
        QCOMPARE(object->property("primary").value<QColor>(), QColor("#202020"));
        QCOMPARE(object->property("themePrimary").value<QColor>(), QColor("#202020"));
        QCOMPARE(object->property("typographyHuge").toInt(), 32);
        QCOMPARE(object->property("timelineAlarm").value<QColor>(), QColor("#F44336"));
        QCOMPARE(object->property("themeSurface").value<QColor>(), QColor("#393939"));
        QCOMPARE(object->property("spacingLarge").toInt(), 24);
        QCOMPARE(object->property("radiusRound").toInt(), 999);
        QCOMPARE(object->property("slow").toInt(), 350);
        QCOMPARE(object->property("bounce").toInt(), int(QEasingCurve::OutBounce));
        QCOMPARE(object->property("cardRadius").toInt(), 8);
        QCOMPARE(QColor(object->property("buttonText").toString()), QColor("#FFFFFF"));
        QCOMPARE(object->property("huge").toInt(), 32);
        QCOMPARE(object->property("h3Weight").toInt(), int(QFont::DemiBold));
        QCOMPARE(object->property("captionSpacing").toDouble(), 0.4);
        QCOMPARE(object->property("family").toString(), QStringLiteral("Helvetica, Arial, sans-serif"));
    }

    void appStateClockAndController()
    {
        ReadTimeRecorder controller;
        engine->rootContext()->setContextProperty(QStringLiteral("videoWidget"), &controller);
        auto object = create("import QtQuick\nimport PlayerZrNova 1.0\nQtObject { property QtObject app: AppState }\n");
        QVERIFY(object);
        QObject* app = object->property("app").value<QObject*>();
        QVERIFY(app);
        QSignalSpy seeks(app, SIGNAL(seekTo(int)));

        // A start time that is not a usable number starts at 08:00.
        QMetaObject::invokeMethod(app, "startPlaybackAt", Q_ARG(QVariant, QVariant(-5)));
        QCOMPARE(app->property("videoStartTime").toInt(), 28800000);
        QVERIFY(app->property("isPlaying").toBool());
        QCOMPARE(controller.calls, QStringList({"28800000"}));
        QMetaObject::invokeMethod(app, "startPlaybackAt", Q_ARG(QVariant, QVariant(QStringLiteral("abc"))));
        QCOMPARE(app->property("videoStartTime").toInt(), 28800000);

        // The clock runs while playing.
        QVERIFY(zrtest::waitUntil([&] { return app->property("elapsedTime").toInt() >= 200; }));
        const int position = app->property("calculatedPosition").toInt();
        QVERIFY(position >= 28800200 && position < 28900000);
        QVERIFY(app->property("updateCounter").toInt() > 2);

        // Seeking while playing restarts the clock at the new place and asks the controller.
        controller.calls.clear();
        QMetaObject::invokeMethod(app, "seekToPosition", Q_ARG(QVariant, QVariant(1000)));
        QCOMPARE(seeks.count(), 1);
        QCOMPARE(seeks.at(0).at(0).toInt(), 1000);
        QCOMPARE(controller.calls, QStringList({"1000"}));
        QVERIFY(app->property("calculatedPosition").toInt() < 60000);

        // Pausing keeps the elapsed time.
        app->setProperty("isPlaying", false);
        const int paused = app->property("elapsedTime").toInt();
        QTest::qWait(250);
        QCOMPARE(app->property("elapsedTime").toInt(), paused);
        QCOMPARE(app->property("pausedElapsedTime").toInt(), paused);

        // The position wraps at the end of the day.
        app->setProperty("videoStartTime", 86399999 + 10);
        app->setProperty("elapsedTime", 0);
        QCOMPARE(app->property("calculatedPosition").toInt(), 10);

        QMetaObject::invokeMethod(app, "clearState");
        QVERIFY(!app->property("isPlaying").toBool());
        QCOMPARE(app->property("currentVideo").toString(), QString());
        QCOMPARE(app->property("calculatedPosition").toInt(), 0);

        // Loading a video seeks on the next turn of the event loop.
        QVariant loaded;
        QMetaObject::invokeMethod(app, "loadVideo", Q_RETURN_ARG(QVariant, loaded), Q_ARG(QVariant, QVariant(QString())),
                                  Q_ARG(QVariant, QVariant(5000)));
        QCOMPARE(loaded.toBool(), false);
        controller.calls.clear();
        QMetaObject::invokeMethod(app, "loadVideo", Q_RETURN_ARG(QVariant, loaded),
                                  Q_ARG(QVariant, QVariant(QStringLiteral("day.mp4"))), Q_ARG(QVariant, QVariant(5000)));
        QCOMPARE(loaded.toBool(), true);
        QCOMPARE(app->property("currentVideo").toString(), QStringLiteral("day.mp4"));
        QVERIFY(zrtest::waitUntil([&] { return app->property("videoStartTime").toInt() == 5000; }));
        QVERIFY(app->property("isPlaying").toBool());
        QVERIFY(controller.calls.contains(QStringLiteral("5000")));
        QMetaObject::invokeMethod(app, "clearState");
    }

    void appStateWithoutController()
    {
        auto object = create("import QtQuick\nimport PlayerZrNova 1.0\nQtObject { property QtObject app: AppState }\n");
        QVERIFY(object);
        QObject* app = object->property("app").value<QObject*>();
        QMetaObject::invokeMethod(app, "startPlaybackAt", Q_ARG(QVariant, QVariant(3600000)));
        QCOMPARE(app->property("videoStartTime").toInt(), 3600000);
        QMetaObject::invokeMethod(app, "clearState");
    }

    void mockBackendSampleData()
    {
        auto object = create("import QtQuick\nimport PlayerZrNova 1.0\n"
                             "QtObject { property QtObject app: AppState; property QtObject mock: MockBackend }\n");
        QVERIFY(object);
        QObject* app = object->property("app").value<QObject*>();
        QObject* mock = object->property("mock").value<QObject*>();
        QCOMPARE(mock->property("currentFolder").toString(), QString());
        QVariant videos;
        QMetaObject::invokeMethod(mock, "getCurrentVideos", Q_RETURN_ARG(QVariant, videos));
        QCOMPARE(videos.toList().size(), 0);

        QSignalSpy updated(mock, SIGNAL(dataUpdated()));
        QVariant dates;
        QMetaObject::invokeMethod(mock, "selectFolder", Q_RETURN_ARG(QVariant, dates),
                                  Q_ARG(QVariant, QVariant(QStringLiteral("/exports/demo"))));
        const QStringList days = dates.toStringList();
        QCOMPARE(days.size(), 3);
        QVERIFY(std::is_sorted(days.begin(), days.end()));
        QVERIFY(updated.count() >= 2);
        QVERIFY(days.contains(mock->property("currentDate").toString()));
        QVERIFY(!app->property("currentCamera").toString().isEmpty());
        QCOMPARE(app->property("currentAlarms").toList().size(), 2);

        QVariant cameras;
        QMetaObject::invokeMethod(mock, "getCamerasForDate", Q_RETURN_ARG(QVariant, cameras),
                                  Q_ARG(QVariant, QVariant(days.first())));
        QCOMPARE(cameras.toStringList().size(), 2);
        QMetaObject::invokeMethod(mock, "selectCamera", Q_ARG(QVariant, QVariant(QStringLiteral("unknown"))));
        QCOMPARE(mock->property("currentCamera").toString(),
                 [&] {
                     QVariant own;
                     QMetaObject::invokeMethod(mock, "getCamerasForDate", Q_RETURN_ARG(QVariant, own),
                                               Q_ARG(QVariant, mock->property("currentDate")));
                     return own.toStringList().first();
                 }());

        const QString base = mock->property("videoBasePath").toString();
        const QList<QPair<QString, QString>> paths = {{"/abs/v.mp4", "/abs/v.mp4"},
                                                      {"resources/videos/a.mp4", base + "a.mp4"},
                                                      {"b.mp4", base + "b.mp4"}};
        for (const auto& [in, out] : paths) {
            QVariant converted;
            QMetaObject::invokeMethod(mock, "convertVideoPath", Q_RETURN_ARG(QVariant, converted), Q_ARG(QVariant, in));
            QCOMPARE(converted.toString(), out);
        }
        QMetaObject::invokeMethod(app, "clearState");
    }

    void controlsLoadAndBehave()
    {
        auto object = create(R"(
import QtQuick
import "components"
Window {
    width: 600
    height: 1000
    visible: true
    color: "black"
    Column {
        spacing: 4
        ButtonControl { objectName: "withIcon"; iconSource: "play"; tooltipText: "Lecture" }
        ButtonControl { objectName: "withLabel"; labelText: "x2" }
        ButtonTab { objectName: "tab"; iconSource: "qrc:/qml/Zrplayer/resources/icons/home.svg" }
        ButtonCamera { objectName: "noCamera"; model: [] }
        ButtonCamera { objectName: "threeCameras"; model: [{ camera: "Entrée" }, { camera: "Hall Nord" }, { camera: "Quai" }] }
        ButtonCamera {
            objectName: "manyCameras"
            model: { var list = []; for (var i = 0; i < 12; ++i) list.push({ camera: "Caméra " + i }); return list }
        }
        ButtonZrNova { objectName: "folderButton"; iconSource: "folder_white"; text: "Aucun dossier sélectionné" }
        Item {
            width: 200
            height: 10
            SeparatorZrNova { objectName: "separator" }
        }
        SwitchZrNova { objectName: "switch" }
    }
}
)");
        QVERIFY(object);
        auto* window = qobject_cast<QQuickWindow*>(object.get());
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(window));

        // ButtonControl: the icon when named, else the label.
        auto* withIcon = qobject_cast<QQuickItem*>(findObject(window, "withIcon"));
        QVERIFY(withIcon);
        QCOMPARE(withIcon->size(), QSizeF(40, 40));
        auto* icon = qobject_cast<QQuickItem*>(findObject(withIcon, "buttonControlIcon"));
        QVERIFY(icon && icon->isVisible());
        QCOMPARE(icon->property("status").toInt(), 1); // Image.Ready
        QVERIFY(!qobject_cast<QQuickItem*>(findObject(withIcon, "buttonControlLabel"))->isVisible());
        auto* withLabel = findObject(window, "withLabel");
        auto* label = qobject_cast<QQuickItem*>(findObject(withLabel, "buttonControlLabel"));
        QVERIFY(label->isVisible());
        QCOMPARE(label->property("text").toString(), QStringLiteral("x2"));
        QVERIFY(!qobject_cast<QQuickItem*>(findObject(withLabel, "buttonControlIcon"))->isVisible());

        QCOMPARE(findObject(findObject(window, "tab"), "buttonTabIcon")->property("status").toInt(), 1);

        // Hovering shows the tool tip after its delay (and must not warn).
        QTest::mouseMove(window, sceneCenter(withIcon).toPoint());
        QVERIFY(zrtest::waitUntil([&] { return withIcon->property("hovered").toBool(); }));
        QTest::qWait(700);
        QTest::mouseMove(window, QPoint(590, 990));

        // An empty camera list: placeholder in grey, and a click opens nothing.
        auto* noCamera = qobject_cast<QQuickItem*>(findObject(window, "noCamera"));
        QCOMPARE(findObject(noCamera, "buttonCameraText")->property("text").toString(), QStringLiteral("Aucune caméra"));
        QVERIFY(!findObject(noCamera, "buttonCameraCombo")->property("enabled").toBool());
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(noCamera).toPoint());
        QTest::qWait(50);
        QVERIFY(!findObject(noCamera, "buttonCameraPopup")->property("visible").toBool());

        // Three cameras: a drop-down of three 48-pixel rows; choosing one reports its index.
        auto* three = qobject_cast<QQuickItem*>(findObject(window, "threeCameras"));
        QCOMPARE(three->property("displayText").toString(), QStringLiteral("Entrée"));
        QSignalSpy changed(three, SIGNAL(cameraChanged(int)));
        QObject* popup = findObject(three, "buttonCameraPopup");
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(three).toPoint());
        QVERIFY(zrtest::waitUntil([&] { return popup->property("opened").toBool(); }));
        QCOMPARE(popup->property("height").toReal(), 144.0);
        // Everything fits: no scroll bar.
        QObject* threeBar = findObject(popup, "buttonCameraScrollBar");
        QVERIFY(threeBar);
        QVERIFY(!threeBar->property("visible").toBool());
        QQuickItem* row = nullptr;
        QVERIFY(zrtest::waitUntil([&] {
            row = qobject_cast<QQuickItem*>(findObject(window->contentItem(), "buttonCameraRow2"));
            return row && row->isVisible() && row->height() == 48;
        }));
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(row).toPoint());
        QVERIFY(zrtest::waitUntil([&] { return !popup->property("visible").toBool(); }));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 2);
        QCOMPARE(three->property("displayText").toString(), QStringLiteral("Quai"));
        // A second click on the button toggles the list shut again.
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(three).toPoint());
        QVERIFY(zrtest::waitUntil([&] { return popup->property("opened").toBool(); }));
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(three).toPoint());
        QVERIFY(zrtest::waitUntil([&] { return !popup->property("visible").toBool(); }));

        // Twelve cameras: eight rows at most (or half the screen), the rest scrolls.
        auto* many = qobject_cast<QQuickItem*>(findObject(window, "manyCameras"));
        QObject* manyPopup = findObject(many, "buttonCameraPopup");
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(many).toPoint());
        QVERIFY(zrtest::waitUntil([&] { return manyPopup->property("opened").toBool(); }));
        const qreal expected = qMin(384.0, window->screen()->size().height() / 2.0);
        QCOMPARE(manyPopup->property("height").toReal(), expected);
        QObject* manyBar = findObject(manyPopup, "buttonCameraScrollBar");
        QVERIFY(manyBar);
        QVERIFY(zrtest::waitUntil([&] { return manyBar->property("visible").toBool(); }));
        QCOMPARE(manyBar->property("opacity").toReal(), 0.3);
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(zrtest::waitUntil([&] { return !manyPopup->property("visible").toBool(); }));

        // ButtonZrNova reports clicks.
        auto* folder = qobject_cast<QQuickItem*>(findObject(window, "folderButton"));
        QCOMPARE(findObject(folder, "buttonZrNovaText")->property("text").toString(),
                 QStringLiteral("Aucun dossier sélectionné"));
        QCOMPARE(findObject(folder, "buttonZrNovaIcon")->property("status").toInt(), 1);
        QSignalSpy clicked(folder, SIGNAL(clicked()));
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(folder).toPoint());
        QCOMPARE(clicked.count(), 1);

        // The separator spans its parent's width, one pixel thick.
        auto* separator = qobject_cast<QQuickItem*>(findObject(window, "separator"));
        QCOMPARE(separator->size(), QSizeF(200, 1));

        // SwitchZrNova: toggled by the operator or by its function, reported either way.
        auto* toggle = qobject_cast<QQuickItem*>(findObject(window, "switch"));
        QCOMPARE(toggle->size(), QSizeF(35, 18));
        QSignalSpy toggled(toggle, SIGNAL(stateToggled(bool)));
        QMetaObject::invokeMethod(toggle, "toggle");
        QVERIFY(toggle->property("checked").toBool());
        QVERIFY(toggle->property("customChecked").toBool());
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.at(0).at(0).toBool(), true);
        QTest::mouseClick(window, Qt::LeftButton, {}, sceneCenter(toggle).toPoint());
        QVERIFY(!toggle->property("checked").toBool());
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(toggled.at(1).at(0).toBool(), false);
    }

    void fakeMainLoads()
    {
        QQmlComponent component(engine.get(), QUrl(QStringLiteral("qrc:/qml/Zrplayer/PlayerZrNova/fake_qml/fake_main.qml")));
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QCOMPARE(object->objectName(), QStringLiteral("fakeMain"));
    }
};

ZR_TEST_MAIN_QML(TestQmlModule)
#include "tst_qmlmodule.moc"

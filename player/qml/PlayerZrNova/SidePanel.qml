import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import PlayerZrNova 1.0
import "."
import "components"

// Left side of the player: folder, day and camera choice, alarms and markers. Folds to a
// narrow strip of tab buttons; the main window follows panelStateChanged to resize it.
Item {
    id: panel
    objectName: "sidePanel"

    property bool panelOpen: true
    property int expandedWidth: 350
    property int collapsedWidth: 100
    property var _videoWidget: null

    signal panelStateChanged(bool isOpen)

    readonly property int currentPage: tabBar.currentIndex
    readonly property var pageIcons: ["home", "alarm", "mark"]
    readonly property var pageNames: ["Home", "Alarms", "Markers"]

    function iconUrl(name) {
        return "qrc:/qml/Zrplayer/resources/icons/" + name + ".svg"
    }

    function showPage(index) {
        tabBar.currentIndex = index
        if (!panelOpen) {
            panelOpen = true
            panelStateChanged(true)
        }
    }

    function fold() {
        tabBar.currentIndex = 0
        panelOpen = false
        panelStateChanged(false)
    }

    Behavior on width {
        NumberAnimation { duration: 300; easing.type: Easing.InOutQuad }
    }

    // The tab buttons' checked states follow the index; redraw them once the panel is open.
    onPanelOpenChanged: {
        if (panelOpen) {
            Qt.callLater(function() {
                var index = tabBar.currentIndex
                tabBar.currentIndex = -1
                tabBar.currentIndex = index
            })
        }
    }

    Component.onCompleted: {
        if (typeof videoWidget !== "undefined" && videoWidget) {
            _videoWidget = videoWidget
            console.log("[SidePanel] videoWidget global injecté =", videoWidget)
            alarmsPage.videoWidget = _videoWidget
            markersPage.videoWidget = _videoWidget
        } else {
            console.error("[SidePanel] videoWidget global INEXISTANT dans ce contexte !")
        }
    }

    Rectangle {
        anchors.fill: parent
        color: "#1E1E1E"
    }

    // Right edge line.
    Item {
        objectName: "sidePanelEdge"
        anchors.right: parent.right
        y: 15
        width: 1
        height: parent.height * 0.8
        SeparatorZrNova {
            vertical: true
            borderColor: "#A0A0A0"
        }
    }

    // Holds the current page: 0 home, 1 alarms, 2 markers.
    TabBar {
        id: tabBar
        objectName: "tabBar"
        visible: false
        currentIndex: 0
        TabButton { text: "home" }
        TabButton { text: "alarms" }
        TabButton { text: "markers" }
    }

    ListModel {
        id: cameraModel
        objectName: "cameraModel"
    }

    component PageTab: ButtonTab {
        property int page: 0
        readonly property bool current: tabBar.currentIndex === page
        iconSource: panel.iconUrl(panel.pageIcons[page])
        checked: current
        borderColor: current ? "white" : "transparent"
        backgroundColor: current ? "#1E1E1E" : "transparent"
        onClicked: {
            panel.showPage(page)
            // A click toggles the button by itself; the index decides.
            checked = Qt.binding(function() { return tabBar.currentIndex === page })
        }
    }

    // Unfolded: navigation row with the tabs and the fold button.
    Item {
        id: navigationRow
        objectName: "navigationRow"
        visible: panel.panelOpen
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 19
        anchors.rightMargin: 19
        anchors.topMargin: 10
        height: 60

        Row {
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            Repeater {
                model: 3
                PageTab {
                    objectName: "tab" + panel.pageNames[index]
                    page: index
                }
            }
        }

        Rectangle {
            id: foldButton
            objectName: "foldButton"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            width: 48
            height: 48
            radius: 10
            color: foldMouse.pressed ? "#CCCCCC" : (foldMouse.containsMouse ? "#3E3E3E" : "transparent")

            Image {
                anchors.centerIn: parent
                width: 30
                height: 30
                sourceSize.width: 30
                sourceSize.height: 30
                fillMode: Image.PreserveAspectFit
                source: panel.iconUrl("minimize")
            }

            MouseArea {
                id: foldMouse
                anchors.fill: parent
                hoverEnabled: true
                onClicked: panel.fold()
            }
        }
    }

    // Folded: the same tabs in a centred column.
    Column {
        id: foldedColumn
        objectName: "foldedColumn"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.topMargin: 40
        spacing: 20
        visible: opacity > 0
        // Fading views take no clicks meant for the other one.
        enabled: !panel.panelOpen
        opacity: panel.panelOpen ? 0 : 1
        Behavior on opacity { NumberAnimation { duration: 200 } }

        Repeater {
            model: 3
            PageTab {
                objectName: "foldedTab" + panel.pageNames[index]
                page: index
            }
        }
    }

    // Unfolded: camera chooser above the current page.
    Rectangle {
        id: contentArea
        objectName: "contentArea"
        anchors.top: navigationRow.bottom
        anchors.topMargin: 30
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.rightMargin: 1
        color: "#1A1A1A"
        radius: 10
        visible: opacity > 0
        enabled: panel.panelOpen
        opacity: panel.panelOpen ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 200 } }

        // Rounded at the top only.
        Rectangle {
            anchors.bottom: parent.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            height: Math.min(parent.radius, parent.height)
            color: parent.color
        }

        ButtonCamera {
            id: cameraChooser
            objectName: "cameraChooser"
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.margins: 19
            width: parent.width - 38
            radius: 8
            model: cameraModel

            onCameraChanged: (index) => {
                if (index >= 0 && index < cameraModel.count && panel._videoWidget)
                    panel._videoWidget.set_selected_camera(cameraModel.get(index).camera)
            }
        }

        StackLayout {
            id: pageStack
            objectName: "pageStack"
            anchors.top: cameraChooser.bottom
            anchors.topMargin: 19
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.leftMargin: 10
            anchors.rightMargin: 10
            anchors.bottomMargin: 10
            currentIndex: Math.max(0, tabBar.currentIndex)

            HomePanel {
                id: homePage
                objectName: "homePanel"
                cameraModel: cameraModel
                cameraChooser: cameraChooser
            }

            AlarmsPanel {
                id: alarmsPage
                objectName: "alarmsPanel"
            }

            MarkersPanel {
                id: markersPage
                objectName: "markersPanel"
            }
        }
    }
}

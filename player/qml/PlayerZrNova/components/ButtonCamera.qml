import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Window

// The camera chooser: the current camera's name on a wide button that opens a list.
Rectangle {
    id: root

    property alias model: combo.model
    property alias currentIndex: combo.currentIndex
    property alias count: combo.count
    property alias displayText: combo.displayText
    property string placeholderText: "Aucune caméra"

    readonly property int rowHeight: 48
    readonly property int maxVisibleRows: 8
    readonly property real screenHeight: Screen.height

    signal cameraChanged(int index)

    width: 220
    height: 48
    color: "transparent"
    border.color: "grey"
    border.width: 1
    radius: 10

    Rectangle {
        objectName: "buttonCameraTint"
        anchors.fill: parent
        radius: root.radius
        color: mouseArea.pressed ? Qt.rgba(128 / 255, 128 / 255, 128 / 255, 0.25)
               : (mouseArea.containsMouse ? Qt.rgba(128 / 255, 128 / 255, 128 / 255, 0.15) : "transparent")
    }

    ComboBox {
        id: combo
        objectName: "buttonCameraCombo"
        anchors.fill: parent
        textRole: "camera"
        enabled: count > 0
        onCurrentIndexChanged: root.cameraChanged(currentIndex)

        indicator: null
        background: Item {}

        contentItem: Row {
            leftPadding: 15
            rightPadding: 15
            spacing: 12

            Image {
                anchors.verticalCenter: parent.verticalCenter
                width: 18
                height: 18
                sourceSize.width: 18
                sourceSize.height: 18
                source: "qrc:/qml/Zrplayer/resources/icons/camera.svg"
                opacity: combo.enabled ? 1.0 : 0.5
            }

            Item {
                width: 1
                height: combo.height
                SeparatorZrNova {
                    vertical: true
                }
            }

            Text {
                objectName: "buttonCameraText"
                anchors.verticalCenter: parent.verticalCenter
                width: combo.width - x - 15
                text: combo.count > 0 ? combo.displayText : root.placeholderText
                color: combo.count > 0 ? "white" : "grey"
                font.pixelSize: 14
                elide: Text.ElideRight
                maximumLineCount: 1
            }
        }

        delegate: ItemDelegate {
            id: row
            objectName: "buttonCameraRow" + index
            width: combo.width
            height: root.rowHeight
            highlighted: combo.highlightedIndex === index
            padding: 0

            contentItem: Row {
                leftPadding: 15
                rightPadding: 15
                spacing: 12

                Image {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 18
                    height: 18
                    sourceSize.width: 18
                    sourceSize.height: 18
                    source: "qrc:/qml/Zrplayer/resources/icons/camera.svg"
                }

                Item {
                    width: 1
                    height: row.height
                    SeparatorZrNova {
                        vertical: true
                    }
                }

                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    width: row.width - x - 15
                    text: combo.textAt(index)
                    color: row.highlighted ? "#ffffff" : "#dddddd"
                    font.pixelSize: 14
                    elide: Text.ElideRight
                    maximumLineCount: 1
                }
            }

            background: Rectangle {
                color: "#1A1A1A"
            }
        }

        popup: Popup {
            objectName: "buttonCameraPopup"
            y: combo.height
            width: combo.width
            height: Math.min(combo.count * root.rowHeight,
                             Math.min(root.screenHeight / 2, root.maxVisibleRows * root.rowHeight))
            padding: 0
            // Takes the keyboard while open, so that Escape reaches it.
            focus: true
            // A press on the button itself is left to its own toggle.
            closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent

            contentItem: Item {
                implicitHeight: list.contentHeight

                ListView {
                    id: list
                    anchors.fill: parent
                    objectName: "buttonCameraList"
                    clip: true
                    implicitHeight: contentHeight
                    model: combo.popup.visible ? combo.delegateModel : null
                    currentIndex: combo.highlightedIndex
                    boundsBehavior: Flickable.StopAtBounds

                    ScrollBar.vertical: ScrollBar {
                        id: scrollBar
                        objectName: "buttonCameraScrollBar"
                        policy: ScrollBar.AsNeeded
                        visible: size < 1.0
                        opacity: (scrollBar.hovered || scrollBar.pressed) ? 1.0 : 0.3
                        Behavior on opacity { NumberAnimation { duration: 200 } }
                        contentItem: Rectangle {
                            implicitWidth: 6
                            radius: 3
                            color: "white"
                        }
                    }
                }

                // Drawn over the rows, which cover the whole drop-down.
                Rectangle {
                    anchors.fill: parent
                    color: "transparent"
                    border.color: "white"
                    border.width: 1
                }
            }

            background: Rectangle {
                color: "black"
            }
        }
    }

    MouseArea {
        id: mouseArea
        objectName: "buttonCameraMouse"
        anchors.fill: parent
        hoverEnabled: true
        onReleased: {
            if (!combo.enabled)
                return
            if (combo.popup.visible)
                combo.popup.close()
            else
                combo.popup.open()
        }
    }
}

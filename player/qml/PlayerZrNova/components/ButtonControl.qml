import QtQuick
import QtQuick.Controls.Basic

// A square transport or tool button showing an icon, or a short label when it has none.
Button {
    id: control

    property string iconSource: ""
    property real iconSize: 20
    property bool isHighlighted: false
    property string labelText: ""
    property string tooltipText: ""

    implicitWidth: 40
    implicitHeight: 40
    padding: 0
    hoverEnabled: true

    ToolTip.visible: control.hovered && control.tooltipText !== ""
    ToolTip.text: control.tooltipText
    ToolTip.delay: 500
    ToolTip.timeout: 2000

    contentItem: Item {
        objectName: "buttonControlContent"

        Image {
            id: icon
            objectName: "buttonControlIcon"
            anchors.centerIn: parent
            width: control.iconSize
            height: control.iconSize
            sourceSize.width: control.iconSize
            sourceSize.height: control.iconSize
            fillMode: Image.PreserveAspectFit
            visible: control.iconSource !== ""
            source: control.iconSource !== ""
                    ? "qrc:/qml/Zrplayer/resources/icons/" + control.iconSource + ".svg" : ""
            opacity: control.enabled ? 1.0 : 0.5
        }

        Text {
            objectName: "buttonControlLabel"
            anchors.centerIn: parent
            visible: control.iconSource === ""
            text: control.labelText
            font.pixelSize: 11
            font.bold: true
            color: control.enabled ? "white" : "gray"
        }
    }

    background: Rectangle {
        objectName: "buttonControlBackground"
        color: control.isHighlighted ? "grey"
               : (control.hovered ? Qt.rgba(128 / 255, 128 / 255, 128 / 255, 0.15) : "transparent")
        border.color: "grey"
        border.width: 1
        radius: 10
        opacity: control.pressed ? 0.7 : 1.0
    }
}

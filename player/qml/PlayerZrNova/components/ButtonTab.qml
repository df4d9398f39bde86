import QtQuick
import QtQuick.Controls.Basic

// A square tab of the side panel showing one icon.
TabButton {
    id: control

    property url iconSource
    property color borderColor: "white"
    property color backgroundColor: "transparent"
    property bool noBackground: false

    implicitWidth: 48
    implicitHeight: 48
    width: 48
    height: 48
    padding: 15
    hoverEnabled: true

    contentItem: Item {
        Image {
            objectName: "buttonTabIcon"
            anchors.centerIn: parent
            width: 18
            height: 18
            sourceSize.width: 18
            sourceSize.height: 18
            fillMode: Image.PreserveAspectFit
            source: control.iconSource
        }
    }

    background: Rectangle {
        objectName: "buttonTabBackground"
        visible: !control.noBackground
        color: (control.checked || control.hovered) ? "#3E3E3E" : control.backgroundColor
        border.color: control.borderColor
        border.width: 1
        radius: 10
    }
}

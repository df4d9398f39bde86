import QtQuick

// A thin line across the parent that fades out at both ends.
Item {
    id: separator

    property bool vertical: false
    property color borderColor: "white"
    property real borderWidth: 1

    readonly property color fadedColor: Qt.rgba(borderColor.r, borderColor.g, borderColor.b, 0)

    width: vertical ? borderWidth : (parent ? parent.width : 0)
    height: vertical ? (parent ? parent.height : 0) : borderWidth

    Rectangle {
        objectName: "separatorLine"
        anchors.fill: parent
        gradient: Gradient {
            orientation: separator.vertical ? Gradient.Vertical : Gradient.Horizontal
            GradientStop { position: 0.0; color: separator.fadedColor }
            GradientStop { position: 0.3; color: separator.borderColor }
            GradientStop { position: 0.7; color: separator.borderColor }
            GradientStop { position: 1.0; color: separator.fadedColor }
        }
    }
}

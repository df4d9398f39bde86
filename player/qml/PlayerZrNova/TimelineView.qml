import QtQuick
import QtQuick.Controls.Basic
import PlayerZrNova 1.0
import "."

// The strip under the video: the day's timeline above the time code and the transport controls.
Rectangle {
    id: view
    objectName: "timelineView"

    color: "#1E1E1E"

    readonly property int margin: 5
    readonly property int bottomMargin: 10

    Loader {
        id: timelineLoader
        objectName: "timelineLoader"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: controlsRow.top
        anchors.topMargin: view.margin
        anchors.leftMargin: view.margin
        anchors.rightMargin: view.margin
        source: "Timeline.qml"
    }

    Item {
        id: controlsRow
        objectName: "timelineControlsRow"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: view.margin
        anchors.rightMargin: view.margin
        anchors.bottomMargin: view.bottomMargin
        height: transport.height

        TimeCode {
            id: timeCode
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
        }

        Controls {
            id: transport
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.verticalCenter: parent.verticalCenter
        }
    }
}

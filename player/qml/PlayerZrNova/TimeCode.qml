import QtQuick
import PlayerZrNova 1.0
import "TimeText.js" as TimeText

// The time of the shown frame, "HH:mm:ss".
Item {
    id: timeCode
    objectName: "timeCode"

    width: 120
    height: 40

    // Follows the shared clock until the controller reports its first read time.
    property bool followController: false
    property int controllerPosition: 0
    readonly property int position: followController ? controllerPosition : AppState.calculatedPosition

    function format(ms) {
        var p = ((Math.floor(ms) % 86400000) + 86400000) % 86400000
        var total = Math.floor(p / 1000)
        var h = Math.min(23, Math.floor(total / 3600))
        return TimeText.pad2(h) + ":" + TimeText.pad2(Math.floor(total / 60) % 60) + ":" + TimeText.pad2(total % 60)
    }

    Connections {
        target: typeof videoWidget !== "undefined" ? videoWidget : null
        ignoreUnknownSignals: true
        function onTimeChanged() {
            timeCode.controllerPosition = videoWidget.get_current_read_time_is_ms()
            timeCode.followController = true
        }
    }

    Text {
        id: label
        objectName: "timeCodeText"
        anchors.centerIn: parent
        text: timeCode.format(timeCode.position)
        font.pixelSize: 16
        font.bold: true
        color: "white"
    }
}

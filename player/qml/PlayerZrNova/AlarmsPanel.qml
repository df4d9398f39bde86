import QtQuick
import QtQuick.Controls.Basic
import PlayerZrNova 1.0
import "components"

// The selected camera's alarms of the day as thumbnail tiles: a tile plays from the alarm's
// time, its round button opens the full image.
Rectangle {
    id: alarms
    objectName: "alarmsPanel"

    property var videoWidget: null

    color: "#1A1A1A"
    radius: 10

    function stampDate(stamp) {
        var text = stamp ? String(stamp) : ""
        if (text.length !== 14)
            return "Invalid"
        return text.substring(0, 4) + "-" + text.substring(4, 6) + "-" + text.substring(6, 8)
    }

    function stampTime(stamp) {
        var text = stamp ? String(stamp) : ""
        if (text.length !== 14)
            return ""
        return text.substring(8, 10) + ":" + text.substring(10, 12) + ":" + text.substring(12, 14)
    }

    // A local path as a file URL; Windows paths ("C:/...") and POSIX paths ("/...") alike.
    function fileUrl(path) {
        var text = String(path).replace(/\\/g, "/")
        var parts = text.split("/")
        for (var i = 0; i < parts.length; ++i)
            parts[i] = encodeURIComponent(parts[i])
        var encoded = parts.join("/")
        return encoded.charAt(0) === "/" ? "file://" + encoded : "file:///" + encoded
    }

    function asText(value) {
        return (value === undefined || value === null) ? "" : String(value)
    }

    function load() {
        if (!videoWidget || typeof videoWidget.day_alarm_list_string !== "function") {
            console.warn("[AlarmsPanel] videoWidget non valide")
            return
        }
        var list = videoWidget.day_alarm_list_string()
        alarmModel.clear()
        if (!list || list.length === 0) {
            console.log("[AlarmsPanel] Aucune alarme à afficher")
            return
        }
        for (var i = 0; i < list.length; ++i) {
            var alarm = list[i]
            if (!alarm || !alarm.datetime || !alarm.thumbnail)
                continue
            alarmModel.append({
                "timestamp": asText(alarm.datetime),
                "type": asText(alarm.type),
                "severity": asText(alarm.severity),
                "imagePath": asText(alarm.image),
                "thumbnailPath": asText(alarm.thumbnail),
                "cameraId": asText(alarm.cameraId)
            })
        }
    }

    function seek(stamp) {
        if (videoWidget)
            videoWidget.set_zrstream_reader_read_timestamp(stamp)
    }

    function openImage(path) {
        if (videoWidget)
            videoWidget.open_alarm_popup(path)
    }

    Connections {
        target: AppState
        function onCurrentAlarmsChanged() { alarms.load() }
    }

    Connections {
        target: alarms.videoWidget
        ignoreUnknownSignals: true
        function onDataChanged() { alarms.load() }
    }

    ListModel {
        id: alarmModel
        objectName: "alarmModel"
    }

    // A thin track with a thumb; shown only while the list does not fit.
    component ScrollTrack: Rectangle {
        id: track
        property var flickable: null
        readonly property bool needed: flickable !== null && flickable.contentHeight > flickable.height

        width: 6
        radius: 3
        color: "#2a2a2a"
        opacity: needed ? 1 : 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: 150 } }

        function scrollTo(position) {
            if (!flickable || height <= 0)
                return
            flickable.contentY = flickable.originY + position / height * flickable.contentHeight
        }

        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.NoButton
            onWheel: (wheel) => {
                if (!track.flickable)
                    return
                var f = track.flickable
                var maxY = Math.max(0, f.contentHeight - f.height)
                var y = f.contentY - f.originY - wheel.angleDelta.y / 120 * 60
                f.contentY = f.originY + Math.max(0, Math.min(maxY, y))
                wheel.accepted = true
            }
        }

        Rectangle {
            id: thumb
            objectName: "scrollThumb"
            width: parent.width
            radius: 3
            height: track.flickable ? Math.max(40, track.height * track.flickable.visibleArea.heightRatio) : 40
            y: track.flickable ? Math.max(0, Math.min(track.height - height,
                                                      track.height * track.flickable.visibleArea.yPosition)) : 0
            Behavior on y { NumberAnimation { duration: 80; easing.type: Easing.OutCubic } }
            color: thumbMouse.containsMouse || thumbMouse.pressed ? "#aaaaaa" : "#777777"
            opacity: thumbMouse.containsMouse || thumbMouse.pressed ? 0.9 : 0.5
        }

        MouseArea {
            id: thumbMouse
            property real grabOffset: 0
            x: 0
            y: thumb.y
            width: track.width
            height: thumb.height
            hoverEnabled: true
            preventStealing: true

            function dragTo(mouse) {
                var position = mapToItem(track, mouse.x, mouse.y).y - grabOffset
                track.scrollTo(Math.max(0, Math.min(track.height - thumb.height, position)))
            }

            onPressed: (mouse) => { grabOffset = mouse.y }
            onPositionChanged: (mouse) => { if (pressed) dragTo(mouse) }
            onReleased: (mouse) => { dragTo(mouse) }
        }
    }

    Rectangle {
        id: topLine
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 10
        height: 1
        color: "#444444"
    }

    ListView {
        id: list
        objectName: "alarmList"
        anchors.top: topLine.bottom
        anchors.topMargin: 10
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 10
        anchors.rightMargin: 10 + 8
        anchors.bottomMargin: 10
        clip: true
        spacing: 12
        boundsBehavior: Flickable.StopAtBounds
        model: alarmModel

        delegate: Rectangle {
            id: tile
            objectName: "alarmTile_" + index
            width: list.width - 8
            height: width * 9 / 16
            radius: 12
            color: "#121212"
            clip: true

            Image {
                objectName: "alarmThumbnail_" + index
                anchors.fill: parent
                source: alarms.fileUrl(model.thumbnailPath)
                fillMode: Image.PreserveAspectCrop
                asynchronous: true
            }

            MouseArea {
                objectName: "alarmTileMouse_" + index
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: alarms.seek(model.timestamp)
            }

            Rectangle {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: 32
                color: Qt.rgba(0x33 / 255, 0x33 / 255, 0x33 / 255, 0.8)

                Row {
                    anchors.left: parent.left
                    anchors.leftMargin: 10
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 12
                    Text {
                        objectName: "alarmDate_" + index
                        text: alarms.stampDate(model.timestamp)
                        color: "white"
                        font.pixelSize: 14
                    }
                    Text {
                        objectName: "alarmTime_" + index
                        text: alarms.stampTime(model.timestamp)
                        color: "white"
                        font.pixelSize: 14
                    }
                }

                Rectangle {
                    objectName: "alarmImageButton_" + index
                    anchors.right: parent.right
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    width: 24
                    height: 24
                    radius: 12
                    color: imageMouse.containsMouse ? Qt.rgba(1, 1, 1, 0.15) : "transparent"
                    border.width: 1
                    border.color: Qt.rgba(1, 1, 1, 0.4)

                    Text {
                        anchors.centerIn: parent
                        text: "↓"
                        color: "white"
                        font.pixelSize: 16
                    }

                    MouseArea {
                        id: imageMouse
                        anchors.fill: parent
                        hoverEnabled: true
                        cursorShape: Qt.PointingHandCursor
                        onClicked: alarms.openImage(model.imagePath)
                    }
                }
            }
        }
    }

    ScrollTrack {
        objectName: "alarmScrollTrack"
        flickable: list
        anchors.top: list.top
        anchors.bottom: list.bottom
        anchors.right: parent.right
        anchors.rightMargin: 10
    }
}

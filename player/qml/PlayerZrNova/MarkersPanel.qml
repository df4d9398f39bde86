import QtQuick
import QtQuick.Controls.Basic
import PlayerZrNova 1.0
import "components"

// The selected camera's markers (tags) of the day; a click plays from the marker's time.
Rectangle {
    id: markers
    objectName: "markersPanel"

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

    function textOr(value, fallback) {
        return (value === undefined || value === null || String(value) === "") ? fallback : String(value)
    }

    function load() {
        if (!videoWidget || typeof videoWidget.day_tags_list_string !== "function") {
            console.warn("[MarkersPanel] videoWidget non valide")
            return
        }
        var list = videoWidget.day_tags_list_string()
        markerModel.clear()
        if (!list || list.length === 0) {
            console.log("[MarkersPanel] Aucun marqueur à afficher")
            return
        }
        for (var i = 0; i < list.length; ++i) {
            var tag = list[i]
            if (!tag || !tag.tag_datetime)
                continue
            markerModel.append({
                "timestamp": String(tag.tag_datetime),
                "label": textOr(tag.tag_name, "Marqueur"),
                "description": textOr(tag.tag_description, "Marqueur standard")
            })
        }
    }

    function seek(stamp) {
        if (videoWidget)
            videoWidget.set_zrstream_reader_read_timestamp(stamp)
    }

    // Loads once the side panel has handed over the controller.
    Component.onCompleted: Qt.callLater(load)

    Connections {
        target: markers.videoWidget
        ignoreUnknownSignals: true
        function onDataChanged() { markers.load() }
    }

    ListModel {
        id: markerModel
        objectName: "markerModel"
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
        objectName: "markerList"
        anchors.top: topLine.bottom
        anchors.topMargin: 10
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 10
        anchors.rightMargin: 10 + 8
        anchors.bottomMargin: 10
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: markerModel

        delegate: Item {
            id: row
            objectName: "markerRow_" + index
            width: list.width
            height: 120

            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: markers.seek(model.timestamp)
            }

            Column {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 4

                Rectangle {
                    objectName: "markerStamp_" + index
                    width: 175
                    height: 32
                    color: "#4848484D"
                    border.width: 1
                    border.color: "#D9D9D9"
                    radius: 10

                    Row {
                        anchors.centerIn: parent
                        spacing: 24
                        Text {
                            objectName: "markerDate_" + index
                            text: markers.stampDate(model.timestamp)
                            color: "white"
                            font.pixelSize: 12
                            font.bold: true
                            font.family: "Inter"
                        }
                        Text {
                            objectName: "markerTime_" + index
                            text: markers.stampTime(model.timestamp)
                            color: "white"
                            font.pixelSize: 12
                            font.bold: true
                            font.family: "Inter"
                        }
                    }
                }

                Item {
                    width: parent.width
                    height: 40

                    Image {
                        id: markIcon
                        anchors.left: parent.left
                        anchors.verticalCenter: parent.verticalCenter
                        width: 23
                        height: 15
                        sourceSize.width: 23
                        sourceSize.height: 15
                        fillMode: Image.PreserveAspectFit
                        source: "qrc:/qml/Zrplayer/resources/icons/mark.svg"
                    }

                    Text {
                        objectName: "markerText_" + index
                        anchors.left: markIcon.right
                        anchors.leftMargin: 10
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        text: model.label + " - " + model.description
                        color: "white"
                        font.pixelSize: 12
                        font.family: "Inter"
                        elide: Text.ElideRight
                        maximumLineCount: 1
                    }
                }
            }

            Item {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: 1
                opacity: 0.5
                visible: index < list.count - 1
                SeparatorZrNova {}
            }
        }
    }

    ScrollTrack {
        objectName: "markerScrollTrack"
        flickable: list
        anchors.top: list.top
        anchors.bottom: list.bottom
        anchors.right: parent.right
        anchors.rightMargin: 10
    }
}

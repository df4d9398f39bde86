import QtQuick
import QtQuick.Controls.Basic
import PlayerZrNova 1.0
import "components"
import "TimeText.js" as TimeText

// Transport controls under the timeline: rates, seeks, frame steps, play/pause, stream
// choice, capture, integrity check and export.
Item {
    id: controls
    objectName: "controls"

    implicitWidth: row.implicitWidth
    implicitHeight: 60
    width: implicitWidth
    height: implicitHeight

    // The play button's look; the controller keeps its own state.
    property bool isPlaying: false
    property bool hasVideo: false
    property var options: []
    property string selectedOption: "1"
    readonly property var speeds: [-8, -4, -2, -1, 1, 2, 4, 8]
    property int selectedSpeedIndex: 4

    function hasController() {
        return typeof videoWidget !== "undefined" && videoWidget !== null
    }

    // The seek text for a time of the selected day.
    function seekText(ms) {
        return TimeText.seekText(ms, hasController() ? String(videoWidget.selected_date()) : "")
    }

    function selectSpeed(index) {
        if (!hasVideo || !hasController())
            return
        selectedSpeedIndex = index
        videoWidget.set_playback_rate(speeds[index])
        isPlaying = true
    }

    function seekBy(deltaMs) {
        if (!hasVideo || !hasController())
            return
        var current = videoWidget.get_current_read_time_is_ms()
        var target = Math.max(0, current + deltaMs)
        videoWidget.set_zrstream_reader_read_timestamp(seekText(target))
        isPlaying = true
    }

    function togglePlay() {
        if (!hasVideo || !hasController())
            return
        if (isPlaying) {
            videoWidget.pause_button()
            isPlaying = false
        } else {
            videoWidget.start_button()
            isPlaying = true
        }
    }

    function stepBackward() {
        if (!hasVideo || !hasController())
            return
        videoWidget.previous_frame_button()
        isPlaying = false
    }

    function stepForward() {
        if (!hasVideo || !hasController())
            return
        videoWidget.next_frame_button()
        isPlaying = false
    }

    function streamNumber(id) {
        var n = parseInt(String(id).replace(/[^0-9]/g, ""), 10)
        return isNaN(n) ? 1 : n
    }

    function chooseStream(id) {
        selectedOption = String(id)
        streamChooser.close()
        selectedSpeedIndex = 4
        if (!hasController())
            return
        videoWidget.set_playback_rate(1)
        videoWidget.set_selected_videostream(streamNumber(id))
    }

    function openStreamChooser() {
        if (!hasVideo)
            return
        streamChooser.lastHeight = -1
        streamChooser.placed = false
        streamChooser.x = settingsButton.width
        streamChooser.y = settingsButton.height - streamChooser.implicitHeight
        streamChooser.open()
        placementTimer.restart()
    }

    Connections {
        target: controls.hasController() ? videoWidget : null
        ignoreUnknownSignals: true
        function onStartRead() {
            controls.isPlaying = true
            controls.hasVideo = true
            controls.options = videoWidget.get_videostreams_list()
        }
        function onUpdateStreams() {
            controls.options = videoWidget.get_videostreams_list()
        }
        function onDataChanged() {
            controls.hasVideo = true
            controls.selectedSpeedIndex = 4
            videoWidget.set_playback_rate(1)
            controls.isPlaying = false
        }
    }

    Row {
        id: row
        objectName: "controlsRow"
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10

        Grid {
            id: speedGrid
            objectName: "speedGroup"
            anchors.verticalCenter: parent.verticalCenter
            columns: 4
            rowSpacing: 4
            columnSpacing: 4

            Repeater {
                model: controls.speeds.length
                delegate: ButtonControl {
                    required property int index
                    readonly property int speed: controls.speeds[index]
                    objectName: "speedButton_" + speed
                    width: 40
                    height: 20
                    implicitWidth: 40
                    implicitHeight: 20
                    labelText: speed + "x"
                    isHighlighted: controls.selectedSpeedIndex === index
                    enabled: controls.hasVideo
                    tooltipText: speed < 0 ? "Lecture en retour arrière à vitesse " + speed + "x"
                                           : "Lecture en vitesse " + speed + "x"
                    onClicked: controls.selectSpeed(index)
                }
            }
        }

        Item { width: 30; height: 1 }

        Row {
            objectName: "seekBackGroup"
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            ButtonControl {
                objectName: "seekBack30"
                iconSource: "minus-30"
                enabled: controls.hasVideo
                tooltipText: "Reculer de 30 secondes"
                onClicked: controls.seekBy(-30000)
            }
            ButtonControl {
                objectName: "seekBack10"
                iconSource: "minus-10"
                enabled: controls.hasVideo
                tooltipText: "Reculer de 10 secondes"
                onClicked: controls.seekBy(-10000)
            }
            ButtonControl {
                objectName: "seekBack5"
                iconSource: "minus-5"
                enabled: controls.hasVideo
                tooltipText: "Reculer de 5 secondes"
                onClicked: controls.seekBy(-5000)
            }
        }

        Row {
            objectName: "playbackGroup"
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            ButtonControl {
                objectName: "stepBackwardButton"
                iconSource: "step_backward"
                enabled: controls.hasVideo
                tooltipText: "Image précédente"
                onClicked: controls.stepBackward()
            }
            ButtonControl {
                objectName: "playPauseButton"
                iconSource: controls.isPlaying ? "pause" : "play"
                enabled: controls.hasVideo
                onClicked: controls.togglePlay()
            }
            ButtonControl {
                objectName: "stepForwardButton"
                iconSource: "step_forward"
                enabled: controls.hasVideo
                tooltipText: "Image suivante"
                onClicked: controls.stepForward()
            }
        }

        Row {
            objectName: "seekForwardGroup"
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            ButtonControl {
                objectName: "seekForward5"
                iconSource: "more-5"
                enabled: controls.hasVideo
                tooltipText: "Avancer de 5 secondes"
                onClicked: controls.seekBy(5000)
            }
            ButtonControl {
                objectName: "seekForward10"
                iconSource: "more-10"
                enabled: controls.hasVideo
                tooltipText: "Avancer de 10 secondes"
                onClicked: controls.seekBy(10000)
            }
            ButtonControl {
                objectName: "seekForward30"
                iconSource: "more-30"
                enabled: controls.hasVideo
                tooltipText: "Avancer de 30 secondes"
                onClicked: controls.seekBy(30000)
            }
        }

        Item { width: 30; height: 1 }

        Row {
            objectName: "toolsGroup"
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            ButtonControl {
                id: settingsButton
                objectName: "settingsButton"
                iconSource: "settings"
                enabled: controls.hasVideo
                tooltipText: "Paramêtres"
                onClicked: controls.openStreamChooser()
            }
            ButtonControl {
                objectName: "captureButton"
                iconSource: "screenshot"
                enabled: controls.hasVideo
                tooltipText: "Capture"
                onClicked: {
                    if (controls.hasVideo && controls.hasController())
                        videoWidget.snapshot_full_button()
                }
            }
        }

        Item { width: 10; height: 1 }

        Row {
            objectName: "checkGroup"
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            ButtonControl {
                objectName: "integrityButton"
                iconSource: "check"
                enabled: controls.hasVideo
                tooltipText: "Vérification de l'intégrité des données vidéo"
                onClicked: {
                    if (controls.hasVideo && controls.hasController())
                        videoWidget.check_integrity()
                }
            }
            ButtonControl {
                objectName: "exportButton"
                iconSource: "export"
                enabled: controls.hasVideo
                tooltipText: "Exportation vidéo"
                onClicked: {
                    if (controls.hasVideo && controls.hasController())
                        videoWidget.video_export()
                }
            }
        }
    }

    // The chooser lays its list out only while shown: it opens transparent, and once its
    // height is the same on two ticks it is placed beside the settings button, bottoms
    // level, and shown.
    Timer {
        id: placementTimer
        objectName: "streamChooserPlacement"
        interval: 10
        repeat: true
        onTriggered: {
            if (!streamChooser.visible) {
                stop()
                return
            }
            // Kept beside the button while it settles, so the window never squeezes it.
            var h = streamChooser.implicitHeight
            streamChooser.x = settingsButton.width
            streamChooser.y = settingsButton.height - h
            if (h !== streamChooser.lastHeight) {
                streamChooser.lastHeight = h
                return
            }
            stop()
            streamChooser.placed = true
        }
    }

    Popup {
        id: streamChooser
        objectName: "streamChooser"
        parent: settingsButton
        property real lastHeight: -1
        property bool placed: false
        opacity: placed ? 1 : 0
        onClosed: placed = false
        padding: 10
        focus: true
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

        background: Rectangle {
            color: "white"
            radius: 4
        }

        contentItem: Column {
            spacing: 4

            Text {
                objectName: "streamChooserTitle"
                text: controls.options.length > 0 ? "Choix du flux vidéo" : "Aucun flux vidéo disponible"
                font.bold: controls.options.length > 0
                font.italic: controls.options.length === 0
                color: controls.options.length > 0 ? "black" : "gray"
            }

            Repeater {
                model: controls.options
                delegate: RadioButton {
                    required property var modelData
                    objectName: "streamOption_" + modelData
                    text: "Vidéo " + modelData
                    checked: String(modelData) === controls.selectedOption
                    onClicked: controls.chooseStream(modelData)
                }
            }
        }
    }
}

pragma Singleton
import QtQuick

// The interface's shared state and its playback clock (milliseconds since midnight).
QtObject {
    id: appState
    objectName: "appState"

    readonly property int lastMsOfDay: 86399999

    property string currentFolder: ""
    property string currentCamera: ""
    property var currentAlarms: []
    property var currentMarkers: []
    property var currentVideos: []
    property string currentVideo: ""
    property int currentPosition: 0
    property bool isPlaying: false
    property int videoStartTime: 0
    property int elapsedTime: 0
    property int pausedElapsedTime: 0
    property var startPlayTime: null
    // Wraps past the end of the day; a negative start never gives a negative position.
    readonly property int calculatedPosition: Math.min(
        (((videoStartTime + elapsedTime) % lastMsOfDay) + lastMsOfDay) % lastMsOfDay, lastMsOfDay)
    property int updateCounter: 0

    signal seekTo(int timestamp)

    property Timer clock: Timer {
        objectName: "appStateClock"
        interval: 100
        repeat: true
        running: appState.isPlaying
        onTriggered: {
            appState.elapsedTime = Date.now() - appState.startPlayTime + appState.pausedElapsedTime
            appState.updateCounter++
        }
    }

    onIsPlayingChanged: {
        if (isPlaying)
            startPlayTime = Date.now()
        else
            pausedElapsedTime = elapsedTime
    }

    // The controller is published by the main window; a bare engine (tests, tools) has none.
    function readFromController(position) {
        if (typeof videoWidget !== "undefined" && videoWidget)
            videoWidget.set_zrstream_reader_read_timestamp(String(position))
    }

    function startPlaybackAt(startTime) {
        var start = startTime
        if (typeof start !== "number" || isNaN(start) || start < 0)
            start = 28800000
        videoStartTime = start
        elapsedTime = 0
        pausedElapsedTime = 0
        startPlayTime = Date.now()
        isPlaying = true
        updateCounter++
        readFromController(videoStartTime)
    }

    function seekToPosition(position) {
        videoStartTime = position
        elapsedTime = 0
        pausedElapsedTime = 0
        if (isPlaying)
            startPlayTime = Date.now()
        else
            startPlaybackAt(position)
        seekTo(position)
        readFromController(position)
        updateCounter++
    }

    function loadVideo(videoPath, startPosition) {
        if (!videoPath)
            return false
        isPlaying = false
        currentVideo = videoPath
        var position = (startPosition === undefined || startPosition === null) ? 0 : startPosition
        Qt.callLater(function() { appState.seekToPosition(position) })
        return true
    }

    function playVideo(videoPath) {
        currentVideo = videoPath
        Qt.callLater(function() { appState.isPlaying = true })
    }

    function clearState() {
        currentAlarms = []
        currentMarkers = []
        currentVideos = []
        currentVideo = ""
        currentPosition = 0
        videoStartTime = 0
        elapsedTime = 0
        updateCounter = 0
        startPlayTime = null
        isPlaying = false
    }
}

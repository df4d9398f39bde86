pragma Singleton
import QtQuick

// A self-contained sample data source speaking the controller's vocabulary, for working
// on the views without an export folder.
QtObject {
    id: backend
    objectName: "mockBackend"

    property string currentFolder: ""
    property string currentDate: ""
    property string currentCamera: ""
    property var currentData: ({ alarms: [], markers: [], videos: [] })
    property bool dataInitialized: false
    property string videoBasePath: "/usr/share/zrplayer/sample-videos/"
    property var datesData: ({})

    signal dataUpdated()

    Component.onCompleted: {
        AppState.currentAlarms = []
        AppState.currentMarkers = []
        AppState.currentVideos = []
    }

    function ms(h, m, s) {
        return ((h * 60 + m) * 60 + (s || 0)) * 1000
    }

    function sampleDay(day, cameras) {
        var result = {}
        for (var c = 0; c < cameras.length; ++c) {
            var name = cameras[c]
            var shift = c * 45
            result[name] = {
                alarms: [
                    { time: ms(8, 12 + c, 30), camera: name, video: "resources/videos/" + day + "_" + c + "_a.mp4" },
                    { time: ms(14, 3 + shift % 50, 5), camera: name, video: "resources/videos/" + day + "_" + c + "_b.mp4" }
                ],
                markers: [
                    { time: ms(9, 30, 0), camera: name, label: "Livraison", color: "#FFC107",
                      video: "resources/videos/" + day + "_" + c + "_a.mp4" },
                    { time: ms(17, 45, 10), camera: name, label: "Contrôle", color: "#4CAF50",
                      description: "Ronde de fin de journée", video: "sample_" + c + ".mp4" }
                ],
                videos: [
                    { start: ms(7, 0, 0), end: ms(12, 0, 0) },
                    { start: ms(13, 30, 0), end: ms(19, 15, 0) }
                ]
            }
        }
        return result
    }

    function loadSampleData() {
        datesData = {
            "2025-06-17": sampleDay("2025-06-17", ["Entrée", "Parking"]),
            "2025-06-18": sampleDay("2025-06-18", ["Entrée", "Quai"]),
            "2025-06-19": sampleDay("2025-06-19", ["Hall Nord", "Parking"])
        }
        dataInitialized = true
    }

    function selectFolder(folderPath) {
        currentFolder = folderPath
        if (!dataInitialized) {
            loadSampleData()
            dataUpdated()
        }
        var dates = getFolderDates(folderPath)
        if (dates.length > 0) {
            var today = Date.now()
            var nearest = dates[0]
            var best = Infinity
            for (var i = 0; i < dates.length; ++i) {
                var distance = Math.abs(Date.parse(dates[i] + "T00:00:00") - today)
                if (distance < best) {
                    best = distance
                    nearest = dates[i]
                }
            }
            selectDate(nearest)
        }
        return dates
    }

    function selectDate(date) {
        currentDate = date
        currentCamera = ""
        var cameras = getCamerasForDate(date)
        if (cameras.length > 0) {
            selectCamera(cameras[0])
        } else {
            currentData = { alarms: [], markers: [], videos: [] }
            dataUpdated()
        }
    }

    function selectCamera(camera) {
        var cameras = getCamerasForDate(currentDate)
        if (cameras.length === 0)
            return
        currentCamera = cameras.indexOf(camera) >= 0 ? camera : cameras[0]
        AppState.currentCamera = currentCamera
        updateCurrentData()
    }

    function updateCurrentData() {
        var day = datesData[currentDate]
        var data = day ? day[currentCamera] : undefined
        if (data) {
            currentData = {
                alarms: data.alarms.map(function(a) { return Object.assign({}, a, { video: convertVideoPath(a.video) }) }),
                markers: data.markers.map(function(m) { return Object.assign({}, m, { video: convertVideoPath(m.video) }) }),
                videos: data.videos.slice()
            }
        } else {
            currentData = { alarms: [], markers: [], videos: [] }
        }
        dataUpdated()
        AppState.currentAlarms = currentData.alarms
        AppState.currentMarkers = currentData.markers
        AppState.currentVideos = currentData.videos
    }

    function getCamerasForDate(date) {
        var day = datesData[date]
        return day ? Object.keys(day).sort() : []
    }

    function getCameras(date) {
        return getCamerasForDate(date)
    }

    function getFolderDates(folderPath) {
        return Object.keys(datesData).sort()
    }

    function getCurrentAlarms() {
        return currentData.alarms
    }

    function getCurrentMarkers() {
        return currentData.markers
    }

    function getCurrentVideos() {
        return currentData.videos
    }

    function convertVideoPath(path) {
        if (!path)
            return ""
        if (path.indexOf("/") === 0)
            return path
        if (path.indexOf("resources/videos/") === 0)
            return videoBasePath + path.substring("resources/videos/".length)
        if (path.indexOf("/") < 0)
            return videoBasePath + path
        return path
    }
}

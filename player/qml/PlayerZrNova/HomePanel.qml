import QtQuick
import QtQuick.Controls.Basic
import PlayerZrNova 1.0
import "."
import "components"
import "TimeText.js" as TimeText

// Home page: export folder, recorded days and index regeneration. It drives the folder,
// day and camera choice through the controller ("videoWidget").
Item {
    id: home
    objectName: "homePanel"

    property string selectedDate: ""
    property string selectedCamera: ""
    property var availableDates: []
    property bool indexing: false
    property string buttonText: displayName(MockBackend.currentFolder)

    // Set by the side panel: the chooser's model (role "camera") and the chooser itself.
    property var cameraModel: null
    property var cameraChooser: null

    property bool regenerateEnabled: false
    property bool calendarEnabled: true
    // A camera list was asked for and has not come yet.
    property bool loadingCameras: false
    // The cameras are listed again after a rebuilt index; when that listing finds the day
    // stale once more (a day the index cannot hold), it is not listed again: each listing
    // would start another rebuild, for ever.
    property bool reloadAfterIndex: false
    property bool staleAfterReload: false

    readonly property string noFolderText: "Aucun dossier sélectionné"

    function controller() {
        return (typeof videoWidget !== "undefined" && videoWidget) ? videoWidget : null
    }

    function displayName(path) {
        if (!path)
            return noFolderText
        var text = String(path)
        return "/" + text.substring(text.lastIndexOf("/") + 1)
    }

    function dayText(d) {
        return d.getFullYear() + "-" + TimeText.pad2(d.getMonth() + 1) + "-" + TimeText.pad2(d.getDate())
    }

    function dayFromText(text) {
        var parts = String(text).split("-")
        // Noon: a day whose midnight falls in a daylight-saving gap is still that day.
        return new Date(parseInt(parts[0], 10), parseInt(parts[1], 10) - 1, parseInt(parts[2], 10), 12)
    }

    function toArray(list) {
        var result = []
        if (list)
            for (var i = 0; i < list.length; ++i)
                result.push(list[i])
        return result
    }

    function clearDayState() {
        AppState.currentAlarms = []
        AppState.currentMarkers = []
        AppState.currentVideos = []
        AppState.currentVideo = ""
    }

    function openFolder() {
        var folder = ""
        if (typeof ZRFolderDialogController !== "undefined" && ZRFolderDialogController)
            folder = ZRFolderDialogController.openFolderDialog()
        // A cancelled dialog leaves an open export as it is: clearing only the page would show
        // "no folder" while the controller still plays the old one.
        if (!folder && AppState.currentFolder !== "")
            return
        selectFolder(folder)
    }

    function selectFolder(folderPath) {
        var path = folderPath ? String(folderPath) : ""
        buttonText = displayName(path)
        AppState.currentFolder = path

        var ctl = controller()
        var days = ctl ? toArray(ctl.get_available_days(path)) : []
        availableDates = days
        calendar.availableDates = JSON.stringify(days)

        var date = ctl ? ctl.selected_date() : ""
        if (date !== "") {
            selectedDate = date
            var day = dayFromText(date)
            calendar.selectedDate = day
            calendar.currentMonth = new Date(day.getFullYear(), day.getMonth(), 1)
            loadCameras()
        } else {
            selectedDate = ""
            selectedCamera = ""
            if (cameraModel)
                cameraModel.clear()
            buttonText = noFolderText
        }
        clearDayState()
    }

    function loadCameras() {
        if (selectedDate === "") {
            console.log("[HomePanel] Impossible de charger les caméras : aucune date sélectionnée")
            return
        }
        var ctl = controller()
        if (!ctl)
            return
        reloadAfterIndex = false
        staleAfterReload = false
        selectedCamera = ctl.selected_camera()
        if (cameraModel)
            cameraModel.clear()
        regenerateEnabled = false
        calendarEnabled = false
        loadingCameras = true
        ctl.get_cameras_for_date_async(selectedDate)
    }

    function onCameraSelected(camera) {
        selectedCamera = camera
        var ctl = controller()
        if (!ctl)
            return
        ctl.set_selected_camera(camera)
        AppState.currentVideos = toArray(ctl.day_timestamp_list())
        AppState.currentAlarms = toArray(ctl.day_alarm_list_string())
        var markers = toArray(ctl.day_tags_list_string())
        AppState.currentMarkers = markers
        console.log("[HomePanel] Marqueurs :", JSON.stringify(markers))
    }

    function startBlink() {
        resultSequence.stop()
        statusText.text = "Indexation en cours..."
        statusText.color = "white"
        statusText.opacity = 0
        statusText.visible = true
        blinkAnimation.restart()
    }

    function stopBlink(success) {
        blinkAnimation.stop()
        // A camera list still on its way keeps both disabled until it comes.
        if (!loadingCameras) {
            regenerateEnabled = true
            calendarEnabled = true
        }
        resultSequence.success = success
        resultSequence.restart()
    }

    function regenerate() {
        var ctl = controller()
        if (!ctl)
            return
        // Disabled before the call: a regeneration that cannot start answers inside it.
        regenerateEnabled = false
        calendarEnabled = false
        startBlink()
        ctl.regenerate_index()
    }

    Connections {
        target: home.controller()
        ignoreUnknownSignals: true

        function onCamerasForDateReady(cameras) {
            home.loadingCameras = false
            home.reloadAfterIndex = false
            var names = home.toArray(cameras)
            if (home.cameraModel)
                home.cameraModel.clear()
            if (names.length === 0) {
                home.clearDayState()
                home.calendarEnabled = true
                return
            }
            if (home.cameraModel) {
                for (var i = 0; i < names.length; ++i)
                    home.cameraModel.append({ "camera": names[i] })
            }

            var row = 0
            if (home.selectedCamera !== "") {
                row = names.indexOf(home.selectedCamera)
                if (row < 0) {
                    console.warn("[HomePanel] Caméra \"" + home.selectedCamera
                                 + "\" non trouvée. Sélection de la première caméra par défaut.")
                    row = 0
                }
            }
            if (home.cameraChooser)
                home.cameraChooser.currentIndex = row
            home.onCameraSelected(names[row])
            home.regenerateEnabled = true
            home.calendarEnabled = true
        }

        function onCamerasForDateError(message) {
            console.warn("[HomePanel] Erreur lors du chargement des caméras :", message)
            home.loadingCameras = false
            home.reloadAfterIndex = false
            if (home.cameraModel)
                home.cameraModel.clear()
            home.regenerateEnabled = false
            home.clearDayState()
            home.calendarEnabled = true
        }

        function onStartIndexGeneration() {
            if (home.reloadAfterIndex)
                home.staleAfterReload = true
            home.startBlink()
            home.indexing = true
        }

        function onIndexGenerated() {
            if (home.staleAfterReload) {
                home.staleAfterReload = false
            } else {
                home.loadCameras()
                home.reloadAfterIndex = home.loadingCameras
            }
            home.stopBlink(true)
            home.indexing = false
        }

        function onIndexFailed() {
            home.stopBlink(false)
            home.indexing = false
        }
    }

    Component.onCompleted: {
        if (AppState.currentFolder !== "")
            return
        var ctl = controller()
        var hasInfo = typeof AppInfo !== "undefined" && AppInfo
        var appDir = hasInfo ? AppInfo.appDir : ""
        var parentDir = hasInfo ? AppInfo.parentZRNovaDir : ""
        var appDirAccepted = !!(ctl && appDir && ctl.is_zrnova_directory(appDir))
        var parentAccepted = !!(ctl && parentDir && ctl.is_zrnova_directory(parentDir))
        console.log("[HomePanel] Dossier courant :", "\"" + AppState.currentFolder + "\"",
                    "appDir :", appDir, appDirAccepted,
                    "parentZRNovaDir :", parentDir, parentAccepted)
        if (appDirAccepted)
            selectFolder(appDir)
        else if (parentAccepted)
            selectFolder(parentDir)
    }

    // Background, rounded at the bottom only.
    Rectangle {
        anchors.fill: parent
        color: "#1A1A1A"
        radius: 10
        Rectangle {
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            height: Math.min(parent.radius, parent.height)
            color: parent.color
        }
    }

    Column {
        id: content
        anchors.fill: parent
        anchors.margins: 10
        spacing: 16

        CustomCalendar {
            id: calendar
            objectName: "calendar"
            compact: true
            width: parent.width
            height: implicitHeight
            enabled: home.calendarEnabled

            onDateSelected: (d) => {
                home.selectedDate = home.dayText(d)
                var ctl = home.controller()
                if (ctl)
                    ctl.set_selected_date(home.selectedDate)
                home.loadCameras()
            }
        }

        Row {
            width: parent.width
            height: 40
            spacing: 12

            ButtonControl {
                id: regenerateButton
                objectName: "regenerateButton"
                width: 40
                height: 40
                iconSource: "refresh"
                labelText: "Re-générer l’index"
                tooltipText: "Re-générer l’indexation des fichiers"
                enabled: home.regenerateEnabled
                onClicked: home.regenerate()
            }

            Item {
                width: parent.width - regenerateButton.width - parent.spacing
                height: parent.height

                Text {
                    id: statusText
                    objectName: "indexStatusText"
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width
                    text: "Indexation en cours..."
                    color: "white"
                    font.bold: true
                    font.pixelSize: 13
                    elide: Text.ElideRight
                    visible: false
                    opacity: 0
                }
            }
        }

        ButtonZrNova {
            objectName: "folderButton"
            width: parent.width
            iconSource: "folder_white"
            text: home.buttonText
            onClicked: home.openFolder()
        }
    }

    SequentialAnimation {
        id: blinkAnimation
        loops: Animation.Infinite
        NumberAnimation { target: statusText; property: "opacity"; from: 0; to: 1; duration: 1000 }
        NumberAnimation { target: statusText; property: "opacity"; from: 1; to: 0; duration: 1000 }
    }

    SequentialAnimation {
        id: resultSequence
        property bool success: true
        NumberAnimation { target: statusText; property: "opacity"; to: 0; duration: 800 }
        ScriptAction {
            script: {
                statusText.text = resultSequence.success ? "Indexation terminée" : "Échec de l’indexation"
                statusText.color = resultSequence.success ? "white" : "red"
                statusText.opacity = 1
            }
        }
        PauseAnimation { objectName: "indexResultPause"; duration: 5000 }
        NumberAnimation { target: statusText; property: "opacity"; to: 0; duration: 800 }
        ScriptAction { script: statusText.visible = false }
    }

    // While the index is rebuilt the page takes no input.
    MouseArea {
        objectName: "indexingOverlay"
        anchors.fill: parent
        z: 100
        visible: home.indexing
        enabled: home.indexing
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
        preventStealing: true
        cursorShape: Qt.BusyCursor
        onWheel: (wheel) => { wheel.accepted = true }
    }
}

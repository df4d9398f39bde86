import QtQuick
import QtQuick.Controls.Basic
import "TimeText.js" as TimeText

// The 24-hour timeline of the selected camera: recorded minutes, ruler, preview strip, alarms,
// tags and the play position. Times are milliseconds since midnight of the selected day.
Item {
    id: timeline
    objectName: "timeline"

    implicitHeight: 40
    clip: true

    // Time and zoom
    property real dayMs: 86400000
    property real zoomFactor: 1.0
    readonly property real minZoomFactor: 1.0
    readonly property real maxZoomFactor: 100
    property real timelineOffsetX: 0.0
    property real minSpacingPx: 80
    property int dragThreshold: 5

    // Drag state
    property bool isDragging: false
    property bool dragMoved: false
    property real dragLastX: 0
    property real dragStartX: 0

    // Play position
    property int currentPosition: 0
    property int cursorPosition: 0
    property bool cursorShown: false

    // What the controller gave
    property var videoSegments: []
    property var markers: []
    property var alarms: []
    property var previews: []

    // Geometry: the bar sits above the ruler at the bottom; previews and alarms are drawn above it.
    readonly property real barHeight: 10
    readonly property real rulerHeight: 24
    readonly property real previewSize: 96
    readonly property real previewGap: 5
    readonly property real markHeight: 25
    readonly property real barY: height - rulerHeight - barHeight
    readonly property real barInnerTop: barY + 2
    readonly property bool stripShown: previews.length > 0
    readonly property real stripY: barY - previewGap - previewSize
    readonly property real markY: stripShown ? barInnerTop - (previewSize + markHeight + 10)
                                             : barInnerTop - (markHeight + 2)
    readonly property real areaTop: stripShown ? stripY - markHeight : markY

    // The width of the whole day at the current zoom.
    readonly property real scaleWidth: width * zoomFactor

    // Ruler
    property real rulerStepMs: 3600000
    property var rulerTicks: []

    // Preview strip
    property real previewFirstMs: 0
    property real previewLastMs: 0
    property var previewSlots: []

    // Click handling
    property int pendingClickMs: 0

    function hasController() {
        return typeof videoWidget !== "undefined" && videoWidget !== null
    }

    // These read the zoom and width directly: a change handler may run before a binding
    // that depends on the same change has been updated.
    function xOf(t) {
        return t / dayMs * width * zoomFactor + timelineOffsetX
    }

    function rawTimeAt(x) {
        var w = width * zoomFactor
        if (w <= 0)
            return 0
        return (x - timelineOffsetX) / w * dayMs
    }

    function timeAt(x) {
        var w = width * zoomFactor
        if (w <= 0)
            return 0
        var r = Math.max(0, Math.min(1, (x - timelineOffsetX) / w))
        return Math.floor(r * dayMs)
    }

    function clockText(ms, withSeconds) {
        var total = Math.max(0, Math.floor(ms / 1000))
        var h = Math.floor(total / 3600) % 24
        var m = Math.floor(total / 60) % 60
        var s = total % 60
        return TimeText.pad2(h) + ":" + TimeText.pad2(m) + (withSeconds ? ":" + TimeText.pad2(s) : "")
    }

    // "HHmmss" from a 14-character "yyyyMMddHHmmss" stamp, as milliseconds since midnight.
    function stampMs(stamp) {
        var text = String(stamp === undefined || stamp === null ? "" : stamp)
        if (text.length < 14)
            return -1
        var h = parseInt(text.substring(8, 10), 10)
        var m = parseInt(text.substring(10, 12), 10)
        var s = parseInt(text.substring(12, 14), 10)
        if (isNaN(h) || isNaN(m) || isNaN(s))
            return -1
        return h * 3600000 + m * 60000 + s * 1000
    }

    // The seek text for a time of the selected day.
    function seekText(ms) {
        return TimeText.seekText(ms, hasController() ? String(videoWidget.selected_date()) : "")
    }

    function seekTo(stampOrMs) {
        if (!hasController())
            return
        var text = typeof stampOrMs === "number" ? seekText(stampOrMs) : String(stampOrMs)
        console.log("[Timeline] seek " + text)
        videoWidget.set_zrstream_reader_read_timestamp(text)
    }

    function boundOffset() {
        var minOffset = width - width * zoomFactor
        var o = Math.min(0, Math.max(minOffset, timelineOffsetX))
        if (o !== timelineOffsetX)
            timelineOffsetX = o
    }

    function updateCursor() {
        cursorPosition = Math.round(xOf(currentPosition))
    }

    function computeRuler() {
        var steps = [1, 2, 5, 10, 15, 30, 60, 120, 1440]
        var stepMs = 3600000
        var w = width * zoomFactor
        if (w > 0) {
            var needed = dayMs / (w / minSpacingPx)
            stepMs = steps[steps.length - 1] * 60000
            for (var i = 0; i < steps.length; ++i) {
                if (steps[i] * 60000 >= needed) {
                    stepMs = steps[i] * 60000
                    break
                }
            }
        }
        rulerStepMs = stepMs
        updateTicks()
    }

    // Only the ticks near the visible part are built; the others would be clipped anyway.
    function updateTicks() {
        var count = Math.ceil(dayMs / rulerStepMs)
        var first = Math.max(0, Math.floor(rawTimeAt(-minSpacingPx) / rulerStepMs))
        var last = Math.min(count - 1, Math.ceil(rawTimeAt(width + minSpacingPx) / rulerStepMs))
        var ticks = []
        for (var i = first; i <= last; ++i)
            ticks.push(i * rulerStepMs)
        rulerTicks = ticks
    }

    function updatePreviewBounds() {
        var first = 0
        var last = 0
        for (var i = 0; i < previews.length; ++i) {
            var ms = Number(previews[i].ms)
            if (i === 0 || ms < first)
                first = ms
            if (i === 0 || ms > last)
                last = ms
        }
        previewFirstMs = first
        previewLastMs = last
    }

    function nearestPreview(t) {
        var best = null
        var bestDistance = 60000
        for (var i = 0; i < previews.length; ++i) {
            var distance = Math.abs(Number(previews[i].ms) - t)
            if (distance < bestDistance) {
                best = previews[i]
                bestDistance = distance
            }
        }
        return best
    }

    function rebuildSlots() {
        var slots = []
        var w = width * zoomFactor
        var dt = w > 0 ? previewSize / w * dayMs : 60000
        var windowStart = rawTimeAt(-200)
        var windowEnd = rawTimeAt(width + 200)
        if (previews.length > 1 && previewLastMs > previewFirstMs && width > 0 && dt > 0) {
            for (var t = previewFirstMs; t <= previewLastMs; t += dt) {
                if (t + dt >= windowStart && t <= windowEnd) {
                    var p = nearestPreview(t)
                    slots.push({ "ms": t, "url": p ? String(p.url) : "" })
                }
            }
        }
        previewSlots = slots
    }

    function setZoom(newZoom, anchorX) {
        var oldZoom = zoomFactor
        var z = Math.max(minZoomFactor, Math.min(maxZoomFactor, newZoom))
        if (Math.abs(z - oldZoom) < 0.0001)
            return
        var r = width > 0 ? Math.max(0, Math.min(1, (anchorX - timelineOffsetX) / (width * oldZoom))) : 0
        zoomFactor = z
        timelineOffsetX = anchorX - r * width * z
        boundOffset()
        updateCursor()
    }

    function wheelZoom(angleDelta, mouseX) {
        if (angleDelta === 0)
            return
        var zoomIn = angleDelta > 0
        if (zoomIn && zoomFactor >= maxZoomFactor)
            return
        if (!zoomIn && zoomFactor <= minZoomFactor)
            return
        var b = 1 + Math.min(Math.abs(angleDelta) / 500, 0.3)
        var n = (zoomFactor - 1) / 99
        var z = zoomIn ? Math.min(maxZoomFactor, zoomFactor * (1 + (b - 1) * (1 - n) * (1 - n)))
                       : Math.max(minZoomFactor, zoomFactor / b)
        setZoom(z, mouseX)
    }

    function resetZoom() {
        zoomFactor = 1
        timelineOffsetX = 0
        boundOffset()
        updateCursor()
    }

    function fitPreviews() {
        if (previews.length < 2 || previewLastMs <= previewFirstMs || width <= 0)
            return
        var span = previewLastMs - previewFirstMs
        var padded = span * 1.1
        var centre = (previewFirstMs + previewLastMs) / 2
        zoomFactor = Math.max(minZoomFactor, Math.min(maxZoomFactor, dayMs / padded))
        timelineOffsetX = width / 2 - centre / dayMs * width * zoomFactor
        boundOffset()
        updateCursor()
    }

    function loadFromController(afterDataChanged) {
        videoSegments = []
        zoomFactor = 1
        timelineOffsetX = 0
        if (hasController()) {
            try {
                var starts = videoWidget.day_timestamp_list()
                var segments = []
                for (var i = 0; i < starts.length; ++i) {
                    var s = Number(starts[i])
                    segments.push({ "start": s, "end": s + 60000 })
                }
                videoSegments = segments
            } catch (e) {
                console.log("[Timeline] Erreur de chargement des minutes enregistrées : " + e)
                videoSegments = []
            }
            try {
                var tags = videoWidget.day_tags_list_string()
                markers = tags ? tags : []
            } catch (e) {
                console.log("[Timeline] Erreur de chargement des marqueurs : " + e)
            }
            try {
                var alarmList = videoWidget.day_alarm_list_string()
                alarms = alarmList ? alarmList : []
            } catch (e) {
                console.log("[Timeline] Erreur de chargement des alarmes : " + e)
            }
            try {
                var previewList = videoWidget.day_preview_list_string()
                previews = previewList ? previewList : []
            } catch (e) {
                console.log("[Timeline] Erreur de chargement des aperçus : " + e)
            }
        }
        if (afterDataChanged) {
            currentPosition = 0
            cursorShown = false
        }
        updateCursor()
    }

    // Ticks and thumbnail slots depend on the zoom, the offset and the width together:
    // they are rebuilt once after a change has settled.
    function scheduleLayers() {
        Qt.callLater(timeline.refreshLayers)
    }
    function refreshLayers() {
        computeRuler()
        rebuildSlots()
    }

    onZoomFactorChanged: {
        scheduleLayers()
        updateCursor()
    }
    onTimelineOffsetXChanged: {
        scheduleLayers()
        updateCursor()
    }
    onWidthChanged: {
        timelineOffsetX = width / 2 - currentPosition / dayMs * width * zoomFactor
        boundOffset()
        scheduleLayers()
        updateCursor()
    }
    onCurrentPositionChanged: {
        cursorShown = true
        updateCursor()
    }
    onPreviewsChanged: {
        updatePreviewBounds()
        scheduleLayers()
    }

    Component.onCompleted: {
        computeRuler()
        loadFromController(false)
    }

    Connections {
        target: timeline.hasController() ? videoWidget : null
        ignoreUnknownSignals: true
        function onDataChanged() {
            timeline.loadFromController(true)
        }
        function onTimeChanged() {
            timeline.currentPosition = videoWidget.get_current_read_time_is_ms()
            timeline.cursorShown = true
            timeline.updateCursor()
        }
    }

    Timer {
        id: clickTimer
        objectName: "timelineClickTimer"
        interval: 200
        repeat: false
        onTriggered: {
            if (timeline.dragMoved) {
                console.log("[Timeline] Clic ignoré (drag détecté)")
                return
            }
            timeline.seekTo(timeline.pendingClickMs)
            timeline.cursorShown = true
        }
    }

    // Clicks, drags, wheel and hover over the whole timeline area.
    MouseArea {
        id: area
        objectName: "timelineArea"
        x: 0
        y: Math.max(0, timeline.areaTop)
        width: timeline.width
        height: timeline.height - y
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        hoverEnabled: true
        cursorShape: timeline.isDragging ? Qt.ClosedHandCursor : Qt.PointingHandCursor

        onPressed: function(mouse) {
            if (mouse.button !== Qt.LeftButton)
                return
            timeline.dragMoved = false
            timeline.dragStartX = mouse.x
            timeline.dragLastX = mouse.x
            timeline.isDragging = timeline.zoomFactor > 1
        }
        onPositionChanged: function(mouse) {
            if (!timeline.isDragging)
                return
            // Measured from the press, so a slow drag made of small moves is a drag too.
            if (Math.abs(mouse.x - timeline.dragStartX) > timeline.dragThreshold)
                timeline.dragMoved = true
            timeline.timelineOffsetX += mouse.x - timeline.dragLastX
            timeline.dragLastX = mouse.x
            timeline.boundOffset()
        }
        onReleased: function(mouse) {
            if (mouse.button === Qt.LeftButton)
                timeline.isDragging = false
        }
        onClicked: function(mouse) {
            if (mouse.button === Qt.RightButton) {
                timeline.resetZoom()
                return
            }
            timeline.pendingClickMs = timeline.timeAt(mouse.x)
            clickTimer.restart()
        }
        onDoubleClicked: function(mouse) {
            if (mouse.button !== Qt.LeftButton)
                return
            clickTimer.stop()
            timeline.fitPreviews()
        }
        onWheel: function(wheel) {
            timeline.wheelZoom(wheel.angleDelta.y, wheel.x)
        }
    }

    // The bar with the recorded minutes.
    Rectangle {
        id: bar
        objectName: "timelineBar"
        x: 0
        y: timeline.barY
        width: timeline.width
        height: timeline.barHeight
        color: "#484848"
        border.color: "#D9D9D9"
        border.width: 1
        radius: 10

        Item {
            id: segmentLayer
            objectName: "segmentLayer"
            x: 0
            y: 2
            width: bar.width
            height: bar.height - 4
            clip: true

            Repeater {
                model: timeline.videoSegments
                delegate: Rectangle {
                    objectName: "videoSegment"
                    required property var modelData
                    property real startMs: modelData.start
                    x: timeline.xOf(startMs)
                    y: 0
                    width: Math.max(1, (modelData.end - modelData.start) / timeline.dayMs * timeline.scaleWidth)
                    height: segmentLayer.height
                    color: "#B81414"
                }
            }
        }
    }

    // The ruler under the bar.
    Item {
        id: ruler
        objectName: "ruler"
        x: 0
        y: bar.y + bar.height
        width: timeline.width
        height: timeline.rulerHeight

        Repeater {
            model: timeline.rulerTicks
            delegate: Item {
                objectName: "rulerTick"
                required property var modelData
                property real tickMs: modelData
                x: timeline.xOf(tickMs)
                y: 0
                width: 1
                height: ruler.height

                Rectangle {
                    width: 1
                    height: 10
                    color: "#AAAAAA"
                }
                Text {
                    objectName: "rulerLabel"
                    y: 10
                    // Centred on its tick; the label of a tick at either end stays inside the timeline.
                    x: parent.x < 0 || parent.x > timeline.width ? -width / 2
                       : Math.max(-parent.x, Math.min(-width / 2, timeline.width - parent.x - width))
                    text: timeline.clockText(parent.tickMs, false)
                    font.pixelSize: 10
                    color: "#CCCCCC"
                }
            }
        }
    }

    // Thumbnails above the bar.
    Item {
        id: previewStrip
        objectName: "previewStrip"
        x: 0
        y: timeline.stripY
        width: timeline.width
        height: timeline.previewSize
        visible: timeline.stripShown

        Repeater {
            model: timeline.previewSlots
            delegate: Item {
                objectName: "previewSlot"
                required property var modelData
                property real slotMs: modelData.ms
                property string imageUrl: modelData.url
                x: timeline.xOf(slotMs)
                y: 0
                width: timeline.previewSize
                height: timeline.previewSize

                Image {
                    id: thumb
                    objectName: "previewImage"
                    anchors.fill: parent
                    source: parent.imageUrl
                    fillMode: Image.PreserveAspectFit
                    asynchronous: true
                    opacity: 0
                    states: State {
                        name: "loaded"
                        when: thumb.status === Image.Ready
                        PropertyChanges { target: thumb; opacity: 1 }
                    }
                    transitions: Transition {
                        to: "loaded"
                        NumberAnimation { property: "opacity"; duration: 250; easing.type: Easing.InOutQuad }
                    }
                }
            }
        }
    }

    // Alarms, then tags over them.
    Repeater {
        model: timeline.alarms
        delegate: Rectangle {
            id: alarmBar
            required property var modelData
            property string datetime: modelData.datetime !== undefined ? String(modelData.datetime) : ""
            property int atMs: timeline.stampMs(datetime)
            objectName: "alarmBar_" + datetime
            visible: atMs >= 0
            x: timeline.xOf(atMs) - 3
            y: timeline.markY
            z: 2
            width: 6
            height: timeline.markHeight
            color: "#f9EE00"

            MouseArea {
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: timeline.seekTo(alarmBar.datetime)
                onEntered: {
                    if (!timeline.hasController() || typeof previewPopup === "undefined" || !previewPopup)
                        return
                    var path = videoWidget.get_alarm_thumbnail_path(alarmBar.datetime)
                    var global = mapToGlobal(mouseX, mouseY)
                    previewPopup.showAtGlobal(Math.round(global.x), Math.round(global.y), path, alarmBar.datetime)
                }
                onExited: {
                    if (typeof previewPopup !== "undefined" && previewPopup)
                        previewPopup.hidePopup()
                }
            }
        }
    }

    Repeater {
        model: timeline.markers
        delegate: Rectangle {
            id: tagBar
            required property var modelData
            property string datetime: modelData.tag_datetime !== undefined ? String(modelData.tag_datetime) : ""
            property int atMs: timeline.stampMs(datetime)
            property string tipText: (modelData.tag_name !== undefined ? String(modelData.tag_name) : "") + " - "
                                     + (modelData.tag_description !== undefined && String(modelData.tag_description) !== ""
                                        ? String(modelData.tag_description) : "Marqueur standard")
            objectName: "tagBar_" + datetime
            visible: atMs >= 0
            x: timeline.xOf(atMs) - 3
            y: timeline.markY
            z: 3
            width: 6
            height: timeline.markHeight
            color: "#00FF00"

            Timer {
                id: tipTimer
                interval: 400
                onTriggered: tagTooltip.showFor(tagBar)
            }

            MouseArea {
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: timeline.seekTo(tagBar.datetime)
                onEntered: tipTimer.restart()
                onExited: {
                    tipTimer.stop()
                    tagTooltip.hideFor(tagBar)
                }
            }
        }
    }

    // The play position.
    Rectangle {
        id: positionCursor
        objectName: "positionCursor"
        readonly property real topY: timeline.stripShown ? timeline.stripY : timeline.barY
        x: timeline.cursorPosition - 1.5
        y: topY
        z: 4
        width: 3
        height: timeline.barY + 2 * timeline.barHeight - topY
        color: "#21F3F3"
        visible: timeline.cursorShown
                 && timeline.cursorPosition >= Math.floor(timeline.xOf(0))
                 && timeline.cursorPosition <= Math.ceil(timeline.xOf(timeline.dayMs))
    }

    // The time under the mouse.
    Text {
        id: hoverLabel
        objectName: "hoverTimeLabel"
        z: 5
        visible: area.containsMouse
        text: timeline.clockText(timeline.timeAt(area.mouseX), true)
        font.pixelSize: 12
        color: "white"
        x: Math.max(0, Math.min(timeline.width - width, area.mouseX - width / 2))
        y: timeline.height - height
    }

    // The tag's name and description, under the hovered tag.
    Item {
        id: tagTooltip
        objectName: "tagTooltip"
        property var owner: null
        property string text: ""
        z: 6
        visible: owner !== null
        width: tipBackground.width
        height: tipArrow.height + tipBackground.height

        function showFor(bar) {
            owner = bar
            text = bar.tipText
            var centre = bar.x + bar.width / 2
            x = Math.max(0, Math.min(timeline.width - width, centre - width / 2))
            y = bar.y + bar.height
            tipArrow.x = centre - x - tipArrow.width / 2
        }
        function hideFor(bar) {
            if (owner === bar)
                owner = null
        }

        Canvas {
            id: tipArrow
            width: 12
            height: 12
            onPaint: {
                var ctx = getContext("2d")
                ctx.reset()
                ctx.fillStyle = Qt.rgba(80 / 255, 79 / 255, 81 / 255, 0.70)
                ctx.beginPath()
                ctx.moveTo(width / 2, 0)
                ctx.lineTo(width, height)
                ctx.lineTo(0, height)
                ctx.closePath()
                ctx.fill()
            }
        }
        Rectangle {
            id: tipBackground
            y: tipArrow.height
            width: tipText.implicitWidth + 20
            height: tipText.implicitHeight + 12
            radius: 8
            color: Qt.rgba(80 / 255, 79 / 255, 81 / 255, 0.70)

            Text {
                id: tipText
                objectName: "tagTooltipText"
                anchors.centerIn: parent
                text: tagTooltip.text
                color: "white"
                font.family: "Arial"
                font.pixelSize: 13
                font.weight: Font.Medium
            }
        }
    }
}

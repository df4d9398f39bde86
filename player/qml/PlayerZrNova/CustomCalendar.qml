import QtQuick
import QtQuick.Controls.Basic
import "TimeText.js" as TimeText

// Month calendar that marks the days holding recordings; only those days can be chosen.
Rectangle {
    id: calendar
    objectName: "calendar"

    property bool compact: true
    property date currentMonth: firstOfMonth(new Date())
    property var selectedDate: null
    property var availableDates: undefined
    property string localeName: "fr_FR"

    signal dateSelected(date d)

    // Sizes: compact / normal.
    readonly property int outerMargin: compact ? 8 : 12
    readonly property int headerHeight: compact ? 36 : 44
    readonly property int dayNameHeight: compact ? 18 : 22
    readonly property int sectionSpacing: compact ? 6 : 10
    readonly property int headerFontSize: compact ? 14 : 16
    readonly property int dayNameFontSize: compact ? 10 : 12
    readonly property int dayFontSize: compact ? 12 : 15
    readonly property int columnSpacing: 4
    readonly property int columnWidth: Math.max(0, Math.floor((width - 2 * outerMargin - 6 * columnSpacing) / 7))

    readonly property color selectionColor: "#2196F3"
    readonly property color hoverColor: Qt.rgba(1, 1, 1, 0.10)
    readonly property color enabledColor: "white"
    readonly property color disabledColor: "#9e9e9e"

    readonly property var locale: Qt.locale(localeName)
    // Locale days count from Sunday = 0.
    readonly property int firstDayOfWeek: locale.firstDayOfWeek % 7

    // Rebuilt from availableDates: "yyyy-MM-dd" -> true, and the sorted "yyyy-MM" holding one.
    property var availableSet: ({})
    property var availableMonths: []

    readonly property int leadingBlanks: (new Date(currentMonth.getFullYear(), currentMonth.getMonth(), 1).getDay()
                                          - firstDayOfWeek + 7) % 7
    readonly property int daysInMonth: new Date(currentMonth.getFullYear(), currentMonth.getMonth() + 1, 0).getDate()
    readonly property int cellCount: Math.ceil((leadingBlanks + daysInMonth) / 7) * 7
    readonly property int rowCount: cellCount / 7

    readonly property string previousMonthKey: neighbourMonth(-1)
    readonly property string nextMonthKey: neighbourMonth(1)
    readonly property bool hasOtherMonth: previousMonthKey !== "" || nextMonthKey !== ""

    implicitWidth: compact ? 280 : 360
    implicitHeight: 2 * outerMargin + headerHeight + dayNameHeight + 2 * sectionSpacing
                    + rowCount * columnWidth + (rowCount - 1) * columnSpacing

    color: "#121212"
    radius: 10
    border.width: 1
    border.color: Qt.rgba(1, 1, 1, 0.08)

    function firstOfMonth(d) {
        return new Date(d.getFullYear(), d.getMonth(), 1)
    }

    function dayKey(d) {
        return d.getFullYear() + "-" + TimeText.pad2(d.getMonth() + 1) + "-" + TimeText.pad2(d.getDate())
    }

    function monthKey(d) {
        return d.getFullYear() + "-" + TimeText.pad2(d.getMonth() + 1)
    }

    function isValidDate(d) {
        return d instanceof Date && !isNaN(d.getTime())
    }

    // One entry of availableDates as "yyyy-MM-dd", or unchanged when it cannot be read.
    function normaliseDate(entry) {
        if (entry instanceof Date)
            return isValidDate(entry) ? dayKey(entry) : entry
        var text = String(entry).trim()
        var parts = /^(\d{4})[-\/](\d{1,2})[-\/](\d{1,2})$/.exec(text)
        if (parts)
            return parts[1] + "-" + TimeText.pad2(parseInt(parts[2], 10)) + "-" + TimeText.pad2(parseInt(parts[3], 10))
        var parsed = new Date(text)
        return isValidDate(parsed) ? dayKey(parsed) : text
    }

    function dateEntries(value) {
        if (value === undefined || value === null)
            return []
        if (Array.isArray(value))
            return value
        if (typeof value === "string") {
            var text = value.trim()
            if (text === "")
                return []
            if (text[0] === "[" || text[0] === "\"") {
                try {
                    var parsed = JSON.parse(text)
                    if (Array.isArray(parsed))
                        return parsed
                    if (typeof parsed === "string")
                        return [parsed]
                } catch (e) {
                    // Not JSON: read it as a separated list below.
                }
            }
            return text.split(/[\s,;]+/).filter(function(s) { return s !== "" })
        }
        if (typeof value === "object") {
            // A Set, or a list type coming from C++.
            if (typeof value.forEach === "function") {
                var items = []
                value.forEach(function(v) { items.push(v) })
                return items
            }
            if (value.length !== undefined) {
                var list = []
                for (var i = 0; i < value.length; ++i)
                    list.push(value[i])
                return list
            }
        }
        return [value]
    }

    function rebuildAvailable() {
        var set = {}
        var months = {}
        var entries = dateEntries(availableDates)
        for (var i = 0; i < entries.length; ++i) {
            var key = normaliseDate(entries[i])
            set[key] = true
            if (/^\d{4}-\d{2}-\d{2}$/.test(key))
                months[key.substring(0, 7)] = true
        }
        availableSet = set
        availableMonths = Object.keys(months).sort()
        if (availableMonths.length > 0 && availableMonths.indexOf(monthKey(currentMonth)) < 0)
            currentMonth = monthFromKey(availableMonths[0])
    }

    function monthFromKey(key) {
        return new Date(parseInt(key.substring(0, 4), 10), parseInt(key.substring(5, 7), 10) - 1, 1)
    }

    // The nearest month with recordings before (-1) or after (1) the one shown.
    function neighbourMonth(direction) {
        var shown = monthKey(currentMonth)
        var months = availableMonths
        if (direction < 0) {
            for (var i = months.length - 1; i >= 0; --i)
                if (months[i] < shown)
                    return months[i]
        } else {
            for (var j = 0; j < months.length; ++j)
                if (months[j] > shown)
                    return months[j]
        }
        return ""
    }

    function goToMonth(key) {
        if (key !== "")
            currentMonth = monthFromKey(key)
    }

    function isAvailable(key) {
        return availableSet[key] === true
    }

    function selectedKey() {
        return isValidDate(selectedDate) ? dayKey(selectedDate) : ""
    }

    function monthTitle() {
        var title = currentMonth.toLocaleDateString(locale, "MMMM yyyy")
        return title.length > 0 ? title.charAt(0).toUpperCase() + title.slice(1) : title
    }

    // Moves the selection by a number of days when the target lies in a month with recordings.
    function moveSelection(days) {
        if (!isValidDate(selectedDate))
            return
        var target = new Date(selectedDate.getFullYear(), selectedDate.getMonth(), selectedDate.getDate() + days, 12)
        if (availableMonths.indexOf(monthKey(target)) < 0)
            return
        selectedDate = target
        if (monthKey(target) !== monthKey(currentMonth))
            currentMonth = firstOfMonth(target)
    }

    onAvailableDatesChanged: rebuildAvailable()
    Component.onCompleted: rebuildAvailable()

    Column {
        id: body
        anchors.fill: parent
        anchors.margins: calendar.outerMargin
        spacing: calendar.sectionSpacing

        // Header: previous month, title, next month.
        Item {
            width: parent.width
            height: calendar.headerHeight

            Text {
                id: previousArrow
                objectName: "calendarPrevious"
                readonly property bool active: calendar.enabled && calendar.previousMonthKey !== ""
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                width: calendar.headerHeight
                height: calendar.headerHeight
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                text: "‹"
                font.pixelSize: calendar.headerFontSize + 6
                color: active ? calendar.enabledColor : calendar.disabledColor
                MouseArea {
                    anchors.fill: parent
                    enabled: previousArrow.active
                    onClicked: calendar.goToMonth(calendar.previousMonthKey)
                }
            }

            Text {
                objectName: "calendarTitle"
                anchors.centerIn: parent
                text: calendar.monthTitle()
                font.pixelSize: calendar.headerFontSize
                font.bold: true
                color: calendar.enabled && calendar.hasOtherMonth ? calendar.enabledColor : calendar.disabledColor
            }

            Text {
                id: nextArrow
                objectName: "calendarNext"
                readonly property bool active: calendar.enabled && calendar.nextMonthKey !== ""
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: calendar.headerHeight
                height: calendar.headerHeight
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                text: "›"
                font.pixelSize: calendar.headerFontSize + 6
                color: active ? calendar.enabledColor : calendar.disabledColor
                MouseArea {
                    anchors.fill: parent
                    enabled: nextArrow.active
                    onClicked: calendar.goToMonth(calendar.nextMonthKey)
                }
            }
        }

        // Day names, from the locale's first day of the week.
        Row {
            objectName: "calendarDayNames"
            spacing: calendar.columnSpacing
            height: calendar.dayNameHeight

            Repeater {
                model: 7
                Text {
                    objectName: "calendarDayName_" + index
                    width: calendar.columnWidth
                    height: calendar.dayNameHeight
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    text: calendar.locale.standaloneDayName((calendar.firstDayOfWeek + index) % 7,
                                                            Locale.NarrowFormat).toUpperCase()
                    font.pixelSize: calendar.dayNameFontSize
                    color: calendar.disabledColor
                }
            }
        }

        Grid {
            id: grid
            objectName: "calendarGrid"
            columns: 7
            columnSpacing: calendar.columnSpacing
            rowSpacing: calendar.columnSpacing
            focus: true
            activeFocusOnTab: true

            Keys.onPressed: (event) => {
                if (!calendar.enabled || !calendar.isValidDate(calendar.selectedDate))
                    return
                switch (event.key) {
                case Qt.Key_Left:
                    calendar.moveSelection(-1)
                    break
                case Qt.Key_Right:
                    calendar.moveSelection(1)
                    break
                case Qt.Key_Up:
                    calendar.moveSelection(-7)
                    break
                case Qt.Key_Down:
                    calendar.moveSelection(7)
                    break
                case Qt.Key_Return:
                case Qt.Key_Enter:
                case Qt.Key_Space:
                    calendar.dateSelected(calendar.selectedDate)
                    break
                default:
                    return
                }
                event.accepted = true
            }

            Repeater {
                model: calendar.cellCount

                Rectangle {
                    id: cell
                    readonly property int dayNumber: index - calendar.leadingBlanks + 1
                    readonly property bool realDay: dayNumber >= 1 && dayNumber <= calendar.daysInMonth
                    readonly property string key: realDay
                        ? calendar.monthKey(calendar.currentMonth) + "-" + TimeText.pad2(dayNumber) : ""
                    readonly property bool available: realDay && calendar.isAvailable(key)
                    readonly property bool selected: realDay && key === calendar.selectedKey()

                    objectName: realDay ? "day_" + key : "blank_" + index
                    width: calendar.columnWidth
                    height: calendar.columnWidth
                    radius: 6
                    color: selected ? calendar.selectionColor
                           : (available && calendar.enabled && cellMouse.containsMouse ? calendar.hoverColor
                                                                                       : "transparent")
                    border.width: available && !selected ? 1 : 0
                    border.color: Qt.rgba(1, 1, 1, 0.10)

                    Text {
                        anchors.centerIn: parent
                        visible: cell.realDay
                        text: cell.dayNumber
                        font.pixelSize: calendar.dayFontSize
                        font.bold: cell.selected
                        color: cell.available ? "white" : "#8a8a8a"
                    }

                    MouseArea {
                        id: cellMouse
                        anchors.fill: parent
                        hoverEnabled: true
                        enabled: cell.available
                        onClicked: {
                            grid.forceActiveFocus()
                            // Noon: a day whose midnight falls in a daylight-saving gap is still that day.
                            calendar.selectedDate = new Date(calendar.currentMonth.getFullYear(),
                                                             calendar.currentMonth.getMonth(), cell.dayNumber, 12)
                            calendar.dateSelected(calendar.selectedDate)
                        }
                    }
                }
            }
        }
    }
}

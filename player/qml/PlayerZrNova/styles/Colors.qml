pragma Singleton
import QtQuick

QtObject {
    objectName: "colors"

    readonly property color primary: "#202020"
    readonly property color background: "#202020"
    readonly property color timelineBg: "#202020"
    readonly property color timelineBackground: "#202020"
    readonly property color secondary: "#393939"
    readonly property color surface: "#393939"
    readonly property color tertiary: "#000000"
    readonly property color surfaceLight: "#000000"
    readonly property color accent: "#FFFFFF"
    readonly property color text: "#FFFFFF"
    readonly property color info: "#FFFFFF"
    readonly property color timelineText: "#FFFFFF"
    readonly property color alert: "#FF0000"
    readonly property color error: "#FF0000"
    readonly property color timelineMarker: "#FF0000"
    readonly property color success: "#00FF00"
    readonly property color textSecondary: "#B0B0B0"
    readonly property color textDisabled: "#757575"
    readonly property color warning: "#FFC107"
    readonly property color timelineBlock1: "#2A2A2A"
    readonly property color timelineBlock2: "#333333"
    readonly property color timelineBorder: "#444444"
    readonly property color timelineCursor: "#4CAF50"
    readonly property color timelinePosition: "#4CAF50"
    readonly property color timelineAlarm: "#F44336"
}

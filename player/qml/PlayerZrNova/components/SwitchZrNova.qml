import QtQuick
import QtQuick.Controls.Basic

// A small pill switch with an icon on its knob and no text.
Switch {
    id: control

    property bool customChecked: checked
    property url iconSource: "qrc:/qml/Zrplayer/resources/icons/double-chevron.svg"
    property int animationDuration: 150

    signal stateToggled(bool state)

    onToggled: stateToggled(checked)

    function toggle() {
        checked = !checked
        stateToggled(checked)
    }

    padding: 0
    text: ""
    // Nothing but the indicator: it alone gives the size.
    implicitWidth: indicator.implicitWidth + leftPadding + rightPadding
    implicitHeight: indicator.implicitHeight + topPadding + bottomPadding

    indicator: Rectangle {
        objectName: "switchTrack"
        implicitWidth: 35
        implicitHeight: 18
        x: control.leftPadding
        y: parent.height / 2 - height / 2
        radius: 9
        color: "transparent"
        border.color: "grey"
        border.width: 1

        Rectangle {
            objectName: "switchKnob"
            width: 18
            height: 18
            radius: 9
            color: "white"
            x: control.checked ? parent.width - width : 0
            Behavior on x { NumberAnimation { duration: control.animationDuration } }

            Image {
                anchors.centerIn: parent
                width: 9
                height: 9
                sourceSize.width: 9
                sourceSize.height: 9
                source: control.iconSource
            }
        }
    }

    contentItem: Item {}
}

import QtQuick

// A wide dark button: icon, divider and one line of text.
Rectangle {
    id: button

    property string text: "Texte par défaut"
    property string iconSource: ""
    property bool showDivider: true

    signal clicked()

    width: 220
    height: 48
    color: "#121212"
    border.color: "grey"
    border.width: 1
    radius: 10

    Rectangle {
        objectName: "buttonZrNovaTint"
        anchors.fill: parent
        radius: button.radius
        color: mouseArea.pressed ? Qt.rgba(128 / 255, 128 / 255, 128 / 255, 0.25)
               : (mouseArea.containsMouse ? Qt.rgba(128 / 255, 128 / 255, 128 / 255, 0.15) : "transparent")
    }

    Row {
        anchors.fill: parent
        anchors.leftMargin: 15
        anchors.rightMargin: 15
        spacing: 12

        Image {
            objectName: "buttonZrNovaIcon"
            anchors.verticalCenter: parent.verticalCenter
            width: 18
            height: 18
            sourceSize.width: 18
            sourceSize.height: 18
            visible: button.iconSource !== ""
            source: button.iconSource !== ""
                    ? "qrc:/qml/Zrplayer/resources/icons/" + button.iconSource + ".svg" : ""
        }

        Item {
            width: 1
            height: parent.height
            visible: button.showDivider && button.iconSource !== ""
            SeparatorZrNova {
                vertical: true
            }
        }

        Text {
            objectName: "buttonZrNovaText"
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - x
            text: button.text
            color: "white"
            font.pixelSize: 14
            elide: Text.ElideRight
            maximumLineCount: 1
        }
    }

    MouseArea {
        id: mouseArea
        objectName: "buttonZrNovaMouse"
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}

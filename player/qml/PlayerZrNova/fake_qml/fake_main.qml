import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Controls.Material
import Qt.labs.platform
import QtQuick.Dialogs
import QtQuick.Window

// Names every module the views need, so that deployment tools bring them along.
Item {
    objectName: "fakeMain"
}

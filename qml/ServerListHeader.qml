import QtQuick 2.12
import "controls"

// Title bar of the server list with its close button; a line in the active colour shows below it.
Rectangle {
    id: listHeader

    property alias childHeight: child.height
    property alias title: title.text
    readonly property int lineHeight: 3
    // Rows start where the close icon does.
    property int leftOffset: child.height / 2 - closeImage.paintedWidth / 2

    signal closeButtonClicked

    color: uiStyle.generalHeaderActiveColor
    height: child.height + lineHeight

    Rectangle {
        id: child
        anchors.top: parent.top
        width: parent.width
        height: 68
        color: uiStyle.generalHeaderBackgroundColor

        ABrightLabel {
            id: title
            anchors.centerIn: parent
            font.pixelSize: 15
            text: qsTr("Server list")
        }

        Rectangle {
            objectName: "closeButton"
            width: child.height
            height: child.height
            color: "transparent"
            opacity: closeArea.pressed ? 0.5 : 1
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Close")
            Accessible.onPressAction: listHeader.closeButtonClicked()

            Image {
                id: closeImage
                anchors.centerIn: parent
                source: uiStyle.darkStyle ? "qrc:/resources/icons/close_white.png" : "qrc:/resources/icons/close_black.png"
            }

            MouseAreaHandler {
                id: closeArea
                onClicked: listHeader.closeButtonClicked()
            }
        }
    }
}

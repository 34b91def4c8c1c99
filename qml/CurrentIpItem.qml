import QtQuick 2.12
import "controls"

// The public IP address with its flag, under an info text.
Column {
    property alias imageSource: flag.imageSource
    property alias ip: flag.text
    property alias infoText: info.text
    property alias ipVisible: flag.visible

    width: parent ? parent.width : implicitWidth

    AGreyLabel {
        id: info
        anchors.horizontalCenter: parent.horizontalCenter
    }

    FlagItem {
        id: flag
        objectName: "currentIp"
        anchors.horizontalCenter: parent.horizontalCenter
        textMaximumWidth: parent.width - 40 - imageWidth - spacing
        Accessible.role: Accessible.StaticText
        Accessible.name: info.text + " " + flag.text
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import ConnectionStatus 1.0
import "controls"

// Above the switch: the state word, always shown, and under it whatever stands in the way, in words
// that name the cause and the next step, with a button for that step when there is one.
Column {
    id: panel

    signal settingsRequested

    topPadding: 12
    bottomPadding: 12
    spacing: 8

    Connections {
        target: connectionStatus
        function onSettingsRequested() {
            panel.settingsRequested()
        }
    }

    Row {
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 8

        Rectangle {
            objectName: "stateMark"
            width: 10
            height: 10
            radius: 5
            anchors.verticalCenter: parent.verticalCenter
            color: connectionStatus.state === ConnectionStatus.Connected ? uiStyle.generalHeaderActiveColor
                 : connectionStatus.state === ConnectionStatus.Blocked ? "#e0401a"
                 : uiStyle.generalSwitchIndicatorColor
        }

        Label {
            id: stateWord
            objectName: "stateWord"
            textFormat: Text.PlainText
            text: connectionStatus.stateText
            font.family: FontFactory.poppinsBold.name
            font.bold: true
            font.pixelSize: 16
            color: uiStyle.generalBrightLabelColor
            Accessible.role: Accessible.StaticText
            Accessible.name: qsTr("VPN state: %1").arg(text)
        }
    }

    Label {
        id: problemLabel
        objectName: "problemText"
        visible: text !== ""
        x: 20
        width: parent.width - 40
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        text: connectionStatus.problemText
        font.family: FontFactory.poppinsRegular.name
        font.pixelSize: 12
        color: uiStyle.generalBrightLabelColor
        Accessible.role: Accessible.AlertMessage
        Accessible.name: text
    }

    AButton {
        objectName: "problemAction"
        visible: connectionStatus.actionText !== ""
        anchors.horizontalCenter: parent.horizontalCenter
        text: connectionStatus.actionText
        onClicked: connectionStatus.act()
    }
}

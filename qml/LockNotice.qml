import QtQuick 2.12
import QtQuick.Controls 2.12
import ConnectionStatus 1.0
import "controls"

// Tells the user that the network lock blocks the Internet after a loss, and offers the ways out:
// connect again, keep the lock until the user disconnects, or disconnect and lift the lock. Laid
// over the main window, which stays where it is; Escape keeps the lock, the safe choice. A Dialog for its
// title: that is the name a screen reader gives the notice when it takes the focus.
Dialog {
    id: notice
    objectName: "lockNotice"

    parent: Overlay.overlay
    x: Math.round((parent.width - width) / 2)
    y: Math.round((parent.height - height) / 2)
    width: Math.min(360, parent.width - 20)
    modal: true
    focus: true
    padding: 20
    verticalPadding: 20
    title: qsTr("Internet blocked by the network lock")
    // The title is drawn below, in the notice's own look.
    header: null
    closePolicy: Popup.CloseOnEscape

    // The lock no longer blocks: connected again, or lifted.
    readonly property bool stillBlocked: connectionStatus.state === ConnectionStatus.Blocked || connectionStatus.state === ConnectionStatus.Connecting
    onStillBlockedChanged: if (!stillBlocked) close()
    onOpened: reconnectButton.forceActiveFocus()

    function reconnect() {
        close()
        vpnCore.connectToVpn()
    }
    function stayBlocked() {
        close()
    }
    function lift() {
        close()
        console.log("Restore connection to Internet")
        vpnCore.disconnectFromVpn()
    }

    background: Rectangle {
        color: uiStyle.generalSectionColor
        border.color: uiStyle.generalTextFieldBorderColor
        radius: 4
    }

    contentItem: Column {
        spacing: 12

        Label {
            id: title
            objectName: "noticeTitle"
            width: parent.width
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            text: notice.title
            font.family: FontFactory.poppinsBold.name
            font.bold: true
            font.pixelSize: 16
            color: uiStyle.generalBrightLabelColor
        }

        Label {
            objectName: "noticeText"
            width: parent.width
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            text: connectionStatus.causeText + "\n" + qsTr("The network lock keeps all traffic off the network so that nothing leaves outside the VPN.")
            font.family: FontFactory.poppinsRegular.name
            font.pixelSize: 13
            color: uiStyle.generalBrightLabelColor
        }

        AButton {
            id: reconnectButton
            objectName: "noticeReconnect"
            width: parent.width
            text: qsTr("Reconnect")
            onClicked: notice.reconnect()
        }

        AButton {
            objectName: "noticeStay"
            width: parent.width
            text: qsTr("Stay blocked until I disconnect")
            onClicked: notice.stayBlocked()
        }

        AButton {
            objectName: "noticeLift"
            width: parent.width
            text: qsTr("Disconnect and lift the lock")
            onClicked: notice.lift()
        }
    }
}

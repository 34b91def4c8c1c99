import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Window 2.12
import DashCircle 1.0
import "controls"

ApplicationWindow {
    id: applicationWindow
    width: 400
    height: 650
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: uiStyle.generalBackgroundColor
    title: settings.titleName()
    visible: true

    header: HeaderItem {
        id: headerItem
    }

    footer: FooterItem {
        id: footerItem
    }

    // Made when first opened: its list and controls cost start-up time and memory while hidden.
    // Named by file, so that not even its type is loaded before.
    Loader {
        id: serverListLoader
        objectName: "serverListLoader"
        active: false
        source: "ServerListWindow.qml"
        onLoaded: {
            item.y = Qt.binding(function () { return headerItem.height })
            item.width = Qt.binding(function () { return applicationWindow.width })
            item.height = Qt.binding(function () { return applicationWindow.height - headerItem.height - footerItem.height })
        }
    }

    Column {
        topPadding: 65
        width: 400
        height: 400

        Item {
            width: 400
            height: 400

            DashCircle {
                width: parent.width - 5
                height: width
                anchors.centerIn: parent
                color: uiStyle.connectionPageCirclesColor
            }

            DashCircle {
                width: 290
                height: 290
                anchors.centerIn: parent
                color: uiStyle.connectionPageCirclesColor
            }

            Column {
                width: parent.width

                VpnConnectionInfo {
                    id: connectionInfo
                    objectName: "connectionInfo"
                    width: parent.width
                    downloaded: vpnCore.downloaded
                    uploaded: vpnCore.uploaded
                    locationImageSource: serverListModel.locationImageSource
                    locationText: serverListModel.locationText
                    onLocationClicked: applicationWindow.showServerList()
                }

                VpnConnectionButton {
                    id: connectionButton
                    objectName: "connectionButton"
                    width: parent.width
                    height: 300
                    connectedState: vpnCore.vpnConnected
                    vpnOnlineTime: vpnCore.vpnOnlineTime

                    // Under the round switch, clear of the location row and the counters above it.
                    AToolTip {
                        id: switchToolTip
                        objectName: "switchToolTip"
                        timeout: 5000
                        maximumWidth: connectionButton.width - 40
                        x: (connectionButton.width - width) / 2
                        y: connectionButton.switchBottom + 4
                    }

                    function showTip(text) {
                        switchToolTip.text = text
                        switchToolTip.visible = true
                    }

                    // Without a server there is nothing to connect to; say why there is none.
                    function noServerReason() {
                        if (serverListModel.isEmpty)
                            return qsTr("Choose a server location first")
                        return serverListModel.unavailable ? qsTr("The server list cannot be loaded. Trying again...") : qsTr("The server list is loading...")
                    }

                    onClicked: {
                        if (vpnCore.vpnConnectionInProgress) {
                            // A click cancels an attempt that may never complete.
                            vpnCore.disconnectFromVpn()
                        } else if (vpnCore.vpnDisconnectionInProgress) {
                            showTip(qsTr("Disconnection in progress..."))
                        } else if (vpnCore.vpnConnected) {
                            vpnCore.disconnectFromVpn()
                        } else if (!vpnCore.tunAvailable) {
                            showTip(vpnCore.tunUnavailableText)
                        } else if (serverListModel.serverIp === "") {
                            showTip(noServerReason())
                        } else {
                            vpnCore.connectToVpn()
                        }
                    }
                }

                CurrentIpItem {
                    id: currentIpItem
                    objectName: "currentIpItem"
                    topPadding: 10
                    imageSource: vpnCore.currentLocationImageSource
                    infoText: vpnCore.currentIpInfoText
                    ip: vpnCore.currentIp
                }
            }
        }
    }

    Connections {
        target: vpnCore
        function onVpnConnectedChanged() {
            switchToolTip.visible = false
        }
        function onVpnConnectionErrorTextChanged(text) {
            switchToolTip.text = text
            switchToolTip.visible = text !== ""
        }
        function onKillSwitchEventActivated() {
            applicationWindow.showKillSwitchDialog()
        }
    }

    Connections {
        target: serverListModel
        function onServerIpChanged(ip) {
            vpnCore.setVpnServerIp(ip)
        }
    }

    function showServerList() {
        serverListLoader.active = true
        serverListLoader.item.visible = true
    }

    // Made when first needed: the dialogs module and its widgets bridge cost start-up time and memory.
    property QtObject killSwitchDialog: null

    function showKillSwitchDialog() {
        if (!killSwitchDialog)
            killSwitchDialog = Qt.createComponent("KillSwitchDialog.qml").createObject(applicationWindow)
        killSwitchDialog.visible = true
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Window 2.12
import DashCircle 1.0
import "controls"

ApplicationWindow {
    id: applicationWindow

    // The designed size, unless the screen's free area is smaller (a high scale factor on a small
    // screen): then the window takes what there is, the content scrolls and, if narrower, shrinks.
    // The room kept free is for the title bar the window manager adds.
    readonly property size designSize: Qt.size(400, 650)
    property real screenRoom: Screen.desktopAvailableHeight - 40
    property real screenWidthRoom: Screen.desktopAvailableWidth
    width: screenWidthRoom > 0 ? Math.min(designSize.width, screenWidthRoom) : designSize.width
    height: screenRoom > 0 ? Math.min(designSize.height, screenRoom) : designSize.height
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: uiStyle.generalBackgroundColor
    title: uiStyle.titleName()
    visible: true

    // A keyboard user starts on the round switch.
    Component.onCompleted: connectionButton.forceActiveFocus()

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

    Flickable {
        id: page
        objectName: "mainFlick"
        anchors.fill: parent
        contentWidth: width
        contentHeight: pageColumn.height * pageColumn.scale
        clip: contentHeight > height
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            objectName: "mainScrollBar"
            policy: page.contentHeight > page.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            Accessible.name: qsTr("Scroll the window")
        }

        Column {
            id: pageColumn
            width: 400
            transformOrigin: Item.TopLeft
            scale: Math.min(1, page.width / width)

            StatusPanel {
                id: statusPanel
                objectName: "statusPanel"
                width: parent.width
                onSettingsRequested: footerItem.openSettings()
            }

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
                        downloaded: connectionView.downloaded
                        uploaded: connectionView.uploaded
                        locationImageSource: serverListModel.locationImageSource
                        locationText: serverListModel.locationText
                        onLocationClicked: applicationWindow.showServerList()
                    }

                    VpnConnectionButton {
                        id: connectionButton
                        objectName: "connectionButton"
                        width: parent.width
                        height: 300
                        faceState: connectionStatus.state
                        switchedOn: connectionStatus.switchedOn
                        stateText: connectionStatus.stateText
                        vpnOnlineTime: connectionView.vpnOnlineTime

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

                        onClicked: {
                            var why = connectionStatus.press()
                            if (why !== "")
                                showTip(why)
                        }
                    }

                    CurrentIpItem {
                        id: currentIpItem
                        objectName: "currentIpItem"
                        topPadding: 10
                        imageSource: connectionView.currentLocationImageSource
                        infoText: connectionView.currentIpInfoText
                        ip: connectionView.currentIp
                    }
                }
            }
        }
    }

    // Keeps the control that the keyboard reached in view.
    onActiveFocusItemChanged: {
        var item = activeFocusItem, inside = item
        while (inside && inside !== page.contentItem)
            inside = inside.parent
        if (!inside)
            return
        var top = item.mapToItem(page.contentItem, 0, 0).y, bottom = item.mapToItem(page.contentItem, 0, item.height).y
        if (top < page.contentY)
            page.contentY = Math.max(0, top)
        else if (bottom > page.contentY + page.height)
            page.contentY = Math.min(page.contentHeight - page.height, bottom - page.height)
    }

    Connections {
        target: vpnCore
        function onVpnConnectedChanged() {
            switchToolTip.visible = false
        }
        // The status panel says what went wrong and stays; a tip under the switch would only repeat it.
        function onKillSwitchEventActivated() {
            applicationWindow.showLockNotice()
        }
    }

    function showServerList() {
        serverListLoader.active = true
        serverListLoader.item.visible = true
    }

    // The lock's notice, made when first needed: in the window's overlay, in its style and language.
    Loader {
        id: lockNoticeLoader
        objectName: "lockNoticeLoader"
        active: false
        source: "LockNotice.qml"
    }

    function showLockNotice() {
        lockNoticeLoader.active = true
        lockNoticeLoader.item.open()
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Window 2.12
import QtQuick.Layouts 1.12
import "controls"

// Edits copies of the settings and writes them back when it is hidden; only the credentials are stored at
// once, by their own button.
Window {
    id: settingsWindow

    property int columnPadding: 20
    // A little under the padding: with it the higher tab still fits a 768-pixel-high screen.
    property int columnSpacing: 16
    property string sectionColor: uiStyle.generalSectionColor

    // A rounded-off block of a tab: a header over its controls, which take the block's inner width.
    component Section: Rectangle {
        id: section

        property alias title: sectionHeader.text
        property alias spacing: inner.spacing
        property int padding: 18
        default property alias content: inner.data

        width: parent.width - 2 * padding
        anchors.horizontalCenter: parent.horizontalCenter
        height: inner.height + 2 * padding

        Column {
            id: inner
            x: section.padding
            y: section.padding
            width: section.width - 2 * section.padding

            ASectionHeader {
                id: sectionHeader
            }
        }
    }

    // As high as the higher tab, unless the screen is smaller: then the tabs scroll. The room kept free
    // is for the title bar the window manager adds.
    readonly property real fullHeight: headerItem.height + tabBar.height + Math.max(generalColumn.height, advancedColumn.height)
    property real screenRoom: Screen.desktopAvailableHeight - 40

    width: 700
    height: screenRoom > 0 ? Math.min(fullHeight, screenRoom) : fullHeight
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: applicationWindow.color
    // Its own name: assistive technology tells the windows apart by it.
    // Ends with the program's name, which the system would otherwise add.
    title: qsTr("Settings — %1").arg(applicationWindow.title)
    visible: false

    function loadCredentials() {
        userNameField.textField.text = settings.userName
        passwordField.textField.text = settings.password
        showPassword.revealing = false
    }

    function writeBack() {
        settings.allowAccessToLocalDevices = localDevicesSwitch.checked
        settings.autoReconnectToVpn = autoReconnectSwitch.checked
        settings.autoUpdateEnabled = autoUpdateSwitch.checked
        settings.connectToLastLocation = lastLocationSwitch.checked
        settings.killswitchEnabled = killSwitch.checked
        settings.keepRunningInTray = keepInTraySwitch.checked
        settings.notificationsEnabled = notificationsSwitch.checked
        settings.launchAppOnStartup = launchSwitch.checked
        settings.mtuSize = autoMtu.checked ? 0 : mtuBox.value
        settings.networkProtocol = udp.checked ? 0 : 1
        settings.save()
        vpnCore.setAutoReconnection(settings.autoReconnectToVpn)
    }

    Component.onCompleted: {
        loadCredentials()
        // The kill switch first: its change drags local-network access along.
        killSwitch.checked = settings.killswitchEnabled
        localDevicesSwitch.checked = settings.allowAccessToLocalDevices
        autoReconnectSwitch.checked = settings.autoReconnectToVpn
        autoUpdateSwitch.checked = settings.autoUpdateEnabled
        lastLocationSwitch.checked = settings.connectToLastLocation
        launchSwitch.checked = settings.launchAppOnStartup
        keepInTraySwitch.checked = settings.keepRunningInTray
        notificationsSwitch.checked = settings.notificationsEnabled
        autoMtu.checked = settings.mtuSize === 0
        manualMtu.checked = !autoMtu.checked
        mtuBox.value = settings.mtuSize !== 0 ? settings.mtuSize : settings.defaultMtuSize()
        udp.checked = settings.networkProtocol === 0
        tcp.checked = !udp.checked
    }

    // Keeps the control that the keyboard reached in view.
    onActiveFocusItemChanged: {
        var item = activeFocusItem, inside = item
        while (inside && inside !== flick.contentItem)
            inside = inside.parent
        if (!inside)
            return
        var top = item.mapToItem(flick.contentItem, 0, 0).y
        if (top < flick.contentY)
            flick.contentY = Math.max(0, top - columnSpacing)
        else if (top + item.height > flick.contentY + flick.height)
            flick.contentY = Math.min(flick.contentHeight - flick.height, top + item.height + columnSpacing - flick.height)
    }

    onVisibleChanged: {
        if (visible) {
            loadCredentials()
            content.forceActiveFocus()
        } else {
            writeBack()
            // The keyboard goes back to the main window.
            applicationWindow.requestActivate()
        }
    }

    Column {
        id: content
        objectName: "settingsContent"
        width: settingsWindow.width
        focus: true
        Keys.onEscapePressed: settingsWindow.visible = false

        HeaderItem {
            id: headerItem
            width: parent.width
        }

        Row {
            id: tabBar

            property int currentIndex: 0

            width: parent.width
            Accessible.role: Accessible.PageTabList
            Accessible.name: qsTr("Settings pages")

            ATabButton {
                id: generalTab
                objectName: "generalTab"
                width: tabBar.width / 2
                text: qsTr("General")
                selected: true
                onClicked: {
                    advancedTab.selected = false
                    tabBar.currentIndex = 0
                }
            }

            ATabButton {
                id: advancedTab
                objectName: "advancedTab"
                width: tabBar.width / 2
                text: qsTr("Advanced")
                onClicked: {
                    generalTab.selected = false
                    tabBar.currentIndex = 1
                }
            }
        }

        Flickable {
            id: flick
            objectName: "settingsFlick"
            width: parent.width
            height: settingsWindow.height - headerItem.height - tabBar.height
            contentWidth: width
            contentHeight: tabBar.currentIndex === 0 ? generalColumn.height : advancedColumn.height
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                objectName: "settingsScrollBar"
                Accessible.name: qsTr("Scroll the settings")
                policy: flick.contentHeight > flick.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }

            Column {
                id: generalColumn
                objectName: "generalColumn"
                width: parent.width
                visible: tabBar.currentIndex === 0
                padding: settingsWindow.columnPadding
                spacing: settingsWindow.columnSpacing

                Section {
                    color: settingsWindow.sectionColor
                    id: authentication
                    title: qsTr("Authentication")
                    spacing: 16

                    // The fields side by side with their button: the window then fits a 768-pixel-high screen.
                    RowLayout {
                        width: parent.width
                        spacing: settingsWindow.columnSpacing

                        AInputField {
                            id: userNameField
                            objectName: "userNameField"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            labelField.text: qsTr("Username")
                        }

                        AInputField {
                            id: passwordField
                            objectName: "passwordField"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            labelField.text: qsTr("Password")
                            // Masked also while typing, unless the user asks to see it.
                            textField.echoMode: showPassword.revealing ? TextInput.Normal : TextInput.Password
                            textField.rightPadding: showPassword.width + 8

                            Button {
                                id: showPassword
                                objectName: "showPasswordButton"
                                parent: passwordField.textField
                                anchors.right: parent.right
                                anchors.rightMargin: 4
                                anchors.verticalCenter: parent.verticalCenter
                                property bool revealing: false
                                padding: 4
                                text: revealing ? qsTr("Hide") : qsTr("Show")
                                Accessible.name: revealing ? qsTr("Hide password") : qsTr("Show password")
                                onClicked: revealing = !revealing
                                Keys.onReturnPressed: clicked()
                                Keys.onEnterPressed: clicked()
                                contentItem: Text {
                                    text: showPassword.text
                                    font.family: FontFactory.poppinsRegular.name
                                    font.pixelSize: 12
                                    font.underline: showPassword.visualFocus
                                    color: uiStyle.generalDefaultLabelColor
                                }
                                background: Rectangle {
                                    color: "transparent"
                                    border.width: showPassword.visualFocus ? 2 : 0
                                    border.color: uiStyle.generalHeaderActiveColor
                                }
                            }
                        }

                        AButton {
                            objectName: "saveAccountButton"
                            Layout.alignment: Qt.AlignBottom
                            text: qsTr("Save account")
                            onClicked: {
                                settings.userName = userNameField.textField.text
                                settings.password = passwordField.textField.text
                                settings.save()
                                updatedToolTip.show(qsTr("Account saved"), 3000)
                            }
                        }
                    }

                    AToolTip {
                        id: updatedToolTip
                        objectName: "updatedToolTip"
                        x: (authentication.width - width) / 2 - authentication.padding
                        y: (authentication.height - height) / 2 - authentication.padding
                    }
                }

                Section {
                    color: settingsWindow.sectionColor
                    title: qsTr("Startup and notification area")

                    ASwitch {
                        id: launchSwitch
                        objectName: "launchSwitch"
                        text: qsTr("Launch %1 at sign-in").arg(applicationWindow.title)
                    }

                    ASwitch {
                        id: lastLocationSwitch
                        objectName: "lastLocationSwitch"
                        text: qsTr("Connect to the last used location when %1 is launched").arg(applicationWindow.title)
                    }

                    ASwitch {
                        id: autoReconnectSwitch
                        objectName: "autoReconnectSwitch"
                        text: qsTr("Re-establish VPN connection if disconnected or dropped")
                    }

                    ASwitch {
                        id: keepInTraySwitch
                        objectName: "keepInTraySwitch"
                        text: qsTr("Keep %1 running in the notification area when its window is closed").arg(applicationWindow.title)
                    }

                    ASwitch {
                        id: notificationsSwitch
                        objectName: "notificationsSwitch"
                        text: qsTr("Show notifications when the VPN connection changes")
                    }
                }

                Section {
                    color: settingsWindow.sectionColor
                    title: qsTr("Network lock")

                    ASwitch {
                        id: killSwitch
                        objectName: "killSwitch"
                        text: qsTr("Enable the network lock: no Internet traffic while the VPN is down")
                        onCheckedChanged: localDevicesSwitch.checked = checked
                    }

                    ASmallGreyLabel {
                        width: parent.width
                        text: qsTr("The network lock ensures your Internet traffic goes through the %1 secure tunnel\nand stops all traffic if %1 disconnects unexpectedly").arg(applicationWindow.title)
                    }

                    ASwitch {
                        id: localDevicesSwitch
                        objectName: "localDevicesSwitch"
                        enabled: killSwitch.checked
                        text: qsTr("Allow access to local network devices such as shared printers")
                    }
                }
            }

            Column {
                id: advancedColumn
                objectName: "advancedColumn"
                width: parent.width
                visible: tabBar.currentIndex === 1
                padding: settingsWindow.columnPadding
                spacing: settingsWindow.columnSpacing

                Section {
                    color: settingsWindow.sectionColor
                    title: qsTr("Protocol")

                    ColumnLayout {
                        width: parent.width
                        Accessible.role: Accessible.Grouping
                        Accessible.name: qsTr("Protocol")

                        ARadioButton {
                            id: udp
                            objectName: "udpButton"
                            text: qsTr("UDP - OpenVPN")
                            checked: true
                        }

                        ASmallGreyLabel {
                            Layout.leftMargin: udp.textPadding
                            text: qsTr("This usually offers the best combination of speed and security, but may not work\non all networks")
                        }

                        ARadioButton {
                            id: tcp
                            objectName: "tcpButton"
                            text: qsTr("TCP - OpenVPN")
                        }

                        ASmallGreyLabel {
                            Layout.leftMargin: tcp.textPadding
                            text: qsTr("This is more likely to function on all types of networks, but might be slower than UDP")
                        }
                    }
                }

                Section {
                    color: settingsWindow.sectionColor
                    title: qsTr("MTU Size")

                    RowLayout {
                        width: parent.width
                        Accessible.role: Accessible.Grouping
                        Accessible.name: qsTr("MTU Size")

                        ARadioButton {
                            id: autoMtu
                            objectName: "autoMtuButton"
                            text: qsTr("Auto")
                            checked: true
                        }

                        ARadioButton {
                            id: manualMtu
                            objectName: "manualMtuButton"
                            text: qsTr("Manual")
                        }

                        SpinBox {
                            id: mtuBox
                            objectName: "mtuBox"
                            font.family: FontFactory.poppinsRegular.name
                            Accessible.name: qsTr("MTU Size")
                            visible: manualMtu.checked
                            editable: true
                            from: 576
                            to: 65535
                            stepSize: 50
                            // A plain number: no group separator in an MTU.
                            textFromValue: function (value) {
                                return String(value)
                            }
                            valueFromText: function (text) {
                                return parseInt(text)
                            }

                            // The keyboard's mark, as on the other controls.
                            Rectangle {
                                visible: mtuBox.activeFocus
                                anchors.fill: parent
                                color: "transparent"
                                border.width: 2
                                border.color: uiStyle.generalHeaderActiveColor
                            }
                        }

                        Item {
                            Layout.fillWidth: true
                        }
                    }
                }

                Section {
                    color: settingsWindow.sectionColor
                    title: qsTr("Auto Update")

                    ASwitch {
                        id: autoUpdateSwitch
                        objectName: "autoUpdateSwitch"
                        text: qsTr("Automatically update application")
                    }
                }

                Section {
                    color: settingsWindow.sectionColor
                    objectName: "showLogsSection"
                    visible: uiStyle.settingsPageShowLogs
                    title: qsTr("Show logs")

                    Item {
                        width: parent.width
                        height: Math.max(showLogsLabel.height, showLogsButton.height)

                        ALabel {
                            id: showLogsLabel
                            anchors.left: parent.left
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("Show logs collected by application")
                        }

                        AButton {
                            id: showLogsButton
                            objectName: "showLogsButton"
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("Show logs folder")
                            onClicked: logger.openLogFolder()
                        }
                    }
                }
            }
        }
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import "../controls"

// The tunnel's protocol and MTU, updates and the logs.
TabPage {
    Section {
        title: qsTr("Protocol")

        ColumnLayout {
            width: parent.width
            Accessible.role: Accessible.Grouping
            Accessible.name: qsTr("Protocol")

            function load() { udp.checked = settings.networkProtocol === 0; tcp.checked = !udp.checked }
            function store() { settings.networkProtocol = udp.checked ? 0 : 1 }

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
        title: qsTr("MTU Size")

        RowLayout {
            width: parent.width
            Accessible.role: Accessible.Grouping
            Accessible.name: qsTr("MTU Size")

            // 0 is the automatic size.
            function load() {
                autoMtu.checked = settings.mtuSize === 0
                manualMtu.checked = !autoMtu.checked
                mtuBox.value = settings.mtuSize !== 0 ? settings.mtuSize : settings.defaultMtuSize()
            }
            function store() { settings.mtuSize = autoMtu.checked ? 0 : mtuBox.value }

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
        title: qsTr("Auto Update")

        SettingSwitch {
            objectName: "autoUpdateSwitch"
            key: "autoUpdateEnabled"
            text: qsTr("Automatically update application")
        }
    }

    Section {
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

import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import "../controls"

// The tunnel's protocol and MTU, updates, the logs and the problem report.
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

    // The logs, and one archive of them (and more) for support: the report's button opens a dialog
    // that asks whether the public addresses may go in, saves it and says where.
    Section {
        objectName: "showLogsSection"
        title: qsTr("Logs and problem reports")

        Item {
            width: parent.width
            height: Math.max(reportButton.height, showLogsButton.height)

            AButton {
                id: reportButton
                objectName: "problemReportButton"
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Save a problem report…")
                onClicked: reportDialog.open()
            }

            AButton {
                id: showLogsButton
                objectName: "showLogsButton"
                visible: uiStyle.settingsPageShowLogs
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Show logs folder")
                onClicked: logger.openLogFolder()
            }
        }
    }

    Dialog {
        id: reportDialog
        objectName: "problemReportDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent ? parent.width - 40 : 400, 480)
        modal: true
        title: qsTr("Problem report")
        property bool saving: false

        onOpened: reportStatus.text = qsTr("The report holds the logs of the application and of the service, the versions, the settings without your account and the state of the network lock. It is saved in your documents folder.")

        background: Rectangle {
            color: uiStyle.generalSectionColor
            border.color: uiStyle.generalListViewSeparatorColor
        }

        contentItem: Column {
            spacing: 12

            ASmallGreyLabel {
                id: reportStatus
                objectName: "problemReportStatus"
                width: parent.width
                wrapMode: Text.Wrap
            }

            ASwitch {
                id: includeAddresses
                objectName: "includeAddressesSwitch"
                text: qsTr("Include my public IP addresses")
            }

            Row {
                spacing: 12

                AButton {
                    objectName: "saveReportButton"
                    text: qsTr("Save")
                    enabled: !reportDialog.saving
                    onClicked: {
                        reportDialog.saving = true
                        reportStatus.text = qsTr("Saving…")
                        problemReport.write(problemReport.suggestedPath(), includeAddresses.checked)
                    }
                }

                AButton {
                    objectName: "closeReportButton"
                    text: qsTr("Close")
                    onClicked: reportDialog.close()
                }
            }
        }

        Connections {
            target: problemReport
            function onWritten(path, error) {
                reportDialog.saving = false
                reportStatus.text = error === "" ? qsTr("Saved to %1").arg(path) : qsTr("The report could not be saved: %1").arg(error)
            }
        }
    }
}

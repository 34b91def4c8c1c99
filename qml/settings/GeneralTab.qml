import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import "../controls"

// The account, and how the client starts and stays.
TabPage {
    // The stored credentials in the fields, the password masked: they are saved only by their button.
    function loadCredentials() {
        userNameField.textField.text = settings.userName
        passwordField.textField.text = settings.password
        showPassword.revealing = false
    }

    Section {
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
        title: qsTr("Startup and notification area")

        SettingSwitch {
            objectName: "launchSwitch"
            key: "launchAppOnStartup"
            text: qsTr("Launch %1 at sign-in").arg(applicationWindow.title)
        }

        SettingSwitch {
            objectName: "startInTraySwitch"
            key: "startInTray"
            text: qsTr("Start in the notification area")
        }

        SettingSwitch {
            objectName: "lastLocationSwitch"
            key: "connectToLastLocation"
            text: qsTr("Connect to the last used location when %1 is launched").arg(applicationWindow.title)
        }

        SettingSwitch {
            objectName: "autoReconnectSwitch"
            key: "autoReconnectToVpn"
            text: qsTr("Re-establish VPN connection if disconnected or dropped")
        }

        SettingSwitch {
            objectName: "keepInTraySwitch"
            key: "keepRunningInTray"
            text: qsTr("Keep %1 running in the notification area when its window is closed").arg(applicationWindow.title)
        }

        SettingSwitch {
            objectName: "notificationsSwitch"
            key: "notificationsEnabled"
            text: qsTr("Show notifications when the VPN connection changes")
        }
    }
}

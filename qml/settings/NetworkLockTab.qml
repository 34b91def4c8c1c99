import QtQuick 2.12
import "../controls"

// The network lock and lockdown.
TabPage {
    Section {
        title: qsTr("Network lock")

        // Before local access, which it drags along when the settings are loaded and when it is flipped.
        SettingSwitch {
            id: killSwitch
            objectName: "killSwitch"
            key: "killswitchEnabled"
            text: qsTr("Enable the network lock: no Internet traffic while the VPN is down")
            onCheckedChanged: localDevicesSwitch.checked = checked
        }

        ASmallGreyLabel {
            width: parent.width
            text: qsTr("The network lock ensures your Internet traffic goes through the %1 secure tunnel\nand stops all traffic if %1 disconnects unexpectedly").arg(applicationWindow.title)
        }

        SettingSwitch {
            id: localDevicesSwitch
            objectName: "localDevicesSwitch"
            key: "allowAccessToLocalDevices"
            enabled: killSwitch.checked || lockdownSwitch.checked
            text: qsTr("Allow access to local network devices such as shared printers")
        }

        // Held by the service from the computer's start, also with the client closed;
        // only turning this off lifts it.
        SettingSwitch {
            id: lockdownSwitch
            objectName: "lockdownSwitch"
            key: "lockdownEnabled"
            // Another user's lockdown is theirs to lift (or an administrator's).
            enabled: vpnCore.lockdownHolder === ""
            text: qsTr("Block all traffic while the VPN is off")
        }

        ASmallGreyLabel {
            objectName: "lockdownHolder"
            width: parent.width
            visible: text !== ""
            text: connectionStatus.lockdownHolderText
        }
    }
}

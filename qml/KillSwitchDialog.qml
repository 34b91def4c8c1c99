import QtQuick 2.12
import QtQuick.Dialogs 1.2

// Tells the user that the network lock holds after a loss; closing it lifts the lock.
MessageDialog {
    id: killSwitchDialog
    objectName: "killSwitchDialog"
    visible: false
    title: qsTranslate("main", "Killswitch event")
    icon: StandardIcon.Warning
    text: qsTranslate("main", "Connection to Internet is blocked")
    // Hiding the dialog reports the change more than once; only the first after a showing counts.
    property bool shown: false

    onVisibleChanged: {
        if (visible) {
            shown = true
        } else if (shown) {
            shown = false
            console.log("Restore connection to Internet")
            vpnCore.disableKillSwitch()
        }
    }
}

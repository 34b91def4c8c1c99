import QtQuick 2.12

// The "Settings" bar of the main window; it also holds the settings window it opens.
Rectangle {
    id: footer

    signal clicked

    height: 50
    width: parent ? parent.width : 400

    SettingsButton {
        objectName: "settingsButton"
        width: footer.width
        height: footer.height
        text: qsTr("Settings")
        onClicked: footer.clicked()
    }

    SettingsWindow {
        id: settingsWindow
        objectName: "settingsWindow"
    }

    onClicked: settingsWindow.visible = true
}

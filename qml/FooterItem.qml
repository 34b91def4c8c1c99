import QtQuick 2.12

// The "Settings" bar of the main window; it also holds the settings window it opens. An Item: the
// button's background covers it, and a fill under it would be drawn at every frame for nothing.
Item {
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

    // Made when first opened: its controls cost start-up time and memory while nobody looks at them.
    // Named by file, so that not even its type is loaded before.
    Loader {
        id: settingsLoader
        objectName: "settingsLoader"
        active: false
        source: "SettingsWindow.qml"
    }

    function openSettings() {
        settingsLoader.active = true
        settingsLoader.item.visible = true
        settingsLoader.item.requestActivate()
    }

    onClicked: openSettings()
}

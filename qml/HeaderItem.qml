import QtQuick 2.12

// The logo bar on top of the main and the settings window.
Rectangle {
    height: 50
    color: uiStyle.settingsPageHeaderBackgroundColor

    Image {
        anchors.centerIn: parent
        source: uiStyle.generalLogoFileName
    }
}

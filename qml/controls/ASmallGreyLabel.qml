import QtQuick 2.12
import QtQuick.Controls 2.12

Label {
    textFormat: Text.PlainText
    color: uiStyle.settingsPageDefaultLabelColor2
    font.family: FontFactory.poppinsRegular.name
    font.pixelSize: 11
    opacity: uiStyle.darkStyle ? 0.7 : 1
}

import QtQuick 2.12
import QtQuick.Controls 2.12

// Shows its text as it is: texts from outside must never turn into markup.
Label {
    textFormat: Text.PlainText
    color: uiStyle.settingsPageDefaultLabelColor1
    font.family: FontFactory.poppinsRegular.name
    font.pixelSize: 13
    opacity: uiStyle.darkStyle ? 0.7 : 1
}

import QtQuick 2.12
import QtQuick.Controls 2.12

Label {
    textFormat: Text.PlainText
    color: uiStyle.generalBrightLabelColor
    font.family: FontFactory.poppinsRegular.name
    font.pixelSize: 13
}

import QtQuick 2.12
import QtQuick.Controls 2.12

Label {
    textFormat: Text.PlainText
    color: uiStyle.generalGreyLabelColor
    font.family: FontFactory.poppinsRegular.name
    font.pixelSize: 12
    opacity: uiStyle.darkStyle ? 0.6 : 1
}

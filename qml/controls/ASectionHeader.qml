import QtQuick 2.12
import QtQuick.Controls 2.12

Label {
    textFormat: Text.PlainText
    color: uiStyle.generalDefaultLabelColor
    font.family: FontFactory.poppinsRegular.name
    font.pixelSize: 16
    font.bold: true
    Accessible.role: Accessible.Heading
    Accessible.name: text
}

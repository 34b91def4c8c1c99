import QtQuick 2.12
import QtQuick.Controls 2.12

Label {
    color: uiStyle.generalBrightLabelColor
    font.family: FontFactory.poppinsRegular.name
    font.pixelSize: 13
}

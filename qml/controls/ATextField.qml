import QtQuick 2.12
import QtQuick.Controls 2.12

TextField {
    id: control

    selectByMouse: true
    color: uiStyle.generalDefaultLabelColor
    // Drawn as a grey label, not in the base style's faint black, which is unreadable on the dark ground.
    readonly property color greyLabelColor: uiStyle.generalGreyLabelColor
    placeholderTextColor: Qt.rgba(greyLabelColor.r, greyLabelColor.g, greyLabelColor.b, uiStyle.darkStyle ? 0.6 : 1)
    font.family: FontFactory.poppinsRegular.name
    font.pixelSize: 13

    background: Rectangle {
        implicitWidth: 100
        implicitHeight: 36
        color: control.enabled ? "transparent" : "#353637"
        // The keyboard's mark: a wider border in the accent colour.
        border.width: control.activeFocus ? 2 : 1
        border.color: !control.enabled ? "transparent" : control.activeFocus ? uiStyle.generalHeaderActiveColor : uiStyle.generalTextFieldBorderColor
    }
}

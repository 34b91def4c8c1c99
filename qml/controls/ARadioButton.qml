import QtQuick 2.12
import QtQuick.Controls 2.12

RadioButton {
    id: control

    property int textPadding: indicator.width + 2 * spacing
    property string backgroundColor: uiStyle.generalRadioButtonBackgroundColor
    property string borderColor: uiStyle.generalRadioButtonBorderColor
    property string selectedColor: uiStyle.generalRadioButtonSelectedColor

    checked: false
    text: qsTr("RadioButton")
    Accessible.name: text
    down: pressed || indicatorHandler.pressed
    opacity: enabled ? 1 : 0.4

    indicator: Rectangle {
        objectName: "radioIndicator"
        implicitWidth: 20
        implicitHeight: 20
        radius: 10
        x: control.leftPadding
        y: (control.height - height) / 2
        color: "transparent"
        border.width: 1
        border.color: control.down || control.visualFocus ? control.selectedColor : control.borderColor

        Rectangle {
            objectName: "radioInner"
            visible: !control.checked
            x: parent.border.width
            y: parent.border.width
            width: parent.width - 2 * parent.border.width
            height: width
            radius: width / 2
            color: control.down ? control.selectedColor : control.backgroundColor
        }

        Rectangle {
            objectName: "radioChecked"
            visible: control.checked
            anchors.fill: parent
            radius: width / 2
            color: control.selectedColor
        }

        // The keyboard's mark, outside the disc, which would cover a border in its own colour.
        Rectangle {
            objectName: "radioFocus"
            visible: control.visualFocus
            anchors.fill: parent
            anchors.margins: -4
            radius: width / 2
            color: "transparent"
            border.width: 2
            border.color: uiStyle.generalHeaderActiveColor
        }

        MouseAreaHandler {
            id: indicatorHandler
            onClicked: {
                if (control.enabled)
                    control.checked = true
            }
        }
    }

    contentItem: ALabel {
        text: control.text
        leftPadding: control.indicator.width + control.spacing
        verticalAlignment: Text.AlignVCenter
    }
}

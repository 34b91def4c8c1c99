import QtQuick 2.12
import QtQuick.Controls 2.12

// A text at the left and a switch at the right of a full-width row.
Item {
    id: root

    property alias checked: control.checked
    property alias text: label.text
    property int controlMargin: 10

    width: parent ? parent.width : implicitWidth
    // Disabled, the whole row fades: the switch must not look as if a click would move it.
    opacity: enabled ? 1 : 0.4
    implicitWidth: label.implicitWidth + controlMargin + control.implicitWidth
    height: control.implicitHeight * 2

    ALabel {
        id: label
        anchors.left: parent.left
        anchors.right: control.left
        anchors.rightMargin: root.controlMargin
        anchors.verticalCenter: parent.verticalCenter
        elide: Text.ElideRight
    }

    Switch {
        id: control
        objectName: "switchControl"
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        implicitWidth: 41
        implicitHeight: 16
        padding: 0
        Accessible.name: root.text

        indicator: Rectangle {
            objectName: "switchIndicator"
            width: 23
            height: 23
            radius: 11
            y: (control.height - height) / 2
            x: control.visualPosition * (control.width - width)
            color: control.checked ? uiStyle.generalSwitchIndicatorColorChecked : uiStyle.generalSwitchIndicatorColor

            Behavior on x {
                enabled: !control.pressed
                SmoothedAnimation {
                    velocity: 200
                }
            }
        }

        background: Rectangle {
            radius: 13
            color: control.checked ? uiStyle.generalSwitchBackgroundColorChecked : uiStyle.generalSwitchBackgroundColor
            border.color: control.visualFocus ? uiStyle.generalSwitchIndicatorColorChecked : color
            border.width: control.visualFocus ? 2 : 1
        }

        MouseAreaHandler {
            onClicked: {
                if (control.enabled) {
                    control.toggle()
                    control.toggled()
                }
            }
        }
    }
}

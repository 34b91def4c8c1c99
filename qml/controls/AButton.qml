import QtQuick 2.12
import QtQuick.Controls 2.12

Button {
    id: control

    // The handler takes the mouse, so it also decides when the button looks pressed.
    Accessible.name: text
    down: pressed || mouseHandler.pressed
    // Space presses a button of its own accord; Return does too.
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    opacity: enabled ? 1 : 0.4

    contentItem: Text {
        text: control.text
        font.family: FontFactory.poppinsRegular.name
        font.pixelSize: 14
        elide: Text.ElideRight
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: control.down ? uiStyle.generalButtonTextColorPressed : uiStyle.generalButtonTextColor
    }

    background: Rectangle {
        implicitWidth: 160
        implicitHeight: 40
        color: control.down ? uiStyle.generalButtonBackgroundColorPressed : uiStyle.generalButtonBackgroundColor
        border.width: control.visualFocus ? 2 : 0
        border.color: uiStyle.generalButtonBackgroundColorPressed
    }

    MouseAreaHandler {
        id: mouseHandler
        onClicked: control.clicked()
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12

Button {
    id: control

    // The handler takes the mouse, so it also decides when the button looks pressed.
    down: pressed || mouseHandler.pressed

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
    }

    MouseAreaHandler {
        id: mouseHandler
        onClicked: control.clicked()
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import "controls"

Button {
    id: control

    down: pressed || mouseHandler.pressed
    Accessible.name: text
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    contentItem: Text {
        id: label
        text: control.text
        elide: Text.ElideRight
        font.family: FontFactory.poppinsRegular.name
        font.pixelSize: 14
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: control.down ? uiStyle.connectionPageSettingsButtonTextColorPressed : uiStyle.connectionPageSettingsButtonTextColor
    }

    background: Rectangle {
        implicitWidth: 160
        implicitHeight: 40
        color: control.down ? uiStyle.connectionPageSettingsButtonBackgroundColorPressed : uiStyle.connectionPageSettingsButtonBackgroundColor
        border.width: control.visualFocus ? 2 : 0
        border.color: uiStyle.generalHeaderActiveColor
    }

    Image {
        id: icon
        objectName: "settingsIcon"
        anchors.verticalCenter: parent.verticalCenter
        // Five pixels to the left of the centred text.
        x: control.width / 2 - label.contentWidth / 2 - paintedWidth - 5
        source: {
            if (uiStyle.connectionPageSettingsButtonIconColor !== "")
                return "qrc:/resources/icons/settings_%1.png".arg(uiStyle.connectionPageSettingsButtonIconColor)
            if (uiStyle.darkStyle && control.down)
                return "qrc:/resources/icons/settings_white.png"
            return "qrc:/resources/icons/settings_black.png"
        }
    }

    MouseAreaHandler {
        id: mouseHandler
        onClicked: control.clicked()
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12

TabButton {
    id: control

    // Set by the tab bar, which knows which tab is current.
    property bool selected: false

    // A tab to assistive technology, selected or not.
    checked: selected
    Accessible.name: text
    Accessible.selectable: true
    Accessible.selected: selected
    down: pressed || mouseHandler.pressed
    // Space presses a button of its own accord; Return does too.
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    opacity: enabled ? 1 : 0.4

    contentItem: Text {
        text: control.text
        font.family: FontFactory.poppinsRegular.name
        font.pixelSize: 15
        elide: Text.ElideRight
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: uiStyle.generalTabFontColor
        font.underline: control.visualFocus
    }

    background: Rectangle {
        implicitWidth: 160
        implicitHeight: 68
        color: uiStyle.generalTabBackgroundColor

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 3
            color: control.selected ? uiStyle.generalTabSelectedColor : uiStyle.generalTabNonSelectedColor
        }
    }

    MouseAreaHandler {
        id: mouseHandler
        onClicked: control.clicked()
    }
}

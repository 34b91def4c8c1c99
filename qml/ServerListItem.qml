import QtQuick 2.12
import "controls"

// One server row: load bars, flag and city.
Rectangle {
    id: listItem

    property int leftOffset: 10
    property int rowSpacing: 10
    property int signalStrength: 0
    property alias countryFlagSource: flag.imageSource
    property alias countryName: nameLabel.text
    property string serverId
    // The list's keyboard selection.
    readonly property bool current: ListView.isCurrentItem

    signal clicked

    width: parent ? parent.width : 0
    height: 56 + separator.height
    color: mouseArea.pressed ? uiStyle.generalListViewItemActiveColor : mouseArea.containsMouse || current ? uiStyle.generalListViewSeparatorColor : uiStyle.generalListViewItemBackgroundColor

    Accessible.role: Accessible.ListItem
    Accessible.name: countryName
    Accessible.selected: current
    Accessible.onPressAction: clicked()

    Row {
        anchors.fill: parent
        anchors.leftMargin: listItem.leftOffset
        spacing: listItem.rowSpacing

        StrengthItem {
            id: strength
            objectName: "strength"
            anchors.verticalCenter: parent.verticalCenter
            signalStrength: listItem.signalStrength
        }

        FlagItem {
            id: flag
            anchors.verticalCenter: parent.verticalCenter
            width: 20
            height: 14
            textVisible: false
        }

        ABrightLabel {
            id: nameLabel
            objectName: "nameLabel"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, listItem.width - 2 * listItem.leftOffset - strength.width - flag.width - 2 * listItem.rowSpacing)
            elide: Text.ElideRight
            font.pixelSize: 14
        }
    }

    Rectangle {
        objectName: "currentMark"
        visible: listItem.current
        width: 3
        height: parent.height
        color: uiStyle.generalHeaderActiveColor
    }

    Rectangle {
        id: separator
        anchors.top: parent.top
        width: parent.width
        height: 1
        color: uiStyle.generalListViewSeparatorColor
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: listItem.clicked()
    }
}

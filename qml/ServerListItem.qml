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

    signal clicked

    width: parent ? parent.width : 0
    height: 56 + separator.height
    color: "transparent"

    function restColor() {
        color = uiStyle.generalListViewItemBackgroundColor
    }

    Component.onCompleted: restColor()

    Row {
        anchors.fill: parent
        anchors.leftMargin: listItem.leftOffset
        spacing: listItem.rowSpacing

        StrengthItem {
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
            anchors.verticalCenter: parent.verticalCenter
            font.pixelSize: 14
        }
    }

    Rectangle {
        id: separator
        anchors.top: parent.top
        width: parent.width
        height: 1
        color: uiStyle.generalListViewSeparatorColor
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onEntered: listItem.color = uiStyle.generalListViewSeparatorColor
        onExited: listItem.restColor()
        onPressed: listItem.color = uiStyle.generalListViewItemActiveColor
        onReleased: listItem.restColor()
        onCanceled: listItem.restColor()
        onClicked: listItem.clicked()
    }
}

import QtQuick 2.12
import "controls"

// One server row: load bars, flag, city over country, and the favourite star.
Rectangle {
    id: listItem

    property int leftOffset: 10
    property int rowSpacing: 10
    property int signalStrength: 0
    // Milliseconds to the server and back, -1 while unmeasured.
    property int roundTrip: -1
    property alias countryFlagSource: flag.imageSource
    property alias countryName: countryLabel.text
    property alias cityName: nameLabel.text
    // Country, city and load in words, for a screen reader.
    property string summary
    property bool favourite: false
    property string serverId
    // The list's keyboard selection.
    readonly property bool current: ListView.isCurrentItem

    signal clicked
    signal favouriteToggled

    width: parent ? parent.width : 0
    height: 56 + separator.height
    color: mouseArea.pressed ? uiStyle.generalListViewItemActiveColor : mouseArea.containsMouse || current ? uiStyle.generalListViewSeparatorColor : uiStyle.generalListViewItemBackgroundColor

    Accessible.role: Accessible.ListItem
    Accessible.name: roundTrip >= 0 ? summary + ", " + roundTripLabel.text : summary
    Accessible.selected: current
    Accessible.onPressAction: clicked()

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: listItem.clicked()
    }

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

        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: listItem.width - 2 * listItem.leftOffset - strength.width - flag.width - roundTripLabel.width - star.width - 4 * listItem.rowSpacing

            ABrightLabel {
                id: nameLabel
                objectName: "nameLabel"
                width: Math.min(implicitWidth, parent.width)
                elide: Text.ElideRight
                font.pixelSize: 14
            }

            AGreyLabel {
                id: countryLabel
                objectName: "countryLabel"
                width: Math.min(implicitWidth, parent.width)
                elide: Text.ElideRight
            }
        }

        AGreyLabel {
            id: roundTripLabel
            objectName: "roundTripLabel"
            anchors.verticalCenter: parent.verticalCenter
            width: 52
            horizontalAlignment: Text.AlignRight
            text: listItem.roundTrip >= 0 ? qsTr("%1 ms").arg(listItem.roundTrip) : ""
        }

        // Marks the server as a favourite; Space does the same on the selected row.
        Item {
            id: star
            objectName: "favouriteStar"
            anchors.verticalCenter: parent.verticalCenter
            width: 32
            height: 32
            Accessible.role: Accessible.CheckBox
            Accessible.name: qsTr("Favourite")
            Accessible.checkable: true
            Accessible.checked: listItem.favourite
            Accessible.onToggleAction: listItem.favouriteToggled()
            Accessible.onPressAction: listItem.favouriteToggled()

            Canvas {
                id: starShape
                anchors.centerIn: parent
                width: 18
                height: 18
                readonly property bool filled: listItem.favourite
                onFilledChanged: requestPaint()
                onPaint: {
                    var ctx = getContext("2d"), c = width / 2, outer = width / 2 - 1, inner = outer * 0.45
                    ctx.reset()
                    ctx.beginPath()
                    for (var i = 0; i < 10; ++i) {
                        var r = i % 2 ? inner : outer, a = Math.PI / 5 * i - Math.PI / 2
                        ctx.lineTo(c + r * Math.cos(a), c + 1 + r * Math.sin(a))
                    }
                    ctx.closePath()
                    ctx.lineWidth = 1.5
                    ctx.strokeStyle = String(uiStyle.generalBrightLabelColor)
                    if (filled) {
                        ctx.fillStyle = strength.yellowColor
                        ctx.fill()
                    }
                    ctx.stroke()
                }
            }

            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: listItem.favouriteToggled()
            }
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
}

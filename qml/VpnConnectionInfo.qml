import QtQuick 2.12
import "controls"

// Above the switch: the chosen server location at the left, the traffic counters at the right.
Row {
    id: info

    property alias downloaded: downloadedLabel.text
    property alias uploaded: uploadedLabel.text
    property alias locationImageSource: location.imageSource
    property alias locationText: location.text

    signal locationClicked

    width: parent ? parent.width : 400

    Column {
        width: info.width / 2

        AGreyLabel {
            id: locationTitle
            leftPadding: 20
            text: qsTr("Server location")
        }

        // The flag, the location and the arrow open the server list as one.
        Item {
            id: locationItem
            objectName: "locationRow"
            width: locationRow.width
            height: locationRow.height
            activeFocusOnTab: true
            Keys.onSpacePressed: info.locationClicked()
            Keys.onReturnPressed: info.locationClicked()
            Accessible.role: Accessible.Button
            Accessible.name: locationTitle.text + ": " + location.text
            Accessible.onPressAction: info.locationClicked()

            Row {
                id: locationRow
                leftPadding: 20
                spacing: 5

                FlagItem {
                    id: location
                    anchors.verticalCenter: parent.verticalCenter
                    // A long name stops short of the counters.
                    textMaximumWidth: info.width / 2 - locationRow.leftPadding - 2 * locationRow.spacing - imageWidth - spacing - arrow.width - 10
                }

                Image {
                    id: arrow
                    anchors.verticalCenter: parent.verticalCenter
                    source: uiStyle.darkStyle ? "qrc:/resources/icons/droparrow_white.png" : "qrc:/resources/icons/droparrow_black.png"
                }
            }

            // The keyboard's mark.
            Rectangle {
                visible: locationItem.activeFocus
                x: locationRow.leftPadding - 4
                y: -2
                width: locationRow.width - locationRow.leftPadding + 8
                height: locationRow.height + 4
                color: "transparent"
                border.width: 2
                border.color: uiStyle.generalHeaderActiveColor
            }

            MouseAreaHandler {
                onClicked: info.locationClicked()
            }
        }
    }

    Row {
        width: info.width / 2

        Column {
            width: parent.width / 2

            AGreyLabel {
                id: downloadedCaption
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Downloaded")
                // Told with its value.
                Accessible.ignored: true
            }

            ABrightLabel {
                id: downloadedLabel
                objectName: "downloadedValue"
                Accessible.name: downloadedCaption.text + ": " + text
                anchors.horizontalCenter: parent.horizontalCenter
                text: "0"
                // Nothing moved yet: the zero stays in the background, still readable.
                opacity: text === "0" ? 0.6 : 1
            }
        }

        Column {
            width: parent.width / 2

            AGreyLabel {
                id: uploadedCaption
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Uploaded")
                Accessible.ignored: true
            }

            ABrightLabel {
                id: uploadedLabel
                objectName: "uploadedValue"
                Accessible.name: uploadedCaption.text + ": " + text
                anchors.horizontalCenter: parent.horizontalCenter
                text: "0"
                opacity: text === "0" ? 0.6 : 1
            }
        }
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import "controls"

// The server locations laid over the main window between its header and footer.
Dialog {
    id: serverListWindow

    modal: true
    focus: true
    parent: Overlay.overlay
    visible: false
    padding: 0
    topPadding: 0
    bottomPadding: 0

    contentItem: Rectangle {
        color: applicationWindow.color

        Column {
            anchors.fill: parent

            ServerListHeader {
                id: listHeader
                objectName: "serverListHeader"
                width: parent.width
                onCloseButtonClicked: serverListWindow.visible = false
            }

            ListView {
                id: listView
                objectName: "serverListView"
                width: parent.width
                height: serverListWindow.height - listHeader.height
                clip: true
                focus: true
                // The model's isEmpty is true while it holds servers.
                visible: serverListModel.isEmpty
                model: serverListModel

                delegate: ServerListItem {
                    width: listView.width
                    countryFlagSource: CountryFlagSource
                    countryName: City
                    signalStrength: Capacity
                    serverId: Id
                    leftOffset: listHeader.leftOffset
                    rowSpacing: listHeader.leftOffset
                    onClicked: {
                        serverListModel.updateCurrentServer(parseInt(serverId))
                        serverListWindow.visible = false
                    }
                }
            }

            Item {
                objectName: "emptyPlaceholder"
                width: parent.width
                height: listView.height
                visible: !listView.visible

                AGreyLabel {
                    anchors.centerIn: parent
                    text: qsTr("No items to display")
                }
            }
        }
    }
}

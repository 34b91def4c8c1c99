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

    // The keyboard starts on the chosen server; Return chooses the selected one.
    function choose(row) {
        var item = listView.itemAtIndex(row)
        if (!item)
            return
        serverListModel.updateCurrentServer(parseInt(item.serverId))
        serverListWindow.visible = false
    }

    onOpened: {
        listView.currentIndex = Math.max(0, serverListModel.chosenRow())
        listView.positionViewAtIndex(listView.currentIndex, ListView.Contain)
        listView.forceActiveFocus()
    }

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
                keyNavigationEnabled: true
                Keys.onReturnPressed: serverListWindow.choose(currentIndex)
                Keys.onEnterPressed: serverListWindow.choose(currentIndex)
                Accessible.role: Accessible.List
                Accessible.name: listHeader.title

                delegate: ServerListItem {
                    width: listView.width
                    countryFlagSource: CountryFlagSource
                    countryName: City
                    signalStrength: Capacity
                    serverId: Id
                    leftOffset: listHeader.leftOffset
                    rowSpacing: listHeader.leftOffset
                    onClicked: serverListWindow.choose(index)
                }
            }

            Item {
                objectName: "emptyPlaceholder"
                width: parent.width
                height: listView.height
                visible: !listView.visible

                AGreyLabel {
                    objectName: "placeholderText"
                    anchors.centerIn: parent
                    width: parent.width - 40
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: serverListModel.unavailable ? qsTr("The server list cannot be loaded. Trying again...") : qsTr("No items to display")
                }
            }
        }
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import ServerFilter 1.0
import "controls"

// The server locations laid over the main window between its header and footer: a search field over the list,
// the favourites first.
Dialog {
    id: serverListWindow

    modal: true
    focus: true
    parent: Overlay.overlay
    visible: false
    padding: 0
    topPadding: 0
    bottomPadding: 0
    // The dialog's name for a screen reader; the list's own header shows it.
    title: listHeader.title
    header: null

    function choose(row) {
        var item = listView.itemAtIndex(row)
        if (!item)
            return
        serverListModel.updateCurrentServer(parseInt(item.serverId))
        serverListWindow.visible = false
    }
    function chooseQuickest() {
        if (serverListModel.chooseQuickest())
            serverListWindow.visible = false
    }
    function toggleFavourite(row) {
        var item = listView.itemAtIndex(row)
        if (item)
            serverListModel.setFavourite(parseInt(item.serverId), !item.favourite)
    }
    function restartSelection() {
        listView.currentIndex = filter.startRow()
        if (listView.currentIndex >= 0)
            listView.positionViewAtIndex(listView.currentIndex, ListView.Contain)
    }

    // Typing starts at once; the arrows move through the list while the field keeps the focus.
    onOpened: {
        searchField.text = ""
        restartSelection()
        searchField.forceActiveFocus()
    }

    ServerFilterModel {
        id: filter
        sourceModel: serverListModel
        searchText: searchField.text
        onSearchTextChanged: serverListWindow.restartSelection()
        // A list that arrives while the window is open gets a selection too.
        onCountChanged: if (listView.currentIndex < 0) serverListWindow.restartSelection()
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

            Item {
                width: parent.width
                height: searchField.height + 16

                ATextField {
                    id: searchField
                    objectName: "searchField"
                    x: listHeader.leftOffset
                    y: 8
                    width: parent.width - 2 * listHeader.leftOffset
                    placeholderText: qsTr("Search by country or city")
                    inputMethodHints: Qt.ImhNoPredictiveText
                    maximumLength: 64
                    Accessible.name: placeholderText
                    KeyNavigation.tab: listView
                    Keys.onUpPressed: listView.decrementCurrentIndex()
                    Keys.onDownPressed: listView.incrementCurrentIndex()
                    Keys.onReturnPressed: serverListWindow.choose(listView.currentIndex)
                    Keys.onEnterPressed: serverListWindow.choose(listView.currentIndex)
                }
            }

            // Above the rows: the server of the lowest round trip and load, chosen at the moment of the click.
            Rectangle {
                id: quickestEntry
                objectName: "quickestEntry"
                width: parent.width
                height: visible ? 48 : 0
                visible: listView.visible
                color: quickestArea.pressed ? uiStyle.generalListViewItemActiveColor : quickestArea.containsMouse ? uiStyle.generalListViewSeparatorColor : uiStyle.generalListViewItemBackgroundColor
                Accessible.role: Accessible.Button
                Accessible.name: quickestLabel.text
                Accessible.onPressAction: serverListWindow.chooseQuickest()

                ABrightLabel {
                    id: quickestLabel
                    anchors.verticalCenter: parent.verticalCenter
                    x: listHeader.leftOffset
                    width: parent.width - 2 * listHeader.leftOffset
                    elide: Text.ElideRight
                    font.pixelSize: 14
                    text: qsTr("Quickest location")
                }

                MouseArea {
                    id: quickestArea
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: serverListWindow.chooseQuickest()
                }
            }

            ListView {
                id: listView
                objectName: "serverListView"
                width: parent.width
                height: serverListWindow.height - listHeader.height - searchField.parent.height - quickestEntry.height
                clip: true
                // The model's isEmpty is true while it holds servers.
                visible: serverListModel.isEmpty && filter.count > 0
                model: filter
                keyNavigationEnabled: true
                KeyNavigation.tab: searchField
                Keys.onReturnPressed: serverListWindow.choose(currentIndex)
                Keys.onEnterPressed: serverListWindow.choose(currentIndex)
                Keys.onSpacePressed: serverListWindow.toggleFavourite(currentIndex)
                Accessible.role: Accessible.List
                Accessible.name: listHeader.title

                delegate: ServerListItem {
                    width: listView.width
                    countryFlagSource: CountryFlagSource
                    countryName: CountryName
                    cityName: City
                    summary: Summary
                    favourite: Favourite
                    signalStrength: Capacity
                    roundTrip: RoundTrip
                    serverId: Id
                    leftOffset: listHeader.leftOffset
                    rowSpacing: listHeader.leftOffset
                    onClicked: serverListWindow.choose(index)
                    onFavouriteToggled: serverListWindow.toggleFavourite(index)
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
                    text: serverListModel.isEmpty ? qsTr("No location matches your search")
                        : serverListModel.unavailable ? qsTr("The server list cannot be loaded. Trying again...") : qsTr("No items to display")
                }
            }
        }
    }
}

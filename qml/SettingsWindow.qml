import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Window 2.12
import QtQuick.Layouts 1.12
import "controls"
import "settings"

// Edits copies of the settings and writes them back when it is hidden; only the credentials are stored at
// once, by their own button.
Window {
    id: settingsWindow

    property int columnPadding: 20
    // A little under the padding: with it the higher tab still fits a 768-pixel-high screen.
    property int columnSpacing: 16

    // As high as the higher tab, unless the screen is smaller: then the tabs scroll. The room kept free
    // is for the title bar the window manager adds.
    readonly property real fullHeight: headerItem.height + tabBar.height + Math.max(generalColumn.height, advancedColumn.height, lockColumn.height)
    property real screenRoom: Screen.desktopAvailableHeight - 40

    width: 700
    height: screenRoom > 0 ? Math.min(fullHeight, screenRoom) : fullHeight
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: applicationWindow.color
    // Its own name: assistive technology tells the windows apart by it.
    // Ends with the program's name, which the system would otherwise add.
    title: qsTr("Settings — %1").arg(applicationWindow.title)
    visible: false

    // Every control of a stored setting, in the order the tabs show them: each has load() and store().
    function eachSetting(action, item) {
        var children = (item || flick.contentItem).children
        for (var i = 0; i < children.length; ++i) {
            if (typeof children[i].store === "function")
                action(children[i])
            eachSetting(action, children[i])
        }
    }

    Component.onCompleted: {
        generalColumn.loadCredentials()
        eachSetting(function (control) { control.load() })
    }

    // Keeps the control that the keyboard reached in view.
    onActiveFocusItemChanged: {
        var item = activeFocusItem, inside = item
        while (inside && inside !== flick.contentItem)
            inside = inside.parent
        if (!inside)
            return
        var top = item.mapToItem(flick.contentItem, 0, 0).y
        if (top < flick.contentY)
            flick.contentY = Math.max(0, top - columnSpacing)
        else if (top + item.height > flick.contentY + flick.height)
            flick.contentY = Math.min(flick.contentHeight - flick.height, top + item.height + columnSpacing - flick.height)
    }

    onVisibleChanged: {
        if (visible) {
            generalColumn.loadCredentials()
            content.forceActiveFocus()
        } else {
            eachSetting(function (control) { control.store() })
            settings.save()
            // The keyboard goes back to the main window.
            applicationWindow.requestActivate()
        }
    }

    Column {
        id: content
        objectName: "settingsContent"
        width: settingsWindow.width
        focus: true
        Keys.onEscapePressed: settingsWindow.visible = false

        HeaderItem {
            id: headerItem
            width: parent.width
        }

        Row {
            id: tabBar

            property int currentIndex: 0

            width: parent.width
            Accessible.role: Accessible.PageTabList
            Accessible.name: qsTr("Settings pages")

            Repeater {
                model: [{ name: "generalTab", title: qsTr("General") }, { name: "advancedTab", title: qsTr("Advanced") },
                        { name: "lockTab", title: qsTr("Network lock") }]

                ATabButton {
                    objectName: modelData.name
                    width: tabBar.width / 3
                    text: modelData.title
                    selected: tabBar.currentIndex === index
                    onClicked: tabBar.currentIndex = index
                }
            }
        }

        Flickable {
            id: flick
            objectName: "settingsFlick"
            width: parent.width
            height: settingsWindow.height - headerItem.height - tabBar.height
            contentWidth: width
            contentHeight: [generalColumn, advancedColumn, lockColumn][tabBar.currentIndex].height
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                objectName: "settingsScrollBar"
                Accessible.name: qsTr("Scroll the settings")
                policy: flick.contentHeight > flick.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }

            // In the tabs' order of index.
            GeneralTab {
                id: generalColumn
                objectName: "generalColumn"
                visible: tabBar.currentIndex === 0
            }

            AdvancedTab {
                id: advancedColumn
                objectName: "advancedColumn"
                visible: tabBar.currentIndex === 1
            }

            NetworkLockTab {
                id: lockColumn
                objectName: "lockColumn"
                visible: tabBar.currentIndex === 2
            }
        }
    }
}

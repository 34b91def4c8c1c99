import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0

// Pictures of the windows for a person to look at; windows-screenshot.sh keeps them in the current folder.
TestCase {
    when: windowShown

    function test_screenshots() {
        var main = Qt.createComponent("qrc:/qml/main.qml").createObject(null)
        var settingsLoader = findChild(main.footer, "settingsLoader"), listLoader = findChild(main, "serverListLoader")
        settingsLoader.active = listLoader.active = true
        var settingsWindow = settingsLoader.item, list = listLoader.item
        function shoot(window, file) {
            wait(800) // fonts, pop-ups and animations settle
            grabImage(window.contentItem.parent || window.contentItem).save(file)
        }
        TestSupport.loadServers()
        shoot(main, "main-disconnected.png")
        vpnCore.onVpnConnectionStateChanged(3, "", false)
        vpnCore.onByteCountChanged(3456789, 123456)
        vpnCore.onRequestCurrentIpAddressFinished("198.51.100.7", "DE")
        shoot(main, "main-connected.png")
        list.visible = true
        shoot(main, "serverlist.png")
        settingsWindow.visible = true
        shoot(settingsWindow, "settings-general.png")
        mouseClick(findChild(settingsWindow.contentItem, "advancedTab"))
        shoot(settingsWindow, "settings-advanced.png")
        main.destroy()
    }
}

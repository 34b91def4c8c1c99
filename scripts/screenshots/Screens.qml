import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0

// Pictures of the windows and of the controls for the docs, in the style and language of the run
// (TestSupport.variant, "light-en" or "dark-ru"...); scripts/screenshots.sh keeps them in the current folder.
TestCase {
    when: windowShown

    function test_screenshots() {
        var main = Qt.createComponent("qrc:/qml/main.qml").createObject(null)
        var settingsLoader = findChild(main.footer, "settingsLoader"), listLoader = findChild(main, "serverListLoader")
        settingsLoader.active = listLoader.active = true
        var settingsWindow = settingsLoader.item, list = listLoader.item
        settingsWindow.screenRoom = 2000 // the picture shows the whole window
        function shoot(window, name) {
            wait(800) // fonts, pop-ups and animations settle
            grabImage(window.contentItem.parent || window.contentItem).save(TestSupport.variant + "-" + name + ".png")
        }
        // No list yet: the window says so, and so does the switch.
        TestSupport.startRefresh()
        tryVerify(function () { return serverListModel.unavailable }, 5000)
        mouseClick(findChild(main, "roundArea"), 100, 100)
        shoot(main, "main-no-list")
        list.visible = true
        shoot(main, "serverlist-no-list")
        list.visible = false
        TestSupport.loadServers()
        TestSupport.listReachable()
        findChild(main, "switchToolTip").visible = false
        settings.userName = ""
        mouseClick(findChild(main, "roundArea"), 100, 100) // no account: the window says so and points to Settings
        shoot(main, "main-disconnected")
        settings.userName = "demo"
        vpnCore.onVpnConnectionStateChanged(3, "", false)
        vpnCore.onByteCountChanged(3456789, 123456)
        vpnCore.onRequestCurrentIpAddressFinished("198.51.100.7", "NL")
        shoot(main, "main-connected")
        // A favourite first, and a search typed in the second picture.
        serverListModel.setFavourite(2, true)
        list.visible = true
        shoot(main, "serverlist")
        findChild(list.contentItem, "searchField").text = qsTranslate("CountryNames", "Netherlands").slice(0, 3)
        shoot(main, "serverlist-search")
        list.visible = false
        serverListModel.setFavourite(2, false)
        // Lost under the network lock, nothing reconnecting: the lock's notice.
        settings.killswitchEnabled = true
        settings.autoReconnectToVpn = false
        vpnCore.onVpnConnectionStateChanged(1, "", false)
        vpnCore.onVpnConnectionStateChanged(3, "", false)
        vpnCore.onVpnConnectionStateChanged(0, "CrashExit", false)
        shoot(main, "main-blocked")
        vpnCore.disconnectFromVpn()
        settings.killswitchEnabled = false
        settings.autoReconnectToVpn = true
        settingsWindow.visible = true
        shoot(settingsWindow, "settings-general")
        mouseClick(findChild(settingsWindow.contentItem, "advancedTab"))
        shoot(settingsWindow, "settings-advanced")
        main.destroy()
    }

    function test_gallery() {
        var gallery = Qt.createComponent("Gallery.qml").createObject(null)
        wait(1500) // fonts, the menu and the switches settle
        grabImage(gallery.contentItem).save(TestSupport.variant + "-gallery.png")
        gallery.destroy()
    }
}

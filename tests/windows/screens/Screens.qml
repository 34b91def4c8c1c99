import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0

// Pictures of the windows for a person to look at; windows-screenshot.sh keeps them in the current folder.
TestCase {
    when: windowShown

    function shoot(window, file) {
        wait(800) // fonts, pop-ups and animations settle
        grabImage(window.contentItem.parent || window.contentItem).save(file)
    }

    function test_screenshots() {
        var main = Qt.createComponent("qrc:/qml/main.qml").createObject(null)
        var settingsWindow = findChild(main.footer, "settingsWindow"), list = findChild(main, "serverListWindow")
        TestSupport.loadServers()
        vpnCore.publicIp("203.0.113.9", "NL")
        shoot(main, "main-disconnected.png")
        vpnCore.report(3)
        vpnCore.byteCount(3456789, 123456)
        vpnCore.publicIp("198.51.100.7", "DE")
        shoot(main, "main-connected.png")
        list.visible = true
        shoot(main, "serverlist.png")
        list.visible = false
        settingsWindow.visible = true
        shoot(settingsWindow, "settings-general.png")
        mouseClick(findChild(settingsWindow.contentItem, "advancedTab"))
        findChild(settingsWindow.contentItem, "manualMtuButton").checked = true
        shoot(settingsWindow, "settings-advanced.png")
        settingsWindow.visible = false
        main.destroy()
    }
}

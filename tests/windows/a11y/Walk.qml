import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0

// The windows in the states a screen reader meets them, one step at a time, for a11y-walk.py: each step is
// published as the name of stepLabel, and the next one waits until the walker presses "walked".
TestCase {
    id: walk
    when: windowShown

    property int walked: 0
    property var window

    Text { id: stepLabel; Accessible.role: Accessible.StaticText; Accessible.name: text }
    Rectangle { y: 20; width: 10; height: 10; Accessible.role: Accessible.Button; Accessible.name: "walked"; Accessible.onPressAction: walk.walked++ }

    function item(name, root) { return findChild(root || window, name) }
    function step(name) {
        wait(300) // animations and the bridge's updates settle
        stepLabel.text = "step " + name
        verify(TestSupport.waitFor(walk, "walkedChanged()", 60000), "the walker did not finish " + name)
    }
    function report(state, text) { vpnCore.onVpnConnectionStateChanged(state, text || "", false) }

    function test_walk() {
        window = Qt.createComponent("qrc:/qml/main.qml").createObject(null)
        TestSupport.loadServers()
        waitForRendering(window.contentItem)
        step("main")
        report(3)
        vpnCore.onByteCountChanged(1572864, 2048)
        wait(1100) // the counters are shown with the next second
        step("main connected")
        report(0)
        waitForRendering(window.contentItem) // the click lands where the button is now

        mouseClick(item("settingsButton", window.footer))
        var settingsWindow = item("settingsLoader", window.footer).item
        tryVerify(function () { return settingsWindow.visible })
        settingsWindow.screenRoom = 400 // its scroll bar shows
        step("settings")
        mouseClick(findChild(settingsWindow.contentItem, "advancedTab"))
        step("settings advanced")
        mouseClick(findChild(settingsWindow.contentItem, "lockTab"))
        step("settings network lock")
        settingsWindow.visible = false // as the window manager closes it

        step("settings closed")

        serverListModel.setFavourite(2, true)
        waitForRendering(window.contentItem)
        mouseClick(item("locationRow"), 10, 5)
        var list = item("serverListLoader").item
        tryVerify(function () { return list.opened })
        step("server list")
        list.visible = false

        step("server list closed")
        serverListModel.setFavourite(2, false)

        settings.killswitchEnabled = true
        settings.autoReconnectToVpn = false
        report(3)
        report(0, "CrashExit")
        var loader = item("lockNoticeLoader")
        tryVerify(function () { return loader.item && loader.item.visible })
        var notice = loader.item
        step("lock notice")
        notice.visible = false
        step("lock notice closed")
        settings.killswitchEnabled = false
        window.destroy()
    }
}

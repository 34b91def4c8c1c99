import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0

// The client's main window as the engine loads it, with its settings window and server list.
TestCase {
    when: windowShown

    property var window

    function item(name, root) { return findChild(root || window, name) }
    function calls() { return vpnCore.calls.join(";") }
    function settingsWindow() { return item("settingsLoader", window.footer).item }
    function settingsItem(name) { return findChild(settingsWindow().contentItem, name) }
    // What the tunnel client would report, through the controller's own slot.
    function report(state, text) { vpnCore.onVpnConnectionStateChanged(state, text || "", false) }
    function flip(aSwitch) { mouseClick(findChild(aSwitch, "switchControl")) }
    function openSettings() {
        mouseClick(item("settingsButton", window.footer))
        tryVerify(function () { return settingsWindow().visible })
        waitForRendering(settingsWindow().contentItem)
    }

    function initTestCase() {
        window = Qt.createComponent("qrc:/qml/main.qml").createObject(null)
        verify(window && window.visible)
        waitForRendering(window.contentItem)
        // The settings and the server list are made when first opened, not with the main window.
        verify(!settingsWindow() && !item("serverListLoader").item)
    }
    function cleanupTestCase() { window.destroy() }
    function cleanup() {
        if (settingsWindow())
            settingsWindow().visible = false
    }
    function init() {
        // Disconnected, and a connection attempt stops at the credentials check.
        report(0)
        settings.userName = ""
        settings.killswitchEnabled = false
        vpnCore.calls = []
        item("switchToolTip").visible = false
    }

    function test_switchClick_data() {
        return [
            { tag: "disconnected", states: [], call: "", tip: "Username or password is empty!" }, // from the controller
            { tag: "connected", states: [3], call: "disconnectFromVpn", tip: "" },
            { tag: "connecting", states: [1], call: "", tip: "Connection in progress..." },
            { tag: "disconnecting", states: [3, 2], call: "", tip: "Disconnection in progress..." },
        ]
    }
    function test_switchClick(data) {
        data.states.forEach(function (state) { report(state) })
        mouseClick(item("roundArea"), 8, 8) // inside the square, outside the circle: nothing
        mouseClick(item("roundArea"), 100, 100)
        compare(calls(), data.call)
        compare(item("switchToolTip").visible ? item("switchToolTip").text : "", data.tip)
    }

    function test_valuesShown() {
        report(3)
        vpnCore.onByteCountChanged(1572864, 0)
        compare([item("downloadedValue").text, item("uploadedValue").text, item("onlineTime").text].join(),
                "1.5MiB,0,00:00:00")
        // The connected face splits sharply: the switch on the duration colour above, the time below.
        var face = item("connectedFace")
        verify(face.visible && !item("disconnectedFace").visible)
        waitForRendering(face)
        verify(Qt.colorEqual(TestSupport.pixel(face, 77, 18), uiStyle.connectionPageVpnDurationBackgroundColor))
        verify(Qt.colorEqual(TestSupport.pixel(face, 77, 136), uiStyle.connectionPageVpnSwitchBackgroundColor))
    }

    function test_killSwitchDialog() {
        var dialog = item("killSwitchDialog")
        settings.killswitchEnabled = true
        vpnCore.setAutoReconnection(false)
        for (var round = 1; round <= 2; ++round) {
            // The tunnel ends unexpectedly under the lock, and nothing reconnects.
            report(3)
            report(0, "CrashExit")
            verify(dialog.visible)
            compare(calls(), round == 1 ? "" : "disableKillSwitch")
            dialog.visible = false
        }
        compare(calls(), "disableKillSwitch;disableKillSwitch")
    }

    function test_serverChoice() {
        mouseClick(item("locationRow"), 10, 5)
        var list = item("serverListLoader").item, view = item("serverListView")
        tryVerify(function () { return list.opened })
        verify(!view.visible && item("emptyPlaceholder").visible)
        TestSupport.loadServers()
        waitForRendering(view)
        var rows = Array.prototype.filter.call(view.contentItem.children, function (row) { return row.countryName === "Amsterdam" })
        mouseClick(rows[0])
        tryVerify(function () { return !list.visible })
        compare(calls(), "setVpnServerIp 10.0.0.1;setVpnServerIp 10.0.0.2") // the first server, then the choice
    }

    function test_settingsWrittenBackOnClose_data() {
        return [
            { tag: "manual MTU, TCP", manual: true, tcp: true, mtu: 1400, protocol: 1 },
            { tag: "auto MTU, UDP", manual: false, tcp: false, mtu: 0, protocol: 0 },
        ]
    }
    function test_settingsWrittenBackOnClose(data) {
        openSettings()
        var reconnect = settingsItem("autoReconnectSwitch"), wasReconnect = reconnect.checked
        flip(reconnect)
        mouseClick(settingsItem("advancedTab"))
        mouseClick(settingsItem(data.manual ? "manualMtuButton" : "autoMtuButton").indicator)
        mouseClick(settingsItem(data.tcp ? "tcpButton" : "udpButton").indicator)
        settingsItem("mtuBox").value = 1400
        wait(500) // not a double click with the radio button's
        mouseClick(settingsItem("generalTab"))
        keyClick(Qt.Key_Escape)
        verify(!settingsWindow().visible)
        var expected = [!wasReconnect, data.mtu, data.protocol].join()
        compare([settings.autoReconnectToVpn, settings.mtuSize, settings.networkProtocol].join(), expected)
        compare(["autoReconnectToVpn", "mtuSize", "networkProtocol"].map(TestSupport.stored).join(), expected)
    }

    function test_killSwitchDragsLocalAccess() {
        openSettings()
        var kill = settingsItem("killSwitch"), local = settingsItem("localDevicesSwitch")
        kill.checked = true
        flip(local)
        flip(kill)
        verify(!kill.checked && !local.checked && !local.enabled)
        flip(kill) // and local access comes back with it
        settingsWindow().visible = false
        verify(local.checked && settings.killswitchEnabled && settings.allowAccessToLocalDevices)
    }

    function test_credentials() {
        openSettings()
        var user = settingsItem("userNameField").textField
        user.text = "alice"
        settingsItem("passwordField").textField.text = "secret"
        mouseClick(settingsItem("updateButton"))
        compare(settings.userName + settings.password, "alicesecret")
        verify(TestSupport.stored("userName") !== undefined && TestSupport.stored("userName") !== "alice") // enciphered
        // Typed but not updated: the next opening shows the stored ones again.
        user.text = "mallory"
        settingsWindow().visible = false
        settingsWindow().visible = true
        compare(user.text + settings.userName, "alicealice")
    }
}

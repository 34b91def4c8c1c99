import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0

// The client's main window as the engine loads it, with its settings window and server list; run once in the
// light style in English and once in the dark style in Russian.
TestCase {
    when: windowShown

    property var window
    readonly property string geoIp: '{"data":{"ip":"192.0.2.2","iso_code":"DE"}}'

    function item(name, root) { return findChild(root || window, name) }
    function calls() { return vpnCore.calls.join(";") }
    // The settings window and the server list, made when first asked for.
    function settingsWindow() { var loader = item("settingsLoader", window.footer); loader.active = true; return loader.item }
    function serverList() { var loader = item("serverListLoader"); loader.active = true; return loader.item }
    function settingsItem(name) { return findChild(settingsWindow().contentItem, name) }
    // What the tunnel client would report, through the controller's own slot.
    function report(state, text) { vpnCore.onVpnConnectionStateChanged(state, text || "", false) }
    function flip(aSwitch) { mouseClick(findChild(aSwitch, "switchControl")) }
    function openSettings() {
        mouseClick(item("settingsButton", window.footer))
        tryVerify(function () { return settingsWindow().visible })
        waitForRendering(settingsWindow().contentItem)
    }
    function rect(it) { var p = it.mapToItem(null, 0, 0); return { x: p.x, y: p.y, right: p.x + it.width, bottom: p.y + it.height } }
    function rows(view) { return Array.prototype.filter.call(view.contentItem.children, function (row) { return "serverId" in row }) }
    function openList() {
        window.requestActivate() // from the settings window
        tryVerify(function () { return window.active })
        mouseClick(item("locationRow"), 10, 5)
        tryVerify(function () { return serverList().opened })
        waitForRendering(item("serverListView"))
    }
    // The name of the item or of its nearest ancestor named in names.
    function nameIn(it, names) { while (it && names.indexOf(it.objectName) < 0) it = it.parent; return it ? it.objectName : "" }

    function initTestCase() {
        window = Qt.createComponent("qrc:/qml/main.qml").createObject(null)
        verify(window && window.visible)
        waitForRendering(window.contentItem)
        // The settings and the server list are made when first opened, not with the main window.
        verify(!item("settingsLoader", window.footer).item && !item("serverListLoader").item)
        settingsWindow().screenRoom = 2000 // the test screen is smaller than the settings window
        TestSupport.startScreenReader()
    }
    function cleanupTestCase() { window.destroy() }
    function cleanup() {
        settingsWindow().screenRoom = 2000
        settingsWindow().visible = false
        serverList().visible = false
    }
    function init() {
        // Disconnected with three servers, and a connection attempt stops at the credentials check.
        TestSupport.serve("/feeds/serverinfo.xml", "")
        TestSupport.serve("/v3/geoip", geoIp)
        report(0)
        TestSupport.loadServers()
        settings.userName = ""
        settings.killswitchEnabled = false
        settings.favouriteServers = []
        vpnCore.calls = []
        item("switchToolTip").visible = false
    }

    function test_switchClick_data() {
        var longError = "<b>TLS</b> handshake failed: the server certificate could not be verified against the pinned authority"
        return [
            { tag: "disconnected", states: [], call: "", tip: qsTranslate("VpnCore", "Username or password is empty!") },
            { tag: "connected", states: [3], call: "disconnectFromVpn", tip: "" },
            { tag: "connecting", states: [1], call: "disconnectFromVpn", tip: "" },
            { tag: "disconnecting", states: [3, 2], call: "", tip: qsTranslate("main", "Disconnection in progress...") },
            { tag: "no list", states: [], noList: true, call: "", tip: qsTranslate("main", "The server list cannot be loaded. Trying again...") },
            { tag: "error text as it is", states: [4], error: longError, call: "", tip: longError },
        ]
    }
    function test_switchClick(data) {
        if (data.noList) {
            TestSupport.startRefresh() // nothing served: the list fails
            tryVerify(function () { return serverListModel.unavailable })
        }
        data.states.forEach(function (state) { report(state, data.error) })
        if (!data.error) {
            mouseClick(item("roundArea"), 8, 8) // inside the square, outside the circle: nothing
            mouseClick(item("roundArea"), 100, 100)
        }
        compare(calls(), data.call)
        var tip = item("switchToolTip")
        compare(tip.visible ? tip.text : "", data.tip)
        if (!tip.visible)
            return
        // Under the switch, inside the window, clear of the location row and the counters; shown as plain text.
        waitForRendering(window.contentItem)
        var box = rect(tip.contentItem.parent), round = rect(item("roundArea"))
        verify(box.y >= round.bottom && box.x >= 0 && box.right <= window.width, JSON.stringify(box))
        verify(box.y > rect(item("locationRow")).bottom && box.y > rect(item("downloadedValue")).bottom)
        if (data.error)
            verify(tip.contentItem.lineCount > 1) // wrapped inside the window
    }

    function test_valuesShown() {
        report(3)
        vpnCore.onByteCountChanged(1572864, 0)
        // Shown with the next second, in the same frame.
        compare(item("downloadedValue").text + item("onlineTime").text, "000:00:00")
        tryCompare(item("downloadedValue"), "text", "1.5" + qsTranslate("QObject", "MiB"))
        compare(item("uploadedValue").text + item("onlineTime").text, "000:00:01")
        // The connected face splits sharply: the switch on the duration colour above, the time below.
        var face = item("connectedFace")
        verify(face.visible && !item("disconnectedFace").visible)
        waitForRendering(face)
        verify(Qt.colorEqual(TestSupport.pixel(face, 77, 18), uiStyle.connectionPageVpnDurationBackgroundColor))
        verify(Qt.colorEqual(TestSupport.pixel(face, 77, 136), uiStyle.connectionPageVpnSwitchBackgroundColor))
        // The dashed circle behind the switch starts with a dash at its right.
        var circle = item("DashCircle")
        verify(TestSupport.pixel(circle, circle.width - 2, (circle.height - 1) / 2).a > 0)
        // What a screen reader says about the switch and the location.
        compare(TestSupport.accessible(item("connectionButton")), Accessible.Button + " " + qsTranslate("VpnConnectionButton", "SWITCH OFF"))
        compare(TestSupport.accessible(item("locationRow")),
                Accessible.Button + " " + qsTranslate("VpnConnectionInfo", "Server location") + ": " + serverListModel.locationText)
    }

    function test_killSwitchDialog() {
        settings.killswitchEnabled = true
        vpnCore.setAutoReconnection(false)
        for (var round = 1; round <= 2; ++round) {
            // The tunnel ends unexpectedly under the lock, and nothing reconnects.
            report(3)
            report(0, "CrashExit")
            var dialog = item("killSwitchDialog") // made at the first event
            verify(dialog.visible)
            compare(calls(), round == 1 ? "" : "disableKillSwitch")
            dialog.visible = false
        }
        compare(calls(), "disableKillSwitch;disableKillSwitch")
    }

    // The rows shown, by city, in order.
    function shownCities() { var view = item("serverListView"); return view.visible ? rows(view).sort(function (a, b) { return a.y - b.y }).map(function (row) { return row.cityName }).join() : "" }
    function country(name) { return qsTranslate("CountryNames", name) }

    // Chosen by mouse, by the arrows, or by typing part of a country (in the language in use or in English) or a
    // city, in any case and without accents, and Return.
    function test_serverChoice_data() {
        return [
            { tag: "mouse", click: "Dallas", shown: "Frankfurt,Amsterdam,Dallas", expected: "Dallas" },
            { tag: "keyboard", keys: [Qt.Key_Down, Qt.Key_Return], expected: "Dallas" },
            { tag: "keyboard, up past the top", keys: [Qt.Key_Up, Qt.Key_Up, Qt.Key_Up, Qt.Key_Enter], expected: "Frankfurt" },
            { tag: "country in the language in use", search: country("Netherlands").slice(0, 5).toUpperCase(), shown: "Amsterdam", expected: "Amsterdam" },
            { tag: "country in English", search: "germany", shown: "Frankfurt", expected: "Frankfurt" },
            { tag: "country code", search: "US", shown: "Dallas", expected: "Dallas" },
            { tag: "city typed", typed: "dALL", shown: "Dallas", expected: "Dallas" },
            { tag: "country and city, accents", search: country("Germany") + " Fränk", shown: "Frankfurt", expected: "Frankfurt" },
            { tag: "nothing matches", search: "Oslo", shown: "", expected: "" },
        ]
    }
    function test_serverChoice(data) {
        serverListModel.updateCurrentServer(1)
        vpnCore.calls = []
        openList()
        var view = item("serverListView"), list = serverList(), field = item("searchField")
        // The chosen server is the selected row, and typing goes to the search field.
        compare(view.currentIndex, 1)
        compare(TestSupport.accessible(view), Accessible.List + " " + qsTranslate("ServerListHeader", "Server list"))
        verify(field.activeFocus, "focus")
        verify(item("currentMark", view.currentItem).visible, "mark")
        if (data.search)
            field.insert(0, data.search)
        ;(data.keys || (data.typed || "").split("")).forEach(function (key) { keyClick(key) })
        if (data.shown !== undefined)
            compare(shownCities(), data.shown)
        if (data.click)
            mouseClick(rows(view).filter(function (row) { return row.cityName === data.click })[0])
        else if (data.search || data.typed)
            keyClick(Qt.Key_Return)
        if (!data.expected) {
            compare(item("placeholderText").text, qsTranslate("ServerListWindow", "No location matches your search"))
            verify(list.visible && calls() === "")
            return
        }
        tryVerify(function () { return !list.visible })
        verify(serverListModel.locationText.indexOf(data.expected) > 0, serverListModel.locationText)
        compare(calls(), "setVpnServerIp " + serverListModel.serverIp)
    }

    // A favourite comes first, is kept in the settings, and stays first in a list that comes again; the star
    // answers the mouse and the keyboard (what a screen reader is told: tst_a11y).
    function test_favourites() {
        serverListModel.updateCurrentServer(0)
        openList()
        var view = item("serverListView")
        mouseClick(item("favouriteStar", rows(view).filter(function (r) { return r.cityName === "Dallas" })[0]))
        compare(shownCities() + "|" + TestSupport.stored("favouriteServers"), "Dallas,Frankfurt,Amsterdam|us1")
        TestSupport.loadServers() // a fresh list
        tryVerify(function () { return shownCities() === "Dallas,Frankfurt,Amsterdam" })
        // Selected by the keyboard: Tab into the list, Space marks the selected row.
        keyClick(Qt.Key_Tab)
        verify(view.activeFocus)
        view.currentIndex = 2
        keyClick(Qt.Key_Space)
        compare(shownCities() + "|" + TestSupport.stored("favouriteServers"), "Amsterdam,Dallas,Frankfurt|us1,nl1")
        serverListModel.setFavourite(2, false)
        serverListModel.setFavourite(1, false)
        compare(shownCities() + "|" + TestSupport.stored("favouriteServers"), "Frankfurt,Amsterdam,Dallas|")
    }

    // The list and the address are asked for again while they fail, and after a change of the tunnel; what the
    // feed says is shown as plain text, and a long name stops short.
    function test_listRetry() {
        var longCity = "<b>Llanfairpwllgwyngyll</b> gogerychwyrndrobwllllantysiliogogogoch"
        var feed = '<zorvoserverList><server visible="1" status="1" capacity="10" ip="10.0.0.9" city="' +
                longCity.replace(/</g, "&lt;").replace(/>/g, "&gt;") + '" country="GB" name="gb1"/>' +
                '<server visible="1" status="1" capacity="10" ip="10.0.0.8" city="Oslo" country="NO" name="no1"/></zorvoserverList>'
        TestSupport.serve("/v3/geoip", "")
        TestSupport.startRefresh()
        var feeds = TestSupport.requests("/feeds/serverinfo.xml"), ips = TestSupport.requests("/v3/geoip")
        tryVerify(function () { return TestSupport.requests("/feeds/serverinfo.xml") >= feeds + 2 && TestSupport.requests("/v3/geoip") >= ips + 2 }, 5000)
        compare(serverListModel.locationText, qsTranslate("ServerListModel", "Server list unavailable"))
        openList()
        compare(item("placeholderText").text, qsTranslate("ServerListWindow", "The server list cannot be loaded. Trying again..."))
        TestSupport.serve("/feeds/serverinfo.xml", feed)
        TestSupport.serve("/v3/geoip", geoIp)
        tryVerify(function () { return serverListModel.isEmpty && !serverListModel.unavailable }, 5000)
        var view = item("serverListView")
        waitForRendering(view)
        var label = item("nameLabel", rows(view).filter(function (row) { return row.cityName === longCity })[0])
        // As wide as the text drawn plainly, and clearly not as wide as drawn as markup.
        plainText.font = richText.font = label.font
        plainText.text = richText.text = longCity
        verify(Math.abs(label.implicitWidth - plainText.implicitWidth) < 1 && Math.abs(richText.implicitWidth - plainText.implicitWidth) > 10,
               [label.implicitWidth, plainText.implicitWidth, richText.implicitWidth].join())
        verify(label.truncated && rect(label).right <= rect(view).right)
        keyClick(Qt.Key_Return) // the first row, the long one
        tryVerify(function () { return !serverList().visible })
        var location = item("flagLabel", item("locationRow"))
        compare(location.text, "GB, " + longCity)
        verify(location.truncated && rect(location).right < rect(item("downloadedValue").parent).x)
        // Every change of the tunnel asks again; a failed refresh keeps the list.
        TestSupport.serve("/feeds/serverinfo.xml", "")
        feeds = TestSupport.requests("/feeds/serverinfo.xml")
        report(3)
        tryVerify(function () { return TestSupport.requests("/feeds/serverinfo.xml") === feeds + 1 })
        wait(300)
        verify(serverListModel.isEmpty && TestSupport.requests("/feeds/serverinfo.xml") === feeds + 1)
    }
    Text { id: plainText; textFormat: Text.PlainText; visible: false }
    Text { id: richText; visible: false }

    function test_settingsWrittenBackOnClose_data() {
        return [
            { tag: "manual MTU, TCP", manual: true, tcp: true, mtu: 1400, protocol: 1 },
            { tag: "auto MTU, UDP", manual: false, tcp: false, mtu: 0, protocol: 0 },
        ]
    }
    function test_settingsWrittenBackOnClose(data) {
        openSettings()
        var switches = ["autoReconnectSwitch", "keepInTraySwitch", "notificationsSwitch"].map(settingsItem)
        var were = switches.map(function (s) { return s.checked })
        switches.forEach(flip)
        mouseClick(settingsItem("advancedTab"))
        mouseClick(settingsItem(data.manual ? "manualMtuButton" : "autoMtuButton").indicator)
        mouseClick(settingsItem(data.tcp ? "tcpButton" : "udpButton").indicator)
        settingsItem("mtuBox").value = 1400
        wait(500) // not a double click with the radio button's
        mouseClick(settingsItem("generalTab"))
        keyClick(Qt.Key_Escape)
        verify(!settingsWindow().visible)
        var expected = were.map(function (was) { return !was }).concat([data.mtu, data.protocol]).join()
        var names = ["autoReconnectToVpn", "keepRunningInTray", "notificationsEnabled", "mtuSize", "networkProtocol"]
        compare(names.map(function (name) { return settings[name] }).join(), expected)
        compare(names.map(TestSupport.stored).join(), expected)
    }

    // Local access follows the kill switch and, while the kill switch is off, looks disabled.
    function test_killSwitchDragsLocalAccess() {
        openSettings()
        var kill = settingsItem("killSwitch"), local = settingsItem("localDevicesSwitch"), other = settingsItem("autoReconnectSwitch")
        kill.checked = true
        flip(local)
        flip(kill)
        verify(!kill.checked && !local.checked && !local.enabled)
        other.checked = false
        wait(300) // the knobs slide
        var root = settingsWindow().contentItem
        function knob(aSwitch) { var k = findChild(aSwitch, "switchIndicator"), p = k.mapToItem(root, k.width / 2, k.height / 2); return TestSupport.pixel(root, p.x, p.y) }
        verify(!Qt.colorEqual(knob(local), knob(other)), "disabled " + knob(local) + ", enabled " + knob(other))
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

    // Tab goes through every control in reading order, each with a name for assistive technology, and on a
    // screen too small for the window the content scrolls to keep it in view.
    function test_settingsKeyboard() {
        var win = settingsWindow()
        verify(win.fullHeight <= 768 - 40 - 30, win.fullHeight) // a 1366x768 screen with task bar and title bar
        win.screenRoom = 400
        settings.killswitchEnabled = true
        openSettings()
        settingsItem("killSwitch").checked = true
        compare(win.height, 400)
        var flick = settingsItem("settingsFlick")
        verify(flick.contentHeight > flick.height && settingsItem("settingsScrollBar").visible)
        var general = ["generalTab", "advancedTab", "userNameField", "passwordField", "updateButton", "launchSwitch",
                       "lastLocationSwitch", "autoReconnectSwitch", "keepInTraySwitch", "notificationsSwitch", "killSwitch",
                       "localDevicesSwitch"]
        var advanced = ["generalTab", "advancedTab", "udpButton", "tcpButton", "autoMtuButton", "manualMtuButton", "mtuBox",
                        "autoUpdateSwitch", "showLogsButton"]
        settingsItem("manualMtuButton").checked = true
        ;[general, advanced].forEach(function (expected, tab) {
            if (tab === 1) {
                settingsItem("advancedTab").forceActiveFocus()
                keyClick(Qt.Key_Space)
                verify(settingsItem("advancedColumn").visible)
            }
            settingsItem("settingsContent").forceActiveFocus()
            var reached = []
            for (var i = 0; i < expected.length; ++i) {
                keyClick(Qt.Key_Tab)
                var focused = win.activeFocusItem
                var name = nameIn(focused, expected)
                reached.push(name)
                // "role name", from the control or, for the text input of the spin box, from the box. Qt tells
                // no name of a password field.
                var told = TestSupport.accessible(focused) + "|" + TestSupport.accessible(focused.parent)
                verify(/^[0-9]+ [^|]/.test(told) || /\|[0-9]+ ./.test(told) || focused.echoMode === TextInput.PasswordEchoOnEdit, name + ": " + told)
                var top = focused.mapToItem(flick, 0, 0).y
                if (reached.length > 2)
                    verify(top >= 0 && top + focused.height <= flick.height, name + " at " + top)
            }
            compare(reached.join(), expected.join())
        })
        settingsItem("manualMtuButton").checked = false
        settingsItem("autoMtuButton").checked = true
        mouseClick(settingsItem("generalTab"))
        win.screenRoom = 2000
    }
}

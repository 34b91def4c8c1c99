import QtQuick 2.12
import QtQuick.Window 2.12
import QtTest 1.12
import TestSupport 1.0

// The client's main window as the engine loads it, with its settings window and server list; run once in the
// light style in English and once in the dark style in Russian.
TestCase {
    when: windowShown

    property var window
    readonly property string geoIp: '{"data":{"ip":"192.0.2.2","iso_code":"DE"}}'

    function item(name, root) { return findChild(root || window, name) }
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
    function namedIn(it, names) { while (it && names.indexOf(it.objectName) < 0) it = it.parent; return it }
    function nameIn(it, names) { var named = namedIn(it, names); return named ? named.objectName : "" }
    function notice() { return item("lockNoticeLoader").item }
    function problemShown() { var label = item("problemText"); return label.visible ? label.text : "" }
    // A loss under the lock that nothing reconnects: the notice opens.
    function blockAfterLoss() {
        settings.killswitchEnabled = true
        settings.autoReconnectToVpn = false
        report(3)
        report(0, "CrashExit")
        tryVerify(function () { return notice() && notice().opened })
    }
    function sentence(text) { return qsTranslate("ConnectionStatus", text).replace(/%1/g, uiStyle.titleName()) }
    // WCAG's contrast ratio of two colours.
    function contrast(a, b) {
        function channel(c) { return c <= 0.03928 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4) }
        function luminance(c) { return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b) }
        var x = luminance(a), y = luminance(b)
        return (Math.max(x, y) + 0.05) / (Math.min(x, y) + 0.05)
    }

    function initTestCase() {
        window = Qt.createComponent("qrc:/qml/main.qml").createObject(null)
        verify(window && window.visible)
        waitForRendering(window.contentItem)
        // The settings and the server list are made when first opened, not with the main window.
        verify(!item("settingsLoader", window.footer).item && !item("serverListLoader").item)
        // A keyboard user starts on the switch.
        compare(window.activeFocusItem, item("connectionButton"))
        TestSupport.startScreenReader()
        cleanup()
    }
    function cleanupTestCase() { window.destroy() }
    function cleanup() {
        // The test screen is smaller than the windows; test_fit sets what a screen leaves.
        window.screenRoom = settingsWindow().screenRoom = 2000
        window.screenWidthRoom = 2000
        settingsWindow().visible = false
        serverList().visible = false
        if (notice())
            notice().close()
        connectionStatus.setServiceRunning(true)
        connectionStatus.setTunnelPossible(true)
    }
    function init() {
        // Disconnected with three servers, and a connection attempt stops at the credentials check.
        TestSupport.serve("/feeds/serverinfo.xml", "")
        TestSupport.serve("/v3/geoip", geoIp)
        report(0)
        vpnCore.disconnectFromVpn() // lifts a lock a test left engaged, and with it any failure
        TestSupport.loadServers()
        TestSupport.listReachable()
        settings.userName = ""
        settings.killswitchEnabled = false
        settings.favouriteServers = []
        item("switchToolTip").visible = false
    }

    // What a click on the switch does: the state after it, whether it tried to connect (no account is stored),
    // or the tip that says why it did nothing.
    function test_switchClick_data() {
        return [
            { tag: "disconnected", states: [], word: "Disconnected", connects: true, tip: "", face: "SWITCH ON" },
            { tag: "connected", states: [3], word: "Disconnected", tip: "" },
            { tag: "connecting", states: [1], word: "Disconnected", tip: "", face: "CONNECTING..." },
            { tag: "disconnecting", states: [3, 2], word: "Disconnecting", tip: qsTranslate("ConnectionStatus", "Disconnection in progress...") },
            { tag: "blocked by the lock", blocked: true, word: "Disconnected", tip: "", face: "SWITCH OFF" },
            { tag: "no list", states: [], noList: true, word: "Disconnected", tip: qsTranslate("ConnectionStatus", "The server list cannot be loaded. Trying again...") },
            { tag: "service not running", states: [], noService: true, word: "Disconnected",
              tip: sentence("The %1 service (vpn-service) is not running, so no VPN connection can be made. Start it, or reinstall %1; it is found again by itself.") },
        ]
    }
    function test_switchClick(data) {
        if (data.noList) {
            TestSupport.startRefresh() // nothing served: the list fails
            tryVerify(function () { return serverListModel.unavailable })
        }
        if (data.noService)
            connectionStatus.setServiceRunning(false)
        if (data.blocked) {
            blockAfterLoss()
            notice().close() // stays blocked
        }
        ;(data.states || []).forEach(function (state) { report(state) })
        // The face says what a click does, or that a connection is being made.
        if (data.face)
            compare(item("faceLabel").text, qsTranslate("VpnConnectionButton", data.face))
        mouseClick(item("roundArea"), 8, 8) // inside the square, outside the circle: nothing
        mouseClick(item("roundArea"), 100, 100)
        compare(item("stateWord").text, qsTranslate("ConnectionStatus", data.word))
        compare(problemShown().indexOf(sentence("No user name or password is stored. Enter your account in Settings.")) >= 0, !!data.connects)
        var tip = item("switchToolTip")
        compare(tip.visible ? tip.text : "", data.tip)
        if (!tip.visible)
            return
        // Under the switch, inside the window, clear of the location row and the counters; shown as plain text.
        waitForRendering(window.contentItem)
        var box = rect(tip.contentItem.parent), round = rect(item("roundArea"))
        verify(box.y >= round.bottom && box.x >= 0 && box.right <= window.width, JSON.stringify(box))
        verify(box.y > rect(item("locationRow")).bottom && box.y > rect(item("downloadedValue")).bottom)
        if (data.noService)
            verify(tip.contentItem.lineCount > 1) // wrapped inside the window
    }

    // Each failure is said in the window, with its cause and the next step, and stays until it no longer holds.
    function test_failureShown_data() {
        var settingsStep = qsTranslate("ConnectionStatus", "Open Settings")
        return [
            { tag: "service not running", make: function () { connectionStatus.setServiceRunning(false) },
              undo: function () { connectionStatus.setServiceRunning(true) }, word: "Disconnected", action: "",
              text: "The %1 service (vpn-service) is not running, so no VPN connection can be made. Start it, or reinstall %1; it is found again by itself." },
            { tag: "no TUN", make: function () { connectionStatus.setTunnelPossible(false) },
              undo: function () { connectionStatus.setTunnelPossible(true) }, word: "Disconnected", action: "",
              text: "No tunnel can be made on this computer: no TUN/TAP device is available", next: "Load the TUN/TAP driver or ask your administrator, then restart the %1 service." },
            { tag: "provider unreachable", make: function () { TestSupport.startRefresh(); tryVerify(function () { return serverListModel.unavailable }) },
              undo: TestSupport.listReachable, word: "Disconnected", action: "",
              text: "The VPN provider cannot be reached, so the server list is missing. Check your Internet connection; %1 keeps trying." },
            { tag: "no account", make: function () { mouseClick(item("roundArea"), 100, 100) },
              undo: function () { settings.userName = "alice" }, word: "Disconnected", action: settingsStep,
              text: "No user name or password is stored. Enter your account in Settings." },
            { tag: "wrong account", make: function () { report(1); vpnCore.onTunnelFailed(1); report(4, "Error: Wrong Username/Password") },
              undo: function () { settings.password = "another" }, word: "Disconnected", action: settingsStep,
              text: "The VPN provider refused your user name or password. Correct them in Settings." },
            { tag: "server not answering", make: function () { report(1); vpnCore.onTunnelFailed(2); report(4, "The VPN server did not answer in time") },
              undo: function () { report(1) }, word: "Disconnected", action: "",
              text: "The VPN server did not answer. Try again, or choose another server location." },
            { tag: "blocked by the lock", make: function () { settings.userName = "alice"; blockAfterLoss() }, undo: function () { vpnCore.disconnectFromVpn() }, word: "Blocked",
              action: qsTranslate("ConnectionStatus", "Reconnect"),
              text: "The network lock blocks all Internet traffic because the VPN connection is down. Reconnect, or switch off to lift the lock." },
        ]
    }
    function test_failureShown(data) {
        settings.password = "secret"
        data.make()
        var expected = sentence(data.text) + (data.next ? ". " + sentence(data.next) : "")
        if (TestSupport.variant.indexOf("ru") >= 0)
            verify(expected !== data.text.replace(/%1/g, uiStyle.titleName()), "translated")
        wait(300) // no tip's time-out takes it away
        compare(problemShown(), expected)
        compare(item("stateWord").text, qsTranslate("ConnectionStatus", data.word))
        var action = item("problemAction")
        compare(action.visible ? action.text : "", data.action)
        // In view, and its words name the way out: the button does it.
        var label = rect(item("problemText"))
        verify(label.y >= 0 && label.bottom <= window.contentItem.height, JSON.stringify(label))
        if (data.action === qsTranslate("ConnectionStatus", "Open Settings")) {
            mouseClick(action)
            tryVerify(function () { return settingsWindow().visible })
            settingsWindow().visible = false
        } else if (data.action !== "") {
            notice().close()
            mouseClick(action) // reconnects, the lock held
            compare(item("stateWord").text, qsTranslate("ConnectionStatus", "Connecting"))
        }
        data.undo()
        compare(problemShown(), "")
        verify(item("stateWord").text !== "")
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
        // What a screen reader says about the location (the switch and the counters: tst_a11y).
        compare(item("stateWord").text, qsTranslate("ConnectionStatus", "Connected"))
        compare(TestSupport.accessible(item("locationRow")),
                Accessible.Button + " " + qsTranslate("VpnConnectionInfo", "Server location") + ": " + serverListModel.locationText)
    }

    // The notice after a loss under the lock: the window's own look and language, focused, the main window
    // left where it is; each choice by mouse or keyboard.
    function test_lockNotice_data() {
        return [
            { tag: "reconnect, Return", key: Qt.Key_Return, button: "noticeReconnect", word: "Connecting" },
            { tag: "stay blocked, Space", key: Qt.Key_Space, button: "noticeStay", word: "Blocked" },
            { tag: "stay blocked, Escape", key: Qt.Key_Escape, button: "", word: "Blocked" },
            { tag: "disconnect and lift, mouse", key: 0, button: "noticeLift", word: "Disconnected" },
        ]
    }
    function test_lockNotice(data) {
        settings.userName = "alice"
        settings.password = "secret"
        var where = [window.x, window.y].join()
        blockAfterLoss()
        var box = notice()
        compare([window.x, window.y].join(), where)
        var shown = rect(box.contentItem)
        verify(shown.x >= 0 && shown.right <= window.width && shown.y >= 0 && shown.bottom <= window.height, JSON.stringify(shown))
        verify(item("noticeReconnect", box.contentItem).activeFocus, "focus on the first choice")
        if (data.key !== 0) {
            if (data.button !== "" && data.button !== "noticeReconnect")
                item(data.button, box.contentItem).forceActiveFocus()
            keyClick(data.key)
        } else {
            mouseClick(item(data.button, box.contentItem))
        }
        tryVerify(function () { return !box.visible })
        compare(item("stateWord").text, qsTranslate("ConnectionStatus", data.word))
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
            verify(list.visible && serverListModel.serverIp === "10.0.0.2")
            return
        }
        tryVerify(function () { return !list.visible })
        verify(serverListModel.locationText.indexOf(data.expected) > 0, serverListModel.locationText)
    }

    // The rows show the round trips; the entry above them chooses by round trip and load, and closes the list.
    function test_quickest() {
        serverListModel.updateCurrentServer(0)
        serverListModel.setRoundTrip("10.0.0.3", 12)
        serverListModel.setRoundTrip("10.0.0.1", 90)
        openList()
        var dallas = rows(item("serverListView")).filter(function (r) { return r.cityName === "Dallas" })[0]
        compare(item("roundTripLabel", dallas).text, qsTranslate("ServerListItem", "%1 ms").arg(12))
        verify(TestSupport.accessible(dallas).endsWith(", " + item("roundTripLabel", dallas).text), TestSupport.accessible(dallas))
        mouseClick(item("quickestEntry"))
        tryVerify(function () { return !serverList().visible })
        compare(serverListModel.serverIp, "10.0.0.3")
        serverListModel.setRoundTrip("10.0.0.3", -1)
        serverListModel.setRoundTrip("10.0.0.1", -1)
        compare(item("roundTripLabel", dallas).text, "")
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
        // A press on a control not wholly in view scrolls it there, and the release then misses it: wait for
        // the content to come back from the last test's scrolling.
        var flick = settingsItem("settingsFlick")
        tryVerify(function () { return switches.every(function (s) { var y = s.mapToItem(flick, 0, 0).y; return y >= 0 && y + s.height <= flick.height }) })
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
        var kill = settingsItem("killSwitch"), local = settingsItem("localDevicesSwitch"), other = settingsItem("lockdownSwitch")
        mouseClick(settingsItem("lockTab"))
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
        mouseClick(settingsItem("generalTab"))
        settingsWindow().visible = false
        verify(local.checked && settings.killswitchEnabled && settings.allowAccessToLocalDevices)
    }

    function test_credentials() {
        openSettings()
        var user = settingsItem("userNameField").textField, password = settingsItem("passwordField").textField
        user.text = "alice"
        password.text = "secret" // masked, shown only on request
        compare(password.echoMode, TextInput.Password)
        var show = settingsItem("showPasswordButton")
        compare(TestSupport.accessible(show), Accessible.Button + " " + qsTranslate("GeneralTab", "Show password"))
        mouseClick(show)
        compare(password.echoMode, TextInput.Normal)
        mouseClick(settingsItem("saveAccountButton"))
        compare(settings.userName + settings.password, "alicesecret")
        verify(TestSupport.stored("userName") !== undefined && TestSupport.stored("userName") !== "alice") // enciphered
        // Typed but not updated: the next opening shows the stored ones again.
        user.text = "mallory"
        settingsWindow().visible = false
        settingsWindow().visible = true
        compare(user.text + settings.userName, "alicealice")
        compare(password.echoMode, TextInput.Password)
        verify(settingsWindow().title !== window.title && settingsWindow().title.indexOf(window.title) >= 0)
    }

    // Tab goes through every control in reading order, each with a mark while it has the focus (and a name: tst_a11y);
    // on a screen too small for the settings window its content scrolls to keep it in view.
    function test_keyboard_data() {
        var tabs = ["generalTab", "advancedTab", "lockTab"]
        return [
            { tag: "main", order: ["settingsButton", "locationRow", "connectionButton"] },
            { tag: "general", tab: "generalTab", column: "generalColumn", order: tabs.concat(["userNameField", "passwordField",
              "showPasswordButton", "saveAccountButton", "launchSwitch", "startInTraySwitch", "lastLocationSwitch", "autoReconnectSwitch",
              "keepInTraySwitch", "notificationsSwitch"]) },
            { tag: "lock", tab: "lockTab", column: "lockColumn", order: tabs.concat(["killSwitch", "localDevicesSwitch", "lockdownSwitch"]) },
            { tag: "advanced", tab: "advancedTab", column: "advancedColumn", order: tabs.concat(["udpButton", "tcpButton",
              "autoMtuButton", "manualMtuButton", "mtuBox", "autoUpdateSwitch", "problemReportButton", "showLogsButton"]) },
        ]
    }
    function test_keyboard(data) {
        var win = window, flick = null
        if (data.tab) {
            win = settingsWindow()
            verify(win.fullHeight <= 768 - 40 - 30, win.fullHeight) // a 1366x768 screen with task bar and title bar
            win.screenRoom = 400
            settings.killswitchEnabled = true
            openSettings()
            settingsItem("killSwitch").checked = true
            settingsItem("manualMtuButton").checked = true
            compare(win.height, 400)
            settingsItem(data.tab).forceActiveFocus()
            keyClick(Qt.Key_Return)
            verify(settingsItem(data.column).visible)
            flick = settingsItem("settingsFlick")
            verify(data.tab !== "generalTab" || flick.contentHeight > flick.height && settingsItem("settingsScrollBar").visible)
            // The chosen tab is told as such (roles and groups: tst_a11y).
            verify(TestSupport.accessible(settingsItem(data.tab)).endsWith(" (selected)"))
            settingsItem("settingsContent").forceActiveFocus()
        } else {
            window.requestActivate()
            tryVerify(function () { return window.active })
            item("connectionButton").forceActiveFocus()
        }
        // The control that had the focus, and its look then.
        function left(focused) { var control = namedIn(focused, data.order); return control && { item: control, look: TestSupport.picture(control) } }
        var reached = [], unmarked = [], previous = left(win.activeFocusItem)
        for (var i = 0; i < data.order.length; ++i) {
            keyClick(Qt.Key_Tab)
            var focused = win.activeFocusItem, name = nameIn(focused, data.order)
            reached.push(name)
            var top = flick && focused.mapToItem(flick, 0, 0).y
            if (flick && reached.length > 3) // the tabs stand above the flickable
                verify(top >= 0 && top + focused.height <= flick.height, name + " at " + top)
            // The one before looks clearly different now that the focus has left it.
            if (previous && TestSupport.changedPixels(previous.item, previous.look) < 20)
                unmarked.push(previous.item.objectName)
            previous = left(focused)
        }
        compare(reached.join(), data.order.join())
        compare(unmarked.join(), "")
        if (flick) {
            settingsItem("autoMtuButton").checked = true
            mouseClick(settingsItem("generalTab"))
        }
    }

    // Buttons answer Space and Return.
    function test_keyboardPress_data() { return [{ tag: "Space", key: Qt.Key_Space }, { tag: "Return", key: Qt.Key_Return }] }
    function test_keyboardPress(data) {
        window.requestActivate()
        tryVerify(function () { return window.activeFocusItem !== null })
        item("settingsButton", window.footer).forceActiveFocus()
        keyClick(data.key)
        tryVerify(function () { return settingsWindow().visible })
    }

    // At any scale factor the windows fit the screen's free area: the main window scrolls, and shrinks when the
    // screen is narrower than it.
    function test_fit_data() {
        return [
            { tag: "1920x1080 at 1", w: 1920, h: 1080, f: 1 },
            { tag: "1366x768 at 2", w: 1366, h: 768, f: 2 },
            { tag: "1280x720 at 4", w: 1280, h: 720, f: 4 },
        ]
    }
    function test_fit(data) {
        var room = data.h / data.f - 40, across = data.w / data.f
        window.screenRoom = settingsWindow().screenRoom = room
        window.screenWidthRoom = across
        verify(window.height <= room && window.width <= across, window.width + "x" + window.height)
        verify(settingsWindow().height <= room)
        waitForRendering(window.contentItem)
        var flick = item("mainFlick")
        compare(flick.contentHeight > flick.height, item("mainScrollBar").visible)
        // Scrolled down, the lowest line shows above the footer; nothing sticks out at the side.
        flick.contentY = Math.max(0, flick.contentHeight - flick.height)
        var ip = rect(item("currentIpItem")), info = item("connectionInfo")
        var right = info.mapToItem(null, info.width, 0).x
        verify(ip.bottom <= rect(window.footer).y + 1 && right <= window.width + 1, ip.bottom + " " + right)
        flick.contentY = 0
    }

    // Every text on screen, in each state of the windows, against what it is drawn on: 4.5:1, 3:1 for large
    // text; and the controls' parts against their ground, 3:1. Disabled controls are exempt. No picture is missing.
    // unreadable(): the texts under root (what covers the rest, such as a notice, is root), in its window's picture.
    function unreadable(root, scene) {
        waitForRendering(root)
        wait(400) // knobs and pop-ups settle
        verify(TestSupport.snap(root))
        var win = root.Window.window, failures = []
        function walk(text) {
            if (!text || !text.visible)
                return
            for (var i = 0; i < text.children.length; ++i)
                walk(text.children[i])
            if (text.status === Image.Error)
                return failures.push(scene + " " + text.source + " missing")
            if (typeof text.text !== "string" || text.text === "" || text.color === undefined || text.font === undefined || text.width <= 0)
                return
            var opacity = text.color.a
            for (var it = text; it; it = it.parent)
                opacity *= it.opacity
            var p = text.mapToItem(null, 0, 0)
            if (!text.enabled || opacity === 0 || p.x >= win.width || p.y >= win.height || p.x + text.width <= 0 || p.y + text.height <= 0)
                return
            var ground = TestSupport.backgroundAt(p.x, p.y, text.width, text.height)
            var shown = Qt.rgba(text.color.r * opacity + ground.r * (1 - opacity), text.color.g * opacity + ground.g * (1 - opacity),
                                text.color.b * opacity + ground.b * (1 - opacity), 1)
            var large = text.font.pixelSize >= 24 || (text.font.bold && text.font.pixelSize >= 18.66)
            var ratio = contrast(shown, ground)
            if (ratio < (large ? 3 : 4.5))
                failures.push(scene + " '" + text.text.substring(0, 30) + "' " + shown + " on " + ground + " " + ratio.toFixed(2))
        }
        walk(root)
        return failures
    }
    function test_contrast() {
        settings.userName = "alice"
        settings.password = "secret"
        var root = window.contentItem.parent, failures = []
        failures = failures.concat(unreadable(root, "disconnected"))
        report(1)
        failures = failures.concat(unreadable(root, "connecting"))
        report(3)
        vpnCore.onByteCountChanged(1572864, 0)
        failures = failures.concat(unreadable(root, "connected"))
        connectionStatus.setServiceRunning(false)
        report(0)
        failures = failures.concat(unreadable(root, "problem"))
        connectionStatus.setServiceRunning(true)
        blockAfterLoss()
        failures = failures.concat(unreadable(notice().contentItem, "notice"))
        notice().close()
        openSettings()
        failures = failures.concat(unreadable(settingsWindow().contentItem, "general"))
        mouseClick(settingsItem("advancedTab"))
        failures = failures.concat(unreadable(settingsWindow().contentItem, "advanced"))
        mouseClick(settingsItem("generalTab"))
        settingsWindow().visible = false
        openList() // the search field's placeholder, and the selected row
        failures = failures.concat(unreadable(serverList().contentItem, "server list"))
        // The parts that make out a control and its state, on the ground they stand on.
        var parts = [
            ["switch knob, off", uiStyle.generalSwitchIndicatorColor, uiStyle.generalSectionColor],
            ["switch knob, on", uiStyle.generalSwitchIndicatorColorChecked, uiStyle.generalSectionColor],
            ["radio button ring", uiStyle.generalRadioButtonBorderColor, uiStyle.generalSectionColor],
            ["radio button, chosen", uiStyle.generalRadioButtonSelectedColor, uiStyle.generalSectionColor],
            ["text field border", uiStyle.generalTextFieldBorderColor, uiStyle.generalSectionColor],
            ["button", uiStyle.generalButtonBackgroundColor, uiStyle.generalSectionColor],
            ["focus mark on the window", uiStyle.generalHeaderActiveColor, uiStyle.generalBackgroundColor],
            ["focus mark on a section", uiStyle.generalHeaderActiveColor, uiStyle.generalSectionColor],
            ["chosen tab's line", uiStyle.generalTabSelectedColor, uiStyle.generalTabBackgroundColor],
        ]
        parts.forEach(function (part) {
            var ratio = contrast(Qt.darker(part[1], 1), Qt.darker(part[2], 1))
            if (ratio < 3)
                failures.push(part[0] + " " + part[1] + " on " + part[2] + " " + ratio.toFixed(2))
        })
        compare(failures.join("\n"), "")
    }
}

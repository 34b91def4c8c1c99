import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0
import "qrc:/qml/controls"

Item {
    id: host
    width: 400
    height: 500

    Column {
        ASwitch { id: aSwitch; text: "Re-establish VPN connection if disconnected or dropped" }
        Row { ARadioButton { id: udp; text: "UDP - OpenVPN" } ARadioButton { id: tcp; text: "TCP - OpenVPN" } }
        AInputField { id: input; width: 300; labelField.text: "Username" }
        AInputField { id: secondInput; width: 300; labelField.text: "Password" }
        AButton { id: button; text: "Update" }
        ATabButton { id: tab; text: "General" }
    }
    Rectangle { id: hoverTarget; x: 350; width: 50; height: 50; MouseAreaHandler { id: handler } }
    SignalSpy { id: clicks; target: button; signalName: "clicked" }
    Component { id: aLabel; ALabel {} }
    Component { id: aGreyLabel; AGreyLabel {} }
    Component { id: aBrightLabel; ABrightLabel {} }
    Component { id: aSmallGreyLabel; ASmallGreyLabel {} }
    Component { id: aSectionHeader; ASectionHeader {} }

    TestCase {
        name: "Controls"
        when: windowShown

        function menuOf(field) {
            for (var i = 0; i < field.data.length; ++i)
                if (field.data[i].hasOwnProperty("onlyPasteAllowed")) return field.data[i]
        }
        function entry(menu, text) {
            var items = menu.contentItem.children
            for (var i = 0; i < items.length; ++i)
                if (items[i].action && items[i].text === text) return items[i]
        }
        function openMenu(field, menu, x) {
            mouseClick(field, x, 10, Qt.RightButton)
            tryCompare(menu, "opened", true)
        }
        function errorLines() {
            return TestSupport.takeMessages().filter(function (m) {
                return m === "Error! Parent of this context menu must be TextEdit, TextInput or their inheritance" }).length
        }

        function test_labelOpacity_data() {
            return [
                { tag: "ALabel", component: aLabel, darkOpacity: 0.5, colorKey: "settingsPageDefaultLabelColor1" },
                { tag: "AGreyLabel", component: aGreyLabel, darkOpacity: 0.4, colorKey: "generalGreyLabelColor" },
                { tag: "ABrightLabel", component: aBrightLabel, darkOpacity: 1, colorKey: "generalBrightLabelColor" },
                { tag: "ASmallGreyLabel", component: aSmallGreyLabel, darkOpacity: 0.2, colorKey: "settingsPageDefaultLabelColor2" },
                { tag: "ASectionHeader", component: aSectionHeader, darkOpacity: 1, colorKey: "generalDefaultLabelColor" },
            ]
        }
        function test_labelOpacity(data) {
            var dark = TestSupport.create(data.component, true, host)
            var light = TestSupport.create(data.component, false, host)
            fuzzyCompare(dark.opacity, data.darkOpacity, 0.001)
            compare(light.opacity, 1)
            verify(Qt.colorEqual(dark.color, TestSupport.dark[data.colorKey]))
            verify(Qt.colorEqual(light.color, TestSupport.light[data.colorKey]))
            compare(dark.font.family, "Poppins")
            // Owned by the host: hidden so later rows do not pile up.
            dark.visible = light.visible = false
        }

        function test_switchTogglesOnlyWhenEnabled() {
            var c = findChild(aSwitch, "switchControl"), knob = findChild(aSwitch, "switchIndicator")
            mouseClick(c)
            verify(aSwitch.checked)
            // Animated: under way, not done, right after the click.
            verify(knob.x < c.width - knob.width)
            tryCompare(knob, "x", c.width - knob.width)
            verify(Qt.colorEqual(c.background.color, uiStyle.generalSwitchBackgroundColorChecked))
            aSwitch.enabled = false
            mouseClick(c)
            verify(aSwitch.checked)
            aSwitch.enabled = true
            mouseClick(c)
            verify(!aSwitch.checked)
            tryCompare(knob, "x", 0)
        }

        function test_radioIndicator() {
            var inner = findChild(udp, "radioInner"), disc = findChild(udp, "radioChecked")
            verify(inner.visible && !disc.visible && Qt.colorEqual(inner.color, udp.backgroundColor))
            mousePress(udp.indicator)
            verify(Qt.colorEqual(inner.color, udp.selectedColor) && Qt.colorEqual(udp.indicator.border.color, udp.selectedColor))
            mouseRelease(udp.indicator)
            verify(udp.checked && disc.visible && !inner.visible)
            verify(Qt.colorEqual(udp.indicator.border.color, udp.borderColor))
            // The label belongs to the button too; the group is exclusive.
            mouseClick(tcp.contentItem)
            verify(tcp.checked && !udp.checked)
            udp.enabled = false
            mouseClick(udp.indicator)
            verify(!udp.checked)
        }

        function test_input33rdCharacterRefused() {
            input.textField.forceActiveFocus()
            for (var i = 0; i < 33; ++i)
                keyClick(Qt.Key_A)
            compare(input.textField.text, "a".repeat(32))
        }

        function test_menuActions() {
            var field = input.textField, menu = menuOf(field)
            TestSupport.clearClipboard()
            field.text = "abcdef"
            mouseClick(field, 40, 10, Qt.LeftButton)
            verify(!menu.visible)
            openMenu(field, menu, 40)
            compare(menu.x, 40)
            verify(!entry(menu, "Cut").enabled && !entry(menu, "Copy").enabled && !entry(menu, "Paste").enabled)
            menu.close()
            field.select(0, 3)
            openMenu(field, menu, 100)
            // The right press must not drop the selection.
            compare(field.selectedText, "abc")
            verify(entry(menu, "Copy").enabled)
            mouseClick(entry(menu, "Cut"))
            tryCompare(menu, "visible", false)
            compare(field.text, "def")
            openMenu(field, menu, 40)
            field.cursorPosition = 3
            mouseClick(entry(menu, "Paste"))
            compare(field.text, "defabc")
            menu.onlyPasteAllowed = true
            field.selectAll()
            verify(!entry(menu, "Cut").enabled && !entry(menu, "Copy").enabled && entry(menu, "Paste").enabled)
            menu.onlyPasteAllowed = false
            menu.close()
        }

        function test_menuParent_data() {
            return [
                { tag: "no pressed at all", source: "Rectangle { width: 200; height: 30; AContextMenu {} }", errors: 1 },
                { tag: "pressed a property", source: "MouseArea { width: 200; height: 30; acceptedButtons: Qt.AllButtons; AContextMenu {} }", errors: 1 },
                { tag: "text field", source: "ATextField { width: 200; AContextMenu {} }", errors: 0 },
            ]
        }
        function test_menuParent(data) {
            errorLines()
            var item = Qt.createQmlObject('import QtQuick 2.12; import "qrc:/qml/controls"; ' + data.source, host)
            var menu = menuOf(item)
            compare(errorLines(), data.errors)
            mouseClick(item, 50, 10, Qt.RightButton)
            wait(50)
            compare(menu.visible, data.errors === 0)
            menu.close()
            // Moved under another editor, it follows that one's presses only.
            var field = Qt.createQmlObject('import "qrc:/qml/controls"; ATextField { y: 100; width: 200 }', host)
            menu.parent = field
            compare(errorLines(), 0)
            openMenu(field, menu, 20)
            menu.close()
            tryCompare(menu, "visible", false)
            mouseClick(item, 50, 10, Qt.RightButton)
            wait(50)
            verify(!menu.visible)
            field.destroy()
            item.destroy()
        }

        function test_shortcutsActOnce() {
            // Every field's menu carries the standard shortcuts; the focused editor handles them once.
            var field = input.textField
            field.text = "ab"
            field.forceActiveFocus()
            field.selectAll()
            keySequence(StandardKey.Copy)
            field.cursorPosition = 2
            keySequence(StandardKey.Paste)
            compare(field.text, "abab")
            compare(secondInput.textField.text, "")
        }

        function test_buttons() {
            // The handler takes the mouse, so it decides the pressed look.
            mousePress(button)
            verify(Qt.colorEqual(button.background.color, uiStyle.generalButtonBackgroundColorPressed))
            mouseRelease(button)
            verify(Qt.colorEqual(button.background.color, uiStyle.generalButtonBackgroundColor))
            compare(clicks.count, 1)
            button.enabled = false
            mouseClick(button)
            compare(clicks.count, 1)
            // A tab selects itself; only its owner deselects it.
            mouseClick(tab)
            mouseClick(tab)
            verify(tab.selected && Qt.colorEqual(tab.background.children[0].color, uiStyle.generalTabSelectedColor))
            mouseMove(host, 300, 100)
            mouseMove(hoverTarget, 25, 25)
            compare(handler.cursorShape, Qt.PointingHandCursor)
            mouseMove(host, 300, 100)
            compare(handler.cursorShape, Qt.ArrowCursor)
        }
    }
}

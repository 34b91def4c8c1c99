import QtQuick 2.12
import QtTest 1.12
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
    }
    SignalSpy { id: clicks; target: button; signalName: "clicked" }

    TestCase {
        name: "Controls"
        when: windowShown

        function menuOf(field) { for (var i = 0; i < field.data.length; ++i) if ("onlyPasteAllowed" in field.data[i]) return field.data[i] }
        function entry(menu, text) { var c = menu.contentItem.children; for (var i = 0; i < c.length; ++i) if (c[i].text === text) return c[i] }
        function enabled(menu) { return menu.actions.filter(function (a) { return a.enabled }).map(function (a) { return a.text }).join() }
        function rightClick(item, x) { mouseClick(item, x, 10, Qt.RightButton); wait(50) }

        function test_switchTogglesOnlyWhenEnabled() {
            var c = findChild(aSwitch, "switchControl"), knob = findChild(aSwitch, "switchIndicator")
            mouseClick(c)
            verify(aSwitch.checked && knob.x < c.width - knob.width) // the knob slides
            tryCompare(knob, "x", c.width - knob.width)
            aSwitch.enabled = false
            mouseClick(c)
            verify(aSwitch.checked)
            aSwitch.enabled = true
            mouseClick(c)
            verify(!aSwitch.checked)
        }
        function test_radioIndicator() {
            var inner = findChild(udp, "radioInner"), disc = findChild(udp, "radioChecked")
            verify(inner.visible && !disc.visible && Qt.colorEqual(inner.color, udp.backgroundColor))
            mousePress(udp.indicator)
            verify(Qt.colorEqual(inner.color, udp.selectedColor) && Qt.colorEqual(udp.indicator.border.color, udp.selectedColor))
            mouseRelease(udp.indicator)
            verify(udp.checked && disc.visible && !inner.visible && Qt.colorEqual(udp.indicator.border.color, udp.borderColor))
            mouseClick(tcp.contentItem) // the label belongs to the button too
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
            // A fresh process starts with an empty clipboard; nothing before this copies.
            var field = input.textField, menu = menuOf(field)
            field.text = "abcdef"
            mouseClick(field, 40, 10)
            verify(!menu.visible) // only the right button opens it, at the pointer
            rightClick(field, 40)
            verify(menu.visible && menu.x === 40 && enabled(menu) === "")
            field.select(0, 3)
            compare(enabled(menu), "Cut,Copy")
            menu.close()
            rightClick(field, 100)
            compare(field.selectedText, "abc") // the right press keeps the selection
            mouseClick(entry(menu, "Cut"))
            tryCompare(menu, "visible", false)
            compare(field.text, "def")
            rightClick(field, 40)
            field.cursorPosition = 3
            mouseClick(entry(menu, "Paste")) // "defabc"
            // Every field's menu carries the standard shortcuts; the focused editor handles them once.
            field.forceActiveFocus()
            field.select(0, 3)
            keySequence(StandardKey.Copy)
            keySequence(StandardKey.Paste)
            keySequence(StandardKey.Paste)
            verify(field.text === "defdefabc" && secondInput.textField.text === "")
            menu.onlyPasteAllowed = true
            field.selectAll()
            compare(enabled(menu), "Paste")
            menu.onlyPasteAllowed = false
        }
        function test_shortcutsLeaveUnfocusedFieldsAlone() {
            input.textField.text = "abc"
            secondInput.textField.text = "xyz"
            input.textField.selectAll()
            input.textField.copy()
            host.forceActiveFocus()
            keySequence(StandardKey.Paste) // twice: window-wide shortcuts would take turns among the fields
            keySequence(StandardKey.Paste)
            keySequence(StandardKey.Cut)
            verify(input.textField.text === "abc" && secondInput.textField.text === "xyz")
            input.textField.text = secondInput.textField.text = ""
        }
        function test_menuParent_data() {
            return [
                { tag: "no pressed at all", source: "Rectangle { width: 200; height: 30; AContextMenu {} }", wrong: true },
                { tag: "pressed a property", source: "MouseArea { width: 200; height: 30; acceptedButtons: Qt.AllButtons; AContextMenu {} }", wrong: true },
                { tag: "text field", source: "ATextField { width: 200; AContextMenu {} }", wrong: false },
            ]
        }
        function test_menuParent(data) {
            var item = Qt.createQmlObject('import QtQuick 2.12; import "qrc:/qml/controls"; ' + data.source, host), menu = menuOf(item)
            rightClick(item, 50)
            compare(menu.visible, !data.wrong)
            menu.close()
            // Moved under another editor, it follows that one's presses only.
            menu.parent = Qt.createQmlObject('import "qrc:/qml/controls"; ATextField { y: 100; width: 200 }', item)
            rightClick(menu.parent, 20)
            verify(menu.visible)
            menu.close()
            rightClick(item, 50)
            verify(!menu.visible)
            item.destroy()
        }
        function test_buttons() {
            mousePress(button) // the handler takes the mouse, so it decides the pressed look
            verify(Qt.colorEqual(button.background.color, uiStyle.generalButtonBackgroundColorPressed))
            mouseRelease(button)
            verify(Qt.colorEqual(button.background.color, uiStyle.generalButtonBackgroundColor) && clicks.count === 1)
        }
    }
}

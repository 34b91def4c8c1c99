import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0
import "qrc:/qml/controls"

Item {
    id: host
    width: 400
    height: 400

    AInputField {
        id: input
        width: 300
        labelField.text: "Username"
    }

    AInputField {
        id: secondInput
        y: 100
        width: 300
        labelField.text: "Password"
    }

    ATextField {
        id: disabledField
        y: 200
        enabled: false
    }

    TestCase {
        name: "AInputField"
        when: windowShown

        function menu() {
            var field = input.textField
            for (var i = 0; i < field.data.length; ++i) {
                if (field.data[i].hasOwnProperty("onlyPasteAllowed"))
                    return field.data[i]
            }
            return null
        }

        function menuItem(text) {
            var column = menu().contentItem
            for (var i = 0; i < column.children.length; ++i) {
                var item = column.children[i]
                if (item.action && item.text === text)
                    return item
            }
            return null
        }

        function init() {
            menu().close()
            menu().onlyPasteAllowed = false
            input.textField.text = ""
            TestSupport.clearClipboard()
            TestSupport.startCapture()
        }

        function test_layout() {
            compare(input.labelField.text, "Username")
            compare(input.textField.width, input.width)
            verify(input.textField.selectByMouse)
            compare(input.textField.maximumLength, 32)
            verify(Qt.colorEqual(input.textField.color, uiStyle.generalDefaultLabelColor))
            verify(Qt.colorEqual(input.textField.background.border.color, uiStyle.generalTextFieldBorderColor))
            compare(input.textField.background.color, "#00000000")
        }

        function test_refuses33rdCharacter() {
            input.textField.forceActiveFocus()
            for (var i = 0; i < 33; ++i)
                keyClick(Qt.Key_A)
            compare(input.textField.text.length, 32)
            keyClick(Qt.Key_B)
            compare(input.textField.text, "a".repeat(32))
        }

        function test_rightClickOpensMenuAtPointer() {
            mouseClick(input.textField, 40, 10, Qt.RightButton)
            var m = menu()
            tryCompare(m, "opened", true)
            compare(m.x, 40)
            compare(m.y, 10)
            compare(m.padding, 0)
            compare(m.height, menuItem("Cut").height * 3)
            // A left click does not open it.
            m.close()
            tryCompare(m, "visible", false)
            mouseClick(input.textField, 40, 10, Qt.LeftButton)
            verify(!m.visible)
        }

        function test_actionsFollowSelectionAndClipboard() {
            input.textField.text = "secret"
            mouseClick(input.textField, 40, 10, Qt.RightButton)
            tryCompare(menu(), "opened", true)
            verify(!menuItem("Cut").enabled)
            verify(!menuItem("Copy").enabled)
            verify(!menuItem("Paste").enabled)

            input.textField.selectAll()
            verify(menuItem("Cut").enabled)
            verify(menuItem("Copy").enabled)

            mouseClick(menuItem("Copy"))
            tryCompare(menu(), "visible", false)
            verify(input.textField.canPaste)

            mouseClick(input.textField, 40, 10, Qt.RightButton)
            tryCompare(menu(), "opened", true)
            verify(menuItem("Paste").enabled)
            input.textField.text = "x"
            input.textField.cursorPosition = 1
            mouseClick(menuItem("Paste"))
            compare(input.textField.text, "xsecret")
            tryCompare(menu(), "visible", false)
        }

        function test_cutRemovesSelection() {
            input.textField.text = "abcdef"
            input.textField.select(0, 3)
            mouseClick(input.textField, 100, 10, Qt.RightButton)
            tryCompare(menu(), "opened", true)
            // The right press must not have dropped the selection.
            compare(input.textField.selectedText, "abc")
            mouseClick(menuItem("Cut"))
            compare(input.textField.text, "def")
            verify(input.textField.canPaste)
        }

        function test_keyboardShortcutsActOnce() {
            // Each field's menu carries the standard shortcuts; the focused editor must still
            // handle them exactly once.
            input.textField.text = "ab"
            input.textField.forceActiveFocus()
            input.textField.selectAll()
            keySequence(StandardKey.Copy)
            input.textField.cursorPosition = 2
            keySequence(StandardKey.Paste)
            compare(input.textField.text, "abab")
            compare(secondInput.textField.text, "")
            input.textField.select(0, 2)
            keySequence(StandardKey.Cut)
            compare(input.textField.text, "ab")
        }

        function test_shortcutsLeaveUnfocusedFieldsAlone() {
            input.textField.text = "abc"
            secondInput.textField.text = "xyz"
            input.textField.selectAll()
            input.textField.copy()
            host.forceActiveFocus()
            verify(host.activeFocus)
            // Twice: ambiguous window shortcuts take turns among the fields.
            keySequence(StandardKey.Paste)
            keySequence(StandardKey.Paste)
            input.textField.selectAll()
            keySequence(StandardKey.Cut)
            compare(input.textField.text, "abc")
            compare(secondInput.textField.text, "xyz")
            // The menu itself still acts on its editor.
            mouseClick(secondInput.textField, 40, 10, Qt.RightButton)
            var secondMenu = null
            for (var i = 0; i < secondInput.textField.data.length; ++i) {
                if (secondInput.textField.data[i].hasOwnProperty("onlyPasteAllowed"))
                    secondMenu = secondInput.textField.data[i]
            }
            tryCompare(secondMenu, "opened", true)
            verify(secondMenu.actions[2].enabled)
            secondMenu.actions[2].trigger()
            compare(secondInput.textField.text.indexOf("abc") >= 0, true)
            secondMenu.close()
            secondInput.textField.text = ""
        }

        function test_onlyPasteAllowed() {
            menu().onlyPasteAllowed = true
            input.textField.text = "secret"
            input.textField.selectAll()
            verify(!menuItem("Cut").enabled)
            verify(!menuItem("Copy").enabled)
        }

        function test_disabledFieldLook() {
            verify(Qt.colorEqual(disabledField.background.color, "#353637"))
            compare(disabledField.background.border.color, "#00000000")
            compare(disabledField.background.implicitWidth, 100)
            compare(disabledField.background.implicitHeight, 36)
        }

        function test_noErrorUnderTextField() {
            var field = Qt.createQmlObject('import "qrc:/qml/controls"; ATextField { AContextMenu {} }', host)
            var messages = TestSupport.takeMessages()
            for (var i = 0; i < messages.length; ++i)
                verify(messages[i].indexOf("Error!") < 0, messages[i])
            field.destroy()
        }
    }
}

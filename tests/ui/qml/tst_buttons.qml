import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0
import "qrc:/qml/controls"

Item {
    id: host
    width: 400
    height: 300

    AButton {
        id: button
        text: "Update"
    }

    ATabButton {
        id: tab
        y: 60
        text: "General"
    }

    Rectangle {
        id: hoverTarget
        x: 200
        y: 200
        width: 50
        height: 50
        MouseAreaHandler {
            id: handler
        }
    }

    SignalSpy { id: buttonClicks; target: button; signalName: "clicked" }
    SignalSpy { id: tabClicks; target: tab; signalName: "clicked" }

    TestCase {
        name: "Buttons"
        when: windowShown

        function init() {
            buttonClicks.clear()
            tabClicks.clear()
        }

        function test_buttonClickedOnce() {
            compare(button.implicitWidth, 160)
            compare(button.implicitHeight, 40)
            mouseClick(button)
            compare(buttonClicks.count, 1)
        }

        function test_buttonColoursWhileDown() {
            verify(Qt.colorEqual(button.background.color, uiStyle.generalButtonBackgroundColor))
            verify(Qt.colorEqual(button.contentItem.color, uiStyle.generalButtonTextColor))
            mousePress(button)
            verify(button.down)
            verify(Qt.colorEqual(button.background.color, uiStyle.generalButtonBackgroundColorPressed))
            verify(Qt.colorEqual(button.contentItem.color, uiStyle.generalButtonTextColorPressed))
            mouseRelease(button)
            verify(!button.down)
            verify(Qt.colorEqual(button.background.color, uiStyle.generalButtonBackgroundColor))
            compare(buttonClicks.count, 1)
        }

        function test_disabledButtonIgnoresClicks() {
            button.enabled = false
            mouseClick(button)
            button.enabled = true
            compare(buttonClicks.count, 0)
        }

        function test_tabSelectsItself() {
            compare(tab.implicitHeight, 68)
            var line = tab.background.children[0]
            compare(line.height, 3)
            compare(line.y, tab.height - 3)
            tab.selected = false
            verify(Qt.colorEqual(line.color, uiStyle.generalTabNonSelectedColor))
            mouseClick(tab)
            verify(tab.selected)
            compare(tabClicks.count, 1)
            verify(Qt.colorEqual(line.color, uiStyle.generalTabSelectedColor))
            // Selection is undone by the owner, not by a second click.
            mouseClick(tab)
            verify(tab.selected)
        }

        function test_handlerCursor() {
            compare(handler.width, hoverTarget.width)
            mouseMove(host, 10, 250)
            mouseMove(hoverTarget, 25, 25)
            verify(handler.containsMouse)
            compare(handler.cursorShape, Qt.PointingHandCursor)
            mouseMove(host, 10, 250)
            verify(!handler.containsMouse)
            compare(handler.cursorShape, Qt.ArrowCursor)
        }
    }
}

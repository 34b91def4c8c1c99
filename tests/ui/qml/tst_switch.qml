import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0
import "qrc:/qml/controls"

Item {
    id: host
    width: 400
    height: 200

    ASwitch {
        id: aSwitch
        text: "Re-establish VPN connection if disconnected or dropped"
    }

    TestCase {
        name: "ASwitch"
        when: windowShown

        function control() { return findChild(aSwitch, "switchControl") }
        function indicator() { return findChild(aSwitch, "switchIndicator") }

        function init() {
            aSwitch.enabled = true
            aSwitch.checked = false
            tryCompare(indicator(), "x", 0)
        }

        function test_geometry() {
            compare(aSwitch.width, host.width)
            compare(control().width, 41)
            compare(control().height, 16)
            compare(aSwitch.height, 32)
            compare(control().x + control().width, aSwitch.width)
            compare(indicator().width, 23)
            compare(indicator().radius, 11)
            compare(aSwitch.controlMargin, 10)
        }

        function test_clickToggles() {
            var c = control()
            mouseClick(c)
            verify(aSwitch.checked)
            tryCompare(indicator(), "x", c.width - indicator().width)
            verify(Qt.colorEqual(indicator().color, uiStyle.generalSwitchIndicatorColorChecked))
            verify(Qt.colorEqual(c.background.color, uiStyle.generalSwitchBackgroundColorChecked))
            verify(Qt.colorEqual(c.background.border.color, uiStyle.generalSwitchBackgroundColorChecked))
            mouseClick(c)
            verify(!aSwitch.checked)
            tryCompare(indicator(), "x", 0)
            verify(Qt.colorEqual(indicator().color, uiStyle.generalSwitchIndicatorColor))
            verify(Qt.colorEqual(c.background.color, uiStyle.generalSwitchBackgroundColor))
        }

        function test_indicatorSlides() {
            mouseClick(control())
            // The move is animated: it is under way, not done, right after the click.
            verify(indicator().x < control().width - indicator().width)
            tryCompare(indicator(), "x", control().width - indicator().width)
        }

        function test_disabledIgnoresClicks() {
            aSwitch.enabled = false
            mouseClick(control())
            verify(!aSwitch.checked)
            aSwitch.checked = true
            mouseClick(control())
            verify(aSwitch.checked)
        }

        function test_textOnTheLabel() {
            var label = aSwitch.children[0]
            compare(label.text, aSwitch.text)
            compare(label.x, 0)
        }
    }
}

import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0
import "qrc:/qml/controls"

Item {
    id: host
    width: 400
    height: 200

    Column {
        ARadioButton {
            id: udp
            text: "UDP - OpenVPN"
        }
        ARadioButton {
            id: tcp
            text: "TCP - OpenVPN"
        }
        ARadioButton {
            id: plain
        }
    }

    TestCase {
        name: "ARadioButton"
        when: windowShown

        function part(button, name) { return findChild(button, name) }

        function init() {
            udp.enabled = true
            udp.checked = false
            tcp.checked = false
            plain.checked = false
        }

        function test_defaults() {
            compare(plain.text, "RadioButton")
            verify(!plain.checked)
            compare(plain.textPadding, 20 + 2 * plain.spacing)
            compare(udp.indicator.width, 20)
            compare(udp.indicator.x, udp.leftPadding)
            compare(udp.contentItem.leftPadding, 20 + udp.spacing)
            compare(udp.selectedColor, uiStyle.generalRadioButtonSelectedColor)
        }

        function test_indicatorStates() {
            var inner = part(udp, "radioInner")
            var disc = part(udp, "radioChecked")
            verify(inner.visible)
            verify(!disc.visible)
            compare(inner.width, 18)
            compare(inner.x, 1)
            verify(Qt.colorEqual(inner.color, udp.backgroundColor))
            verify(Qt.colorEqual(udp.indicator.border.color, udp.borderColor))

            mousePress(udp.indicator)
            verify(Qt.colorEqual(inner.color, udp.selectedColor))
            verify(Qt.colorEqual(udp.indicator.border.color, udp.selectedColor))
            mouseRelease(udp.indicator)

            verify(udp.checked)
            verify(disc.visible)
            verify(!inner.visible)
            compare(disc.width, 20)
            verify(Qt.colorEqual(disc.color, udp.selectedColor))
            verify(Qt.colorEqual(udp.indicator.border.color, udp.borderColor))
        }

        function test_exclusive() {
            mouseClick(udp.indicator)
            verify(udp.checked)
            mouseClick(tcp.indicator)
            verify(tcp.checked)
            verify(!udp.checked)
            // The label is part of the button too.
            mouseClick(udp.contentItem)
            verify(udp.checked)
            verify(!tcp.checked)
        }

        function test_disabledIgnoresClicks() {
            udp.enabled = false
            mouseClick(udp.indicator)
            verify(!udp.checked)
        }
    }
}

import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0
import "qrc:/qml/controls"

Item {
    id: host
    width: 400
    height: 400

    Component { id: aLabel; ALabel { text: "label" } }
    Component { id: aGreyLabel; AGreyLabel { text: "grey" } }
    Component { id: aBrightLabel; ABrightLabel { text: "bright" } }
    Component { id: aSmallGreyLabel; ASmallGreyLabel { text: "small" } }
    Component { id: aSectionHeader; ASectionHeader { text: "header" } }

    TestCase {
        name: "Labels"
        when: windowShown

        function create(component, dark) {
            var item = TestSupport.create(component, dark, host)
            verify(item !== null)
            return item
        }

        function test_opacityAndLook_data() {
            return [
                { tag: "ALabel", component: aLabel, darkOpacity: 0.5, size: 13, colorKey: "settingsPageDefaultLabelColor1", bold: false },
                { tag: "AGreyLabel", component: aGreyLabel, darkOpacity: 0.4, size: 12, colorKey: "generalGreyLabelColor", bold: false },
                { tag: "ABrightLabel", component: aBrightLabel, darkOpacity: 1, size: 13, colorKey: "generalBrightLabelColor", bold: false },
                { tag: "ASmallGreyLabel", component: aSmallGreyLabel, darkOpacity: 0.2, size: 11, colorKey: "settingsPageDefaultLabelColor2", bold: false },
                { tag: "ASectionHeader", component: aSectionHeader, darkOpacity: 1, size: 16, colorKey: "generalDefaultLabelColor", bold: true },
            ]
        }

        function test_opacityAndLook(data) {
            var dark = create(data.component, true)
            var light = create(data.component, false)
            fuzzyCompare(dark.opacity, data.darkOpacity, 0.001)
            compare(light.opacity, 1)
            verify(Qt.colorEqual(dark.color, TestSupport.dark[data.colorKey]))
            verify(Qt.colorEqual(light.color, TestSupport.light[data.colorKey]))
            compare(dark.font.pixelSize, data.size)
            compare(dark.font.family, "Poppins")
            compare(dark.font.bold, data.bold)
            // Owned by the host; hidden so later rows do not pile up on top.
            dark.visible = false
            light.visible = false
        }
    }
}

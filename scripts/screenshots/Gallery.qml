import QtQuick 2.12
import QtQuick.Window 2.12
import DashCircle 1.0
import "qrc:/qml/controls"

// Every control of the library, in the style of the run. Shot by Screens.qml.
Window {
    width: 560; height: 860; visible: true; color: uiStyle.generalBackgroundColor
    Column {
        x: 20; y: 20; width: 520; spacing: 10
        Rectangle { width: 520; height: 50; color: uiStyle.settingsPageHeaderBackgroundColor; Image { anchors.centerIn: parent; source: uiStyle.generalLogoFileName } }
        Row { ATabButton { width: 260; text: "General"; selected: true } ATabButton { width: 260; text: "Advanced" } }
        ASectionHeader { text: uiStyle.darkStyle ? "Dark style" : "Light style" }
        ALabel { text: "ALabel: Show logs collected by application" }
        AGreyLabel { text: "AGreyLabel: Server location" }
        ABrightLabel { text: "ABrightLabel: Frankfurt am Main" }
        ASmallGreyLabel { text: "ASmallGreyLabel: This is more likely to function on all types of networks" }
        Row { spacing: 10; AButton { text: "Update" } AButton { text: "Pressed"; down: true } AButton { text: "Disabled"; enabled: false } }
        ASwitch { text: "ASwitch on"; checked: true }
        ASwitch { text: "ASwitch disabled"; enabled: false }
        Row { spacing: 20; ARadioButton { text: "UDP - OpenVPN"; checked: true } ARadioButton { text: "TCP - OpenVPN" } ARadioButton { text: "Pressed"; down: true } ARadioButton { text: "Disabled"; enabled: false } }
        AInputField { width: 520; labelField.text: "Username"; textField.text: "user@example.org" }
        Item { width: 520; height: 40; AToolTip { y: 4; visible: true; timeout: -1; text: "AToolTip: Выполняется подключение..." } }
        Row {
            spacing: 12
            DashCircle { width: 88; height: 88; color: uiStyle.connectionPageCirclesColor }
            Repeater { model: ["greenswitch", "redswitch", "settings_", "close_", "droparrow_"]; Image { source: "qrc:/resources/icons/" + modelData + (modelData.endsWith("_") ? (uiStyle.darkStyle ? "white" : "black") : "") + ".png" } }
            Repeater { model: ["us", "de", "gb-eng", "eu"]; Image { width: 32; height: 24; source: "qrc:/resources/icons/flags/" + modelData + ".png" } }
        }
        Row {
            spacing: 10
            ATextField { width: 200; text: "disabled"; enabled: false }
            ATextField { id: field; width: 200; text: "right-click menu"; AContextMenu { id: menu; x: 120; y: 20 } }
            Timer { running: true; interval: 300; onTriggered: { field.selectAll(); menu.open() } }
        }
    }
}

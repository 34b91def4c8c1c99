import QtQuick 2.12
import QtQuick.Controls 2.12
import DashCircle 1.0
import TestSupport 1.0
import "qrc:/qml/controls"

// Every control of the library, light style on the left and dark style on the right.
Row {
    id: gallery

    Component {
        id: panel

        Rectangle {
            id: page
            width: 560
            height: content.height + 40
            color: uiStyle.generalBackgroundColor

            Column {
                id: content
                x: 20
                y: 20
                width: page.width - 40
                spacing: 12

                Rectangle {
                    width: content.width
                    height: 50
                    color: uiStyle.settingsPageHeaderBackgroundColor
                    Image {
                        anchors.centerIn: parent
                        source: uiStyle.generalLogoFileName
                    }
                }

                Row {
                    width: content.width
                    ATabButton { width: content.width / 2; text: "General"; selected: true }
                    ATabButton { width: content.width / 2; text: "Advanced" }
                }

                Rectangle {
                    width: content.width
                    height: section.height
                    color: uiStyle.generalSectionColor

                    Column {
                        id: section
                        width: parent.width
                        padding: 20
                        spacing: 10

                        ASectionHeader { text: uiStyle.darkStyle ? "Dark style" : "Light style" }
                        ALabel { text: "ALabel: Show logs collected by application" }
                        AGreyLabel { text: "AGreyLabel: Server location" }
                        ABrightLabel { text: "ABrightLabel: Frankfurt am Main" }
                        ASmallGreyLabel { text: "ASmallGreyLabel: This is more likely to function on all types of networks" }

                        Row {
                            spacing: 10
                            AButton { text: "Update" }
                            AButton { text: "Pressed"; down: true }
                        }

                        Column {
                            width: section.width - 40
                            ASwitch { text: "ASwitch on"; checked: true }
                            ASwitch { text: "ASwitch off" }
                            ASwitch { text: "ASwitch disabled"; enabled: false }
                        }

                        Row {
                            spacing: 20
                            ARadioButton { text: "UDP - OpenVPN"; checked: true }
                            ARadioButton { text: "TCP - OpenVPN" }
                            ARadioButton { text: "Pressed"; down: true }
                        }

                        AInputField {
                            width: section.width - 40
                            labelField.text: "Username"
                            textField.text: "user@example.org"
                        }

                        Row {
                            spacing: 10
                            ATextField { width: 200; text: "disabled"; enabled: false }
                            ATextField {
                                id: menuField
                                width: 200
                                text: "right-click menu"
                                AContextMenu { id: menu }
                                // Opened once the window exists, with a selection so every entry is enabled.
                                Timer {
                                    running: true
                                    interval: 300
                                    onTriggered: {
                                        menuField.selectAll()
                                        menu.x = 120
                                        menu.y = 20
                                        menu.open()
                                    }
                                }
                            }
                        }
                        Item { width: 1; height: 90 }
                    }
                }

                Row {
                    spacing: 16

                    Item {
                        width: 120
                        height: 120
                        DashCircle { anchors.fill: parent; color: uiStyle.connectionPageCirclesColor }
                        DashCircle { anchors.centerIn: parent; width: 88; height: 88; color: uiStyle.connectionPageCirclesColor }
                    }

                    Column {
                        spacing: 8
                        anchors.verticalCenter: parent.verticalCenter
                        Row {
                            spacing: 12
                            Image { source: "qrc:/resources/icons/greenswitch.png" }
                            Image { source: "qrc:/resources/icons/redswitch.png" }
                            Image { source: "qrc:/resources/icons/settings_" + (uiStyle.darkStyle ? "white" : "black") + ".png" }
                            Image { source: "qrc:/resources/icons/close_" + (uiStyle.darkStyle ? "white" : "black") + ".png" }
                            Image { source: "qrc:/resources/icons/droparrow_" + (uiStyle.darkStyle ? "white" : "black") + ".png" }
                        }
                        Row {
                            spacing: 6
                            Repeater {
                                model: ["us", "de", "gb-eng", "jp", "ch", "eu"]
                                Image { width: 32; height: 24; source: "qrc:/resources/icons/flags/" + modelData + ".png" }
                            }
                        }
                        Text {
                            text: "SWITCH ON"
                            font.family: FontFactory.poppinsBold.name
                            font.bold: true
                            font.pixelSize: 12
                            color: uiStyle.connectionPageVpnSwitchLabelColor
                        }
                    }
                }
            }
        }
    }

    Component.onCompleted: {
        TestSupport.create(panel, false, gallery)
        TestSupport.create(panel, true, gallery)
    }
}

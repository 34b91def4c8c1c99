import QtQuick 2.12
import QtQuick.Controls 2.12
import ConnectionStatus 1.0
import "controls"

// The round on/off switch: a gradient ring around a face that says what a click does, or that a
// connection is being made, and the time online.
Item {
    id: connectionButton

    // A state of ConnectionStatus.
    property int faceState: ConnectionStatus.Disconnected
    // A click turns the VPN off.
    property bool switchedOn: false
    property string stateText
    readonly property bool connectedState: faceState === ConnectionStatus.Connected
    readonly property bool lit: connectedState || faceState === ConnectionStatus.Connecting
    property alias vpnOnlineTime: timeLabel.text

    signal clicked

    // Where the round switch ends; tool tips stand below it.
    readonly property real switchBottom: roundArea.y + roundArea.height

    height: 300
    width: parent ? parent.width : 400

    activeFocusOnTab: true
    Keys.onSpacePressed: clicked()
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    // An on/off switch to assistive technology: checked while on, with the state in words.
    Accessible.role: Accessible.CheckBox
    Accessible.checkable: true
    Accessible.checked: switchedOn
    Accessible.name: qsTr("VPN")
    Accessible.description: stateText
    Accessible.onPressAction: clicked()
    Accessible.onToggleAction: clicked()

    RoundMouseArea {
        id: roundArea
        objectName: "roundArea"
        width: 200
        height: 200
        anchors.centerIn: parent
        onClicked: connectionButton.clicked()

        // The ring and the faces change only with the state and a press: drawn once into a texture
        // of their size and reused at every frame, which a software rasterizer draws far cheaper than
        // their curved edges. What is written on the faces stays outside, so that the time ticking
        // does not draw them again.
        Item {
            objectName: "switchShapes"
            anchors.fill: parent
            layer.enabled: true

            Rectangle {
                objectName: "ring"
                anchors.fill: parent
                radius: width / 2
                // Lit while connecting, paler: the switch shows that it is at work.
                opacity: roundArea.pressed ? 0.75 : connectionButton.faceState === ConnectionStatus.Connecting ? 0.55 : 1
                gradient: Gradient {
                    GradientStop {
                        position: 0.10
                        color: connectionButton.lit ? uiStyle.connectionPageVpnConnectedButtonGradientColor1 : uiStyle.connectionPageVpnDisconnectedButtonGradientColor1
                    }
                    GradientStop {
                        position: 0.4
                        color: connectionButton.lit ? uiStyle.connectionPageVpnConnectedButtonGradientColor2 : uiStyle.connectionPageVpnDisconnectedButtonGradientColor2
                    }
                    GradientStop {
                        position: 1.00
                        color: connectionButton.lit ? uiStyle.connectionPageVpnConnectedButtonGradientColor3 : uiStyle.connectionPageVpnDisconnectedButtonGradientColor3
                    }
                }
            }

            Rectangle {
                objectName: "disconnectedFace"
                visible: !connectionButton.connectedState
                width: 155
                height: 155
                radius: width / 2
                anchors.centerIn: parent
                color: uiStyle.connectionPageVpnSwitchBackgroundColor
            }

            Rectangle {
                objectName: "connectedFace"
                visible: connectionButton.connectedState
                width: 155
                height: 155
                radius: width / 2
                anchors.centerIn: parent
                // Two stops next to each other split the disc sharply into two halves. At one and the same
                // position some renderers would swap them. Drawn into the texture, the split comes out a
                // row higher than drawn straight into the window: a pixel below the middle keeps it where
                // it always was.
                gradient: Gradient {
                    GradientStop {
                        position: 0.5065
                        color: uiStyle.connectionPageVpnDurationBackgroundColor
                    }
                    GradientStop {
                        position: 0.5075
                        color: uiStyle.connectionPageVpnSwitchBackgroundColor
                    }
                }
            }
        }

        Rectangle {
            objectName: "focusRing"
            visible: connectionButton.activeFocus
            anchors.fill: parent
            anchors.margins: -4
            radius: width / 2
            color: "transparent"
            border.width: 2
            border.color: uiStyle.generalHeaderActiveColor
        }

        // On the disconnected face: what a click does, or what is under way.
        Column {
            visible: !connectionButton.connectedState
            anchors.centerIn: parent
            spacing: 10

            Image {
                anchors.horizontalCenter: parent.horizontalCenter
                source: connectionButton.switchedOn && connectionButton.faceState !== ConnectionStatus.Connecting ? "qrc:/resources/icons/redswitch.png" : "qrc:/resources/icons/greenswitch.png"
            }

            Label {
                objectName: "faceLabel"
                anchors.horizontalCenter: parent.horizontalCenter
                text: {
                    switch (connectionButton.faceState) {
                    case ConnectionStatus.Connecting:
                        return qsTr("CONNECTING...")
                    case ConnectionStatus.Disconnecting:
                        return qsTr("DISCONNECTING...")
                    case ConnectionStatus.Blocked:
                        return connectionButton.switchedOn ? qsTr("SWITCH OFF") : qsTr("SWITCH ON")
                    }
                    return qsTr("SWITCH ON")
                }
                font.family: FontFactory.poppinsBold.name
                font.bold: true
                font.pixelSize: 12
                color: uiStyle.connectionPageVpnSwitchLabelColor
            }
        }

        // On the connected face, as large and in the same place.
        Item {
            visible: connectionButton.connectedState
            width: 155
            height: 155
            anchors.centerIn: parent

            Column {
                width: parent.width
                height: parent.height / 2
                topPadding: 20
                spacing: 10

                Image {
                    anchors.horizontalCenter: parent.horizontalCenter
                    source: "qrc:/resources/icons/redswitch.png"
                }

                Label {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: qsTr("SWITCH OFF")
                    font.family: FontFactory.poppinsBold.name
                    font.bold: true
                    font.pixelSize: 12
                    color: uiStyle.connectionPageVpnSwitchLabelColor
                }
            }

            Column {
                y: parent.height / 2
                width: parent.width
                topPadding: 5
                spacing: -5

                Label {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: qsTr("DURATION")
                    font.family: FontFactory.poppinsRegular.name
                    color: uiStyle.connectionPageVpnDurationLabelColor
                }

                Label {
                    id: timeLabel
                    objectName: "onlineTime"
                    anchors.horizontalCenter: parent.horizontalCenter
                    font.family: FontFactory.poppinsBold.name
                    font.bold: true
                    font.pixelSize: 16
                    color: uiStyle.connectionPageVpnTimerLabelColor
                }
            }
        }
    }
}

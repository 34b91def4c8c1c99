import QtQuick 2.12
import QtQuick.Controls 2.12

ApplicationWindow {
    width: 400
    height: 650
    visible: true
    title: "Floor"

    Rectangle {
        anchors.centerIn: parent
        visible: drawn
        width: 200
        height: 60
        color: "#193151"

        Label {
            anchors.centerIn: parent
            text: "Floor"
            color: "white"
        }
    }

    Label {
        anchors.centerIn: parent
        visible: ticking
        text: seconds
        property int seconds: 0

        Timer {
            interval: 1000
            repeat: true
            running: ticking
            onTriggered: parent.seconds += 1
        }
    }
}

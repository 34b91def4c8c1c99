import QtQuick 2.12

// Three load bars: green, yellow or red as many as the level says, the rest in the default colour.
Rectangle {
    id: strength

    property int intLineWidth: 3
    property int signalStrength: 3
    property string defaultColor: "#3b5576"
    property string redColor: "#f94920"
    property string yellowColor: "#f8a71a"
    property string greenColor: "#35cb73"
    readonly property string levelColor: [defaultColor, redColor, yellowColor, greenColor][Math.max(0, Math.min(3, signalStrength))]

    function barColor(bar) {
        return signalStrength >= bar ? levelColor : defaultColor
    }

    color: "transparent"
    width: 14
    height: 14

    Rectangle {
        objectName: "bar1"
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        width: strength.intLineWidth
        height: 5
        color: strength.barColor(1)
    }

    Rectangle {
        objectName: "bar2"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        width: strength.intLineWidth
        height: 9
        color: strength.barColor(2)
    }

    Rectangle {
        objectName: "bar3"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        width: strength.intLineWidth
        height: strength.height
        color: strength.barColor(3)
    }
}

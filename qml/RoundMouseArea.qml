import QtQuick 2.12

// A mouse area that only counts the circle inscribed in it.
Item {
    id: roundArea

    property alias mouseX: mouseArea.mouseX
    property alias mouseY: mouseArea.mouseY
    property bool containsMouse: mouseArea.containsMouse && inside(mouseX, mouseY)
    readonly property bool pressed: containsMouse && mouseArea.pressed

    signal clicked

    function inside(x, y) {
        var centerX = width / 2, centerY = height / 2, radius = Math.min(width, height) / 2
        return Math.pow(x - centerX, 2) + Math.pow(y - centerY, 2) < Math.pow(radius, 2)
    }

    function updateCursor() {
        mouseArea.cursorShape = inside(mouseArea.mouseX, mouseArea.mouseY) ? Qt.PointingHandCursor : Qt.ArrowCursor
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        onEntered: roundArea.updateCursor()
        onExited: roundArea.updateCursor()
        onPositionChanged: roundArea.updateCursor()
        onClicked: {
            if (roundArea.inside(mouse.x, mouse.y))
                roundArea.clicked()
        }
    }
}

import QtQuick 2.12

// Covers its parent and shows a pointing hand while the pointer is over it.
MouseArea {
    anchors.fill: parent
    hoverEnabled: true
    onEntered: cursorShape = Qt.PointingHandCursor
    onExited: cursorShape = Qt.ArrowCursor
}

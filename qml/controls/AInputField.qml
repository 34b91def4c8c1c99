import QtQuick 2.12

// A caption above a text field of at most 32 characters with a cut/copy/paste menu.
Column {
    property alias labelField: label
    property alias textField: field

    ALabel {
        id: label
    }

    ATextField {
        id: field
        width: parent.width
        maximumLength: 32
        Accessible.name: label.text

        AContextMenu {
        }
    }
}

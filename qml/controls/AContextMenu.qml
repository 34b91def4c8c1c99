import QtQuick 2.12
import QtQuick.Controls 2.12

// Right-click menu of a text editor: place it inside a TextField or TextArea.
Popup {
    id: menu

    property var textEditor: parent
    property bool onlyPasteAllowed: false
    property var attachedEditor: null

    readonly property var actions: [cutAction, copyAction, pasteAction]
    readonly property bool hasSelection: !!textEditor && !!textEditor.selectedText && textEditor.selectedText.length > 0

    padding: 0
    implicitWidth: itemSizer.implicitWidth
    implicitHeight: itemSizer.implicitHeight * actions.length

    function attach() {
        if (attachedEditor === textEditor)
            return
        if (attachedEditor)
            attachedEditor.pressed.disconnect(onEditorPressed)
        attachedEditor = null
        if (!textEditor)
            return
        // Only editors with a pressed(event) signal report right-button presses.
        if (typeof textEditor.pressed !== "function") {
            console.log("Error! Parent of this context menu must be TextEdit, TextInput or their inheritance")
            return
        }
        textEditor.pressed.connect(onEditorPressed)
        attachedEditor = textEditor
    }

    function onEditorPressed(event) {
        if (event.button !== Qt.RightButton)
            return
        menu.x = event.x
        menu.y = event.y
        menu.open()
        event.accepted = true
    }

    onTextEditorChanged: attach()
    Component.onCompleted: attach()

    Action {
        id: cutAction
        text: qsTr("Cut")
        shortcut: StandardKey.Cut
        enabled: menu.hasSelection && !menu.onlyPasteAllowed
        onTriggered: menu.textEditor.cut()
    }

    Action {
        id: copyAction
        text: qsTr("Copy")
        shortcut: StandardKey.Copy
        enabled: menu.hasSelection && !menu.onlyPasteAllowed
        onTriggered: menu.textEditor.copy()
    }

    Action {
        id: pasteAction
        text: qsTr("Paste")
        shortcut: StandardKey.Paste
        enabled: !!menu.textEditor && !!menu.textEditor.canPaste
        onTriggered: menu.textEditor.paste()
    }

    // Measures one entry; the menu is that tall once per action.
    MenuItem {
        id: itemSizer
        visible: false
        text: qsTr("Paste")
    }

    contentItem: Column {
        Repeater {
            model: menu.actions

            MenuItem {
                width: menu.availableWidth
                action: modelData
                focusPolicy: Qt.NoFocus
                highlighted: hovered
                onTriggered: menu.close()
            }
        }
    }
}

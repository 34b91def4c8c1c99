import QtQuick 2.12
import QtQuick.Controls 2.12

// Right-click menu of a text editor: place it inside a TextField or TextArea.
Popup {
    id: contextMenu

    property var textEditor: parent
    property bool onlyPasteAllowed: false
    // The editor last looked at, and the one whose presses are followed.
    property var examinedEditor: null
    property var attachedEditor: null

    readonly property var actions: [cutAction, copyAction, pasteAction]
    readonly property bool hasSelection: !!textEditor && !!textEditor.selectedText && textEditor.selectedText.length > 0
    // The shortcuts belong to the editor being typed in: window-wide they would cut, copy or
    // paste in a field that does not have the focus (or take turns among several fields).
    readonly property bool editorFocused: !!textEditor && !!textEditor.activeFocus

    padding: 0
    implicitWidth: itemSizer.implicitWidth
    implicitHeight: itemSizer.implicitHeight * actions.length

    function attach() {
        if (examinedEditor === textEditor)
            return
        examinedEditor = textEditor
        // A destroyed editor no longer has its signal; nothing to undo then.
        if (attachedEditor && attachedEditor.pressed && typeof attachedEditor.pressed.disconnect === "function")
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
        contextMenu.x = event.x
        contextMenu.y = event.y
        contextMenu.open()
        event.accepted = true
    }

    onTextEditorChanged: attach()
    Component.onCompleted: attach()

    Action {
        id: cutAction
        text: qsTr("Cut")
        shortcut: contextMenu.editorFocused ? StandardKey.Cut : ""
        enabled: contextMenu.hasSelection && !contextMenu.onlyPasteAllowed
        onTriggered: contextMenu.textEditor.cut()
    }

    Action {
        id: copyAction
        text: qsTr("Copy")
        shortcut: contextMenu.editorFocused ? StandardKey.Copy : ""
        enabled: contextMenu.hasSelection && !contextMenu.onlyPasteAllowed
        onTriggered: contextMenu.textEditor.copy()
    }

    Action {
        id: pasteAction
        text: qsTr("Paste")
        shortcut: contextMenu.editorFocused ? StandardKey.Paste : ""
        enabled: !!contextMenu.textEditor && !!contextMenu.textEditor.canPaste
        onTriggered: contextMenu.textEditor.paste()
    }

    // Measures one entry; the menu is that tall once per action.
    MenuItem {
        id: itemSizer
        visible: false
        font.family: FontFactory.poppinsRegular.name
        text: qsTr("Paste")
    }

    contentItem: Column {
        Repeater {
            model: contextMenu.actions

            MenuItem {
                width: contextMenu.availableWidth
                action: modelData
                focusPolicy: Qt.NoFocus
                font.family: FontFactory.poppinsRegular.name
                highlighted: hovered
                onTriggered: contextMenu.close()
            }
        }
    }
}

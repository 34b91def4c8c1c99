import QtQuick 2.12

// The page of one tab of the settings window: its sections one below the other.
Column {
    width: parent ? parent.width : 0
    padding: settingsWindow.columnPadding
    spacing: settingsWindow.columnSpacing
}

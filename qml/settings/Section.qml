import QtQuick 2.12
import "../controls"

// A rounded-off block of a tab: a header over its controls, which take the block's inner width.
Rectangle {
    id: section

    property alias title: sectionHeader.text
    property alias spacing: inner.spacing
    property int padding: 18
    default property alias content: inner.data

    color: uiStyle.generalSectionColor
    width: parent.width - 2 * padding
    anchors.horizontalCenter: parent.horizontalCenter
    height: inner.height + 2 * padding

    Column {
        id: inner
        x: section.padding
        y: section.padding
        width: section.width - 2 * section.padding

        ASectionHeader {
            id: sectionHeader
        }
    }
}

import QtQuick 2.12
import "controls"

// A flag, optionally followed by a text; the flag keeps its aspect ratio at half the text's height.
Row {
    id: flagItem

    property alias imageSource: image.source
    property alias text: label.text
    property alias textVisible: label.visible
    property alias imageWidth: image.width
    property alias font: label.font
    // A longer text is cut short with an ellipsis; negative for no limit.
    property real textMaximumWidth: -1

    spacing: label.visible ? 5 : 0

    Image {
        id: image
        objectName: "flagImage"
        anchors.verticalCenter: parent.verticalCenter
        clip: true
        smooth: true
        fillMode: Image.PreserveAspectCrop
        source: "qrc:/resources/icons/flags/th.png"
        height: label.visible ? label.height / 2 : flagItem.height
        width: label.visible ? (sourceSize.height > 0 ? height * sourceSize.width / sourceSize.height : 0) : flagItem.width
    }

    ABrightLabel {
        id: label
        objectName: "flagLabel"
        anchors.verticalCenter: parent.verticalCenter
        width: flagItem.textMaximumWidth >= 0 ? Math.min(implicitWidth, flagItem.textMaximumWidth) : implicitWidth
        elide: Text.ElideRight
    }
}

import QtQuick 2.12
import "controls"

// A flag, optionally followed by a text; the flag keeps its aspect ratio at half the text's height.
Row {
    id: flagItem

    property alias imageSource: image.source
    property alias text: label.text
    property alias textVisible: label.visible

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
    }
}

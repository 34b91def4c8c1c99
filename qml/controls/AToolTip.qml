import QtQuick 2.12
import QtQuick.Controls 2.12

// A tool tip in the interface's font and colours; its text is shown as it is and wraps at the maximum width.
ToolTip {
    id: control

    property real maximumWidth: 360

    width: Math.min(contentItem.implicitWidth + leftPadding + rightPadding, maximumWidth)

    contentItem: Text {
        text: control.text
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        font.family: FontFactory.poppinsRegular.name
        font.pixelSize: 12
        color: uiStyle.generalDefaultLabelColor
    }

    background: Rectangle {
        color: uiStyle.generalHeaderBackgroundColor
        border.color: uiStyle.generalTextFieldBorderColor
        radius: 3
    }
}

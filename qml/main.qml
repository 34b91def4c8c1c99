import QtQuick 2.12
import QtQuick.Controls 2.12

ApplicationWindow {
    id: root
    width: 400
    height: 650
    visible: true
    title: "Korvex"
}

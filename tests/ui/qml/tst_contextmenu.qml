import QtQuick 2.12
import QtTest 1.12
import TestSupport 1.0
import "qrc:/qml/controls"

Item {
    id: host
    width: 400
    height: 400

    TestCase {
        name: "AContextMenuParent"
        when: windowShown

        readonly property string error: "Error! Parent of this context menu must be TextEdit, TextInput or their inheritance"

        function errorCount(messages) {
            var count = 0
            for (var i = 0; i < messages.length; ++i)
                count += messages[i] === error ? 1 : 0
            return count
        }

        function test_wrongParent_data() {
            return [
                // No pressed member at all.
                { tag: "Rectangle", source: 'Rectangle { width: 200; height: 100; AContextMenu {} }' },
                // pressed is a property here, not a signal.
                { tag: "MouseArea", source: 'MouseArea { width: 200; height: 100; acceptedButtons: Qt.AllButtons; AContextMenu {} }' },
            ]
        }

        function test_wrongParent(data) {
            TestSupport.startCapture()
            var parentItem = Qt.createQmlObject('import QtQuick 2.12; import "qrc:/qml/controls"; ' + data.source, host)
            compare(errorCount(TestSupport.takeMessages()), 1)
            var menu = parentItem.data[0]
            mouseClick(parentItem, 50, 50, Qt.RightButton)
            wait(50)
            verify(!menu.visible)
            parentItem.destroy()
        }

        function test_reparentedToTextField() {
            TestSupport.startCapture()
            var wrong = Qt.createQmlObject('import QtQuick 2.12; Rectangle { width: 100; height: 50 }', host)
            var field = Qt.createQmlObject('import "qrc:/qml/controls"; ATextField { y: 100; width: 200 }', host)
            var menu = Qt.createQmlObject('import "qrc:/qml/controls"; AContextMenu {}', wrong)
            compare(errorCount(TestSupport.takeMessages()), 1)
            menu.parent = field
            compare(errorCount(TestSupport.takeMessages()), 0)
            mouseClick(field, 20, 10, Qt.RightButton)
            tryCompare(menu, "opened", true)
            compare(menu.x, 20)
            field.destroy()
            wrong.destroy()
        }
    }
}

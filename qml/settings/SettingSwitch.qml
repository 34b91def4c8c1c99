import QtQuick 2.12
import "../controls"

// A switch for one stored setting, named by its key: shown when the window is made, written back when
// it is hidden.
ASwitch {
    property string key

    function load() { checked = settings[key] }
    function store() { settings[key] = checked }
}

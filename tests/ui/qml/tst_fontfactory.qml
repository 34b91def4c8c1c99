import QtQuick 2.12
import QtTest 1.12
import VPNClient 1.0 as Registered
import "qrc:/qml/controls"

TestCase {
    name: "FontFactory"

    function test_fontsLoad_data() {
        return [
            { tag: "regular", loader: FontFactory.poppinsRegular, file: "Poppins-Regular.ttf" },
            { tag: "bold", loader: FontFactory.poppinsBold, file: "Poppins-Bold.ttf" },
            // The singleton as the application registers it, for files that import the module.
            { tag: "registered regular", loader: Registered.FontFactory.poppinsRegular, file: "Poppins-Regular.ttf" },
        ]
    }

    function test_fontsLoad(data) {
        tryCompare(data.loader, "status", FontLoader.Ready)
        compare(data.loader.name, "Poppins")
        compare(String(data.loader.source), "qrc:/resources/fonts/" + data.file)
    }
}

pragma Singleton
import QtQuick 2.12

// The interface's two typefaces; controls take the family from `name`.
QtObject {
    readonly property FontLoader poppinsRegular: FontLoader {
        source: "qrc:/resources/fonts/Poppins-Regular.ttf"
    }
    readonly property FontLoader poppinsBold: FontLoader {
        source: "qrc:/resources/fonts/Poppins-Bold.ttf"
    }
}

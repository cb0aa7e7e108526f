pragma Singleton
pragma ComponentBehavior: Bound
import QtQuick

// The platform's semantic colours, as far as the palette tells them, for light and dark.
QtObject {
    readonly property SystemPalette palette: SystemPalette { colorGroup: SystemPalette.Active }
    readonly property bool dark: palette.window.hslLightness < 0.5

    readonly property color accent: palette.highlight
    readonly property color label: palette.windowText
    readonly property color secondary: Qt.rgba(label.r, label.g, label.b, dark ? 0.55 : 0.5)
    readonly property color separator: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.12)
    readonly property color controlBackground: dark ? "#1e1e1e" : "#ffffff"
    readonly property color textBackground: dark ? "#1e1e1e" : "#ffffff"
    readonly property color windowBackground: palette.window
    readonly property color sidebarBackground: dark ? Qt.darker(palette.window, 1.15) : Qt.darker(palette.window, 1.03)
    readonly property color green: dark ? "#30d158" : "#28a745"
    readonly property color red: dark ? "#ff453a" : "#ff3b30"
    readonly property color orange: dark ? "#ff9f0a" : "#ff9500"
    readonly property color yellow: dark ? "#ffd60a" : "#ffcc00"
    readonly property color blue: "#0a84ff"
    // Text and symbols on the accent colour, red and other strong fills.
    readonly property color textOnAccent: "white"
    // Shadows and the dimming behind sheets.
    readonly property color shadow: "black"
    // The three window buttons drawn on a code block's title bar.
    readonly property var windowButtons: [Qt.rgba(1.0, 0.37, 0.34, 1), Qt.rgba(0.99, 0.74, 0.18, 1), Qt.rgba(0.16, 0.78, 0.25, 1)]

    readonly property string monospaceFamily: "DejaVu Sans Mono"

    function alpha(c: color, a: real): color {
        return Qt.rgba(c.r, c.g, c.b, c.a * a)
    }
}

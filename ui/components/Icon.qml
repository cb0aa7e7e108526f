pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

// A symbol of the design, drawn from the bundled icon font.
Text {
    property string name
    property real size: 13

    font.family: Icons.fontFamily
    font.pixelSize: size
    text: Icons.glyph(name)
    color: Theme.label
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    Accessible.ignored: true
}

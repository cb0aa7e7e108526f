pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import TovraAI.Components
import TovraAI.Library

// One quantisation file of a model: its name, quality and size on the left; on the
// right the control its state calls for.
Item {
    id: root

    required property string quantization
    required property string qualityLabel
    required property string sizeLabel
    required property bool seesImages
    required property bool mayExceedMemory
    required property string memoryWarning
    required property int variantState
    required property real downloadProgress
    required property string transferText
    required property string timeLeftText
    required property string loadButtonText
    required property int focusTarget

    signal downloadRequested()
    signal cancelRequested()
    signal loadRequested()
    signal deleteRequested()
    // The card's header should take focus: the row's state leaves nothing safe to press.
    signal cardFocusRequested()

    implicitHeight: Math.max(left.implicitHeight, right.implicitHeight) + 12

    // Focus on the control just used moves to the one the new state shows, so that a
    // keyboard user can cancel right after "Download" and so on; it follows the row
    // through states that end by themselves, unless the user has moved on.
    property bool _focusHidden: false
    function _focusFellBack(): bool {
        const focused = root.Window.activeFocusItem
        for (let item = root.parent; item; item = item.parent) {
            if (item === focused)
                return true
        }
        return focused === null || !focused.visible
    }
    function _refocus(): void {
        if (!root._focusHidden || !root._focusFellBack())
            return
        if (root.focusTarget === ModelLibraryModel.Card) {
            root.cardFocusRequested()
            return
        }
        const control = root.focusTarget === ModelLibraryModel.CancelButton ? cancelButton
                      : root.focusTarget === ModelLibraryModel.LoadButton ? loadButton
                      : downloadButton
        control.forceActiveFocus(Qt.TabFocusReason)
    }
    onVariantStateChanged: Qt.callLater(root._refocus)

    ColumnLayout {
        id: left
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2
        Row {
            spacing: 6
            Text {
                text: root.quantization
                font.pixelSize: 11
                font.bold: true
                color: Theme.label
            }
            Text {
                text: root.qualityLabel
                font.pixelSize: 10
                color: Theme.secondary
            }
        }
        Row {
            spacing: 4
            Text {
                // As the hub listing says it: the projector came along and the model sees.
                text: root.seesImages ? root.sizeLabel + " · Vision" : root.sizeLabel
                font.pixelSize: 10
                color: Theme.secondary
            }
            Icon {
                objectName: "memoryWarning"
                anchors.verticalCenter: parent.verticalCenter
                visible: root.mayExceedMemory
                name: "exclamationmark.triangle.fill"
                size: 9
                color: Theme.orange
                HoverHandler { id: warningHover }
                ToolTip.visible: warningHover.hovered
                ToolTip.text: root.memoryWarning
            }
        }
    }

    RowLayout {
        id: right
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8

        // Downloading
        ColumnLayout {
            visible: root.variantState === ModelLibraryModel.Downloading
            spacing: 2
            ProgressBar {
                Layout.preferredWidth: 100
                Layout.alignment: Qt.AlignRight
                from: 0
                to: 1
                value: root.downloadProgress
            }
            Text {
                objectName: "transferText"
                Layout.alignment: Qt.AlignRight
                text: root.transferText
                font.pixelSize: 10
                font.family: Theme.monospaceFamily
                color: Theme.secondary
            }
            Text {
                objectName: "timeLeftText"
                Layout.alignment: Qt.AlignRight
                visible: root.timeLeftText.length > 0
                text: root.timeLeftText
                font.pixelSize: 9
                color: Theme.secondary
            }
        }
        PlainButton {
            id: cancelButton
            objectName: "cancelButton"
            visible: root.variantState === ModelLibraryModel.Downloading
            symbol: "xmark.circle"
            symbolSize: 14
            toolTip: "Cancel download"
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            onClicked: {
                root._focusHidden = activeFocus
                root.cancelRequested()
            }
        }

        // Downloaded and loaded
        Row {
            objectName: "loadedLabel"
            visible: root.variantState === ModelLibraryModel.Loaded
            spacing: 3
            Icon {
                anchors.verticalCenter: parent.verticalCenter
                name: "bolt.fill"
                size: 10
                color: Theme.green
            }
            Text {
                text: "Loaded"
                font.pixelSize: 10
                color: Theme.green
            }
        }
        // Downloaded, not loaded
        Button {
            id: loadButton
            objectName: "loadButton"
            visible: root.variantState === ModelLibraryModel.Load
            highlighted: true
            text: root.loadButtonText
            font.pixelSize: 11
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            onClicked: {
                root._focusHidden = activeFocus
                root.loadRequested()
            }
        }
        PlainButton {
            id: trashButton
            objectName: "trashButton"
            visible: root.variantState === ModelLibraryModel.Load
                     || root.variantState === ModelLibraryModel.Loaded
            symbol: "trash"
            symbolSize: 14
            color: Theme.red
            toolTip: "Delete"
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            onClicked: {
                root._focusHidden = activeFocus
                root.deleteRequested()
            }
        }

        // Neither
        Button {
            id: downloadButton
            objectName: "downloadButton"
            visible: root.variantState === ModelLibraryModel.Download
            text: "Download"
            font.pixelSize: 11
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            onClicked: {
                root._focusHidden = activeFocus
                root.downloadRequested()
            }
        }
    }
}

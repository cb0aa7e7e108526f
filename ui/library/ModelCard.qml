pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Library

// One row of the library: the model's header when the row starts its model, and the
// variant's row while the card is open. Consecutive rows of one model make one card.
Item {
    id: root

    required property int index
    required property string displayName
    required property string parameterCount
    required property string description
    required property bool hasDownloadedVariant
    required property bool hasSeeingVariant
    required property bool isFirstOfModel
    required property bool isLastOfModel
    required property bool isExpanded
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
    required property string sectionTitle
    required property int focusTarget

    signal toggled()
    signal downloadRequested()
    signal cancelRequested()
    signal loadRequested()
    signal deleteRequested()
    // A later row of a model asks the row with the model's header for focus.
    signal cardFocusRequested()

    // A small label beside the model's name; none without text.
    component Badge: Rectangle {
        property alias text: label.text
        property color tint
        visible: label.text.length > 0
        width: label.implicitWidth + 12
        height: label.implicitHeight + 4
        radius: 4
        color: Theme.alpha(tint, 0.15)
        Text {
            id: label
            anchors.centerIn: parent
            font.pixelSize: 9
            color: Theme.label
        }
    }

    function focusHeader(): void {
        header.forceActiveFocus(Qt.TabFocusReason)
    }

    implicitHeight: column.implicitHeight + (root.isLastOfModel ? 14 : 0) + titleSpace
    readonly property real titleSpace: title.visible ? title.implicitHeight + 8 : 0

    // The heading of a group of cards, such as the files used where they are.
    Text {
        id: title
        objectName: "sectionTitle"
        visible: root.sectionTitle.length > 0
        text: root.sectionTitle
        y: 2
        font.pixelSize: 12
        font.weight: Font.DemiBold
        color: Theme.label
    }

    Rectangle {
        anchors.fill: parent
        anchors.topMargin: root.titleSpace
        anchors.bottomMargin: root.isLastOfModel ? 8 : 0
        color: Theme.controlBackground
        radius: 8
        border.width: 0.5
        border.color: Theme.separator
    }

    ColumnLayout {
        id: column
        y: root.titleSpace
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        spacing: 0

        AbstractButton {
            id: header
            objectName: "cardHeader"
            Layout.fillWidth: true
            visible: root.isFirstOfModel
            focusPolicy: Qt.StrongFocus
            Accessible.name: root.displayName
            Accessible.role: Accessible.Button
            topPadding: 10
            bottomPadding: 10
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
            onClicked: root.toggled()

            background: Rectangle {
                color: "transparent"
                radius: 6
                border.width: header.visualFocus ? 1 : 0
                border.color: Theme.accent
            }
            contentItem: RowLayout {
                spacing: 8
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 3
                    Row {
                        spacing: 6
                        Text {
                            id: name
                            text: root.displayName
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                            color: Theme.label
                        }
                        Badge {
                            anchors.verticalCenter: name.verticalCenter
                            text: root.parameterCount
                            tint: Theme.accent
                        }
                        // A downloaded variant came with its projector.
                        Badge {
                            objectName: "visionBadge"
                            anchors.verticalCenter: name.verticalCenter
                            text: root.hasSeeingVariant ? "Vision" : ""
                            tint: Theme.green
                        }
                    }
                    Text {
                        Layout.fillWidth: true
                        text: root.description
                        wrapMode: Text.Wrap
                        font.pixelSize: 11
                        color: Theme.secondary
                    }
                }
                Icon {
                    objectName: "downloadedMark"
                    visible: root.hasDownloadedVariant
                    name: "checkmark.circle.fill"
                    size: 11
                    color: Theme.green
                }
                Icon {
                    name: root.isExpanded ? "chevron.up" : "chevron.down"
                    size: 12
                    color: Theme.secondary
                }
            }
        }

        Divider {
            Layout.fillWidth: true
            visible: root.isFirstOfModel && root.isExpanded
        }

        VariantRow {
            Layout.fillWidth: true
            visible: root.isExpanded
            quantization: root.quantization
            qualityLabel: root.qualityLabel
            sizeLabel: root.sizeLabel
            seesImages: root.seesImages
            mayExceedMemory: root.mayExceedMemory
            memoryWarning: root.memoryWarning
            variantState: root.variantState
            downloadProgress: root.downloadProgress
            transferText: root.transferText
            timeLeftText: root.timeLeftText
            loadButtonText: root.loadButtonText
            focusTarget: root.focusTarget
            onDownloadRequested: root.downloadRequested()
            onCancelRequested: root.cancelRequested()
            onLoadRequested: root.loadRequested()
            onDeleteRequested: root.deleteRequested()
            onCardFocusRequested: root.isFirstOfModel ? root.focusHeader() : root.cardFocusRequested()
        }
    }
}

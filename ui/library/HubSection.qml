pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Library

// "From the hub": the hub's GGUF repositories for the search text, after the library's
// own matches. Opening one lists its files; a file is downloaded into the library,
// whose card then shows the transfer. Failures are one line here, never an alert.
Column {
    id: root

    required property ModelLibraryModel library

    spacing: 6
    visible: root.library.hub.isActive

    RowLayout {
        width: root.width
        spacing: 6
        Text {
            text: "From the hub"
            font.pixelSize: 12
            font.weight: Font.DemiBold
            color: Theme.label
        }
        Spinner {
            visible: root.library.hub.isSearching
            implicitWidth: 10
            implicitHeight: 10
        }
        Item { Layout.fillWidth: true }
    }

    Text {
        objectName: "hubStatus"
        width: root.width
        visible: text.length > 0
        text: root.library.hub.statusText
        elide: Text.ElideRight
        font.pixelSize: 11
        color: Theme.secondary
    }

    Repeater {
        model: root.library.hub
        delegate: Item {
            id: repo
            required property int index
            required property string repoId
            required property string name
            required property string owner
            required property string downloadsText
            required property string updatedText
            required property bool isExpanded

            width: root.width
            implicitHeight: repoColumn.implicitHeight + 8

            Rectangle {
                anchors.fill: parent
                anchors.bottomMargin: 6
                color: Theme.controlBackground
                radius: 8
                border.width: 0.5
                border.color: Theme.separator
            }

            ColumnLayout {
                id: repoColumn
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.leftMargin: 12
                anchors.rightMargin: 12
                spacing: 0

                AbstractButton {
                    id: repoHeader
                    objectName: "hubRepoHeader"
                    Layout.fillWidth: true
                    focusPolicy: Qt.StrongFocus
                    Accessible.name: repo.repoId
                    Accessible.role: Accessible.Button
                    topPadding: 9
                    bottomPadding: 9
                    Keys.onReturnPressed: clicked()
                    Keys.onEnterPressed: clicked()
                    onClicked: root.library.hub.toggle(repo.index)
                    background: Rectangle {
                        color: "transparent"
                        radius: 6
                        border.width: repoHeader.visualFocus ? 1 : 0
                        border.color: Theme.accent
                    }
                    contentItem: RowLayout {
                        spacing: 8
                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 2
                            Text {
                                Layout.fillWidth: true
                                text: repo.name
                                elide: Text.ElideRight
                                font.pixelSize: 13
                                font.weight: Font.DemiBold
                                color: Theme.label
                            }
                            Text {
                                Layout.fillWidth: true
                                text: [repo.owner, repo.downloadsText, repo.updatedText]
                                      .filter(part => part.length > 0).join(" · ")
                                elide: Text.ElideRight
                                font.pixelSize: 11
                                color: Theme.secondary
                            }
                        }
                        Icon {
                            name: repo.isExpanded ? "chevron.up" : "chevron.down"
                            size: 12
                            color: Theme.secondary
                        }
                    }
                }

                Divider {
                    Layout.fillWidth: true
                    visible: repo.isExpanded
                }
                Spinner {
                    Layout.topMargin: 6
                    Layout.bottomMargin: 6
                    visible: repo.isExpanded && root.library.hub.isListing
                    implicitWidth: 12
                    implicitHeight: 12
                }
                Text {
                    objectName: "hubFilesStatus"
                    Layout.fillWidth: true
                    Layout.topMargin: 6
                    Layout.bottomMargin: 8
                    visible: repo.isExpanded && text.length > 0
                    text: root.library.hub.filesStatusText
                    wrapMode: Text.Wrap
                    font.pixelSize: 11
                    color: Theme.secondary
                }
                Repeater {
                    model: repo.isExpanded ? root.library.hubFiles : null
                    delegate: RowLayout {
                        id: file
                        required property int index
                        required property string fileName
                        required property string quantization
                        required property string sizeLabel
                        required property string partsText
                        required property string visionText
                        required property bool mayExceedMemory
                        required property string memoryWarning
                        required property int localState
                        required property real downloadProgress

                        Layout.fillWidth: true
                        Layout.topMargin: 4
                        Layout.bottomMargin: 4
                        spacing: 8

                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 1
                            Row {
                                spacing: 6
                                Text {
                                    text: file.quantization
                                    font.pixelSize: 11
                                    font.bold: true
                                    color: Theme.label
                                }
                                Text {
                                    text: [file.sizeLabel, file.partsText, file.visionText]
                                          .filter(part => part.length > 0).join(" · ")
                                    font.pixelSize: 10
                                    color: Theme.secondary
                                }
                                Icon {
                                    objectName: "hubMemoryWarning"
                                    anchors.verticalCenter: parent.verticalCenter
                                    visible: file.mayExceedMemory
                                    name: "exclamationmark.triangle.fill"
                                    size: 9
                                    color: Theme.orange
                                    HoverHandler { id: warningHover }
                                    ToolTip.visible: warningHover.hovered
                                    ToolTip.text: file.memoryWarning
                                }
                            }
                            Text {
                                Layout.fillWidth: true
                                text: file.fileName
                                elide: Text.ElideMiddle
                                font.pixelSize: 10
                                color: Theme.secondary
                            }
                        }
                        ProgressBar {
                            visible: file.localState === HubFileListModel.Downloading
                            Layout.preferredWidth: 80
                            from: 0
                            to: 1
                            value: file.downloadProgress
                        }
                        Text {
                            visible: file.localState === HubFileListModel.Downloaded
                            text: "Downloaded"
                            font.pixelSize: 10
                            color: Theme.green
                        }
                        Button {
                            objectName: "hubDownloadButton"
                            visible: file.localState === HubFileListModel.Absent
                            text: "Download"
                            font.pixelSize: 11
                            Keys.onReturnPressed: clicked()
                            Keys.onEnterPressed: clicked()
                            onClicked: root.library.downloadHubFile(file.index)
                        }
                    }
                }
            }
        }
    }
}

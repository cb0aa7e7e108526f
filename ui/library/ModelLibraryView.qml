pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Library

// The Models tab: the engine's status, the last launch error, the search and the
// library as cards with their variants' download, load and delete controls: the
// catalogue, hub downloads and model files used in place; then the hub's own matches.
Item {
    id: root

    property ModelManager modelManager
    property ServerManager serverManager
    // The engine in use, local or remote: the status line is its.
    property EngineChoice engine
    readonly property alias library: library

    function refresh(): void {
        if (root.modelManager && root.visible)
            root.modelManager.refreshDownloadStatus()
    }
    Component.onCompleted: root.refresh()
    onVisibleChanged: root.refresh()

    // A model's rows follow each other; the first of them carries its header.
    function focusCard(row: int): void {
        for (let r = row; r >= 0; --r) {
            const card = cards.itemAt(r)
            if (card && card.isFirstOfModel) {
                card.focusHeader()
                return
            }
        }
    }

    ModelLibraryModel {
        id: library
        modelManager: root.modelManager
        serverManager: root.serverManager
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        Text {
            text: "Model Library"
            font.pixelSize: 17
            font.weight: Font.DemiBold
            color: Theme.label
        }

        RowLayout {
            spacing: 6
            Rectangle {
                objectName: "statusDot"
                implicitWidth: 8
                implicitHeight: 8
                radius: 4
                color: root.engine && root.engine.isRunning ? Theme.green
                     : root.engine && root.engine.isStarting ? Theme.yellow
                     : Theme.secondary
            }
            Text {
                objectName: "statusMessage"
                text: root.engine ? root.engine.statusMessage : ""
                font.pixelSize: 10
                color: Theme.label
            }
            Spinner {
                visible: root.engine !== null && root.engine.isStarting
                implicitWidth: 10
                implicitHeight: 10
            }
            Item { Layout.fillWidth: true }
            Button {
                objectName: "stopButton"
                visible: root.serverManager !== null && root.serverManager.isRunning
                text: "Stop"
                font.pixelSize: 10
                palette.buttonText: Theme.red
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                onClicked: library.stopServer()
            }
        }

        Flickable {
            objectName: "launchError"
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(errorText.implicitHeight, 60)
            visible: root.serverManager !== null && root.serverManager.hasLastLaunchError
            contentWidth: errorText.implicitWidth
            contentHeight: errorText.implicitHeight
            flickableDirection: Flickable.HorizontalFlick
            clip: true
            Text {
                id: errorText
                text: root.serverManager ? root.serverManager.lastLaunchError : ""
                color: Theme.red
                font.pixelSize: 9
                font.family: Theme.monospaceFamily
                horizontalAlignment: Text.AlignLeft
            }
        }

        SearchField {
            id: search
            objectName: "modelSearch"
            Layout.fillWidth: true
            placeholder: "Search models…"
            onTextChanged: library.searchText = search.text
        }

        ScrollView {
            id: scroll
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true

            Column {
                width: scroll.availableWidth
                Repeater {
                    id: cards
                    model: library
                    delegate: ModelCard {
                        width: scroll.availableWidth
                        onToggled: library.toggle(index)
                        onDownloadRequested: library.download(index)
                        onCancelRequested: library.cancel(index)
                        onLoadRequested: library.load(index)
                        onDeleteRequested: library.remove(index)
                        onCardFocusRequested: root.focusCard(index)
                    }
                }
                HubSection {
                    width: scroll.availableWidth
                    topPadding: 6
                    library: library
                }
            }
        }

        // After the list in the tab order: the cards come first for the keyboard too.
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Text {
                id: addFileMessage
                objectName: "addFileMessage"
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                font.pixelSize: 11
                color: Theme.red
            }
            Button {
                objectName: "addModelFileButton"
                text: "Add Model File…"
                font.pixelSize: 11
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                onClicked: filePanel.open()
            }
        }
    }

    FileDialog {
        id: filePanel
        objectName: "modelFilePanel"
        title: "Add Model File"
        currentFolder: library.homeFolder
        nameFilters: ["GGUF models (*.gguf)", "All files (*)"]
        onAccepted: addFileMessage.text = library.addModelFile(filePanel.selectedFile)
    }

    Dialog {
        id: errorAlert
        objectName: "downloadErrorAlert"
        // Over the window, wherever the download was started from.
        parent: Overlay.overlay
        anchors.centerIn: Overlay.overlay
        width: Math.min(460, (parent ? parent.width : 500) - 40)
        modal: true
        title: "Download Error"
        visible: root.modelManager !== null && root.modelManager.hasLastError
        closePolicy: Popup.CloseOnEscape
        onOpened: okButton.forceActiveFocus()
        onClosed: if (root.modelManager) root.modelManager.clearLastError()
        contentItem: Label {
            text: root.modelManager ? root.modelManager.lastError : ""
            wrapMode: Text.Wrap
        }
        footer: DialogButtonBox {
            Button {
                id: okButton
                objectName: "alertOK"
                text: "OK"
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
                Keys.onReturnPressed: clicked()
            }
        }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Settings

// The Settings tab and the settings window: a grouped form, scrolling when the window
// is small. The decisions are the controller's.
Item {
    id: root

    property AgentState agentState
    property ServerManager serverManager
    property ModelManager modelManager
    property RemoteEngine remoteEngine
    property EngineChoice engine
    property McpRegistry toolServers
    property bool showClearChatsConfirm: false
    property bool showDeleteAllConfirm: false
    readonly property SettingsController controller: controller

    SettingsController {
        id: controller
        agentState: root.agentState
        serverManager: root.serverManager
        modelManager: root.modelManager
    }

    onVisibleChanged: if (root.visible) controller.refresh()
    Component.onCompleted: if (root.visible) controller.refresh()

    readonly property bool dataReady: root.agentState !== null && root.agentState.sessionsLoaded

    // Keyboard users see what they reach: the form scrolls to the control that takes the focus.
    function revealFocus(): void {
        const item = root.Window.activeFocusItem
        const flick = scroller.contentItem as Flickable
        if (!item || !flick)
            return
        let inside = false
        for (let parent = item.parent; parent && !inside; parent = parent.parent)
            inside = parent === flick.contentItem
        if (!inside)
            return
        const top = item.mapToItem(flick.contentItem, 0, 0).y - 24
        const bottom = top + item.height + 48
        if (top < flick.contentY)
            flick.contentY = Math.max(0, top)
        else if (bottom > flick.contentY + flick.height)
            flick.contentY = Math.min(flick.contentHeight - flick.height, bottom - flick.height)
    }
    Connections {
        target: root.Window.window
        function onActiveFocusItemChanged() { root.revealFocus() }
    }

    component RowLabel: Text {
        font.pixelSize: 13
        color: Theme.label
    }
    component Hint: Text {
        Layout.fillWidth: true
        font.pixelSize: 11
        color: Theme.secondary
        wrapMode: Text.Wrap
    }
    component SettingSwitch: Switch {
        id: toggle
        Layout.fillWidth: true
        focusPolicy: Qt.StrongFocus
        Accessible.name: text
        Keys.onReturnPressed: { toggle.toggle(); toggle.toggled() }
        Keys.onEnterPressed: { toggle.toggle(); toggle.toggled() }
        LayoutMirroring.enabled: true // the label first, the switch at the row's end
        contentItem: Text {
            text: toggle.text
            font.pixelSize: 13
            color: Theme.label
            verticalAlignment: Text.AlignVCenter
            horizontalAlignment: Text.AlignLeft
            LayoutMirroring.enabled: false
        }
    }

    ScrollView {
        id: scroller
        objectName: "settingsScroll"
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true

        ColumnLayout {
            width: scroller.availableWidth
            spacing: 18

            Text {
                Layout.topMargin: 20
                Layout.leftMargin: 24
                text: "Settings"
                font.pixelSize: 20
                font.weight: Font.DemiBold
                color: Theme.label
                Accessible.role: Accessible.Heading
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.maximumWidth: 640
                Layout.leftMargin: 24
                Layout.rightMargin: 24
                Layout.bottomMargin: 24
                spacing: 18

                SettingsSection {
                    title: "Inference Server"
                    RemoteEngineSection { Layout.fillWidth: true; remote: root.remoteEngine }
                    EngineSection {
                        Layout.fillWidth: true
                        controller: controller
                        engine: root.engine
                    }
                }

                SettingsSection {
                    title: "Startup"
                    Hint {
                        objectName: "noAutoLoadCandidates"
                        visible: controller.autoLoadLabels.length === 0
                        text: "Download a model to enable auto-loading"
                    }
                    SettingSwitch {
                        objectName: "autoLoadSwitch"
                        visible: controller.autoLoadLabels.length > 0
                        text: "Auto-load model on launch"
                        checked: controller.autoLoadEnabled
                        onToggled: controller.setAutoLoadEnabled(checked)
                    }
                    RowLayout {
                        visible: controller.autoLoadLabels.length > 0 && controller.autoLoadEnabled
                        spacing: 10
                        RowLabel { text: "Model" }
                        ComboBox {
                            id: modelPicker
                            objectName: "autoLoadPicker"
                            Layout.fillWidth: true
                            model: controller.autoLoadLabels
                            currentIndex: controller.autoLoadIndex
                            displayText: currentIndex >= 0 ? currentText : ""
                            Accessible.name: "Model"
                            onActivated: index => controller.chooseAutoLoad(index)
                        }
                    }
                }

                SettingsSection {
                    title: "Generation"
                    RowLayout {
                        spacing: 10
                        RowLabel { text: "Temperature" }
                        Slider {
                            id: temperatureSlider
                            objectName: "temperatureSlider"
                            Layout.fillWidth: true
                            from: 0.0
                            to: 2.0
                            stepSize: 0.05
                            snapMode: Slider.SnapAlways
                            focusPolicy: Qt.StrongFocus
                            value: root.agentState ? root.agentState.temperature : 0.7
                            Accessible.name: "Temperature"
                            onMoved: controller.setTemperature(value)
                        }
                        Text {
                            objectName: "temperatureValue"
                            Layout.preferredWidth: 40
                            text: temperatureSlider.value.toFixed(2)
                            font.pixelSize: 13
                            font.family: Theme.monospaceFamily
                            color: Theme.label
                            horizontalAlignment: Text.AlignRight
                        }
                    }
                    RowLayout {
                        spacing: 10
                        RowLabel { text: "Max Tokens"; Layout.fillWidth: true }
                        TextField {
                            id: maxTokensField
                            objectName: "maxTokensField"
                            Layout.preferredWidth: 80
                            horizontalAlignment: TextInput.AlignRight
                            text: root.agentState ? String(root.agentState.maxTokens) : ""
                            Accessible.name: "Max Tokens"
                            onEditingFinished: controller.submitMaxTokens(text)
                            Connections {
                                target: root.agentState
                                // A refused text gives way to the value in force.
                                function onMaxTokensChanged() {
                                    maxTokensField.text = String(root.agentState.maxTokens)
                                }
                            }
                        }
                    }
                    Hint {
                        objectName: "maxTokensHint"
                        visible: text.length > 0
                        text: controller.maxTokensHint
                        color: Theme.orange
                    }
                    SettingSwitch {
                        objectName: "thinkingSwitch"
                        text: "Let models think before answering"
                        checked: root.agentState ? root.agentState.thinkingEnabled : true
                        onToggled: controller.setThinkingEnabled(checked)
                    }
                    Hint {
                        text: "Thinking takes longer and often gives better answers. Off, models that allow it answer at once."
                    }
                    SettingSwitch {
                        objectName: "showThinkingSwitch"
                        text: "Show thinking"
                        checked: root.agentState ? root.agentState.showThinking : true
                        onToggled: controller.setShowThinking(checked)
                    }
                    Hint {
                        text: "The thinking is kept with each reply either way."
                    }
                }

                SettingsSection {
                    title: "Notifications"
                    SettingSwitch {
                        objectName: "soundSwitch"
                        text: "Play sound when response completes"
                        checked: controller.completionSoundEnabled
                        onToggled: controller.completionSoundEnabled = checked
                    }
                }

                SettingsSection {
                    objectName: "toolServersSection"
                    title: "Tool Servers"
                    visible: root.toolServers !== null
                    ToolServersSection { registry: root.toolServers }
                }

                SettingsSection {
                    title: "Export & Import"
                    RowLayout {
                        spacing: 10
                        SymbolButton {
                            objectName: "exportButton"
                            text: "Export Chats"
                            symbol: "square.and.arrow.up"
                            enabled: root.dataReady && !controller.isTransferring
                            onClicked: exportDialog.open()
                        }
                        SymbolButton {
                            objectName: "importButton"
                            text: "Import Chats"
                            symbol: "square.and.arrow.down"
                            enabled: root.dataReady && !controller.isTransferring
                            onClicked: importDialog.open()
                        }
                        Spinner { visible: controller.isTransferring }
                    }
                    Hint {
                        objectName: "transferMessage"
                        visible: text.length > 0
                        text: controller.transferMessage
                        color: controller.transferFailed ? Theme.red : Theme.secondary
                    }
                }

                SettingsSection {
                    title: "Data"
                    SettingsActionButton {
                        objectName: "clearHistoryButton"
                        text: "Clear Chat History"
                        subtitle: "Removes all conversations. Keeps models and settings."
                        symbol: "trash"
                        tint: Theme.orange
                        phase: controller.chatDeletePhase
                        enabled: root.dataReady && controller.chatDeletePhase === SettingsController.Idle
                        onClicked: root.showClearChatsConfirm = true
                    }
                    SettingsActionButton {
                        objectName: "deleteAllButton"
                        text: "Delete All Data"
                        subtitle: "Removes all conversations, settings, and downloaded models."
                        symbol: "trash"
                        tint: Theme.red
                        phase: controller.allDeletePhase
                        enabled: root.dataReady && controller.allDeletePhase === SettingsController.Idle
                        onClicked: root.showDeleteAllConfirm = true
                    }
                }
            }
        }
    }

    FileDialog {
        id: exportDialog
        objectName: "exportDialog"
        title: "Export Chats"
        acceptLabel: "Export"
        fileMode: FileDialog.SaveFile
        nameFilters: ["JSON files (*.json)"]
        defaultSuffix: "json"
        selectedFile: controller.suggestedExportFile
        onAccepted: controller.exportChats(selectedFile)
    }
    FileDialog {
        id: importDialog
        objectName: "importDialog"
        title: "Import Chats"
        acceptLabel: "Import"
        fileMode: FileDialog.OpenFile
        currentFolder: controller.documentsFolder
        nameFilters: ["JSON files (*.json)"]
        onAccepted: controller.importChats(selectedFile)
    }

    ConfirmationDialog {
        objectName: "clearChatsConfirm"
        isPresented: root.showClearChatsConfirm
        title: "Clear all chat history?"
        message: "This cannot be undone."
        confirmText: "Clear History"
        onIsPresentedRequested: value => root.showClearChatsConfirm = value
        onConfirmed: controller.clearChatHistory()
    }
    ConfirmationDialog {
        objectName: "deleteAllConfirm"
        isPresented: root.showDeleteAllConfirm
        title: "Delete all data including models?"
        message: "All downloaded models will be deleted. This cannot be undone."
        confirmText: "Delete Everything"
        onIsPresentedRequested: value => root.showDeleteAllConfirm = value
        onConfirmed: controller.deleteAllData()
    }
}

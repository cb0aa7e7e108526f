pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Qt.labs.platform as Platform
import TovraAI.Components
import TovraAI.App

// The main window "Tovra AI" with its File menu, the settings window and the menu-bar item.
ApplicationWindow {
    id: window

    title: "Tovra AI"
    width: 1100
    height: 720
    minimumWidth: 720
    minimumHeight: 480
    visible: true
    color: Theme.windowBackground

    readonly property alias newChatAction: newChatAction

    function bringToFront(): void {
        window.show()
        window.raise()
        window.requestActivate()
    }

    function showSettings(): void {
        settingsWindow.show()
        settingsWindow.raise()
        settingsWindow.requestActivate()
    }

    menuBar: MenuBar {
        Menu {
            title: "&File"
            Action {
                id: newChatAction
                text: "New Chat"
                shortcut: StandardKey.New
                enabled: AppModel.agentState.sessionsLoaded
                onTriggered: AppModel.agentState.startNewChat()
            }
            MenuSeparator {}
            Action {
                text: Qt.platform.os === "osx" ? "Preferences…" : "Settings…"
                // No standard settings shortcut outside macOS: Ctrl+, as most desktop apps use.
                shortcut: Qt.platform.os === "osx" ? StandardKey.Preferences : "Ctrl+,"
                onTriggered: window.showSettings()
            }
            MenuSeparator {}
            Action {
                text: "Quit"
                shortcut: StandardKey.Quit
                onTriggered: AppModel.requestQuit()
            }
        }
    }

    ContentView {
        id: content
        objectName: "contentView"
        anchors.fill: parent
        agentState: AppModel.agentState
        agent: AppModel.agentManager
        modelManager: AppModel.modelManager
        serverManager: AppModel.serverManager
        remoteEngine: AppModel.remoteEngine
        engine: AppModel.engineChoice
        toolServers: AppModel.toolServers
        onboardingComplete: AppModel.onboardingComplete
        onOnboardingCompleted: AppModel.onboardingComplete = true
        onFirstShown: AppModel.autoLoadOnLaunch()
    }

    // The saved chats could not be read, or not be written: said once, naming the files.
    Dialog {
        id: archiveAlert
        objectName: "archiveAlert"
        anchors.centerIn: Overlay.overlay
        width: Math.min(480, window.width - 40)
        modal: true
        title: "Saved Chats"
        visible: AppModel.agentState.hasArchiveError
        closePolicy: Popup.CloseOnEscape
        onOpened: archiveOK.forceActiveFocus()
        onClosed: AppModel.agentState.clearArchiveError()
        contentItem: Label {
            text: AppModel.agentState.archiveError
            wrapMode: Text.Wrap
        }
        footer: DialogButtonBox {
            Button {
                id: archiveOK
                objectName: "archiveAlertOK"
                text: "OK"
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
                Keys.onReturnPressed: clicked()
            }
        }
    }

    SettingsWindow {
        id: settingsWindow
        agentState: AppModel.agentState
        serverManager: AppModel.serverManager
        modelManager: AppModel.modelManager
        remoteEngine: AppModel.remoteEngine
        engine: AppModel.engineChoice
        toolServers: AppModel.toolServers
    }

    Platform.SystemTrayIcon {
        id: tray
        // Without a tray host there is nothing to show, and nothing to complain about.
        visible: available
        tooltip: "Tovra AI"
        icon.source: "image://icons/sparkles"

        menu: Platform.Menu {
            Platform.MenuItem {
                enabled: false
                text: AppModel.engineChoice.modelName.length > 0
                      ? AppModel.engineChoice.modelName : "No model loaded"
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: "New Chat"
                enabled: AppModel.agentState.sessionsLoaded
                onTriggered: {
                    window.bringToFront()
                    AppModel.agentState.startNewChat()
                }
            }
            Platform.MenuItem {
                text: "Show Tovra AI"
                onTriggered: window.bringToFront()
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: "Quit"
                onTriggered: AppModel.requestQuit()
            }
        }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Settings

// The "Inference Server" rows: the engine's status with Stop, the installation block
// the controller chooses, and the last launch error.
ColumnLayout {
    id: root

    required property SettingsController controller
    property ServerManager serverManager: controller.serverManager
    // The engine in use, local or remote: the status line is its.
    property EngineChoice engine
    readonly property int block: controller.engineBlock
    readonly property bool remote: root.engine !== null && root.engine.isRemote

    spacing: 10

    component StatusLine: RowLayout {
        id: line
        property string symbol
        property color tint: Theme.green
        property string text
        spacing: 6
        Icon { name: line.symbol; size: 15; color: line.tint }
        Text {
            Layout.fillWidth: true
            text: line.text
            font.pixelSize: 13
            color: Theme.label
            wrapMode: Text.Wrap
        }
    }
    component Note: Text {
        Layout.fillWidth: true
        font.pixelSize: 11
        color: Theme.secondary
        wrapMode: Text.Wrap
    }

    RowLayout {
        objectName: "serverStatus"
        spacing: 8
        Rectangle {
            width: 8
            height: 8
            radius: 4
            color: root.engine && root.engine.isRunning ? Theme.green
                 : root.engine && root.engine.isStarting ? Theme.yellow
                 : Theme.alpha(Theme.secondary, 0.4)
        }
        Text {
            Layout.fillWidth: true
            text: root.engine ? root.engine.statusMessage : ""
            font.pixelSize: 13
            color: Theme.label
            elide: Text.ElideRight
        }
        Spinner { visible: root.engine !== null && root.engine.isStarting }
        SymbolButton {
            objectName: "stopServerButton"
            visible: root.serverManager !== null && root.serverManager.isRunning && !root.remote
            text: "Stop"
            tint: Theme.red
            onClicked: root.controller.stopServer()
        }
    }

    Divider { Layout.fillWidth: true }

    ColumnLayout {
        id: engineBlock
        objectName: "engineBlock"
        visible: !root.remote
        Layout.fillWidth: true
        spacing: 8

        // A new case fades in.
        NumberAnimation on opacity { id: fadeIn; from: 0; to: 1; duration: 180; running: false }
        Connections {
            target: root.controller
            function onEngineChanged() { fadeIn.restart() }
        }

        RowLayout {
            visible: root.block === EngineSetup.Uninstalling
            spacing: 6
            Spinner {}
            Text { text: "Uninstalling…"; font.pixelSize: 13; color: Theme.label }
        }

        StatusLine {
            visible: root.block === EngineSetup.HomebrewReady
                     || root.block === EngineSetup.Ready
            symbol: "checkmark.circle.fill"
            text: root.block === EngineSetup.HomebrewReady ? "llama.cpp ready (Homebrew)"
                                                                  : "llama.cpp ready"
        }
        SelectableText {
            objectName: "enginePath"
            Layout.fillWidth: true
            visible: root.block === EngineSetup.Ready
            text: root.controller.enginePath
        }
        SettingsActionButton {
            objectName: "uninstallButton"
            visible: root.block === EngineSetup.HomebrewReady
            symbol: "trash"
            tint: Theme.red
            text: "Uninstall llama.cpp"
            subtitle: "Runs brew uninstall llama.cpp and stops the server."
            onClicked: root.controller.uninstallEngine()
        }

        StatusLine {
            visible: root.block === EngineSetup.HomebrewMissing
            symbol: "exclamationmark.triangle.fill"
            tint: Theme.orange
            text: "Homebrew not found"
        }
        Note {
            visible: root.block === EngineSetup.HomebrewMissing
            text: "Tovra AI requires Homebrew to install the AI engine. Open Terminal and run:"
        }
        SelectableText {
            objectName: "homebrewCommand"
            Layout.fillWidth: true
            visible: root.block === EngineSetup.HomebrewMissing
            text: root.controller.homebrewInstallCommand
        }

        SettingsActionButton {
            objectName: "installButton"
            visible: root.block === EngineSetup.Install
            symbol: "terminal.fill"
            text: "Install via Homebrew"
            subtitle: root.controller.installSubtitle
            onClicked: root.controller.installEngine()
        }

        RowLayout {
            visible: root.block === EngineSetup.Installing
            spacing: 6
            Spinner {}
            Text { text: "Installing via Homebrew…"; font.pixelSize: 13; color: Theme.label }
        }
        BrewOutputView {
            objectName: "brewOutput"
            Layout.fillWidth: true
            Layout.preferredHeight: implicitHeight
            visible: root.block === EngineSetup.Installing
            maximumHeight: 120
            text: root.serverManager ? root.serverManager.brewOutput : ""
        }

        StatusLine {
            visible: root.block === EngineSetup.Installed
            symbol: "checkmark.circle.fill"
            text: "llama.cpp installed successfully"
        }
        Note {
            visible: root.block === EngineSetup.Installed
            text: "Restart the app or load a model to get started."
        }

        StatusLine {
            visible: root.block === EngineSetup.InstallFailed
            symbol: "exclamationmark.triangle.fill"
            tint: Theme.orange
            text: "Homebrew install failed"
        }
        Note {
            objectName: "installFailure"
            visible: root.block === EngineSetup.InstallFailed
            text: root.serverManager ? root.serverManager.brewInstallState.text : ""
        }
        SymbolButton {
            objectName: "tryAgainButton"
            visible: root.block === EngineSetup.InstallFailed
            text: "Try Again"
            symbol: "arrow.clockwise"
            onClicked: root.controller.installEngine()
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        visible: root.serverManager !== null && root.serverManager.hasLastLaunchError
        spacing: 4
        Text { text: "Last launch error:"; font.pixelSize: 11; color: Theme.red }
        SelectableText {
            objectName: "lastLaunchError"
            Layout.fillWidth: true
            text: root.serverManager ? root.serverManager.lastLaunchError : ""
        }
    }
}

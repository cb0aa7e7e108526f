pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Onboarding

// The first-run sheet over the main window: the user's name, the engine, the answer
// style, and a starter model. It closes itself through isPresented; the decisions are
// the flow's.
Popup {
    id: root

    property bool isPresented: false
    property ModelManager modelManager
    property ServerManager serverManager
    readonly property OnboardingFlow flow: flow
    signal isPresentedRequested(bool value)
    // Onboarding is done and stored.
    signal completed()

    visible: isPresented
    modal: true
    focus: true
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay
    width: 520
    height: 460
    padding: 28

    onOpened: {
        flow.reset()
        nameField.forceActiveFocus()
    }

    OnboardingFlow {
        id: flow
        serverManager: root.serverManager
        modelManager: root.modelManager
        onFinished: {
            root.completed()
            root.isPresentedRequested(false)
        }
        onShowAutoDownloadPromptChanged: flow.showAutoDownloadPrompt ? starterPrompt.open()
                                                                     : starterPrompt.close()
        // Once the new step's bindings have settled: its controls are enabled and shown.
        onStepChanged: Qt.callLater(root.focusFirstControl)
        onFirstControlChanged: Qt.callLater(root.focusFirstControl)
    }

    function focusFirstControl(): void {
        // Installing the engine from Settings changes the facts while the sheet is closed.
        if (!root.opened)
            return
        const first = flow.firstControl
        const control = first === OnboardingFlow.FocusNameField ? nameField
                      : first === OnboardingFlow.FocusHomebrewCommand ? homebrewCommand
                      : first === OnboardingFlow.FocusInstallButton ? installButton
                      : first === OnboardingFlow.FocusTryAgain ? tryAgainButton
                      : first === OnboardingFlow.FocusEngineContinue ? engineContinueButton
                      : first === OnboardingFlow.FocusSkip ? skipButton
                      : first === OnboardingFlow.FocusFirstStyle ? styleRows.itemAt(0)
                      : null
        if (control)
            control.forceActiveFocus(Qt.TabFocusReason)
        else
            steps.forceActiveFocus()
    }

    background: Rectangle {
        radius: 12
        color: Theme.windowBackground
        border.width: 0.5
        border.color: Theme.separator
    }

    contentItem: ColumnLayout {
        spacing: 18
        // Return that no control takes presses the step's default button.
        Keys.onReturnPressed: flow.pressReturn()
        Keys.onEnterPressed: flow.pressReturn()

        Row {
            objectName: "stepMarks"
            Layout.alignment: Qt.AlignHCenter
            spacing: 6
            Repeater {
                model: flow.totalSteps
                Rectangle {
                    required property int index
                    readonly property bool current: index === flow.step
                    width: current ? 20 : 7
                    height: 7
                    radius: 3.5
                    color: current ? Theme.accent : Theme.alpha(Theme.secondary, 0.25)
                    Behavior on width {
                        SpringAnimation { spring: 4; damping: 0.45; epsilon: 0.25 }
                    }
                    Behavior on color { ColorAnimation { duration: 300 } }
                }
            }
        }

        // The current step; the others fade out.
        Item {
            id: steps
            Layout.fillWidth: true
            Layout.fillHeight: true
            activeFocusOnTab: false

            component StepPage: ColumnLayout {
                required property int page
                anchors.fill: parent
                spacing: 10
                visible: flow.step === page || opacity > 0
                // A page fading out takes no keys.
                enabled: flow.step === page
                opacity: flow.step === page ? 1 : 0
                Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }
            }
            component Header: ColumnLayout {
                property string symbol
                property color symbolColor: Theme.accent
                property string title
                property string subtitle
                Layout.fillWidth: true
                spacing: 8
                Icon {
                    Layout.fillWidth: true
                    name: parent.symbol
                    size: 44
                    color: parent.symbolColor
                }
                Text {
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    text: parent.title
                    font.pixelSize: 22
                    font.weight: Font.Bold
                    color: Theme.label
                }
                Text {
                    Layout.fillWidth: true
                    visible: text.length > 0
                    text: parent.subtitle
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    font.pixelSize: 13
                    color: Theme.secondary
                }
            }

            StepPage {
                page: 0
                Header {
                    symbol: "hand.wave.fill"
                    title: "Welcome to Tovra AI"
                    subtitle: "What should I call you?"
                }
                TextField {
                    id: nameField
                    objectName: "nameField"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 260
                    enabled: flow.step === 0
                    placeholderText: "Your name"
                    Accessible.name: placeholderText
                    text: flow.userName
                    onTextEdited: flow.userName = text
                    // Taken here: Return in the field never passes over the engine step.
                    Keys.onReturnPressed: flow.submitName()
                    Keys.onEnterPressed: flow.submitName()
                    background: Rectangle {
                        radius: 8
                        color: Theme.textBackground
                        border.width: nameField.activeFocus ? 2 : 0.5
                        border.color: nameField.activeFocus ? Theme.accent : Theme.separator
                    }
                }
                Item { Layout.fillHeight: true }
            }

            StepPage {
                page: 1
                Header {
                    objectName: "engineHeader"
                    symbol: flow.engineHeader === OnboardingFlow.Ready ? "checkmark.circle.fill"
                          : flow.engineHeader === OnboardingFlow.Install ? "terminal.fill"
                          : "exclamationmark.circle.fill"
                    symbolColor: flow.engineHeader === OnboardingFlow.Ready ? Theme.green
                               : flow.engineHeader === OnboardingFlow.Install ? Theme.accent
                               : Theme.orange
                    title: flow.engineHeader === OnboardingFlow.Ready ? "AI Engine Ready"
                         : flow.engineHeader === OnboardingFlow.Install ? "Install AI Engine"
                         : "Homebrew Required"
                    subtitle: flow.engineHeader === OnboardingFlow.Ready
                              ? "The AI engine is installed and ready to run models."
                              : flow.engineHeader === OnboardingFlow.Install
                                ? flow.installEngineText
                                : "Tovra AI requires Homebrew to install the AI engine. Install Homebrew first, then reopen this app."
                }

                // No Homebrew: how to get it.
                ColumnLayout {
                    Layout.fillWidth: true
                    visible: flow.enginePanel === OnboardingFlow.TerminalInstructions
                    spacing: 6
                    Text {
                        text: "Open Terminal and run:"
                        font.pixelSize: 12
                        color: Theme.label
                    }
                    TextEdit {
                        id: homebrewCommand
                        objectName: "homebrewCommand"
                        Layout.fillWidth: true
                        text: flow.homebrewInstallCommand
                        readOnly: true
                        selectByMouse: true
                        wrapMode: TextEdit.WrapAnywhere
                        font.family: Theme.monospaceFamily
                        font.pixelSize: 10
                        color: Theme.label
                        activeFocusOnTab: true
                        Rectangle {
                            anchors.fill: parent
                            anchors.margins: -3
                            visible: homebrewCommand.activeFocus
                            color: "transparent"
                            radius: 4
                            border.width: 2
                            border.color: Theme.alpha(Theme.accent, 0.6)
                        }
                    }
                    Text {
                        text: "After installing Homebrew, reopen Tovra AI."
                        font.pixelSize: 12
                        color: Theme.secondary
                    }
                }

                SymbolButton {
                    id: installButton
                    objectName: "installButton"
                    Layout.alignment: Qt.AlignHCenter
                    visible: flow.enginePanel === OnboardingFlow.InstallButton
                    highlighted: true
                    text: "Install via Homebrew"
                    symbol: "terminal.fill"
                    onClicked: flow.installEngine()
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    visible: flow.enginePanel === OnboardingFlow.Installing
                    spacing: 6
                    Row {
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 6
                        Spinner { anchors.verticalCenter: parent.verticalCenter }
                        Text {
                            text: "Installing via Homebrew…"
                            font.pixelSize: 12
                            color: Theme.label
                        }
                    }
                    BrewOutputView {
                        objectName: "brewOutput"
                        Layout.fillWidth: true
                        Layout.preferredHeight: implicitHeight
                        maximumHeight: 100
                        text: root.serverManager ? root.serverManager.brewOutput : ""
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    visible: flow.enginePanel === OnboardingFlow.Failed
                    spacing: 6
                    Row {
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 6
                        Icon { name: "exclamationmark.triangle.fill"; size: 14; color: Theme.orange }
                        Text { text: "Installation failed"; font.pixelSize: 13; color: Theme.label }
                    }
                    Text {
                        Layout.fillWidth: true
                        text: root.serverManager ? root.serverManager.brewInstallState.text : ""
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        font.pixelSize: 11
                        color: Theme.secondary
                    }
                    SymbolButton {
                        id: tryAgainButton
                        objectName: "tryAgainButton"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Try Again"
                        symbol: "arrow.clockwise"
                        onClicked: flow.installEngine()
                    }
                }
                Item { Layout.fillHeight: true }
            }

            StepPage {
                page: 2
                Header {
                    symbol: "brain.head.profile"
                    title: "How should I respond?"
                }
                Repeater {
                    id: styleRows
                    model: flow.responseStyles
                    AbstractButton {
                        id: styleRow
                        required property var modelData
                        readonly property bool selected: flow.responseStyle === modelData.value
                        objectName: "style_" + modelData.value
                        Layout.fillWidth: true
                        focusPolicy: Qt.StrongFocus
                        enabled: flow.step === 2
                        text: modelData.title
                        Accessible.name: text
                        Accessible.role: Accessible.RadioButton
                        Accessible.checked: selected
                        // Space chooses the style; Return goes on to "Get Started".
                        onClicked: flow.responseStyle = modelData.value
                        padding: 10
                        background: Rectangle {
                            radius: 10
                            color: styleRow.selected ? Theme.alpha(Theme.accent, 0.12) : Theme.controlBackground
                            border.width: styleRow.activeFocus ? 2 : (styleRow.selected ? 1 : 0.5)
                            border.color: styleRow.activeFocus || styleRow.selected ? Theme.accent : Theme.separator
                        }
                        contentItem: RowLayout {
                            spacing: 10
                            Icon { name: styleRow.modelData.icon; size: 18; color: Theme.accent }
                            ColumnLayout {
                                Layout.fillWidth: true
                                spacing: 2
                                Text { text: styleRow.modelData.title; font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.label }
                                Text { text: styleRow.modelData.subtitle; font.pixelSize: 11; color: Theme.secondary }
                            }
                            Icon {
                                visible: styleRow.selected
                                name: "checkmark.circle.fill"
                                size: 16
                                color: Theme.accent
                            }
                        }
                    }
                }
                Item { Layout.fillHeight: true }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            SymbolButton {
                objectName: "backButton"
                visible: flow.showsBack
                flat: true
                text: "Back"
                onClicked: flow.goBack()
            }
            Item { Layout.fillWidth: true }
            SymbolButton {
                id: skipButton
                objectName: "skipButton"
                visible: flow.showsSkip
                flat: true
                text: "Skip"
                onClicked: flow.leaveEngineStep()
            }
            SymbolButton {
                id: engineContinueButton
                objectName: "engineContinueButton"
                visible: flow.showsEngineContinue
                highlighted: true
                text: "Continue"
                onClicked: flow.leaveEngineStep()
            }
            SymbolButton {
                objectName: "primaryButton"
                visible: flow.primaryButton !== OnboardingFlow.None
                enabled: flow.primaryEnabled
                highlighted: true
                text: flow.primaryButton === OnboardingFlow.GetStarted ? "Get Started" : "Continue"
                onClicked: flow.goOn()
            }
        }
    }

    Dialog {
        id: starterPrompt
        objectName: "starterPrompt"
        anchors.centerIn: parent
        width: 420
        modal: true
        title: "Download a Starter Model?"
        closePolicy: Popup.CloseOnEscape
        onOpened: downloadStarter.forceActiveFocus(Qt.TabFocusReason)
        onRejected: flow.finish()
        contentItem: Label {
            text: flow.starterModelText
            wrapMode: Text.Wrap
        }
        footer: DialogButtonBox {
            SymbolButton {
                id: downloadStarter
                objectName: "downloadStarterButton"
                text: "Download Llama 3.2 3B (2.0 GB)"
                DialogButtonBox.buttonRole: DialogButtonBox.ActionRole
                onClicked: flow.downloadStarterModel()
            }
            SymbolButton {
                objectName: "skipStarterButton"
                text: "Skip"
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
    }
}

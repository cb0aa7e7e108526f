pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Qt5Compat.GraphicalEffects
import TovraAI.Components
import TovraAI.Chat

// Shown in place of the conversation while it has no turns: the logo and, by the
// engine's state, a way to the model library, the start-up progress, or suggestions.
Column {
    id: root

    property bool isRunning: false
    property bool isStarting: false
    property string statusMessage
    // The suggestions: objects of icon and text.
    property var suggestions: []

    signal browseModels()
    signal suggestionChosen(string text)

    spacing: 32

    Item { width: 1; height: 32 }

    // The logo.
    Item {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 86
        height: 86
        Rectangle {
            anchors.fill: parent
            radius: 43
            gradient: Gradient {
                GradientStop { position: 0; color: Theme.alpha(Theme.accent, 0.14) }
                GradientStop { position: 1; color: Theme.alpha(Theme.accent, 0.04) }
            }
            border.width: 1
            border.color: Theme.alpha(Theme.accent, 0.12)
        }
        Icon {
            id: sparkles
            anchors.centerIn: parent
            name: "sparkles"
            size: 36
            font.weight: Font.DemiBold
            color: Theme.accent
            visible: false
        }
        LinearGradient {
            anchors.fill: sparkles
            source: sparkles
            start: Qt.point(0, 0)
            end: Qt.point(sparkles.width, sparkles.height)
            gradient: Gradient {
                GradientStop { position: 0; color: Theme.accent }
                GradientStop { position: 1; color: Theme.alpha(Theme.accent, 0.65) }
            }
        }
    }

    Column {
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 6
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Tovra AI"
            font.pixelSize: 26
            font.weight: Font.Bold
            color: Theme.label
        }
        Text {
            objectName: "welcomeTagline"
            anchors.horizontalCenter: parent.horizontalCenter
            text: ChatLogic.welcomeTagline()
            font.pixelSize: 11
            color: Theme.secondary
        }
    }

    // No engine: the way to the model library.
    Column {
        objectName: "welcomeNoModel"
        anchors.horizontalCenter: parent.horizontalCenter
        visible: !root.isRunning && !root.isStarting
        spacing: 14
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Load a model to get started"
            font.pixelSize: 11
            color: Theme.secondary
        }
        AbstractButton {
            id: browseButton
            objectName: "browseModelsButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Browse Models"
            Accessible.name: text
            leftPadding: 22
            rightPadding: 22
            topPadding: 11
            bottomPadding: 11
            contentItem: Row {
                spacing: 6
                Icon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "cpu.fill"
                    size: 12
                    color: Theme.textOnAccent
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: browseButton.text
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    color: Theme.textOnAccent
                }
            }
            background: Item {
                RectangularGlow {
                    anchors.fill: parent
                    anchors.topMargin: 3
                    anchors.bottomMargin: -3
                    glowRadius: 8
                    cornerRadius: height / 2 + glowRadius
                    color: Theme.alpha(Theme.accent, 0.3)
                }
                Rectangle {
                    anchors.fill: parent
                    radius: height / 2
                    color: browseButton.down ? Qt.darker(Theme.accent, 1.1) : Theme.accent
                }
            }
            onClicked: root.browseModels()
        }
    }

    // Starting.
    Row {
        objectName: "welcomeStarting"
        anchors.horizontalCenter: parent.horizontalCenter
        visible: root.isStarting
        spacing: 8
        Spinner {
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 14
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.statusMessage
            font.pixelSize: 13
            color: Theme.label
        }
    }

    // Running: prompts to try.
    Column {
        objectName: "welcomeSuggestions"
        anchors.horizontalCenter: parent.horizontalCenter
        visible: root.isRunning && !root.isStarting
        width: Math.min(root.width - 44, 440)
        spacing: 8

        Repeater {
            model: root.suggestions
            delegate: AbstractButton {
                id: suggestion
                required property var modelData
                required property int index
                objectName: "suggestion" + index
                width: parent.width
                text: modelData.text
                Accessible.name: text
                hoverEnabled: true
                leftPadding: 16
                rightPadding: 16
                topPadding: 11
                bottomPadding: 11
                contentItem: Item {
                    implicitHeight: suggestionText.implicitHeight
                    Icon {
                        id: suggestionIcon
                        width: 20
                        anchors.verticalCenter: parent.verticalCenter
                        name: suggestion.modelData.icon
                        size: 12
                        font.weight: Font.Medium
                        color: Theme.accent
                    }
                    Text {
                        id: suggestionText
                        anchors.left: suggestionIcon.right
                        anchors.leftMargin: 8
                        anchors.right: arrow.left
                        anchors.verticalCenter: parent.verticalCenter
                        elide: Text.ElideRight
                        text: suggestion.text
                        font.pixelSize: 11
                        color: Theme.label
                    }
                    Icon {
                        id: arrow
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        name: "arrow.up.right"
                        size: 10
                        font.weight: Font.Medium
                        color: Theme.alpha(Theme.secondary, 0.5)
                    }
                }
                background: Rectangle {
                    radius: 12
                    color: suggestion.hovered ? Qt.darker(Theme.controlBackground, 1.03) : Theme.controlBackground
                    border.width: 0.5
                    border.color: Theme.alpha(Theme.separator, 0.7)
                }
                onClicked: root.suggestionChosen(suggestion.modelData.text)
            }
        }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Settings

// Which engine answers: this computer's, or a server elsewhere with its address, key and
// model. The checks and the switching are the RemoteEngine's.
ColumnLayout {
    id: root

    required property RemoteEngine remote

    spacing: 8

    component Choice: RadioButton {
        id: choice
        focusPolicy: Qt.StrongFocus
        Accessible.name: text
        Keys.onReturnPressed: choice.clicked()
        Keys.onEnterPressed: choice.clicked()
        contentItem: Text {
            leftPadding: choice.indicator.width + choice.spacing
            text: choice.text
            font.pixelSize: 13
            color: Theme.label
            verticalAlignment: Text.AlignVCenter
        }
    }
    component Field: TextField {
        Layout.fillWidth: true
        font.pixelSize: 13
        selectByMouse: true
        Accessible.name: placeholderText
    }

    RowLayout {
        spacing: 16
        Choice {
            objectName: "localChoice"
            text: root.remote.localLabel
            checked: !root.remote.remoteChosen
            onClicked: root.remote.remoteChosen = false
        }
        Choice {
            objectName: "remoteChoice"
            text: "Remote server"
            checked: root.remote.remoteChosen
            onClicked: root.remote.remoteChosen = true
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        visible: root.remote.remoteChosen
        spacing: 8

        Field {
            id: address
            objectName: "remoteAddress"
            placeholderText: "Address, such as https://server:8080"
            text: root.remote.address
            onAccepted: connectButton.clicked()
        }
        RowLayout {
            objectName: "unencryptedWarning"
            visible: root.remote.isUnencrypted(address.text)
            spacing: 6
            Icon { name: "exclamationmark.triangle.fill"; size: 13; color: Theme.orange }
            Text {
                Layout.fillWidth: true
                text: "Not encrypted: the key and the chats can be read on the way to this server."
                font.pixelSize: 11
                color: Theme.orange
                wrapMode: Text.Wrap
            }
        }
        Field {
            id: key
            objectName: "remoteKey"
            // Left empty, the key kept for the typed server is used, and only that one.
            placeholderText: root.remote.keyOrigins.indexOf(root.remote.origin(address.text)) >= 0
                             ? "API key (kept in the keychain)" : "API key (optional)"
            echoMode: TextInput.Password
            onAccepted: connectButton.clicked()
        }
        RowLayout {
            spacing: 8
            SymbolButton {
                id: connectButton
                objectName: "connectButton"
                text: "Connect"
                enabled: !root.remote.isConnecting
                onClicked: {
                    root.remote.connectToServer(address.text, key.text)
                    key.text = ""
                }
            }
            SymbolButton {
                objectName: "forgetKeyButton"
                visible: root.remote.hasStoredKey
                text: "Forget Key"
                symbol: "trash"
                onClicked: root.remote.forgetKey()
            }
            Spinner { visible: root.remote.isConnecting }
        }
        Text {
            objectName: "remoteMessage"
            Layout.fillWidth: true
            visible: text.length > 0
            text: root.remote.message
            font.pixelSize: 11
            color: root.remote.messageIsError ? Theme.red : Theme.secondary
            wrapMode: Text.Wrap
        }
        RowLayout {
            visible: root.remote.models.length > 0
            spacing: 10
            Text { text: "Model"; font.pixelSize: 13; color: Theme.label }
            ComboBox {
                objectName: "remoteModelPicker"
                Layout.fillWidth: true
                focusPolicy: Qt.StrongFocus
                Accessible.name: "Model"
                model: root.remote.models
                currentIndex: root.remote.models.indexOf(root.remote.model)
                displayText: currentIndex < 0 ? "Choose a model" : currentText
                onActivated: index => root.remote.chooseModel(root.remote.models[index])
            }
        }
    }
}

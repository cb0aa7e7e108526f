#pragma once

#include "agent/remoteenginekeys.h"
#include "core/remoteclient.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <QCoroTask>

// A remote engine, as Settings sets it up: the address and key are checked with /v1/models,
// the user picks one of the server's models, and from then on it is the one in use. The
// address and model are preferences; the keys live only in the keychain (and in memory),
// each for the server it was typed for. It knows nothing of the local engine: EngineChoice
// makes the two into the one engine the app talks to.
class RemoteEngine : public QObject
{
    Q_OBJECT
    // The section shows the remote form (the user picked "Remote server").
    Q_PROPERTY(bool remoteChosen READ remoteChosen WRITE setRemoteChosen NOTIFY changed)
    // The remote engine is the one in use: a server is connected and a model chosen (at
    // launch, from the moment the remembered one is restored).
    Q_PROPERTY(bool isActive READ isActive NOTIFY changed)
    Q_PROPERTY(QString address READ address NOTIFY changed)
    Q_PROPERTY(QString host READ host NOTIFY changed)
    // Some server's key is in the keychain ("Forget Key" removes them all).
    Q_PROPERTY(bool hasStoredKey READ hasStoredKey NOTIFY changed)
    // The origins (see origin()) whose keys are in the keychain.
    Q_PROPERTY(QStringList keyOrigins READ keyOrigins NOTIFY changed)
    Q_PROPERTY(QStringList models READ models NOTIFY changed)
    Q_PROPERTY(QString model READ model NOTIFY changed)
    Q_PROPERTY(bool isConnecting READ isConnecting NOTIFY changed)
    // What the last step came to; messageIsError marks a failure.
    Q_PROPERTY(QString message READ message NOTIFY changed)
    Q_PROPERTY(bool messageIsError READ messageIsError NOTIFY changed)
    // "This Mac" as the platform names it.
    Q_PROPERTY(QString localLabel READ localLabel CONSTANT)

public:
    // keychainService groups the key's entry (tests use one of their own).
    explicit RemoteEngine(QString keychainService = QStringLiteral("Tovra AI"),
                          QObject *parent = nullptr);

    bool remoteChosen() const { return m_remoteChosen; }
    void setRemoteChosen(bool chosen);
    bool isActive() const { return m_active; }
    // Active, with its key at hand: turns may go to it. At launch the key is read from the
    // keychain a moment after the engine became active.
    bool isReady() const { return m_active && !m_keyPending; }
    QString address() const { return m_address; }
    QString host() const { return m_client->host(); }
    bool hasStoredKey() const { return !m_keys.origins().isEmpty(); }
    QStringList keyOrigins() const { return m_keys.origins(); }
    QStringList models() const { return m_models; }
    QString model() const { return m_active ? m_client->model() : QString(); }
    bool isConnecting() const { return m_connecting; }
    QString message() const { return m_message; }
    bool messageIsError() const { return m_messageIsError; }
    RemoteClient *client() const { return m_client; }
    QString localLabel() const;

    // Why an address cannot be used (empty when it can), and whether it is unencrypted.
    Q_INVOKABLE QString addressProblem(const QString &address) const;
    Q_INVOKABLE bool isUnencrypted(const QString &address) const;
    // The server an address names, as its key is kept: "https://host:443".
    Q_INVOKABLE QString origin(const QString &address) const
    {
        return RemoteEngineKeys::origin(address);
    }

    // Checks the server with the key (empty: the one kept for that server, if any) and
    // lists its models.
    Q_INVOKABLE void connectToServer(const QString &address, const QString &key);
    QCoro::Task<bool> connectTo(QString address, QString key);
    // Uses the connected server's model from now on, and remembers it all.
    Q_INVOKABLE void chooseModel(const QString &model);
    QCoro::Task<bool> useModel(QString model);
    // Back to this computer's engine (the remembered server stays for later).
    Q_INVOKABLE void useThisComputer();
    // Removes every server's key from the keychain.
    Q_INVOKABLE void forgetKey();
    // Removes the keys, the address and the model ("Delete All Data").
    Q_INVOKABLE void forget() { forgetAll(); }
    QCoro::Task<> forgetAll();
    // At launch: the remembered remote engine, when one was in use.
    QCoro::Task<> restore();

signals:
    void changed();
    // isActive changed; when it went off, the local engine may start again.
    void activeChanged();

private:
    void setMessage(const QString &text, bool isError);
    void setActive(bool active);
    QCoro::Task<> loadKeys();

    RemoteEngineKeys m_keys;
    RemoteClient *m_client = nullptr; // the one in use
    RemoteClient *m_probe = nullptr;  // checks an address before it is used
    bool m_remoteChosen = false;
    bool m_active = false;
    // Restored at launch, the key not yet read.
    bool m_keyPending = false;
    bool m_connecting = false;
    QString m_address;
    // The server and key that were checked with the listed models.
    QString m_probeAddress;
    QString m_probeKey;
    QStringList m_models;
    QString m_message;
    bool m_messageIsError = false;
};

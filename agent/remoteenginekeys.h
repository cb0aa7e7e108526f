#pragma once

#include "platform/keychain.h"

#include <QHash>
#include <QStringList>

#include <QCoroTask>

#include <memory>
#include <optional>

// The API keys of remote engines, one per server origin (scheme, host, port), kept together
// in one keychain entry so that forgetting them all is one removal. A key is looked up by
// the origin of the address it is for, so a key typed for one server is never sent to
// another. The keys stay in memory after the first read: two changes in flight then
// cannot undo each other.
class RemoteEngineKeys
{
public:
    // rememberedAddress: the server that a key kept by earlier versions (one entry for
    // whatever server was typed) belongs to; without one that key is dropped, not guessed.
    RemoteEngineKeys(QString keychainService, QString rememberedAddress);

    // "https://host:443" for every spelling of that server's address; empty for an address
    // that names no server.
    static QString origin(const QString &address);

    // Reads the keys once (later calls answer at once).
    QCoro::Task<Keychain::Result> load() { return load(m_state); }
    QStringList origins() const;
    // The key kept for the address's server; empty when there is none.
    QString keyFor(const QString &address) const;
    // Keeps the key for the address's server; an empty key removes that server's key.
    QCoro::Task<Keychain::Result> store(QString address, QString key)
    {
        return store(m_state, std::move(address), std::move(key));
    }
    // Every kept key, the earlier versions' entry too.
    QCoro::Task<Keychain::Result> removeAll() { return removeAll(m_state); }

private:
    // Shared with the steps in flight, which may outlive this.
    struct State
    {
        Keychain keychain;
        QString rememberedAddress;
        std::optional<QHash<QString, QString>> keys; // origin -> key, once read
    };
    static QCoro::Task<Keychain::Result> load(std::shared_ptr<State> state);
    static QCoro::Task<Keychain::Result> store(std::shared_ptr<State> state,
                                               QString address,
                                               QString key);
    static QCoro::Task<Keychain::Result> removeAll(std::shared_ptr<State> state);
    static QCoro::Task<Keychain::Result> save(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;
};

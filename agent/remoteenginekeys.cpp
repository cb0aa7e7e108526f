#include "agent/remoteenginekeys.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

const QString keysEntry = QStringLiteral("remote-engine-api-keys");
// Where earlier versions kept one key for whatever server was typed.
const QString earlierEntry = QStringLiteral("remote-engine-api-key");

Keychain::Result done()
{
    return {true, std::nullopt, {}};
}

} // namespace

RemoteEngineKeys::RemoteEngineKeys(QString keychainService, QString rememberedAddress)
    : m_state(std::make_shared<State>(
        State{Keychain(std::move(keychainService)), std::move(rememberedAddress), {}}))
{}

QString RemoteEngineKeys::origin(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("https")  ? 443
                            : scheme == QLatin1String("http") ? 80
                                                              : -1;
    if (!url.isValid() || url.host().isEmpty() || defaultPort < 0)
        return {};
    // QUrl already lower-cases host names; international ones are compared in ASCII form.
    const QString host = url.host(QUrl::FullyEncoded);
    return scheme + QStringLiteral("://") + (host.contains(u':') ? u'[' + host + u']' : host) + u':'
           + QString::number(url.port(defaultPort));
}

QStringList RemoteEngineKeys::origins() const
{
    return m_state->keys ? m_state->keys->keys() : QStringList();
}

QString RemoteEngineKeys::keyFor(const QString &address) const
{
    const QString server = origin(address);
    return m_state->keys && !server.isEmpty() ? m_state->keys->value(server) : QString();
}

QCoro::Task<Keychain::Result> RemoteEngineKeys::load(std::shared_ptr<State> state)
{
    if (state->keys)
        co_return done();
    const Keychain::Result stored = co_await state->keychain.read(keysEntry);
    if (!stored.ok)
        co_return stored;
    const Keychain::Result earlier = co_await state->keychain.read(earlierEntry);
    if (state->keys) // another read finished first, and may have changed them since
        co_return done();
    QHash<QString, QString> keys;
    const QJsonObject object
        = QJsonDocument::fromJson(stored.value.value_or(QString()).toUtf8()).object();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.value().isString())
            keys.insert(it.key(), it.value().toString());
    state->keys = std::move(keys);
    if (!earlier.value)
        co_return done();

    // Earlier versions kept the key with the address it was last used with, and sent it to
    // any address typed later: it now belongs to that remembered server alone.
    const QString remembered = origin(state->rememberedAddress);
    if (!remembered.isEmpty() && !state->keys->contains(remembered)) {
        state->keys->insert(remembered, *earlier.value);
        const Keychain::Result saved = co_await save(state);
        if (!saved.ok) // the earlier entry stays until the move succeeds
            co_return done();
    }
    co_await state->keychain.remove(earlierEntry);
    co_return done();
}

QCoro::Task<Keychain::Result> RemoteEngineKeys::store(std::shared_ptr<State> state,
                                                      QString address,
                                                      QString key)
{
    const Keychain::Result loaded = co_await load(state);
    const QString server = origin(address);
    if (!loaded.ok || server.isEmpty())
        co_return loaded;
    const std::optional<QString> before
        = state->keys->contains(server) ? std::optional(state->keys->value(server)) : std::nullopt;
    if (before.value_or(QString()) == key)
        co_return done();
    if (key.isEmpty())
        state->keys->remove(server);
    else
        state->keys->insert(server, key);
    const Keychain::Result saved = co_await save(state);
    if (!saved.ok && before)
        state->keys->insert(server, *before);
    else if (!saved.ok)
        state->keys->remove(server);
    co_return saved;
}

QCoro::Task<Keychain::Result> RemoteEngineKeys::removeAll(std::shared_ptr<State> state)
{
    const Keychain::Result removed = co_await state->keychain.remove(keysEntry);
    const Keychain::Result earlier = co_await state->keychain.remove(earlierEntry);
    if (removed.ok)
        state->keys.emplace();
    co_return removed.ok ? earlier : removed;
}

QCoro::Task<Keychain::Result> RemoteEngineKeys::save(std::shared_ptr<State> state)
{
    if (state->keys->isEmpty())
        co_return co_await state->keychain.remove(keysEntry);
    QJsonObject object;
    for (auto it = state->keys->cbegin(); it != state->keys->cend(); ++it)
        object.insert(it.key(), it.value());
    co_return co_await state->keychain.write(keysEntry,
                                             QString::fromUtf8(QJsonDocument(object).toJson(
                                                 QJsonDocument::Compact)));
}

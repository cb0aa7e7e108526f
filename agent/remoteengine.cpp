#include "agent/remoteengine.h"

#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "platform/wording.h"

#include <QPointer>
#include <QSslConfiguration>

RemoteEngine::RemoteEngine(QString keychainService, QObject *parent)
    : QObject(parent)
    , m_keys(std::move(keychainService),
             Preferences::string(PreferenceKey::remoteEngineAddress).value_or(QString()))
    , m_client(new RemoteClient(this))
    , m_probe(new RemoteClient(this))
{
    m_address = Preferences::string(PreferenceKey::remoteEngineAddress).value_or(QString());
    // A cluster with a private CA: its certificates are trusted besides the system's.
    if (const QString file = qEnvironmentVariable("TOVRA_CA_FILE"); !file.isEmpty())
        m_client->setCaCertificates(QSslConfiguration::systemCaCertificates()
                                    + QSslCertificate::fromPath(file));
}

void RemoteEngine::setRemoteChosen(bool chosen)
{
    if (m_remoteChosen == chosen)
        return;
    if (!chosen) {
        useThisComputer();
        return;
    }
    m_remoteChosen = true;
    emit changed();
    // Which servers have a key shows in the form.
    loadKeys();
}

QCoro::Task<> RemoteEngine::loadKeys()
{
    const QPointer<RemoteEngine> self(this);
    const Keychain::Result loaded = co_await m_keys.load();
    if (!self)
        co_return;
    if (!loaded.ok)
        setMessage(loaded.error, true);
    emit changed();
}

QString RemoteEngine::localLabel() const
{
    return platformWording(QStringLiteral("This Mac"));
}

QString RemoteEngine::addressProblem(const QString &address) const
{
    return RemoteClient::addressProblem(address);
}

bool RemoteEngine::isUnencrypted(const QString &address) const
{
    return RemoteClient::isUnencrypted(address);
}

void RemoteEngine::setMessage(const QString &text, bool isError)
{
    m_message = text;
    m_messageIsError = isError;
    emit changed();
}

void RemoteEngine::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    emit changed();
    emit activeChanged();
}

void RemoteEngine::connectToServer(const QString &address, const QString &key)
{
    connectTo(address, key);
}

QCoro::Task<bool> RemoteEngine::connectTo(QString address, QString key)
{
    const QPointer<RemoteEngine> self(this);
    // The field shows this: what the user typed stays there whatever the answer.
    m_address = address.trimmed();
    // The models listed belong to the server checked before: none of them may be chosen now.
    m_models.clear();
    m_probeAddress.clear();
    m_probeKey.clear();
    if (const QString problem = RemoteClient::addressProblem(address); !problem.isEmpty()) {
        setMessage(problem, true);
        co_return false;
    }
    m_connecting = true;
    m_probe->setServer(address, QString());
    setMessage(QStringLiteral("Connecting to %1…").arg(m_probe->host()), false);
    if (key.isEmpty()) {
        // Only this server's own key: one typed for another server never goes here.
        co_await m_keys.load();
        if (!self)
            co_return false;
        key = m_keys.keyFor(address);
    }
    m_probe->setServer(address, key);
    m_probe->setCaCertificates(m_client->caCertificates());
    const ModelListResult result = co_await m_probe->listModels();
    if (!self)
        co_return false;
    m_connecting = false;
    if (result.error) {
        setMessage(result.error->description, true);
        co_return false;
    }
    m_probeAddress = address.trimmed();
    m_probeKey = key;
    m_models = result.models;
    setMessage(result.models.size() == 1
                   ? QStringLiteral("Connected to %1. Pick its model to use it.").arg(m_probe->host())
                   : QStringLiteral("Connected to %1. Pick one of its %2 models to use it.")
                         .arg(m_probe->host())
                         .arg(result.models.size()),
               false);
    co_return true;
}

void RemoteEngine::chooseModel(const QString &model)
{
    useModel(model);
}

QCoro::Task<bool> RemoteEngine::useModel(QString model)
{
    const QPointer<RemoteEngine> self(this);
    if (!m_models.contains(model))
        co_return false;
    m_client->setServer(m_probeAddress, m_probeKey);
    m_client->setModel(model);
    Preferences::setString(PreferenceKey::remoteEngineAddress, m_probeAddress);
    Preferences::setString(PreferenceKey::remoteEngineModel, model);
    Preferences::setBoolean(PreferenceKey::remoteEngineInUse, true);
    Preferences::sync();
    m_remoteChosen = true;
    m_keyPending = false;
    // Another model or server while one is in use changes what is shown, not the engine in use.
    if (m_active)
        emit changed();
    setActive(true);
    // A key that cannot be kept is still used now; the user hears that it is not kept.
    const Keychain::Result kept = co_await m_keys.store(m_probeAddress, m_probeKey);
    if (!self)
        co_return false;
    if (!kept.ok) {
        setMessage(kept.error + QStringLiteral(" The key is used until the app quits."), true);
        co_return true;
    }
    setMessage(QStringLiteral("Using %1 on %2.").arg(model, m_client->host()), false);
    co_return true;
}

void RemoteEngine::useThisComputer()
{
    const bool wasActive = m_active;
    m_remoteChosen = false;
    m_keyPending = false;
    m_models.clear();
    m_message.clear();
    Preferences::setBoolean(PreferenceKey::remoteEngineInUse, false);
    Preferences::sync();
    emit changed();
    if (wasActive)
        setActive(false);
}

void RemoteEngine::forgetKey()
{
    [](QPointer<RemoteEngine> self) -> QCoro::Task<> {
        const Keychain::Result removed = co_await self->m_keys.removeAll();
        if (!self)
            co_return;
        self->setMessage(removed.ok ? QStringLiteral("The keys were removed from the keychain.")
                                    : removed.error,
                         !removed.ok);
    }(QPointer(this));
}

QCoro::Task<> RemoteEngine::forgetAll()
{
    const QPointer<RemoteEngine> self(this);
    useThisComputer();
    for (const QString &key : {PreferenceKey::remoteEngineAddress,
                               PreferenceKey::remoteEngineModel,
                               PreferenceKey::remoteEngineInUse})
        Preferences::remove(key);
    Preferences::sync();
    m_address.clear();
    m_probeAddress.clear();
    m_probeKey.clear();
    m_client->setServer(QString(), QString());
    co_await m_keys.removeAll();
    if (!self)
        co_return;
    emit changed();
}

QCoro::Task<> RemoteEngine::restore()
{
    const QPointer<RemoteEngine> self(this);
    const QString model = Preferences::string(PreferenceKey::remoteEngineModel).value_or(QString());
    if (!Preferences::boolean(PreferenceKey::remoteEngineInUse) || m_address.isEmpty()
        || model.isEmpty() || !RemoteClient::addressProblem(m_address).isEmpty())
        co_return;
    m_client->setServer(m_address, QString());
    m_client->setModel(model);
    m_remoteChosen = true;
    // In use before anything may start the local engine at launch; ready once the key is in.
    m_keyPending = true;
    setActive(true);
    const Keychain::Result loaded = co_await m_keys.load();
    // Settings chose another engine meanwhile: that choice stands.
    if (!self || !m_keyPending)
        co_return;
    m_keyPending = false;
    if (!loaded.ok)
        setMessage(loaded.error, true);
    m_client->setServer(m_address, m_keys.keyFor(m_address));
    emit changed();
}

#include "agent/enginechoice.h"

#include "agent/remoteengine.h"
#include "engine/servermanager.h"

#include <algorithm>
#include <utility>

namespace {

QString remoteModelName(const QString &id)
{
    static const QString extension = QStringLiteral(".gguf");
    const qsizetype separator = std::max(id.lastIndexOf(u'/'), id.lastIndexOf(u'\\'));
    // "org/model" is a hub id, not a path: the whole of it names the model.
    const bool isPath
        = id.startsWith(u'/') || (separator >= 0 && id.endsWith(extension, Qt::CaseInsensitive));
    if (!isPath)
        return id;
    QString name = id.mid(separator + 1);
    if (name.endsWith(extension, Qt::CaseInsensitive))
        name.chop(extension.size());
    return name.isEmpty() ? id : name;
}

} // namespace

EngineChoice::EngineChoice(ServerManager *local, RemoteEngine *remote, QObject *parent)
    : QObject(parent)
    , m_local(local)
    , m_remote(remote)
{
    if (local) {
        for (auto signal : {&ServerManager::isRunningChanged,
                            &ServerManager::isStartingChanged,
                            &ServerManager::statusMessageChanged,
                            &ServerManager::activeModelNameChanged})
            connect(local, signal, this, &EngineChoice::refresh);
        connect(local, &ServerManager::contextSizeChanged, this, &EngineChoice::contextSizeChanged);
        connect(this, &EngineChoice::isRemoteChanged, this, &EngineChoice::contextSizeChanged);
        connect(local, &ServerManager::seesImagesChanged, this, &EngineChoice::seesImagesChanged);
        connect(this, &EngineChoice::isRemoteChanged, this, &EngineChoice::seesImagesChanged);
        connect(local, &ServerManager::startEnded, this, [this] {
            if (!isRemote())
                emit startEnded();
        });
    }
    if (remote)
        connect(remote, &RemoteEngine::changed, this, &EngineChoice::refresh);
    m_shown = current();
    if (m_shown.remote && local)
        local->hold();
}

RemoteClient *EngineChoice::remoteClient() const
{
    return isRemote() && m_remote ? m_remote->client() : nullptr;
}

EngineChoice::Shown EngineChoice::current() const
{
    if (m_remote && m_remote->isActive()) {
        const QString label = QStringLiteral("Remote: ") + m_remote->host();
        const QString model = remoteModelName(m_remote->model());
        return {true,
                m_remote->isReady(),
                false,
                label + QStringLiteral(" — ") + model,
                model,
                label};
    }
    if (!m_local)
        return {false, false, false, ServerManager::noModelLoadedText, {}, {}};
    return {false,
            m_local->isRunning(),
            m_local->isStarting(),
            m_local->statusMessage(),
            m_local->activeModelNameText(),
            {}};
}

void EngineChoice::refresh()
{
    const Shown before = std::exchange(m_shown, current());
    // First, so that a start asked for on hearing of the local engine gets through. Stopping
    // the local engine announces its own changes, which come back here.
    if (before.remote != m_shown.remote && m_local) {
        if (m_shown.remote)
            m_local->hold();
        else
            m_local->release();
    }
    if (before.remote != m_shown.remote)
        emit isRemoteChanged();
    if (before.running != m_shown.running)
        emit isRunningChanged();
    if (before.starting != m_shown.starting)
        emit isStartingChanged();
    if (before.status != m_shown.status)
        emit statusMessageChanged();
    if (before.model != m_shown.model)
        emit modelNameChanged();
    if (before.remoteLabel != m_shown.remoteLabel)
        emit remoteLabelChanged();
}

bool EngineChoice::seesImages() const
{
    return m_local && !isRemote() && m_local->seesImages();
}

QString EngineChoice::localBaseURL() const
{
    return m_local && !isRemote() && m_local->isRunning() ? m_local->baseURL() : QString();
}

int EngineChoice::contextSize() const
{
    return m_local && !isRemote() ? m_local->contextSize() : 0;
}

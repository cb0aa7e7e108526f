#include "ui/settings/toolserversettings.h"

#include <QDesktopServices>
#include <QLocale>

namespace {

QString grouped(int number)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(number);
}

} // namespace

ToolServerSettings::ToolServerSettings(QObject *parent)
    : QObject(parent)
{}

void ToolServerSettings::setRegistry(McpRegistry *registry)
{
    if (m_registry == registry)
        return;
    if (m_registry)
        m_registry->disconnect(this);
    m_registry = registry;
    if (registry) {
        connect(registry, &McpRegistry::toolsChanged, this, &ToolServerSettings::summaryChanged);
        // A server added or gone changes the name suggested for the same text.
        connect(registry, &McpRegistry::serversChanged, this, &ToolServerSettings::formChanged);
    }
    emit registryChanged();
    emit formChanged();
    emit summaryChanged();
}

void ToolServerSettings::setCommandText(const QString &text)
{
    if (m_commandText == text)
        return;
    m_commandText = text;
    emit formChanged();
}

void ToolServerSettings::setNameText(const QString &text)
{
    if (m_nameText == text)
        return;
    m_nameText = text;
    emit formChanged();
}

QString ToolServerSettings::suggestedName() const
{
    if (!m_registry || m_commandText.trimmed().isEmpty())
        return QString();
    return m_registry->suggestedName(m_commandText.trimmed());
}

QString ToolServerSettings::summary() const
{
    if (!m_registry)
        return QString();
    const int servers = m_registry->serverModel()->rowCount();
    if (servers == 0)
        return QStringLiteral("No tool servers yet.");
    const int tools = m_registry->toolCount();
    QString text
        = servers == 1 ? QStringLiteral("1 server") : QStringLiteral("%1 servers").arg(servers);
    if (tools == 0)
        return text + QStringLiteral(" · no tools offered");
    text += tools == 1 ? QStringLiteral(" · 1 tool offered")
                       : QStringLiteral(" · %1 tools offered").arg(grouped(tools));
    return text
           + QStringLiteral(" · about %1 tokens per request")
                 .arg(grouped(m_registry->tokenEstimate()));
}

bool ToolServerSettings::add()
{
    if (!m_registry || !canAdd())
        return false;
    const QString error = m_registry->addServer(m_nameText.trimmed(), m_commandText.trimmed());
    setAddError(error);
    if (!error.isEmpty())
        return false;
    m_commandText.clear();
    m_nameText.clear();
    emit formChanged();
    return true;
}

void ToolServerSettings::remove(const QString &name)
{
    if (m_registry)
        setActionError(m_registry->removeServer(name));
}

void ToolServerSettings::setServerEnabled(const QString &name, bool enabled)
{
    if (m_registry)
        setActionError(m_registry->setServerEnabled(name, enabled));
}

void ToolServerSettings::restart(const QString &name)
{
    if (m_registry)
        m_registry->restartServer(name);
}

void ToolServerSettings::setToolEnabled(const QString &server, const QString &tool, bool enabled)
{
    if (m_registry)
        m_registry->setToolEnabled(server, tool, enabled);
}

void ToolServerSettings::revoke(const QString &server, const QString &tool)
{
    if (m_registry)
        setActionError(m_registry->revokeAlwaysAllow(server, tool));
}

void ToolServerSettings::openConfigFile()
{
    if (!m_registry)
        return;
    if (!m_registry->ensureConfigFile()) {
        setActionError(QStringLiteral("%1 could not be created.").arg(m_registry->configPath()));
        return;
    }
    setActionError(QDesktopServices::openUrl(m_registry->configUrl())
                       ? QString()
                       : QStringLiteral("No application opened %1.").arg(m_registry->configPath()));
}

QString ToolServerSettings::tokenText(int tokens)
{
    if (tokens <= 0)
        return QStringLiteral("No tools offered");
    return QStringLiteral("About %1 tokens per request").arg(grouped(tokens));
}

QString ToolServerSettings::logTail(const QString &log)
{
    QStringList lines = log.trimmed().split(u'\n');
    if (lines.size() > logTailLines)
        lines = lines.mid(lines.size() - logTailLines);
    return lines.join(u'\n');
}

void ToolServerSettings::setAddError(const QString &error)
{
    if (m_addError == error)
        return;
    m_addError = error;
    emit addErrorChanged();
}

void ToolServerSettings::setActionError(const QString &error)
{
    if (m_actionError == error)
        return;
    m_actionError = error;
    emit actionErrorChanged();
}

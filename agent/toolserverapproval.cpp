#include "agent/toolserverapproval.h"

#include "agent/agentmanager.h"

#include "mcp/tooloutput.h"

ToolServerApproval::ToolServerApproval(AgentManager *agent)
    : QObject(agent)
    , m_agent(agent)
{}

void ToolServerApproval::update()
{
    AgentState *state = m_agent->agentState();
    const std::optional<ToolCall> &call = state ? state->pendingApproval() : std::nullopt;
    McpRegistry *servers = m_agent->toolServers();
    m_isToolServerCall = call && McpRegistry::isServerToolName(call->name);
    m_serverName.clear();
    m_toolName.clear();
    m_toolTitle.clear();
    m_description.clear();
    m_argumentsJson.clear();
    m_readOnlyHint = false;
    m_canAlwaysAllow = false;
    if (m_isToolServerCall) {
        const auto ref = servers ? servers->find(call->name) : std::nullopt;
        nlohmann::json schema = nlohmann::json::object();
        if (ref) {
            m_serverName = ref->server;
            m_toolName = ref->tool.name;
            m_toolTitle = ref->tool.title.isEmpty() ? ref->tool.name : ref->tool.title;
            m_description = ref->tool.description;
            m_readOnlyHint = ref->tool.readOnlyHint();
            m_canAlwaysAllow = !m_agent->remoteClient();
            schema = ref->tool.inputSchema;
        } else {
            // A server that is gone: its parts as the name spells them.
            const QStringList parts
                = call->name.mid(McpRegistry::toolPrefix.size()).split(QStringLiteral("__"));
            m_serverName = parts.value(0);
            m_toolName = m_toolTitle = parts.mid(1).join(QStringLiteral("__"));
        }
        m_argumentsJson = qText(McpToolText::arguments(call->arguments, schema)
                                    .dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    emit changed();
}

void ToolServerApproval::approveAlways()
{
    AgentState *state = m_agent->agentState();
    if (!state || !state->hasPendingApproval())
        return;
    McpRegistry *servers = m_agent->toolServers();
    if (m_isToolServerCall && m_canAlwaysAllow && servers && !m_toolName.isEmpty())
        servers->allowAlways(m_serverName, m_toolName);
    state->resolveApproval(true);
}

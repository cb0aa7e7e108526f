#pragma once

// The shared objects of the other subsystems as QML types. QML sees them through
// the properties of AppModel and never creates them.

#include "agent/agentmanager.h"
#include "agent/enginechoice.h"
#include "agent/remoteengine.h"
#include "agent/toolserverapproval.h"
#include "core/agentstate.h"
#include "core/messagelistmodel.h"
#include "engine/enginesetup.h"
#include "engine/servermanager.h"
#include "mcp/mcpregistry.h"
#include "models/modellistmodel.h"
#include "models/modelmanager.h"

#include <QtQml/qqml.h>

struct ForeignAgentState
{
    Q_GADGET
    QML_FOREIGN(AgentState)
    QML_NAMED_ELEMENT(AgentState)
    QML_UNCREATABLE("Provided by AppModel")
};

struct ForeignMessageListModel
{
    Q_GADGET
    QML_FOREIGN(MessageListModel)
    QML_NAMED_ELEMENT(MessageListModel)
    QML_UNCREATABLE("Provided by AgentState")
};

struct ForeignSessionListModel
{
    Q_GADGET
    QML_FOREIGN(SessionListModel)
    QML_NAMED_ELEMENT(SessionListModel)
    QML_UNCREATABLE("Provided by AgentState")
};

struct ForeignServerManager
{
    Q_GADGET
    QML_FOREIGN(ServerManager)
    QML_NAMED_ELEMENT(ServerManager)
    QML_UNCREATABLE("Provided by AppModel")
};

struct ForeignModelManager
{
    Q_GADGET
    QML_FOREIGN(ModelManager)
    QML_NAMED_ELEMENT(ModelManager)
    QML_UNCREATABLE("Provided by AppModel")
};

struct ForeignModelListModel
{
    Q_GADGET
    QML_FOREIGN(ModelListModel)
    QML_NAMED_ELEMENT(ModelListModel)
    QML_UNCREATABLE("Provided by ModelManager")
};

struct ForeignAgentManager
{
    Q_GADGET
    QML_FOREIGN(AgentManager)
    QML_NAMED_ELEMENT(AgentManager)
    QML_UNCREATABLE("Provided by AppModel")
};

struct ForeignRemoteEngine
{
    Q_GADGET
    QML_FOREIGN(RemoteEngine)
    QML_NAMED_ELEMENT(RemoteEngine)
    QML_UNCREATABLE("Provided by AppModel")
};

struct ForeignEngineChoice
{
    Q_GADGET
    QML_FOREIGN(EngineChoice)
    QML_NAMED_ELEMENT(EngineChoice)
    QML_UNCREATABLE("Provided by AppModel")
};

struct ForeignEngineSetup
{
    Q_GADGET
    QML_FOREIGN(EngineSetup)
    QML_NAMED_ELEMENT(EngineSetup)
    QML_UNCREATABLE("Only its enum is used")
};

struct ForeignToolServerApproval
{
    Q_GADGET
    QML_FOREIGN(ToolServerApproval)
    QML_NAMED_ELEMENT(ToolServerApproval)
    QML_UNCREATABLE("Provided by AgentManager")
};

struct ForeignMcpRegistry
{
    Q_GADGET
    QML_FOREIGN(McpRegistry)
    QML_NAMED_ELEMENT(McpRegistry)
    QML_UNCREATABLE("Provided by AppModel")
};

struct ForeignMcpServerListModel
{
    Q_GADGET
    QML_FOREIGN(McpServerListModel)
    QML_NAMED_ELEMENT(McpServerListModel)
    QML_UNCREATABLE("Provided by McpRegistry")
};

struct ForeignMcpToolListModel
{
    Q_GADGET
    QML_FOREIGN(McpToolListModel)
    QML_NAMED_ELEMENT(McpToolListModel)
    QML_UNCREATABLE("Provided by McpRegistry")
};

struct ForeignMcpAlwaysAllowModel
{
    Q_GADGET
    QML_FOREIGN(McpAlwaysAllowModel)
    QML_NAMED_ELEMENT(McpAlwaysAllowModel)
    QML_UNCREATABLE("Provided by McpRegistry")
};

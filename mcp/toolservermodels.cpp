#include "mcp/toolservermodels.h"

QVariant McpServerListModel::data(const QModelIndex &index, int role) const
{
    const McpServerRow *row = rowAt(index);
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return row->name;
    case StateRole:
        return row->state;
    case StateTextRole:
        return row->stateText;
    case FailureRole:
        return row->failure;
    case LogRole:
        return row->log;
    case CommandLineRole:
        return row->commandLine;
    case IsRemoteRole:
        return row->isRemote;
    case EnabledRole:
        return row->enabled;
    case ToolCountRole:
        return row->toolCount;
    case EnabledToolCountRole:
        return row->enabledToolCount;
    case TokenEstimateRole:
        return row->tokenEstimate;
    case ToolsRole:
        return QVariant::fromValue(static_cast<QObject *>(row->tools.data()));
    default:
        return {};
    }
}

QHash<int, QByteArray> McpServerListModel::roleNames() const
{
    return {{NameRole, "name"},
            {StateRole, "state"},
            {StateTextRole, "stateText"},
            {FailureRole, "failure"},
            {LogRole, "log"},
            {CommandLineRole, "commandLine"},
            {IsRemoteRole, "isRemote"},
            {EnabledRole, "enabled"},
            {ToolCountRole, "toolCount"},
            {EnabledToolCountRole, "enabledToolCount"},
            {TokenEstimateRole, "tokenEstimate"},
            {ToolsRole, "tools"}};
}

QVariant McpToolListModel::data(const QModelIndex &index, int role) const
{
    const McpToolRow *row = rowAt(index);
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return row->name;
    case TitleRole:
        return row->title.isEmpty() ? row->name : row->title;
    case DescriptionRole:
        return row->description;
    case ExposedNameRole:
        return row->exposedName;
    case EnabledRole:
        return row->enabled;
    case ReadOnlyHintRole:
        return row->readOnlyHint;
    case AlwaysAllowedRole:
        return row->alwaysAllowed;
    default:
        return {};
    }
}

QHash<int, QByteArray> McpToolListModel::roleNames() const
{
    return {{NameRole, "name"},
            {TitleRole, "title"},
            {DescriptionRole, "description"},
            {ExposedNameRole, "exposedName"},
            {EnabledRole, "enabled"},
            {ReadOnlyHintRole, "readOnlyHint"},
            {AlwaysAllowedRole, "alwaysAllowed"}};
}

QVariant McpAlwaysAllowModel::data(const QModelIndex &index, int role) const
{
    const McpAlwaysAllowRow *row = rowAt(index);
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return row->server + QStringLiteral(" \u2014 ") + row->tool;
    case ServerRole:
        return row->server;
    case ToolRole:
        return row->tool;
    case InConfigFileRole:
        return row->inConfigFile;
    default:
        return {};
    }
}

QHash<int, QByteArray> McpAlwaysAllowModel::roleNames() const
{
    return {{ServerRole, "server"}, {ToolRole, "tool"}, {InConfigFileRole, "inConfigFile"}};
}

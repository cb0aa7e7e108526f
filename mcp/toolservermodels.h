#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QPointer>

#include <algorithm>

// The lists the Settings screen shows of the tool servers. Each is replaced whole by the
// registry; a list with the same keys changes only the rows that differ.
template<typename Row>
class RowListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    const QList<Row> &rows() const { return m_rows; }

    void setRows(QList<Row> rows)
    {
        const bool sameKeys
            = rows.size() == m_rows.size()
              && std::equal(rows.cbegin(),
                            rows.cend(),
                            m_rows.cbegin(),
                            [](const Row &a, const Row &b) { return a.key() == b.key(); });
        if (!sameKeys) {
            beginResetModel();
            m_rows = std::move(rows);
            endResetModel();
            return;
        }
        for (qsizetype row = 0; row < rows.size(); ++row) {
            if (rows.at(row) == m_rows.at(row))
                continue;
            m_rows[row] = rows.at(row);
            emit dataChanged(index(int(row)), index(int(row)));
        }
    }

protected:
    const Row *rowAt(const QModelIndex &index) const
    {
        return index.isValid() && index.row() < m_rows.size() ? &m_rows.at(index.row()) : nullptr;
    }

private:
    QList<Row> m_rows;
};

class McpToolListModel;

struct McpServerRow
{
    QString name;
    QString state;       // "disabled", "starting", "ready", "failed", "stopped"
    QString stateText;   // "Ready — 14 tools"
    QString failure;     // why it failed; empty otherwise
    QString log;         // the server's error stream, last 64 KiB
    QString commandLine; // command and arguments, or the address
    bool isRemote = false;
    bool enabled = true;
    int toolCount = 0;
    int enabledToolCount = 0;
    int tokenEstimate = 0;
    QPointer<McpToolListModel> tools;

    QString key() const { return name; }
    friend bool operator==(const McpServerRow &, const McpServerRow &) = default;
};

class McpServerListModel : public RowListModel<McpServerRow>
{
    Q_OBJECT

public:
    enum Roles {
        NameRole = Qt::UserRole + 1, /**< The server's name in mcp.json. */
        StateRole,                   /**< "disabled", "starting", "ready", "failed" or "stopped". */
        StateTextRole, /**< The state for people: "Starting…", "Ready — 14 tools", "Failed: …". */
        FailureRole,     /**< Why it failed; empty unless failed. */
        LogRole,         /**< The server's log (error stream), its last 64 KiB. */
        CommandLineRole, /**< The command line of a local server, the address of a remote one. */
        IsRemoteRole,    /**< Reached over HTTP rather than started here. */
        EnabledRole,     /**< Not "disabled" in mcp.json (the server's switch). */
        ToolCountRole,   /**< Tools the server lists. */
        EnabledToolCountRole, /**< Of those, the ones offered to the model. */
        TokenEstimateRole, /**< Rough tokens its offered tool definitions add to every request. */
        ToolsRole,         /**< Its tools, a McpToolListModel. */
    };
    Q_ENUM(Roles)

    using RowListModel::RowListModel;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
};

struct McpToolRow
{
    QString name;
    QString title;
    QString description;
    QString exposedName; // "mcp__files__read_file", as the model sees it
    bool enabled = true;
    bool readOnlyHint = false;
    bool alwaysAllowed = false;

    QString key() const { return name; }
    friend bool operator==(const McpToolRow &, const McpToolRow &) = default;
};

class McpToolListModel : public RowListModel<McpToolRow>
{
    Q_OBJECT

public:
    enum Roles {
        NameRole = Qt::UserRole + 1, /**< The tool's name on its server. */
        TitleRole,                   /**< Its title; the name when the server gives none. */
        DescriptionRole,             /**< What the server says it does. */
        ExposedNameRole,             /**< The name the model calls it by: "mcp__server__tool". */
        EnabledRole,                 /**< Offered to the model (the tool's switch). */
        ReadOnlyHintRole,  /**< The server says it changes nothing (shown, never trusted). */
        AlwaysAllowedRole, /**< Runs without asking (see McpAlwaysAllowModel). */
    };
    Q_ENUM(Roles)

    using RowListModel::RowListModel;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
};

struct McpAlwaysAllowRow
{
    QString server;
    QString tool;
    bool inConfigFile = false; // listed in mcp.json's alwaysAllow or autoApprove

    QString key() const { return server + u'\n' + tool; }
    friend bool operator==(const McpAlwaysAllowRow &, const McpAlwaysAllowRow &) = default;
};

class McpAlwaysAllowModel : public RowListModel<McpAlwaysAllowRow>
{
    Q_OBJECT

public:
    enum Roles {
        ServerRole = Qt::UserRole + 1, /**< The server's name. */
        ToolRole,                      /**< The tool's name on that server. */
        InConfigFileRole,              /**< Listed in mcp.json (Revoke removes it there too). */
    };
    Q_ENUM(Roles)

    using RowListModel::RowListModel;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
};

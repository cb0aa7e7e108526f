#pragma once

#include "mcp/mcpregistry.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The "Tool Servers" section's decisions: the Add form (a command line or an address, a name
// suggested for it), what each action answered, and the texts of the lines it shows. The
// registry does the work; its lists are drawn as they are.
class ToolServerSettings : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(McpRegistry *registry READ registry WRITE setRegistry NOTIFY registryChanged)
    // The Add form: what the user typed, and the name used when the name field stays empty.
    Q_PROPERTY(QString commandText READ commandText WRITE setCommandText NOTIFY formChanged)
    Q_PROPERTY(QString nameText READ nameText WRITE setNameText NOTIFY formChanged)
    Q_PROPERTY(QString suggestedName READ suggestedName NOTIFY formChanged)
    Q_PROPERTY(bool canAdd READ canAdd NOTIFY formChanged)
    // Why the last Add failed; empty after one that worked.
    Q_PROPERTY(QString addError READ addError NOTIFY addErrorChanged)
    // Why the last Remove, switch, Revoke or "Open mcp.json" failed; empty when it worked.
    Q_PROPERTY(QString actionError READ actionError NOTIFY actionErrorChanged)
    // "2 servers · 17 tools offered · about 3,400 tokens per request"
    Q_PROPERTY(QString summary READ summary NOTIFY summaryChanged)

public:
    explicit ToolServerSettings(QObject *parent = nullptr);

    McpRegistry *registry() const { return m_registry; }
    void setRegistry(McpRegistry *registry);
    QString commandText() const { return m_commandText; }
    void setCommandText(const QString &text);
    QString nameText() const { return m_nameText; }
    void setNameText(const QString &text);
    QString suggestedName() const;
    bool canAdd() const { return !m_commandText.trimmed().isEmpty(); }
    QString addError() const { return m_addError; }
    QString actionError() const { return m_actionError; }
    QString summary() const;

    // Adds the server to mcp.json; the form empties when it worked. Returns whether it did.
    Q_INVOKABLE bool add();
    Q_INVOKABLE void remove(const QString &name);
    Q_INVOKABLE void setServerEnabled(const QString &name, bool enabled);
    Q_INVOKABLE void restart(const QString &name);
    Q_INVOKABLE void setToolEnabled(const QString &server, const QString &tool, bool enabled);
    Q_INVOKABLE void revoke(const QString &server, const QString &tool);
    // Makes the file when there is none, then opens it with the desktop's editor.
    Q_INVOKABLE void openConfigFile();

    // "About 1,234 tokens per request"; "No tools offered" for none.
    Q_INVOKABLE static QString tokenText(int tokens);
    // The end of a failed server's log, as much as the section shows: its last lines.
    Q_INVOKABLE static QString logTail(const QString &log);
    static constexpr int logTailLines = 12;

signals:
    void registryChanged();
    void formChanged();
    void addErrorChanged();
    void actionErrorChanged();
    void summaryChanged();

private:
    void setAddError(const QString &error);
    void setActionError(const QString &error);

    QPointer<McpRegistry> m_registry;
    QString m_commandText;
    QString m_nameText;
    QString m_addError;
    QString m_actionError;
};

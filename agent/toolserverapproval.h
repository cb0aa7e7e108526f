#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class AgentManager;

// What the approval prompt shows when the call waiting for the user belongs to a tool server:
// the server, the tool, what the server says it does, the arguments exactly as they will be
// sent (indented JSON), and the server's read-only hint (shown, never trusted). "Always allow
// this tool" is offered only while this computer's engine is in use: a remote engine's calls
// all ask.
class ToolServerApproval : public QObject
{
    Q_OBJECT
    // The pending approval is a tool server's call; the other properties describe it.
    Q_PROPERTY(bool isToolServerCall READ isToolServerCall NOTIFY changed)
    Q_PROPERTY(QString serverName READ serverName NOTIFY changed)
    // The tool's name on its server, and its title (the name when it has none).
    Q_PROPERTY(QString toolName READ toolName NOTIFY changed)
    Q_PROPERTY(QString toolTitle READ toolTitle NOTIFY changed)
    Q_PROPERTY(QString description READ description NOTIFY changed)
    Q_PROPERTY(QString argumentsJson READ argumentsJson NOTIFY changed)
    Q_PROPERTY(bool readOnlyHint READ readOnlyHint NOTIFY changed)
    Q_PROPERTY(bool canAlwaysAllow READ canAlwaysAllow NOTIFY changed)

public:
    explicit ToolServerApproval(AgentManager *agent);

    bool isToolServerCall() const { return m_isToolServerCall; }
    QString serverName() const { return m_serverName; }
    QString toolName() const { return m_toolName; }
    QString toolTitle() const { return m_toolTitle; }
    QString description() const { return m_description; }
    QString argumentsJson() const { return m_argumentsJson; }
    bool readOnlyHint() const { return m_readOnlyHint; }
    bool canAlwaysAllow() const { return m_canAlwaysAllow; }

    // "Always allow this tool": remembers server and tool, then approves the call. Where
    // always-allow is not offered it approves this one call only.
    Q_INVOKABLE void approveAlways();
    // Reads the pending approval again (done on every change of it).
    void update();

signals:
    void changed();

private:
    AgentManager *m_agent;
    bool m_isToolServerCall = false;
    QString m_serverName;
    QString m_toolName;
    QString m_toolTitle;
    QString m_description;
    QString m_argumentsJson;
    bool m_readOnlyHint = false;
    bool m_canAlwaysAllow = false;
};

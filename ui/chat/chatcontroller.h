#pragma once

#include "agent/enginechoice.h"
#include "core/agentstate.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

// The chat screen's state that follows the shared objects: whether the conversation has
// turns, whether the typing indicator shows, the celebration, and what a press of send
// or retry does, including text that waits for a starting engine.
class ChatController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AgentState *state READ state WRITE setState NOTIFY stateChanged)
    // The engine in use, local or remote.
    Q_PROPERTY(EngineChoice *engine READ engine WRITE setEngine NOTIFY engineChanged)
    // Any message is a user or assistant turn; the welcome panel shows otherwise.
    Q_PROPERTY(bool hasTurns READ hasTurns NOTIFY hasTurnsChanged)
    // A reply is awaited and none of it shows yet: no answer, and no thinking while the
    // thinking is shown.
    Q_PROPERTY(bool isTyping READ isTyping NOTIFY isTypingChanged)
    Q_PROPERTY(bool showConfetti READ showConfetti NOTIFY showConfettiChanged)
    // How long the celebration stays, in milliseconds.
    Q_PROPERTY(int celebrationDuration READ celebrationDuration WRITE setCelebrationDuration)
    // Text submitted while the engine starts, to be sent once it runs.
    Q_PROPERTY(bool isQueued READ isQueued NOTIFY isQueuedChanged)
    // Files go with the message: a send needs no text then.
    Q_PROPERTY(bool hasAttachments MEMBER m_hasAttachments NOTIFY hasAttachmentsChanged)

public:
    // What a press of send (or retry) does.
    enum class Action {
        Ignore, ///< Nothing: no text, or a reply is being generated.
        Send,   ///< Send now: the engine runs.
        Queue,  ///< Keep the text and send it once the starting engine runs.
        Refuse, ///< No model loaded: the no-model line shows.
    };
    Q_ENUM(Action)

    explicit ChatController(QObject *parent = nullptr);

    static Action decide(const QString &text,
                         bool isLoading,
                         bool isRunning,
                         bool isStarting,
                         bool hasAttachments = false);

    AgentState *state() const { return m_state; }
    void setState(AgentState *state);
    EngineChoice *engine() const { return m_engine; }
    void setEngine(EngineChoice *engine);
    bool hasTurns() const { return m_hasTurns; }
    bool isTyping() const { return m_isTyping; }
    bool showConfetti() const { return m_showConfetti; }
    int celebrationDuration() const { return m_celebration.interval(); }
    void setCelebrationDuration(int ms) { m_celebration.setInterval(ms); }
    bool isQueued() const { return !m_queuedText.isEmpty(); }

    // A press of Return or send with the box's text. Queue remembers the text.
    Q_INVOKABLE Action submit(const QString &text);
    // A press of retry: Send, Refuse, or Ignore while a reply runs or the engine starts.
    Q_INVOKABLE Action retry() const;
    // The box's text changed: an edit takes the text out of the queue.
    Q_INVOKABLE void textEdited(const QString &text);

signals:
    void stateChanged();
    void engineChanged();
    void hasTurnsChanged();
    void isTypingChanged();
    void showConfettiChanged();
    void isQueuedChanged();
    void hasAttachmentsChanged();
    // The engine runs: the queued text is to be sent (and the box emptied).
    void queuedTextReady(const QString &text);

private:
    void updateTurns();
    void updateTyping();
    void onLoadingChanged();
    void onEngineChanged();
    void setShowConfetti(bool show);
    void setQueuedText(const QString &text);

    QPointer<AgentState> m_state;
    QPointer<EngineChoice> m_engine;
    QList<QMetaObject::Connection> m_stateConnections;
    QList<QMetaObject::Connection> m_engineConnections;
    bool m_hasTurns = false;
    bool m_isTyping = false;
    bool m_showConfetti = false;
    bool m_hasAttachments = false;
    QString m_queuedText;
    QTimer m_celebration;
};

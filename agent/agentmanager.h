#pragma once

#include "core/agentstate.h"
#include "core/attachmentfiles.h"
#include "core/framebatcher.h"
#include "core/llmclient.h"
#include "core/remoteclient.h"
#include "core/streamingdisplaytext.h"

#include "mcp/mcpregistry.h"

#include "platform/sound.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>

// What the loop needs of the engine: whether it accepts requests, its port, and the context
// one conversation gets, in tokens (0, or no function: unknown, and the history is trimmed by
// message count alone).
struct EngineAccess
{
    std::function<bool()> isRunning;
    std::function<int()> port;
    std::function<int()> contextSize = {};
    // Whether the loaded model sees pictures (no function: it does not).
    std::function<bool()> seesImages = {};
};

class ToolServerApproval;

// Runs one tool call that may run (approved, or one that needs no approval)
// and gives back its result text. Never fails: failures are text too.
using ToolRunner = std::function<QCoro::Task<QString>(ToolCall)>;

// The agent loop: turns one typed message into an answer in the active chat
// session, with the tools the reply asks for, approved by the user.
//
// A turn is one coroutine on the main thread. stop(), a new send() and any change
// of the shown conversation end it at once: what arrived stays in the session that
// asked, an approval it waits for is denied, and nothing it does later reaches any
// conversation. Everything the user sees reaches the screens through the AgentState.
class AgentManager : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("agent/toolserverapproval.h")
    // A turn's task is running (from send() until the turn has ended in any way).
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
    // The tool servers of mcp.json whose tools the model is offered (Settings lists them).
    Q_PROPERTY(McpRegistry *toolServers READ toolServers NOTIFY toolServersChanged)
    // What the approval prompt shows of a pending tool-server call.
    Q_PROPERTY(ToolServerApproval *toolServerApproval READ toolServerApproval CONSTANT)

public:
    static const QString confirmationInstruction;
    static constexpr int historyLimit = 20;
    // What the history is measured against: a message's template costs about this many tokens
    // beside its text, and the reply keeps room for up to this share of the context.
    static constexpr qsizetype messageOverheadTokens = 8;
    static constexpr int replyShareOfContext = 4; // a quarter
    // Tool results sent back to the model are cut to this many characters, plus "…".
    static constexpr qsizetype toolResultLimit = 400;
    // A tool server's result is cut to this many bytes of UTF-8, plus "… (N more bytes)".
    static constexpr qsizetype serverToolResultLimit = 32 * 1024;

    // The loop on the given engine with, optionally, the caller's tool runner (tests
    // point it at a stand-in engine; no runner means the real tools). The tool servers are
    // those of mcp.json, started a moment later, unless setToolServers() names others.
    AgentManager(AgentState *state,
                 EngineAccess engine,
                 ToolRunner runTool = {},
                 QObject *parent = nullptr);
    ~AgentManager() override;

    // Cancels a running turn and starts a new one with the text. Returns at once.
    Q_INVOKABLE void send(const QString &text);
    // The same with files attached: their copies are kept with the user's message, a
    // document's text goes to the model with it, and a picture too when the model sees.
    void send(const QString &text, QList<AttachmentDraft> attachments);
    // Cancels the running turn, if any.
    Q_INVOKABLE void stop();

    // Composed anew on every read: base prompt, name, style, home line, tool instruction.
    QString effectiveSystemPrompt() const;
    // The messages that may be sent (no system messages, no images), the last `limit`
    // of them; sets the store's historyWasTrimmed.
    QList<Message> trimmedHistory(const QList<Message> &messages, int limit)
    {
        return trimmedHistory(messages, limit, std::nullopt);
    }
    // The same, and of those only the newest that fit `tokenBudget` (estimated); the last
    // message is always kept: an engine that cannot take even that says so itself.
    QList<Message> trimmedHistory(const QList<Message> &messages,
                                  int limit,
                                  std::optional<qsizetype> tokenBudget);
    // The tokens the history may fill of the context the engine serves, after the room for the
    // reply and what every request carries; absent when the context is unknown.
    std::optional<qsizetype> historyTokenBudget(const QString &systemPrompt,
                                                const nlohmann::json &tools) const;
    // A generous count of the tokens a text becomes: a tokenizer makes about four bytes of
    // English one token, and fewer of code, digits and other scripts; three is the estimate.
    static qsizetype estimatedTokens(QStringView text);
    // The body of one turn; send() runs it as the current task.
    QCoro::Task<> processMessage(QString text);
    // Approval, execution, results and the follow-up request for a non-empty list.
    QCoro::Task<> runToolCalls(QList<ToolCall> calls);
    void playCompletionSound();

    bool isBusy() const { return m_currentTurn != nullptr; }
    LLMClient *llmClient() const { return m_llmClient; }
    // Turns go to this remote engine instead of the local one (nullptr: the local one again).
    // Its tool calls all ask first, the read-only ones too: their results leave the computer.
    void useRemote(RemoteClient *client);
    RemoteClient *remoteClient() const { return m_remote; }
    AgentState *agentState() const { return m_state; }
    McpRegistry *toolServers() const { return m_toolServers; }
    // Tool servers owned elsewhere (the application object's, a test's); nullptr: none.
    void setToolServers(McpRegistry *registry);
    ToolServerApproval *toolServerApproval() const { return m_toolServerApproval; }

    // Streaming must last longer than the warm-up before a speed is shown; the speed
    // stays visible for the reset interval after a reply (0.5 s and 5 s).
    void setSpeedIntervals(std::chrono::milliseconds warmUp, std::chrono::milliseconds reset);

    // The player of the completion sound; empty plays nothing.
    Sound::Command completionSoundCommand() const { return m_completionSound; }
    void setCompletionSoundCommand(const Sound::Command &command) { m_completionSound = command; }

    // The home folder as the system prompt names it: "/Users/" and the login name
    // on macOS (as the model knows such paths), the real home folder elsewhere.
    static QString homeFolder();
    // A tool result that is an image (a screenshot) rather than text.
    static bool isImage(const QString &content);
    // The line sent to the model instead of a screenshot.
    static QString screenshotResultLine(const QString &toolName, const QDateTime &when);
    // A tool result as sent back: at most toolResultLimit characters, then "…".
    static QString shortenedToolResult(const QString &result);
    // A tool server's result as sent back: at most serverToolResultLimit bytes, then
    // "… (N more bytes)".
    static QString shortenedServerToolResult(const QString &result);
    // "Tools: " with the built-in tools the prompt names and every offered server tool.
    QString promptToolLine() const;

signals:
    void isBusyChanged();
    void toolServersChanged();

private:
    enum class Awaiting { Nothing, FirstReply, Approval, Tool, Confirmation };
    struct Turn
    {
        Awaiting awaiting = Awaiting::Nothing; // what the turn is suspended on
        bool over = false;                     // stopped: it no longer owns the conversation
        McpCallStopPtr serverCall;             // ends the tool-server call it waits for
    };
    using TurnPtr = std::shared_ptr<Turn>;

    // What a stopped turn ends with: a cancellation, never shown.
    static ChatError cancelledError();
    static QCoro::Task<> runTurn(QPointer<AgentManager> self,
                                 TurnPtr turn,
                                 QString text,
                                 QList<AttachmentDraft> attachments);
    QCoro::Task<> processTurn(TurnPtr turn, QString text, QList<AttachmentDraft> attachments = {});
    // The history with its pictures as data URLs, read from their copies, when the model sees.
    QCoro::Task<QList<Message>> withPictures(QList<Message> history);
    QCoro::Task<> runToolCallsInTurn(TurnPtr turn, QList<ToolCall> calls);
    // Whether a call waits for the user: every call while a remote engine is used, a
    // server's tool unless always allowed, a built-in tool unless it only reads.
    bool asksFirst(const ToolCall &call) const;
    QCoro::Task<McpToolOutput> runServerTool(TurnPtr turn, ToolCall call);
    // A tool's picture: shown in the chat, and kept as `fileName` for a model that sees.
    void keepToolPicture(const QString &dataUrl,
                         const QString &fileName,
                         QList<AttachmentDraft> &pictures);
    bool modelSeesImages() const { return m_engine.seesImages && m_engine.seesImages(); }
    QCoro::Task<ChatResult> request(TurnPtr turn,
                                    QList<Message> history,
                                    QString systemPrompt,
                                    nlohmann::json tools,
                                    Awaiting what);
    void cancelTurn(const TurnPtr &turn);
    void cancelRequests(); // both engines' clients: only the one in use has a call in flight
    TurnPtr turnForDirectCall();

    void onFirstReplyPiece(const QString &piece);
    void measureSpeed();
    void onPiece(const QString &piece);
    void onThinkingPiece(const ReplyPiece &piece);
    void endThinking();
    void applyTimings(const std::optional<EngineTimings> &timings, bool speed);
    // Shows the pieces that arrived since the last frame: one row update for all of them.
    void applyPieces();
    void failConfirmation(const ChatError &error);
    void replaceLastMessage(const Message &message);
    void finishTurn();
    void failTurn(const ChatError &error);
    void endLoading();
    void refreshBaseURL();

    QPointer<AgentState> m_state;
    EngineAccess m_engine;
    ToolRunner m_runTool;
    LLMClient *m_llmClient = nullptr;
    QPointer<RemoteClient> m_remote;
    QPointer<McpRegistry> m_toolServers;
    ToolServerApproval *m_toolServerApproval = nullptr;
    TurnPtr m_currentTurn;       // the current task; absent when idle
    QElapsedTimer m_streamStart; // invalid until the first piece of a turn's reply
    std::chrono::milliseconds m_speedWarmUp{500};
    qint64 m_tokenCount = 0;
    StreamingDisplayText m_display;
    // The thinking of the reply being streamed.
    struct Thinking
    {
        QString text;
        QElapsedTimer clock; // from the reply's first piece
        qint64 beganNs = -1; // when the thinking began, on that clock
        std::optional<double> seconds;
        bool unapplied = false; // text arrived that the message does not show yet

        void clear() { *this = Thinking(); }
    } m_thinking;
    bool m_piecesUnapplied = false;         // arrived, not yet in the reply's row
    std::optional<double> m_unappliedSpeed; // measured, not yet in the readout
    // Showing the reply may take 4% of a core: the engine computes on the others, and on a
    // small machine on the same ones.
    FrameBatcher m_pieceFrames{[this] { applyPieces(); },
                               FrameBatcher::frameInterval,
                               FrameBatcher::CpuBudget{0.04, std::chrono::milliseconds(300)}};
    QTimer m_speedReset;
    Sound::Command m_completionSound;
};

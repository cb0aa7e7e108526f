#pragma once

#include "core/agentstate.h"
#include "core/messagelistmodel.h"

#include <QObject>
#include <QQuickItem>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

// The chat screen's rules and conversation edits, for its QML.
class AgentManager;

class ChatLogic : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("agent/agentmanager.h")
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE static bool canSubmit(const QString &inputText, bool isLoading);
    Q_INVOKABLE static QString shortModelName(const QString &name);
    // "12 tok/s".
    Q_INVOKABLE static QString speedText(double tokensPerSecond);
    // The context readout of the input bar: "3.1k / 8k" (thousands of 1,024 tokens, as
    // context sizes are spoken of), only the part used while the size is not known (0), and
    // empty while nothing is used.
    Q_INVOKABLE static QString contextText(int used, int size);
    // More than 90% of a known size is used: the readout warns.
    Q_INVOKABLE static bool isContextNearlyFull(int used, int size);
    // The heading of a reply's thinking: "Thinking…" while it goes on, then how long it took
    // ("Thought for 12 seconds"); `seconds` is undefined when that is not known.
    Q_INVOKABLE static QString thinkingTitle(bool isThinking, const QVariant &seconds);
    // The box's text with a dropped file attached; unchanged for anything but a local file.
    Q_INVOKABLE static QString attachDroppedFile(const QString &inputText, const QUrl &url);
    // An attached file's size: "1.2 MB", "830 KB", "12 bytes".
    Q_INVOKABLE static QString attachmentSizeText(double bytes);
    // The welcome panel's line under the product name, in this platform's words.
    Q_INVOKABLE static QString welcomeTagline();

    // The focused item, when Tab stops at it and it lies inside `container`, with the layouts
    // from it up to the container's parent brought up to date, so that its place is current;
    // else null.
    Q_INVOKABLE static QQuickItem *tabStopInside(QQuickItem *focused, QQuickItem *container);
    // Where a list's content should stand (its contentY) so that an item, from `itemTop` to
    // `itemBottom` in the content, shows with a little room around it: moved no further than
    // needed, and kept between `first` and `last`, the list's own bounds.
    Q_INVOKABLE static qreal revealedContentY(
        qreal contentY, qreal viewHeight, qreal itemTop, qreal itemBottom, qreal first, qreal last);

    // Fresh particles as maps of the particle's fields (the colour as a colour).
    Q_INVOKABLE static QVariantList makeConfettiParticles();

    // The active session's title; empty without one.
    Q_INVOKABLE static QString activeSessionTitle(AgentState *state);

    // Drops the message and everything after it from the conversation and its session,
    // and saves. The message's text, or undefined (and no change) when it is gone.
    Q_INVOKABLE static QVariant editFromMessage(AgentState *state, const QString &messageId);
    // Drops the user message before the failed reply and everything after, and saves.
    // The text to send again, or undefined (and no change).
    Q_INVOKABLE static QVariant retryFromMessage(AgentState *state, const QString &messageId);

    // The same, and sends the text again through the agent with the files it carried.
    // Whether anything was sent.
    Q_INVOKABLE static bool retryWithFiles(AgentManager *agent,
                                           AgentState *state,
                                           const QString &messageId);

    // The first good reply the user ever gets is celebrated, once: true when the
    // conversation ends with a reply that is not an error and none was celebrated
    // before (kept in the preference store).
    Q_INVOKABLE static bool claimFirstReplyCelebration(MessageListModel *messages);
};

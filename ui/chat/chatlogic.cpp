#include "ui/chat/chatlogic.h"

#include "agent/agentmanager.h"
#include "core/agentstate.h"
#include "core/messagelistmodel.h"
#include "ui/chat/attachmentlistmodel.h"
#include "ui/chat/chatoperations.h"
#include "ui/chat/confetti.h"

#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "platform/wording.h"

#include <algorithm>
#include <cmath>

namespace {

// 512, 3.1k, 12k, 128k, 1M: one decimal below ten of a unit, none above.
QString tokenCount(int tokens)
{
    if (tokens < 1024)
        return QString::number(tokens);
    const bool millions = tokens >= 1024 * 1024;
    const double units = double(tokens) / (millions ? 1024.0 * 1024.0 : 1024.0);
    const double tenths = std::round(units * 10.0) / 10.0;
    const QString number = tenths < 10.0 && tenths != std::floor(tenths)
                               ? QString::number(tenths, 'f', 1)
                               : QString::number(std::round(units), 'f', 0);
    return number + (millions ? u'M' : u'k');
}

QVariant applyCut(AgentState *state, const std::optional<ConversationCut> &cut)
{
    if (!cut)
        return {};
    // Into the session too, not only the screen's list: saving alone would keep the
    // dropped messages in the archive and bring them back with the session.
    state->setMessages(cut->kept);
    state->syncActiveSession();
    return cut->text;
}
} // namespace

bool ChatLogic::canSubmit(const QString &inputText, bool isLoading)
{
    return ::canSubmit(inputText, isLoading);
}

QString ChatLogic::shortModelName(const QString &name)
{
    return ::shortModelName(name);
}

QString ChatLogic::speedText(double tokensPerSecond)
{
    return QString::asprintf("%.0f tok/s", tokensPerSecond);
}

QString ChatLogic::contextText(int used, int size)
{
    if (used <= 0)
        return {};
    return size > 0 ? tokenCount(used) + QStringLiteral(" / ") + tokenCount(size)
                    : tokenCount(used);
}

bool ChatLogic::isContextNearlyFull(int used, int size)
{
    return size > 0 && qint64(used) * 10 > qint64(size) * 9;
}

QString ChatLogic::thinkingTitle(bool isThinking, const QVariant &seconds)
{
    if (isThinking)
        return QStringLiteral("Thinking…");
    if (!seconds.isValid() || seconds.isNull())
        return QStringLiteral("Thought for a while");
    // Under half a second still took a moment: never "0 seconds".
    const qint64 whole = std::max<qint64>(1, std::llround(seconds.toDouble()));
    return whole == 1 ? QStringLiteral("Thought for 1 second")
                      : QStringLiteral("Thought for %1 seconds").arg(whole);
}

QString ChatLogic::attachDroppedFile(const QString &inputText, const QUrl &url)
{
    if (!url.isLocalFile())
        return inputText;
    return withAttachedFile(inputText, url.toLocalFile());
}

QString ChatLogic::attachmentSizeText(double bytes)
{
    return AttachmentListModel::sizeText(bytes);
}

QString ChatLogic::welcomeTagline()
{
    return platformWording(QStringLiteral("Your intelligent macOS assistant"));
}

QVariantList ChatLogic::makeConfettiParticles()
{
    QVariantList list;
    for (const ConfettiParticle &particle : ::makeConfettiParticles()) {
        list.append(QVariantMap{{QStringLiteral("xFraction"), particle.xFraction},
                                {QStringLiteral("startRotation"), particle.startRotation},
                                {QStringLiteral("endRotation"), particle.endRotation},
                                {QStringLiteral("color"), particle.color},
                                {QStringLiteral("width"), particle.width},
                                {QStringLiteral("delay"), particle.delay},
                                {QStringLiteral("duration"), particle.duration}});
    }
    return list;
}

QString ChatLogic::activeSessionTitle(AgentState *state)
{
    const auto session = state ? state->activeSession() : std::nullopt;
    return session ? session->title : QString();
}

QVariant ChatLogic::editFromMessage(AgentState *state, const QString &messageId)
{
    if (!state)
        return {};
    return applyCut(state, cutForEdit(state->messages(), QUuid::fromString(messageId)));
}

QVariant ChatLogic::retryFromMessage(AgentState *state, const QString &messageId)
{
    if (!state)
        return {};
    return applyCut(state, cutForRetry(state->messages(), QUuid::fromString(messageId)));
}

bool ChatLogic::retryWithFiles(AgentManager *agent, AgentState *state, const QString &messageId)
{
    if (!agent || !state)
        return false;
    const auto cut = cutForRetry(state->messages(), QUuid::fromString(messageId));
    if (!cut)
        return false;
    // The user message being retried follows what the cut keeps.
    const QList<AttachmentDraft> files
        = AttachmentFiles::draftsFrom(state->messages().at(cut->kept.size()).attachments);
    const QVariant text = applyCut(state, cut);
    agent->send(text.toString(), files);
    return true;
}

bool ChatLogic::claimFirstReplyCelebration(MessageListModel *messages)
{
    if (!messages || messages->messages().isEmpty())
        return false;
    const Message &last = messages->messages().last();
    if (last.role != Role::assistant || last.content.trimmed().isEmpty() || last.isErrorReply()
        || Preferences::boolean(PreferenceKey::firstReplyCelebrated, false))
        return false;
    Preferences::setBoolean(PreferenceKey::firstReplyCelebrated, true);
    Preferences::sync();
    return true;
}

qreal ChatLogic::revealedContentY(
    qreal contentY, qreal viewHeight, qreal itemTop, qreal itemBottom, qreal first, qreal last)
{
    constexpr qreal room = 12;
    qreal target = contentY;
    // Taller than the view: its top wins, where a reader starts.
    if (itemTop - room < contentY || itemBottom - itemTop + 2 * room > viewHeight)
        target = itemTop - room;
    else if (itemBottom + room > contentY + viewHeight)
        target = itemBottom + room - viewHeight;
    return std::clamp(target, first, std::max(first, last));
}

QQuickItem *ChatLogic::tabStopInside(QQuickItem *focused, QQuickItem *container)
{
    if (!focused || !container || !focused->activeFocusOnTab() || !container->isAncestorOf(focused))
        return nullptr;
    // Rows and columns place their items when the frame is prepared; an item that has just
    // grown for the focus has no place yet.
    for (QQuickItem *item = focused->parentItem(); item; item = item->parentItem()) {
        item->ensurePolished();
        if (item == container) {
            if (QQuickItem *view = container->parentItem())
                view->ensurePolished();
            break;
        }
    }
    return focused;
}

#include "ui/chat/attachmentlistmodel.h"

#include "agent/agentmanager.h"
#include "agent/enginechoice.h"
#include "core/documents/attachmentreader.h"

#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <QCoroNetworkReply>

#include <nlohmann/json.hpp>

#include <cmath>

namespace {

// Without the engine's own count: about four characters a token.
qint64 estimateTokens(const QString &text)
{
    return (text.size() + 3) / 4;
}

QString tokensText(qint64 tokens)
{
    return QStringLiteral("about ") + QLocale(QLocale::English).toString(tokens)
           + (tokens == 1 ? QStringLiteral(" token") : QStringLiteral(" tokens"));
}

} // namespace

AttachmentListModel::AttachmentListModel(QObject *parent)
    : QAbstractListModel(parent)
{
    connect(this, &AttachmentListModel::contextUsedChanged, this, &AttachmentListModel::refreshAll);
}

AttachmentListModel::~AttachmentListModel()
{
    // A token count still waiting for the engine ends now, so that its coroutine is not left
    // suspended on a reply that goes with the manager.
    m_closing = true;
    for (QNetworkReply *reply : m_network.findChildren<QNetworkReply *>())
        reply->abort();
}

int AttachmentListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant AttachmentListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Item &item = m_items.at(index.row());
    switch (role) {
    case NameRole:
        return item.draft.name;
    case KindRole:
        return item.draft.kind;
    case SizeTextRole:
        return sizeText(double(item.draft.size));
    case DetailRole: {
        if (item.reading)
            return QStringLiteral("Reading…");
        if (!item.error.isEmpty() || item.draft.kind == Attachment::image)
            return QString();
        QStringList parts;
        if (item.pageCount > 0)
            parts << QString::number(item.pageCount)
                         + (item.pageCount == 1 ? QStringLiteral(" page")
                                                : QStringLiteral(" pages"));
        parts << tokensText(item.tokens);
        if (item.cut)
            parts << QStringLiteral("first part");
        return parts.join(QStringLiteral(" · "));
    }
    case ProblemRole:
        return problem(index.row());
    case IsReadingRole:
        return item.reading;
    case CanSendPartRole:
        return !item.reading && item.error.isEmpty() && !fits(index.row());
    default:
        return {};
    }
}

QHash<int, QByteArray> AttachmentListModel::roleNames() const
{
    return {{NameRole, "name"},
            {KindRole, "kind"},
            {SizeTextRole, "sizeText"},
            {DetailRole, "detail"},
            {ProblemRole, "problem"},
            {IsReadingRole, "isReading"},
            {CanSendPartRole, "canSendPart"}};
}

void AttachmentListModel::setEngine(EngineChoice *engine)
{
    if (m_engine == engine)
        return;
    if (m_engine)
        disconnect(m_engine, nullptr, this, nullptr);
    m_engine = engine;
    if (engine) {
        connect(engine, &EngineChoice::seesImagesChanged, this, &AttachmentListModel::refreshAll);
        connect(engine, &EngineChoice::contextSizeChanged, this, &AttachmentListModel::refreshAll);
    }
    emit engineChanged();
    refreshAll();
}

void AttachmentListModel::setContextUsed(int value)
{
    if (m_contextUsed == value)
        return;
    m_contextUsed = value;
    emit contextUsedChanged();
}

bool AttachmentListModel::hasSendable() const
{
    return !sendable().isEmpty();
}

bool AttachmentListModel::holdsSend() const
{
    for (qsizetype row = 0; row < m_items.size(); ++row) {
        const Item &item = m_items.at(row);
        if (item.reading || (item.error.isEmpty() && !fits(row)))
            return true;
    }
    return false;
}

bool AttachmentListModel::isAttachable(const QUrl &url)
{
    return url.isLocalFile()
           && AttachmentReader::kindOf(url.fileName()) != AttachmentReader::Kind::Other;
}

QString AttachmentListModel::sizeText(double bytes)
{
    if (bytes >= 1024.0 * 1024.0)
        return QString::asprintf("%.1f MB", bytes / (1024.0 * 1024.0));
    if (bytes >= 1024.0)
        return QString::asprintf("%.0f KB", bytes / 1024.0);
    return QString::number(qint64(bytes))
           + (bytes == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
}

void AttachmentListModel::addFile(const QUrl &url)
{
    if (!url.isLocalFile())
        return;
    Item item;
    item.serial = m_nextSerial++;
    item.draft.name = url.fileName();
    item.draft.kind = AttachmentReader::kindOf(item.draft.name) == AttachmentReader::Kind::Image
                          ? Attachment::image
                          : Attachment::document;
    beginInsertRows({}, int(m_items.size()), int(m_items.size()));
    m_items.append(item);
    endInsertRows();
    emit countChanged();
    emit stateChanged();
    read(item.serial, url.toLocalFile());
}

void AttachmentListModel::remove(int row)
{
    if (row < 0 || row >= m_items.size())
        return;
    beginRemoveRows({}, row, row);
    m_items.removeAt(row);
    endRemoveRows();
    emit countChanged();
    refreshAll();
}

void AttachmentListModel::sendFirstPart(int row)
{
    if (row < 0 || row >= m_items.size())
        return;
    const std::optional<qint64> left = room(row);
    Item &item = m_items[row];
    if (!left || item.tokens <= 0 || item.draft.text.isEmpty())
        return;
    // As many characters as the room holds at this text's own rate, a little to spare.
    const double perToken = double(item.draft.text.size()) / double(item.tokens);
    const qsizetype keep = qsizetype(std::floor(double(*left) * perToken * 0.95));
    item.draft.text.truncate(std::max<qsizetype>(0, keep));
    item.tokens = estimateTokens(item.draft.text);
    item.cut = true;
    refreshAll();
}

void AttachmentListModel::restoreFiles(AgentState *state, const QString &messageId)
{
    if (!state)
        return;
    const QUuid id = QUuid::fromString(messageId);
    for (const Message &message : state->messages()) {
        if (message.id != id)
            continue;
        beginResetModel();
        m_items.clear();
        for (const AttachmentDraft &draft : AttachmentFiles::draftsFrom(message.attachments)) {
            Item item;
            item.serial = m_nextSerial++;
            item.draft = draft;
            item.reading = false;
            item.tokens = estimateTokens(draft.text);
            m_items.append(item);
        }
        endResetModel();
        emit countChanged();
        refreshAll();
        return;
    }
}

QList<AttachmentDraft> AttachmentListModel::sendable() const
{
    const bool sees = m_engine && m_engine->seesImages();
    QList<AttachmentDraft> drafts;
    for (const Item &item : m_items) {
        if (item.reading || !item.error.isEmpty())
            continue;
        if (item.draft.kind == Attachment::image && !sees)
            continue;
        drafts.append(item.draft);
    }
    return drafts;
}

void AttachmentListModel::sendWith(AgentManager *agent, const QString &text)
{
    if (!agent)
        return;
    agent->send(text, sendable());
    beginResetModel();
    m_items.clear();
    endResetModel();
    emit countChanged();
    emit stateChanged();
}

QCoro::Task<> AttachmentListModel::read(int serial, QString path)
{
    QPointer<AttachmentListModel> self(this);
    const AttachmentReader::Result result = co_await AttachmentReader::readInBackground(path);
    if (!self)
        co_return;
    const qsizetype row = rowOf(serial);
    if (row < 0)
        co_return; // removed meanwhile
    Item &item = m_items[row];
    item.draft = result.draft;
    item.error = result.error;
    item.pageCount = result.pageCount;
    item.reading = false;
    item.tokens = estimateTokens(item.draft.text);
    refreshAll();
    if (result.ok() && !item.draft.text.isEmpty())
        countTokens(serial);
}

void AttachmentListModel::countTokens(int serial)
{
    // The engine's own count when the local one runs; the estimate stands otherwise.
    const QString base = m_engine ? m_engine->localBaseURL() : QString();
    if (base.isEmpty())
        return;
    const QString text = m_items.at(rowOf(serial)).draft.text;
    QNetworkRequest request(QUrl(base + QStringLiteral("/tokenize")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(30000);
    const std::string body = nlohmann::json{{"content", text.toStdString()}}.dump();
    QNetworkReply *reply = m_network.post(request, QByteArray::fromStdString(body));
    // A reply the model outlives, not a suspended coroutine: the manager takes an unfinished
    // one with it.
    connect(reply, &QNetworkReply::finished, this, [this, serial, reply] {
        reply->deleteLater();
        const qsizetype row = rowOf(serial);
        if (m_closing || row < 0 || reply->error() != QNetworkReply::NoError || m_items.at(row).cut)
            return;
        const QByteArray answer = reply->readAll();
        const auto json = nlohmann::json::parse(answer.cbegin(), answer.cend(), nullptr, false);
        if (!json.is_object() || !json.contains("tokens") || !json["tokens"].is_array())
            return;
        m_items[row].tokens = qint64(json["tokens"].size());
        refreshAll();
    });
}

qsizetype AttachmentListModel::rowOf(int serial) const
{
    for (qsizetype row = 0; row < m_items.size(); ++row) {
        if (m_items.at(row).serial == serial)
            return row;
    }
    return -1;
}

std::optional<qint64> AttachmentListModel::room(qsizetype before) const
{
    const int context = m_engine ? m_engine->contextSize() : 0;
    if (context <= 0)
        return std::nullopt;
    // The reply keeps a quarter, as the agent loop keeps it when it trims the history.
    qint64 left = qint64(context) - context / AgentManager::replyShareOfContext - m_contextUsed;
    for (qsizetype row = 0; row < before && row < m_items.size(); ++row) {
        if (m_items.at(row).error.isEmpty())
            left -= m_items.at(row).tokens;
    }
    return std::max<qint64>(0, left);
}

bool AttachmentListModel::fits(qsizetype row) const
{
    const std::optional<qint64> left = room(row);
    return !left || m_items.at(row).tokens <= *left;
}

QString AttachmentListModel::problem(qsizetype row) const
{
    const Item &item = m_items.at(row);
    if (item.reading)
        return QString();
    if (!item.error.isEmpty())
        return item.error;
    if (item.draft.kind == Attachment::image)
        return m_engine && m_engine->seesImages() ? QString()
                                                  : QStringLiteral("This model cannot see images");
    if (!fits(row))
        return QStringLiteral("Too long for the model's context (room for ")
               + tokensText(*room(row)) + u')';
    return QString();
}

void AttachmentListModel::refreshAll()
{
    if (!m_items.isEmpty())
        emit dataChanged(index(0), index(int(m_items.size()) - 1));
    emit stateChanged();
}

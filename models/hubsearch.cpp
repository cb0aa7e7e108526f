#include "models/hubsearch.h"

#include "models/modelmanager.h"

#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <QCoroNetworkReply>

#include <algorithm>

using namespace std::chrono_literals;

namespace {
constexpr auto requestTimeout = 15s;
// A listing of more pages than this is shown as far as it came.
constexpr qsizetype maxListingPages = 100;

// What went wrong with a finished reply; empty when it succeeded.
QString failureOf(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        const QString reason
            = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return reason.isEmpty() ? QStringLiteral("HTTP %1").arg(status.toInt())
                                : QStringLiteral("HTTP %1 %2").arg(status.toInt()).arg(reason);
    }
    if (reply->error() != QNetworkReply::NoError)
        return reply->errorString();
    return {};
}

QString unreachable(const QString &reason)
{
    return QStringLiteral("The hub cannot be reached: ") + reason;
}

const QString notUnderstood = QStringLiteral("the answer was not understood");
} // namespace

HubSearch::HubSearch(QObject *parent)
    : QAbstractListModel(parent)
{
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(defaultInterval);
    connect(&m_debounce, &QTimer::timeout, this, [this] {
        search(++m_searchGeneration, m_query.trimmed());
    });
}

HubSearch::~HubSearch()
{
    // Lets the running requests end now, while their coroutines may still look at us.
    ++m_searchGeneration;
    ++m_listGeneration;
    if (m_searchReply)
        m_searchReply->abort();
    if (m_listReply)
        m_listReply->abort();
}

int HubSearch::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_results.size());
}

QVariant HubSearch::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const HubRepository &repository = m_results.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case RepoIdRole:
        return repository.id;
    case NameRole:
        return repository.id.section(QLatin1Char('/'), -1);
    case OwnerRole:
        return repository.id.section(QLatin1Char('/'), 0, 0);
    case DownloadsTextRole:
        return downloadsText(repository.downloads);
    case UpdatedTextRole:
        return repository.lastModified.isValid()
                   ? QStringLiteral("Updated ")
                         + QLocale::c().toString(repository.lastModified.toUTC().date(),
                                                 QStringLiteral("d MMM yyyy"))
                   : QString();
    case IsExpandedRole:
        return repository.id == m_expandedRepo;
    default:
        return {};
    }
}

QHash<int, QByteArray> HubSearch::roleNames() const
{
    return {
        {RepoIdRole, "repoId"},
        {NameRole, "name"},
        {OwnerRole, "owner"},
        {DownloadsTextRole, "downloadsText"},
        {UpdatedTextRole, "updatedText"},
        {IsExpandedRole, "isExpanded"},
    };
}

void HubSearch::setQuery(const QString &text)
{
    if (m_query == text)
        return;
    const bool wasActive = isActive();
    m_query = text;
    emit queryChanged();
    if (isActive()) {
        m_debounce.start();
        return;
    }
    // Too short to ask about: whatever is running or waiting is no longer wanted.
    m_debounce.stop();
    ++m_searchGeneration;
    if (m_searchReply)
        m_searchReply->abort();
    if (wasActive || !m_results.isEmpty()) {
        closeFiles();
        setResults({});
    }
    setSearchState(false, {});
}

bool HubSearch::isActive() const
{
    return m_query.trimmed().size() >= minimumQueryLength;
}

QString HubSearch::downloadsText(qint64 downloads)
{
    const auto shortened = [](double value, const char *unit) {
        return QString::number(value, 'f', value < 100 ? 1 : 0) + QLatin1String(unit);
    };
    QString count;
    if (downloads >= 1'000'000)
        count = shortened(double(downloads) / 1e6, "M");
    else if (downloads >= 10'000)
        count = shortened(double(downloads) / 1e3, "K");
    else
        count = QLocale(QLocale::English).toString(downloads);
    return count + (downloads == 1 ? QStringLiteral(" download") : QStringLiteral(" downloads"));
}

void HubSearch::toggle(int row)
{
    if (row < 0 || row >= m_results.size())
        return;
    const QString repo = m_results.at(row).id;
    if (repo == m_expandedRepo)
        closeFiles();
    else
        expand(repo);
}

void HubSearch::expand(const QString &repo)
{
    closeFiles();
    m_expandedRepo = repo;
    m_listing = true;
    emit filesChanged();
    for (int row = 0; row < m_results.size(); ++row) {
        if (m_results[row].id == repo)
            emit dataChanged(index(row), index(row), {IsExpandedRole});
    }
    list(++m_listGeneration, repo);
}

QNetworkReply *HubSearch::get(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(int(std::chrono::milliseconds(requestTimeout).count()));
    return m_network.get(request);
}

QCoro::Task<> HubSearch::search(quint64 generation, QString text)
{
    // The one still running is superseded: its answer would be about older text.
    if (m_searchReply)
        m_searchReply->abort();
    setSearchState(true, m_statusText);
    QNetworkReply *reply = get(HubApi::searchUrl(ModelManager::hubBaseAddress(), text));
    m_searchReply = reply;
    co_await qCoro(reply).waitForFinished();
    reply->deleteLater();
    if (generation != m_searchGeneration)
        co_return;
    QString failure = failureOf(reply);
    std::optional<QList<HubRepository>> found;
    if (failure.isEmpty()) {
        found = HubApi::parseSearch(reply->readAll());
        if (!found)
            failure = notUnderstood;
    }
    if (!failure.isEmpty()) {
        closeFiles();
        setResults({});
        setSearchState(false, unreachable(failure));
    } else {
        // An open repository that the new answer no longer names closes.
        const bool stillListed
            = std::any_of(found->cbegin(), found->cend(), [this](const HubRepository &repository) {
                  return repository.id == m_expandedRepo;
              });
        if (!stillListed)
            closeFiles();
        setResults(std::move(*found));
        setSearchState(false, {});
    }
    emit resultsChanged(text);
}

QCoro::Task<> HubSearch::list(quint64 generation, QString repo)
{
    if (m_listReply)
        m_listReply->abort();
    // The hub sends a long listing in pages, each naming the next.
    QList<QByteArray> pages;
    int status = 0;
    QString failure;
    for (QUrl page = HubApi::treeUrl(ModelManager::hubBaseAddress(), repo);
         page.isValid() && failure.isEmpty() && pages.size() < maxListingPages;) {
        QNetworkReply *reply = get(page);
        m_listReply = reply;
        co_await qCoro(reply).waitForFinished();
        reply->deleteLater();
        if (generation != m_listGeneration)
            co_return;
        status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        failure = failureOf(reply);
        pages.append(reply->readAll());
        page = HubApi::nextPage(reply->rawHeader("Link"), page);
    }
    std::optional<QList<HubFile>> files;
    if (failure.isEmpty()) {
        files = HubApi::parseTree(pages);
        if (!files)
            failure = notUnderstood;
    }
    m_listing = false;
    if (status == 401 || status == 403)
        m_filesStatusText = QStringLiteral("This model needs a hub account and access approval.");
    else if (!failure.isEmpty())
        m_filesStatusText = unreachable(failure);
    else if (files->isEmpty())
        m_filesStatusText = QStringLiteral("No GGUF files in this repository.");
    else
        m_files = std::move(*files);
    emit filesChanged();
}

void HubSearch::setResults(QList<HubRepository> results)
{
    beginResetModel();
    m_results = std::move(results);
    endResetModel();
}

void HubSearch::setSearchState(bool searching, const QString &status)
{
    if (m_searching == searching && m_statusText == status)
        return;
    m_searching = searching;
    m_statusText = status;
    emit searchStateChanged();
}

void HubSearch::closeFiles()
{
    ++m_listGeneration;
    if (m_listReply)
        m_listReply->abort();
    if (m_expandedRepo.isEmpty() && m_files.isEmpty() && !m_listing)
        return;
    const QString was = m_expandedRepo;
    m_expandedRepo.clear();
    m_files.clear();
    m_listing = false;
    m_filesStatusText.clear();
    emit filesChanged();
    for (int row = 0; row < m_results.size(); ++row) {
        if (m_results[row].id == was)
            emit dataChanged(index(row), index(row), {IsExpandedRole});
    }
}

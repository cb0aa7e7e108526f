#include "ui/library/modellibrarymodel.h"

#include "engine/servermanager.h"
#include "models/modelmanager.h"

#include "platform/wording.h"

#include <QDateTime>
#include <QDir>
#include <QUrl>

#include <cmath>

using namespace std::chrono_literals;

namespace {
constexpr double bytesPerMB = 1048576.0;
} // namespace

ModelLibraryModel::ModelLibraryModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    m_tick.setInterval(1s);
    connect(&m_tick, &QTimer::timeout, this, [this] { announceRows({TimeLeftTextRole}); });
    connect(this, &QAbstractItemModel::rowsInserted, this, &ModelLibraryModel::countChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &ModelLibraryModel::countChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &ModelLibraryModel::countChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &ModelLibraryModel::countChanged);
    connect(this, &QAbstractItemModel::dataChanged, this, &ModelLibraryModel::updateTicking);
}

void ModelLibraryModel::setModelManager(ModelManager *manager)
{
    if (m_modelManager == manager)
        return;
    if (m_modelManager)
        disconnect(m_modelManager->modelList(), nullptr, this, nullptr);
    m_modelManager = manager;
    m_hubFiles.setModelManager(manager);
    setSourceModel(manager ? manager->modelList() : nullptr);
    if (manager) {
        // What this list works out from a row changes with the row.
        connect(manager->modelList(),
                &QAbstractItemModel::dataChanged,
                this,
                [this](const QModelIndex &first, const QModelIndex &last) {
                    for (int row = first.row(); row <= last.row(); ++row) {
                        const QModelIndex shown = mapFromSource(sourceModel()->index(row, 0));
                        if (shown.isValid())
                            emit dataChanged(shown,
                                             shown,
                                             {VariantStateRole,
                                              FocusTargetRole,
                                              TransferTextRole,
                                              TimeLeftTextRole});
                    }
                });
    }
    emit modelManagerChanged();
    emit countChanged();
    updateTicking();
}

void ModelLibraryModel::setServerManager(ServerManager *manager)
{
    if (m_serverManager == manager)
        return;
    for (const auto &connection : std::as_const(m_serverConnections))
        disconnect(connection);
    m_serverConnections.clear();
    m_serverManager = manager;
    if (manager) {
        const auto changed = [this] {
            announceRows({VariantStateRole, FocusTargetRole, LoadButtonTextRole});
        };
        m_serverConnections << connect(manager, &ServerManager::isRunningChanged, this, changed)
                            << connect(manager, &ServerManager::isStartingChanged, this, changed)
                            << connect(manager,
                                       &ServerManager::activeModelPathChanged,
                                       this,
                                       changed);
    }
    emit serverManagerChanged();
    announceRows({VariantStateRole, FocusTargetRole, LoadButtonTextRole});
}

void ModelLibraryModel::setSearchText(const QString &text)
{
    if (m_searchText == text)
        return;
    m_searchText = text;
    m_hub.setQuery(text);
    invalidateRowsFilter();
    announceRows({SectionTitleRole});
    emit searchTextChanged();
    emit countChanged();
}

void ModelLibraryModel::setExpandedModelID(const QString &id)
{
    if (m_expandedModelID == id)
        return;
    m_expandedModelID = id;
    emit expandedModelIDChanged();
    announceRows({IsExpandedRole});
}

bool ModelLibraryModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_searchText.isEmpty())
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    QList<int> roles{ModelListModel::DisplayNameRole,
                     ModelListModel::DescriptionRole,
                     ModelListModel::ParameterCountRole};
    // Models beyond the catalogue are known by their repository and file as well.
    if (index.data(ModelListModel::SourceRole).toInt() != int(ModelSource::Catalogue))
        roles << ModelListModel::RepoRole << ModelListModel::FilenameRole;
    for (const int role : std::as_const(roles)) {
        if (index.data(role).toString().contains(m_searchText, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QVariant ModelLibraryModel::source(int row, int role) const
{
    return mapToSource(index(row, 0)).data(role);
}

QVariant ModelLibraryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const auto value = [&](int sourceRole) { return mapToSource(index).data(sourceRole); };
    switch (role) {
    case IsExpandedRole:
        return !m_expandedModelID.isEmpty()
               && value(ModelListModel::ModelIdRole).toString() == m_expandedModelID;
    case IsFirstOfModelRole:
        return value(ModelListModel::VariantIndexRole).toInt() == 0;
    case IsLastOfModelRole: {
        const QModelIndex next = sourceModel()->index(mapToSource(index).row() + 1, 0);
        return !next.isValid() || next.data(ModelListModel::VariantIndexRole).toInt() == 0;
    }
    case VariantStateRole:
        return QVariant::fromValue(variantState(index));
    case FocusTargetRole:
        return QVariant::fromValue(focusTarget(variantState(index)));
    case LoadButtonTextRole:
        return m_serverManager && m_serverManager->isStarting() ? QStringLiteral("Loading…")
                                                                : QStringLiteral("Load");
    case TransferTextRole:
        return transferText(value(ModelListModel::DownloadedBytesRole).toLongLong(),
                            value(ModelListModel::TotalBytesRole).toLongLong(),
                            value(ModelListModel::DownloadProgressRole).toDouble());
    case TimeLeftTextRole: {
        const QDateTime started = value(ModelListModel::DownloadStartTimeRole).toDateTime();
        if (!started.isValid())
            return QString();
        const double progress
            = transferProgress(value(ModelListModel::DownloadedBytesRole).toLongLong(),
                               value(ModelListModel::TotalBytesRole).toLongLong(),
                               value(ModelListModel::ResumedBytesRole).toLongLong(),
                               value(ModelListModel::DownloadProgressRole).toDouble());
        return timeLeftText(progress, started.msecsTo(QDateTime::currentDateTime()) / 1000.0);
    }
    case SectionTitleRole: {
        const auto isLocal = [this](int row) {
            return source(row, ModelListModel::SourceRole).toInt() == int(ModelSource::Local);
        };
        if (!isLocal(index.row()) || (index.row() > 0 && isLocal(index.row() - 1)))
            return QString();
        return platformWording(QStringLiteral("On this Mac"));
    }
    default:
        return QSortFilterProxyModel::data(index, role);
    }
}

ModelLibraryModel::VariantState ModelLibraryModel::variantState(const QModelIndex &index) const
{
    const auto value = [&](int sourceRole) { return mapToSource(index).data(sourceRole); };
    if (value(ModelListModel::IsDownloadingRole).toBool())
        return VariantState::Downloading;
    if (!value(ModelListModel::IsDownloadedRole).toBool())
        return VariantState::Download;
    const bool loaded
        = m_serverManager && m_serverManager->isRunning()
          && m_serverManager->activeModelPath() == value(ModelListModel::FilePathRole).toString();
    return loaded ? VariantState::Loaded : VariantState::Load;
}

ModelLibraryModel::FocusTarget ModelLibraryModel::focusTarget(VariantState state)
{
    switch (state) {
    case VariantState::Downloading:
        return FocusTarget::CancelButton;
    case VariantState::Load:
        return FocusTarget::LoadButton;
    case VariantState::Loaded:
        return FocusTarget::Card;
    case VariantState::Download:
        break;
    }
    return FocusTarget::DownloadButton;
}

QHash<int, QByteArray> ModelLibraryModel::roleNames() const
{
    QHash<int, QByteArray> names
        = sourceModel() ? sourceModel()->roleNames() : QHash<int, QByteArray>();
    names.insert({
        {IsExpandedRole, "isExpanded"},
        {IsFirstOfModelRole, "isFirstOfModel"},
        {IsLastOfModelRole, "isLastOfModel"},
        {VariantStateRole, "variantState"},
        {LoadButtonTextRole, "loadButtonText"},
        {TransferTextRole, "transferText"},
        {TimeLeftTextRole, "timeLeftText"},
        {SectionTitleRole, "sectionTitle"},
        {FocusTargetRole, "focusTarget"},
    });
    return names;
}

QString ModelLibraryModel::transferText(qint64 downloadedBytes, qint64 totalBytes, double progress)
{
    const int percent = int(progress * 100.0);
    if (totalBytes > 0)
        return QString::asprintf("%.0f / %.0f MB · %d%%",
                                 double(downloadedBytes) / bytesPerMB,
                                 double(totalBytes) / bytesPerMB,
                                 percent);
    return QString::asprintf("%.0f MB · %d%%", double(downloadedBytes) / bytesPerMB, percent);
}

QString ModelLibraryModel::timeLeftText(double progress, double elapsedSeconds)
{
    if (progress <= 0.02 || elapsedSeconds < 0.5)
        return QStringLiteral("Estimating…");
    const double remaining = std::max(0.0, elapsedSeconds / progress - elapsedSeconds);
    if (remaining < 60.0)
        return QString::asprintf("%.0fs left", remaining);
    const qint64 seconds = qint64(remaining);
    return QString::asprintf("%d:%02d left", int(seconds / 60), int(seconds % 60));
}

double ModelLibraryModel::transferProgress(qint64 downloadedBytes,
                                           qint64 totalBytes,
                                           qint64 resumedBytes,
                                           double progress)
{
    if (resumedBytes <= 0 || totalBytes <= resumedBytes)
        return progress;
    return double(downloadedBytes - resumedBytes) / double(totalBytes - resumedBytes);
}

void ModelLibraryModel::toggle(int row)
{
    const QString id = source(row, ModelListModel::ModelIdRole).toString();
    setExpandedModelID(m_expandedModelID == id ? QString() : id);
}

void ModelLibraryModel::download(int row)
{
    if (m_modelManager)
        m_modelManager->startDownload(source(row, ModelListModel::ModelIdRole).toString(),
                                      source(row, ModelListModel::VariantIdRole).toString());
}

void ModelLibraryModel::cancel(int row)
{
    if (m_modelManager)
        m_modelManager->cancelDownload(source(row, ModelListModel::ModelIdRole).toString(),
                                       source(row, ModelListModel::VariantIdRole).toString());
}

void ModelLibraryModel::load(int row)
{
    if (!m_serverManager || row < 0 || row >= rowCount())
        return;
    start(source(row, ModelListModel::FilePathRole).toString(),
          source(row, ModelListModel::DisplayNameRole).toString() + QLatin1Char(' ')
              + source(row, ModelListModel::QuantizationRole).toString());
}

void ModelLibraryModel::remove(int row)
{
    if (m_modelManager)
        m_modelManager->deleteModel(source(row, ModelListModel::ModelIdRole).toString(),
                                    source(row, ModelListModel::VariantIdRole).toString());
}

void ModelLibraryModel::downloadHubFile(int fileRow)
{
    if (!m_modelManager || fileRow < 0 || fileRow >= m_hub.files().size())
        return;
    const QString id
        = m_modelManager->downloadHubFile(m_hub.expandedRepo(), m_hub.files()[fileRow]);
    if (!id.isEmpty())
        setExpandedModelID(id);
}

QUrl ModelLibraryModel::homeFolder()
{
    return QUrl::fromLocalFile(QDir::homePath());
}

QString ModelLibraryModel::addModelFile(const QUrl &file)
{
    if (!m_modelManager)
        return {};
    return m_modelManager->addLocalFile(file.isLocalFile() ? file.toLocalFile() : file.toString());
}

void ModelLibraryModel::stopServer()
{
    if (m_serverManager)
        stop();
}

QCoro::Task<> ModelLibraryModel::start(QString path, QString name)
{
    // The manager reports the outcome in its own state.
    const QPointer<ServerManager> server = m_serverManager;
    co_await server->startServer(std::move(path), std::move(name));
}

QCoro::Task<> ModelLibraryModel::stop()
{
    const QPointer<ServerManager> server = m_serverManager;
    co_await server->stopServer();
}

void ModelLibraryModel::announceRows(const QList<int> &roles)
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), roles);
}

void ModelLibraryModel::updateTicking()
{
    bool downloading = false;
    for (int row = 0; row < rowCount() && !downloading; ++row)
        downloading = source(row, ModelListModel::IsDownloadingRole).toBool();
    if (downloading && !m_tick.isActive())
        m_tick.start();
    else if (!downloading)
        m_tick.stop();
}

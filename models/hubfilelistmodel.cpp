#include "models/hubfilelistmodel.h"

#include "models/hubsearch.h"
#include "models/modelmanager.h"
#include "platform/systeminfo.h"

namespace {
constexpr double bytesPerGB = 1073741824.0;
} // namespace

HubFileListModel::HubFileListModel(HubSearch *search, QObject *parent)
    : QAbstractListModel(parent)
    , m_search(search)
    , m_physicalMemory(SystemInfo::physicalMemoryBytes())
{
    connect(search, &HubSearch::filesChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

void HubFileListModel::setModelManager(ModelManager *manager)
{
    for (const auto &connection : std::as_const(m_managerConnections))
        disconnect(connection);
    m_managerConnections.clear();
    m_manager = manager;
    if (manager) {
        // Any change in the library may be one of these files starting or finishing.
        const auto changed = [this] {
            if (rowCount() > 0)
                emit dataChanged(index(0),
                                 index(rowCount() - 1),
                                 {LocalStateRole, DownloadProgressRole});
        };
        ModelListModel *list = manager->modelList();
        m_managerConnections << connect(list, &QAbstractItemModel::dataChanged, this, changed)
                             << connect(list, &QAbstractItemModel::modelReset, this, changed);
    }
    beginResetModel();
    endResetModel();
}

int HubFileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_search ? 0 : int(m_search->files().size());
}

namespace {
// The projector's own size, labelled as model sizes are.
QString projectorSize(const HubFile &file)
{
    ModelVariant sized;
    sized.sizeGB = double(file.sizes.value(file.projectorIndex())) / bytesPerGB;
    return sized.sizeLabel();
}
} // namespace

QVariant HubFileListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const HubFile &file = m_search->files().at(index.row());
    ModelVariant sized;
    sized.sizeGB = double(file.totalBytes()) / bytesPerGB;
    const auto local
        = m_manager ? m_manager->hubVariant(m_search->expandedRepo(), file.name()) : std::nullopt;
    switch (role) {
    case Qt::DisplayRole:
    case FileNameRole:
        return file.name();
    case QuantizationRole:
        return file.quantization;
    case SizeLabelRole:
        return sized.sizeLabel();
    case PartsTextRole:
        return file.modelPartCount() > 1 ? QStringLiteral("%1 parts").arg(file.modelPartCount())
                                         : QString();
    case VisionTextRole:
        return file.projectorIndex() >= 0 ? QStringLiteral("Vision (") + projectorSize(file) + u')'
                                          : QString();
    case MayExceedMemoryRole:
        return sized.mayExceedMemory(m_physicalMemory);
    case MemoryWarningRole:
        return Catalog::memoryWarningText(m_physicalMemory);
    case LocalStateRole:
        if (local && local->isDownloading)
            return QVariant::fromValue(LocalState::Downloading);
        return QVariant::fromValue(local && local->isDownloaded ? LocalState::Downloaded
                                                                : LocalState::Absent);
    case DownloadProgressRole:
        return local ? local->downloadProgress : 0.0;
    default:
        return {};
    }
}

QHash<int, QByteArray> HubFileListModel::roleNames() const
{
    return {
        {FileNameRole, "fileName"},
        {QuantizationRole, "quantization"},
        {SizeLabelRole, "sizeLabel"},
        {PartsTextRole, "partsText"},
        {VisionTextRole, "visionText"},
        {MayExceedMemoryRole, "mayExceedMemory"},
        {MemoryWarningRole, "memoryWarning"},
        {LocalStateRole, "localState"},
        {DownloadProgressRole, "downloadProgress"},
    };
}

#include "models/modellistmodel.h"

#include "platform/systeminfo.h"

#include <QDir>

namespace {
QString idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}
} // namespace

ModelListModel::ModelListModel(QObject *parent)
    : QAbstractListModel(parent)
    , m_physicalMemory(SystemInfo::physicalMemoryBytes())
{}

int ModelListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ModelListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Position position = m_rows.at(index.row());
    const HFModel &model = m_models.at(position.model);
    const ModelVariant &variant = model.variants.at(position.variant);
    switch (role) {
    case Qt::DisplayRole:
    case DisplayNameRole:
        return model.displayName;
    case ModelIdRole:
        return idText(model.id);
    case RepoRole:
        return model.repo;
    case DescriptionRole:
        return model.description;
    case ParameterCountRole:
        return model.parameterCount;
    case HasDownloadedVariantRole:
        return model.hasDownloadedVariant();
    case VariantIndexRole:
        return int(position.variant);
    case VariantIdRole:
        return idText(variant.id);
    case QuantizationRole:
        return variant.quantization;
    case SizeGBRole:
        return variant.sizeGB;
    case FilenameRole:
        return variant.filename;
    case FilePathRole:
        return QDir(model.localFolder.isEmpty()
                        ? QDir(m_modelsDirectory).filePath(model.folderName())
                        : model.localFolder)
            .filePath(variant.filename);
    case SourceRole:
        return int(model.source);
    case IsDownloadedRole:
        return variant.isDownloaded;
    case SeesImagesRole:
        return variant.seesImages;
    case HasSeeingVariantRole:
        return model.hasSeeingVariant();
    case DownloadProgressRole:
        return variant.downloadProgress;
    case IsDownloadingRole:
        return variant.isDownloading;
    case DownloadedBytesRole:
        return variant.downloadedBytes;
    case TotalBytesRole:
        return variant.totalBytes;
    case DownloadStartTimeRole:
        return variant.downloadStartTime.value_or(QDateTime());
    case ResumedBytesRole:
        return variant.resumedBytes;
    case SizeLabelRole:
        return variant.sizeLabel();
    case QualityLabelRole:
        return variant.qualityLabel();
    case MayExceedMemoryRole:
        return variant.mayExceedMemory(m_physicalMemory);
    case MemoryWarningRole:
        return Catalog::memoryWarningText(m_physicalMemory);
    default:
        return {};
    }
}

QHash<int, QByteArray> ModelListModel::roleNames() const
{
    return {
        {ModelIdRole, "modelId"},
        {RepoRole, "repo"},
        {DisplayNameRole, "displayName"},
        {DescriptionRole, "description"},
        {ParameterCountRole, "parameterCount"},
        {HasDownloadedVariantRole, "hasDownloadedVariant"},
        {VariantIndexRole, "variantIndex"},
        {VariantIdRole, "variantId"},
        {QuantizationRole, "quantization"},
        {SizeGBRole, "sizeGB"},
        {FilenameRole, "filename"},
        {FilePathRole, "filePath"},
        {IsDownloadedRole, "isDownloaded"},
        {DownloadProgressRole, "downloadProgress"},
        {IsDownloadingRole, "isDownloading"},
        {DownloadedBytesRole, "downloadedBytes"},
        {TotalBytesRole, "totalBytes"},
        {DownloadStartTimeRole, "downloadStartTime"},
        {ResumedBytesRole, "resumedBytes"},
        {SizeLabelRole, "sizeLabel"},
        {QualityLabelRole, "qualityLabel"},
        {MayExceedMemoryRole, "mayExceedMemory"},
        {MemoryWarningRole, "memoryWarning"},
        {SourceRole, "source"},
        {SeesImagesRole, "seesImages"},
        {HasSeeingVariantRole, "hasSeeingVariant"},
    };
}

void ModelListModel::setModels(const QList<HFModel> &models)
{
    beginResetModel();
    m_models = models;
    rebuildRows();
    endResetModel();
}

void ModelListModel::setVariant(qsizetype modelIndex,
                                qsizetype variantIndex,
                                const ModelVariant &variant)
{
    HFModel &model = m_models[modelIndex];
    ModelVariant &current = model.variants[variantIndex];
    QList<int> roles;
    const auto note = [&roles](bool changed, int role) {
        if (changed)
            roles.append(role);
    };
    note(current.isDownloaded != variant.isDownloaded, IsDownloadedRole);
    note(current.seesImages != variant.seesImages, SeesImagesRole);
    note(current.downloadProgress != variant.downloadProgress, DownloadProgressRole);
    note(current.isDownloading != variant.isDownloading, IsDownloadingRole);
    note(current.downloadedBytes != variant.downloadedBytes, DownloadedBytesRole);
    note(current.totalBytes != variant.totalBytes, TotalBytesRole);
    note(current.downloadStartTime != variant.downloadStartTime, DownloadStartTimeRole);
    note(current.resumedBytes != variant.resumedBytes, ResumedBytesRole);
    note(current.quantization != variant.quantization, QuantizationRole);
    note(current.filename != variant.filename, FilenameRole);
    note(current.sizeGB != variant.sizeGB, SizeGBRole);
    const bool downloadedChanged
        = current.isDownloaded != variant.isDownloaded || current.seesImages != variant.seesImages;
    current = variant;
    if (roles.isEmpty())
        return;
    const int row = rowOf(modelIndex, variantIndex);
    emit dataChanged(index(row), index(row), roles);
    if (downloadedChanged) {
        // The card's checkmark and badges are shared by every row of the model.
        const int first = rowOf(modelIndex, 0);
        const int last = rowOf(modelIndex, model.variants.size() - 1);
        emit dataChanged(index(first),
                         index(last),
                         {HasDownloadedVariantRole, HasSeeingVariantRole});
    }
}

qsizetype ModelListModel::indexOfModel(const QUuid &modelId) const
{
    for (qsizetype i = 0; i < m_models.size(); ++i) {
        if (m_models[i].id == modelId)
            return i;
    }
    return -1;
}

int ModelListModel::rowOf(qsizetype modelIndex, qsizetype variantIndex) const
{
    int row = 0;
    for (qsizetype i = 0; i < modelIndex; ++i)
        row += int(m_models[i].variants.size());
    return row + int(variantIndex);
}

void ModelListModel::setPhysicalMemoryBytes(quint64 bytes)
{
    m_physicalMemory = bytes;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0),
                         index(int(m_rows.size()) - 1),
                         {MayExceedMemoryRole, MemoryWarningRole});
}

void ModelListModel::rebuildRows()
{
    m_rows.clear();
    for (qsizetype m = 0; m < m_models.size(); ++m) {
        for (qsizetype v = 0; v < m_models[m].variants.size(); ++v)
            m_rows.append(Position{m, v});
    }
}

#pragma once

#include "models/catalog.h"

#include <QAbstractListModel>

// The catalogue as QML sees it: one row per variant, carrying its model's fields,
// so that a progress report changes exactly one row. Rows of one model are adjacent
// and in catalogue order; VariantIndexRole 0 starts a model.
class ModelListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        ModelIdRole = Qt::UserRole + 1, /**< The model's identifier text, upper case. */
        RepoRole,                       /**< "owner/name" on the hub. */
        DisplayNameRole,                /**< The model's name shown to the user. */
        DescriptionRole,                /**< One-sentence description of the model. */
        ParameterCountRole,             /**< Size of the model as shown, such as "3B". */
        HasDownloadedVariantRole,       /**< Some variant of this row's model is downloaded. */
        VariantIndexRole,               /**< Position of the variant within its model. */
        VariantIdRole,                  /**< The variant's identifier text, upper case. */
        QuantizationRole,               /**< Quantisation name, such as "Q4_K_M". */
        SizeGBRole,                     /**< Approximate file size in units of 2^30 bytes. */
        FilenameRole,                   /**< File name on the hub and on disk. */
        FilePathRole,                   /**< Where the file lives in the models folder. */
        IsDownloadedRole,               /**< The file is in the models folder. */
        DownloadProgressRole,  /**< 0 to 1 while downloading; 1 after a completed download. */
        IsDownloadingRole,     /**< A download of this file is running. */
        DownloadedBytesRole,   /**< Bytes received so far. */
        TotalBytesRole,        /**< Length announced by the server; 0 when unknown. */
        DownloadStartTimeRole, /**< When the running download began; invalid when none. */
        SizeLabelRole,         /**< "2.0 GB" or "512 MB". */
        QualityLabelRole,      /**< "Recommended" and the like. */
        MayExceedMemoryRole,   /**< The model may not fit in this computer's memory. */
        MemoryWarningRole,     /**< The warning text shown with MayExceedMemoryRole. */
        ResumedBytesRole,      /**< Bytes already on disk when the running transfer began. */
        SourceRole,            /**< ModelSource: catalogue, hub download or a file used in place. */
        SeesImagesRole,        /**< Downloaded with a projector: the model sees pictures. */
        HasSeeingVariantRole,  /**< Some variant of this row's model sees pictures. */
    };
    Q_ENUM(Roles)

    explicit ModelListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<HFModel> &models() const { return m_models; }
    void setModels(const QList<HFModel> &models);

    // Replaces one variant and announces only the roles that changed.
    void setVariant(qsizetype modelIndex, qsizetype variantIndex, const ModelVariant &variant);
    qsizetype indexOfModel(const QUuid &modelId) const;
    int rowOf(qsizetype modelIndex, qsizetype variantIndex) const;

    // Memory size used for the warning roles; the computer's own by default.
    void setPhysicalMemoryBytes(quint64 bytes);
    // The folder that FilePathRole is formed in.
    void setModelsDirectory(const QString &path) { m_modelsDirectory = path; }

private:
    struct Position
    {
        qsizetype model;
        qsizetype variant;
    };
    void rebuildRows();

    QList<HFModel> m_models;
    QList<Position> m_rows;
    quint64 m_physicalMemory = 0;
    QString m_modelsDirectory;
};

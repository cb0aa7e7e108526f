#pragma once

#include <QAbstractListModel>
#include <QPointer>

class HubSearch;
class ModelManager;

// The GGUF models of the repository open in the hub search, each with its size, the
// memory warning and whether the library is downloading it or has it.
class HubFileListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // What the library has of a file.
    enum class LocalState {
        Absent,      // offers "Download"
        Downloading, // the library's card shows the transfer
        Downloaded,
    };
    Q_ENUM(LocalState)

    enum Roles {
        FileNameRole = Qt::UserRole + 1, /**< The file's name; the first part's for a split file. */
        QuantizationRole,                /**< "Q4_K_M" and the like, or "GGUF". */
        SizeLabelRole,                   /**< "2.0 GB" or "512 MB", all parts together. */
        PartsTextRole,                   /**< "3 parts" for a split file; empty otherwise. */
        VisionTextRole, /**< "Vision (851 MB)": the projector that comes along; empty without. */
        MayExceedMemoryRole,  /**< The file may not fit in this computer's memory. */
        MemoryWarningRole,    /**< The warning text shown with MayExceedMemoryRole. */
        LocalStateRole,       /**< LocalState of the file. */
        DownloadProgressRole, /**< 0 to 1 while downloading. */
    };
    Q_ENUM(Roles)

    HubFileListModel(HubSearch *search, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Where the download state comes from.
    void setModelManager(ModelManager *manager);
    // Memory size used for the warning roles; the computer's own by default.
    void setPhysicalMemoryBytes(quint64 bytes) { m_physicalMemory = bytes; }

private:
    QPointer<HubSearch> m_search;
    QPointer<ModelManager> m_manager;
    QList<QMetaObject::Connection> m_managerConnections;
    quint64 m_physicalMemory = 0;
};

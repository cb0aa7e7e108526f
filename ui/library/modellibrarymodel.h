#pragma once

#include "engine/servermanager.h"
#include "models/hubfilelistmodel.h"
#include "models/hubsearch.h"
#include "models/modelmanager.h"

#include <QPointer>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <QCoroTask>

#include <chrono>

// The model library screen's list: the catalogue's variant rows, filtered by the search
// text, with what each row shows worked out here: which control it offers, whether its
// card is open, and its transfer and time-left texts. The screen's actions go through
// it by row.
class ModelLibraryModel : public QSortFilterProxyModel
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ModelManager *modelManager READ modelManager WRITE setModelManager NOTIFY
                   modelManagerChanged)
    Q_PROPERTY(ServerManager *serverManager READ serverManager WRITE setServerManager NOTIFY
                   serverManagerChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    // The model identifier whose card is open; empty when none.
    Q_PROPERTY(QString expandedModelID READ expandedModelID WRITE setExpandedModelID NOTIFY
                   expandedModelIDChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // The hub's repositories for the search text, and the files of the open one.
    Q_PROPERTY(HubSearch *hub READ hub CONSTANT)
    Q_PROPERTY(HubFileListModel *hubFiles READ hubFiles CONSTANT)
    // Where the file panel for model files opens.
    Q_PROPERTY(QUrl homeFolder READ homeFolder CONSTANT)

public:
    // The right-hand control of a variant row.
    enum class VariantState {
        Download,    // neither downloading nor downloaded
        Downloading, // progress, texts and the cancel button
        Load,        // downloaded, not loaded: "Load" / "Loading…" and the trash button
        Loaded,      // "Loaded" and the trash button
    };
    Q_ENUM(VariantState)

    // Where keyboard focus goes when a row changes state under the control just pressed:
    // the control the new state offers, but after a load the card, so that a second
    // key press never reaches the trash button of the model just loaded.
    enum class FocusTarget { DownloadButton, CancelButton, LoadButton, Card };
    Q_ENUM(FocusTarget)

    enum Roles {
        IsExpandedRole = Qt::UserRole + 200, /**< The row's card is the open one. */
        IsFirstOfModelRole,                  /**< The row starts its model's card. */
        IsLastOfModelRole,                   /**< The row ends its model's card. */
        VariantStateRole,                    /**< VariantState of the row. */
        LoadButtonTextRole,                  /**< "Loading…" while any start runs, else "Load". */
        TransferTextRole,                    /**< "1 / 2 MB · 50%" or "1 MB · 0%". */
        TimeLeftTextRole, /**< "Estimating…", "5s left", "1:40 left"; empty without a start time. */
        SectionTitleRole, /**< "On this computer" above the first file used in place; else empty. */
        FocusTargetRole,  /**< FocusTarget of the row's state. */
    };
    Q_ENUM(Roles)

    explicit ModelLibraryModel(QObject *parent = nullptr);

    ModelManager *modelManager() const { return m_modelManager; }
    void setModelManager(ModelManager *manager);
    ServerManager *serverManager() const { return m_serverManager; }
    void setServerManager(ServerManager *manager);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    QString expandedModelID() const { return m_expandedModelID; }
    void setExpandedModelID(const QString &id);
    int count() const { return rowCount(); }
    HubSearch *hub() { return &m_hub; }
    HubFileListModel *hubFiles() { return &m_hubFiles; }
    static QUrl homeFolder();

    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // How often the time-left texts are worked out again while a download runs.
    void setTickInterval(std::chrono::milliseconds interval) { m_tick.setInterval(interval); }

    static FocusTarget focusTarget(VariantState state);
    // "%.0f / %.0f MB · %d%%" with a total, else "%.0f MB · %d%%"; MB are 2^20 bytes
    // and the percentage is the progress truncated.
    static QString transferText(qint64 downloadedBytes, qint64 totalBytes, double progress);
    // From the progress and the seconds since the start: "Estimating…" until past 2% and
    // half a second, then the rest of the time in proportion.
    static QString timeLeftText(double progress, double elapsedSeconds);
    // The share of this transfer done: a resumed download counts only what it fetched.
    static double transferProgress(qint64 downloadedBytes,
                                   qint64 totalBytes,
                                   qint64 resumedBytes,
                                   double progress);

    // Opens the row's card, or closes it when open; at most one card is open.
    Q_INVOKABLE void toggle(int row);
    Q_INVOKABLE void download(int row);
    Q_INVOKABLE void cancel(int row);
    Q_INVOKABLE void load(int row);
    Q_INVOKABLE void remove(int row);
    Q_INVOKABLE void stopServer();
    // Downloads a file of the open hub repository; its card opens to show the transfer.
    Q_INVOKABLE void downloadHubFile(int fileRow);
    // Lists a GGUF file where it is; returns why it cannot be, or an empty text.
    Q_INVOKABLE QString addModelFile(const QUrl &file);

signals:
    void modelManagerChanged();
    void serverManagerChanged();
    void searchTextChanged();
    void expandedModelIDChanged();
    void countChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QVariant source(int row, int role) const;
    VariantState variantState(const QModelIndex &index) const;
    void announceRows(const QList<int> &roles);
    void updateTicking();
    QCoro::Task<> start(QString path, QString name);
    QCoro::Task<> stop();

    QPointer<ModelManager> m_modelManager;
    QPointer<ServerManager> m_serverManager;
    QString m_searchText;
    QString m_expandedModelID;
    QTimer m_tick;
    HubSearch m_hub;
    HubFileListModel m_hubFiles{&m_hub};
    QList<QMetaObject::Connection> m_serverConnections;
};

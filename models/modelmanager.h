#pragma once

#include "models/catalog.h"
#include "models/hfdownloadsession.h"
#include "models/hubapi.h"
#include "models/modellistmodel.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <optional>

// The built-in catalogue with live per-file state: which files are in the models
// folder, which are downloading and how far. Starts, cancels and deletes. One for
// the whole run, on the main thread.
class ModelManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ModelListModel *models READ modelList CONSTANT)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(bool hasLastError READ hasLastError NOTIFY lastErrorChanged)
    Q_PROPERTY(int activeDownloadCount READ activeDownloadCount NOTIFY activeSessionsChanged)
    Q_PROPERTY(QString modelsDirectory READ modelsDirectory CONSTANT)

public:
    static inline const QString defaultHubAddress = QStringLiteral("https://huggingface.co/");

    // Builds the catalogue and reads the models folder once.
    explicit ModelManager(QObject *parent = nullptr);
    ~ModelManager() override;

    ModelListModel *modelList() { return &m_models; }
    const QList<HFModel> &models() const { return m_models.models(); }
    std::optional<HFModel> model(const QUuid &modelId) const;

    std::optional<QString> lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastError.value_or(QString()); }
    bool hasLastError() const { return m_lastError.has_value(); }
    void setLastError(const std::optional<QString> &text);
    // The error alert's "OK".
    Q_INVOKABLE void clearLastError() { setLastError(std::nullopt); }

    // The running download of a variant, if any.
    HFDownloadSession *activeSession(const QUuid &variantId) const;
    int activeDownloadCount() const { return int(m_activeSessions.size()); }

    // Sets every variant's isDownloaded from the models folder.
    Q_INVOKABLE void refreshDownloadStatus();
    // Returns at once; the outcome arrives in the variant's fields and lastError.
    void startDownload(const HFModel &model, const ModelVariant &variant);
    void cancelDownload(const HFModel &model, const ModelVariant &variant);
    // Removes the file and announces it with modelFileRemoved, so that whoever loaded
    // or remembered that file can let go of it.
    void deleteModel(const HFModel &model, const ModelVariant &variant);

    // Cancels every download (their partial files go too), then removes the models folder
    // and the downloads folder with everything in them. Failures to remove are ignored:
    // what could not go is found again by refreshDownloadStatus().
    void removeAllModels();

    // The same by identifier text, for QML.
    Q_INVOKABLE void startDownload(const QString &modelId, const QString &variantId);
    Q_INVOKABLE void cancelDownload(const QString &modelId, const QString &variantId);
    Q_INVOKABLE void deleteModel(const QString &modelId, const QString &variantId);

    static QString appDataDirectory();
    Q_INVOKABLE static QString modelsDirectory();
    // Downloads in progress live here: beside the models folder, on the same volume.
    static QString partialDirectory();
    static QString modelFolderPath(const HFModel &model);
    static QString filePath(const HFModel &model, const ModelVariant &variant);
    static QString partialFilePath(const HFModel &model, const ModelVariant &variant);
    // The hub's address, ending with "/": HF_ENDPOINT when set (mirrors), else the public hub.
    static QString hubBaseAddress();
    static QUrl downloadURL(const HFModel &model, const ModelVariant &variant);

    // A GGUF model from the hub joins the library after the catalogue (or is found there
    // already) and starts downloading: every part of a split file, in order. Returns the
    // model's identifier text.
    QString downloadHubFile(const QString &repo, const HubFile &file);
    // The library's variant of a hub file, if it has one.
    std::optional<ModelVariant> hubVariant(const QString &repo, const QString &fileName) const;
    // Lists a GGUF file where it is, after the hub's models; never copies or moves it.
    // Returns why it cannot be used (and adds nothing), or an empty text.
    QString addLocalFile(const QString &path);
    // Every file of a variant: the parts of a split hub model, else its one file.
    QStringList partFilePaths(const HFModel &model, const ModelVariant &variant) const;

    // Limits of each new transfer: time without data, and the whole transfer.
    void setTransferTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds total);

signals:
    void lastErrorChanged();
    void activeSessionsChanged();
    // A model file was deleted (it may have been absent already); emitted after the removal.
    void modelFileRemoved(const QString &path);

private:
    // Sets whether the variant's files are here and, then, whether a projector lies beside them.
    static void markPresence(const HFModel &model, ModelVariant &variant, bool present);

    struct ActiveDownload
    {
        QPointer<HFDownloadSession> session;
        quint64 ticket = 0; // ties reports to the transfer that made them
        qsizetype part = 0; // which file of a split model is coming
    };
    struct Location
    {
        qsizetype model = -1;
        qsizetype variant = -1;
        bool found() const { return model >= 0 && variant >= 0; }
    };

    void startPart(const HFModel &model,
                   const ModelVariant &variant,
                   quint64 ticket,
                   qsizetype part);
    // The hub's file list entry of a variant; a catalogue variant is one file of unknown size.
    HubFile partsOf(const ModelVariant &variant) const;
    bool isPresent(const HFModel &model, const ModelVariant &variant) const;
    // The first name of a variant (its repository, a part) that the app stores no file under,
    // or whose files would land outside the repository's folders; empty when none.
    QString refusedName(const HFModel &model, const ModelVariant &variant) const;
    // Reads the index of hub downloads and files used in place; saves what it keeps.
    void loadIndex();
    void saveIndex() const;
    // Replaces the library, keeping its order: catalogue, hub models, files used in place.
    void setLibrary(QList<HFModel> library);
    void forgetMissingLocalFiles();

    Location locate(const QUuid &modelId, const QUuid &variantId) const;
    bool isCurrent(const QUuid &variantId, quint64 ticket) const;
    void applyProgress(quint64 ticket,
                       const QUuid &modelId,
                       const QUuid &variantId,
                       double fraction,
                       qint64 written,
                       qint64 expected);
    void applyCompletion(quint64 ticket,
                         const QUuid &modelId,
                         const QUuid &variantId,
                         const DownloadResult &result);

    ModelListModel m_models;
    std::optional<QString> m_lastError;
    QHash<QUuid, ActiveDownload> m_activeSessions;
    quint64 m_nextTicket = 0;
    QHash<QUuid, HubFile> m_hubFiles; // by variant

    std::chrono::milliseconds m_idleTimeout = HFDownloadSession::defaultIdleTimeout;
    std::chrono::milliseconds m_totalTimeout = HFDownloadSession::defaultTotalTimeout;
};

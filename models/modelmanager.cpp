#include "models/modelmanager.h"

#include "models/storednames.h"
#include "platform/paths.h"
#include "platform/projectorfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <numeric>

namespace {
// Built once per run, so identifiers stay the same for every manager of the run.
const QList<HFModel> &catalog()
{
    static const QList<HFModel> models = Catalog::builtIn();
    return models;
}
} // namespace

ModelManager::ModelManager(QObject *parent)
    : QObject(parent)
{
    m_models.setModelsDirectory(modelsDirectory());
    m_models.setModels(catalog());
    loadIndex();
    refreshDownloadStatus();
}

// Running transfers are children and end with the manager, quietly; their partial
// files stay for a resume.
ModelManager::~ModelManager() = default;

std::optional<HFModel> ModelManager::model(const QUuid &modelId) const
{
    const qsizetype index = m_models.indexOfModel(modelId);
    if (index < 0)
        return std::nullopt;
    return models().at(index);
}

void ModelManager::setLastError(const std::optional<QString> &text)
{
    if (m_lastError == text)
        return;
    m_lastError = text;
    emit lastErrorChanged();
}

HFDownloadSession *ModelManager::activeSession(const QUuid &variantId) const
{
    const auto it = m_activeSessions.constFind(variantId);
    return it == m_activeSessions.cend() ? nullptr : it->session.data();
}

void ModelManager::markPresence(const HFModel &model, ModelVariant &variant, bool present)
{
    variant.isDownloaded = present;
    variant.seesImages = present && ProjectorFiles::beside(filePath(model, variant)).has_value();
}

void ModelManager::refreshDownloadStatus()
{
    const QList<HFModel> &all = models();
    for (qsizetype m = 0; m < all.size(); ++m) {
        for (qsizetype v = 0; v < all[m].variants.size(); ++v) {
            const HFModel &model = models()[m];
            ModelVariant variant = model.variants[v];
            markPresence(model, variant, isPresent(model, variant));
            m_models.setVariant(m, v, variant);
        }
    }
    forgetMissingLocalFiles();
}

void ModelManager::startDownload(const HFModel &model, const ModelVariant &variant)
{
    const Location at = locate(model.id, variant.id);
    if (!at.found())
        return;
    const HFModel current = models()[at.model];
    ModelVariant state = current.variants[at.variant];
    if (state.isDownloading)
        return; // never two transfers of one file
    if (const QString refused = refusedName(current, state); !refused.isEmpty()) {
        setLastError(StoredNames::refusal(refused));
        return;
    }
    const QUrl address = downloadURL(current, state);
    if (!address.isValid() || address.scheme().isEmpty() || address.host().isEmpty()) {
        setLastError(QStringLiteral("Download failed: “%1” is not a valid hub address.")
                         .arg(hubBaseAddress()));
        return;
    }
    QDir().mkpath(modelFolderPath(current));

    state.isDownloading = true;
    state.downloadProgress = 0.0;
    state.downloadedBytes = 0;
    state.totalBytes = 0;
    state.resumedBytes = 0;
    state.downloadStartTime = QDateTime::currentDateTime();
    m_models.setVariant(at.model, at.variant, state);

    // Parts already in place are complete files (they arrive by rename): not fetched again.
    const QStringList paths = partFilePaths(current, state);
    qsizetype first = 0;
    while (first + 1 < paths.size() && QFileInfo(paths[first]).isFile())
        ++first;
    startPart(current, state, ++m_nextTicket, first);
    emit activeSessionsChanged();
}

void ModelManager::startPart(const HFModel &model,
                             const ModelVariant &variant,
                             quint64 ticket,
                             qsizetype part)
{
    const HubFile parts = partsOf(variant);
    const QString name = parts.parts.value(part);
    ModelVariant file = variant;
    file.filename = name;
    const QUuid modelId = model.id;
    const QUuid variantId = variant.id;
    QPointer<ModelManager> self(this);
    auto *session = new HFDownloadSession(
        filePath(model, file),
        partialFilePath(model, file),
        [self, ticket, modelId, variantId](double fraction, qint64 written, qint64 expected) {
            if (self)
                self->applyProgress(ticket, modelId, variantId, fraction, written, expected);
        },
        [self, ticket, modelId, variantId](const DownloadResult &result) {
            if (self)
                self->applyCompletion(ticket, modelId, variantId, result);
        },
        this);
    session->setTimeouts(m_idleTimeout, m_totalTimeout);
    if (!parts.digests.value(part).isEmpty() || parts.sizes.value(part) > 0)
        session->expect(parts.digests.value(part), parts.sizes.value(part, -1));
    m_activeSessions.insert(variantId, ActiveDownload{session, ticket, part});
    session->start(downloadURL(model, file));
}

void ModelManager::cancelDownload(const HFModel &model, const ModelVariant &variant)
{
    const auto it = m_activeSessions.find(variant.id);
    if (it != m_activeSessions.end()) {
        const QPointer<HFDownloadSession> session = it->session;
        m_activeSessions.erase(it);
        emit activeSessionsChanged();
        if (session)
            session->cancel();
    }
    const Location at = locate(model.id, variant.id);
    if (!at.found())
        return;
    ModelVariant state = models()[at.model].variants[at.variant];
    state.isDownloading = false;
    state.downloadProgress = 0.0;
    state.downloadedBytes = 0;
    state.totalBytes = 0;
    state.downloadStartTime.reset();
    m_models.setVariant(at.model, at.variant, state);
}

void ModelManager::removeAllModels()
{
    // A download left running would recreate the folders and finish into them.
    const QList<HFModel> catalogue = models();
    for (const HFModel &model : catalogue) {
        for (const ModelVariant &variant : model.variants) {
            if (m_activeSessions.contains(variant.id))
                cancelDownload(model, variant);
        }
    }
    QDir(modelsDirectory()).removeRecursively();
    QDir(partialDirectory()).removeRecursively();
    // The index went with the folder: only the catalogue is left to show.
    setLibrary(models().mid(0, catalog().size()));
    refreshDownloadStatus();
}

void ModelManager::deleteModel(const HFModel &model, const ModelVariant &variant)
{
    const QString path = filePath(model, variant);
    const Location at = locate(model.id, variant.id);
    const ModelSource source = at.found() ? models()[at.model].source : model.source;
    if (source == ModelSource::Local) {
        // The user's own file stays; the library only forgets it.
        QList<HFModel> library = models();
        if (at.found())
            library.removeAt(at.model);
        setLibrary(std::move(library));
    } else {
        // Nothing outside the repository's folder is ever removed.
        const QStringList parts
            = refusedName(model, variant).isEmpty() ? partFilePaths(model, variant) : QStringList();
        for (const QString &part : parts)
            QFile::remove(part);
        if (at.found()) {
            ModelVariant state = models()[at.model].variants[at.variant];
            markPresence(model, state, false);
            state.downloadProgress = 0.0;
            m_models.setVariant(at.model, at.variant, state);
        }
    }
    if (source != ModelSource::Catalogue)
        saveIndex();
    emit modelFileRemoved(path);
}

void ModelManager::startDownload(const QString &modelId, const QString &variantId)
{
    const Location at = locate(QUuid::fromString(modelId), QUuid::fromString(variantId));
    if (at.found())
        startDownload(models()[at.model], models()[at.model].variants[at.variant]);
}

void ModelManager::cancelDownload(const QString &modelId, const QString &variantId)
{
    const Location at = locate(QUuid::fromString(modelId), QUuid::fromString(variantId));
    if (at.found())
        cancelDownload(models()[at.model], models()[at.model].variants[at.variant]);
}

void ModelManager::deleteModel(const QString &modelId, const QString &variantId)
{
    const Location at = locate(QUuid::fromString(modelId), QUuid::fromString(variantId));
    if (at.found())
        deleteModel(models()[at.model], models()[at.model].variants[at.variant]);
}

QString ModelManager::appDataDirectory()
{
    return Paths::appDataDirectory();
}

QString ModelManager::modelsDirectory()
{
    return Paths::modelsDirectory();
}

QString ModelManager::partialDirectory()
{
    const QString path = QDir(appDataDirectory()).filePath(QStringLiteral("downloads"));
    QDir().mkpath(path);
    return path;
}

QString ModelManager::modelFolderPath(const HFModel &model)
{
    if (!model.localFolder.isEmpty())
        return model.localFolder;
    return QDir(modelsDirectory()).filePath(model.folderName());
}

QString ModelManager::filePath(const HFModel &model, const ModelVariant &variant)
{
    return QDir(modelFolderPath(model)).filePath(variant.filename);
}

QString ModelManager::partialFilePath(const HFModel &model, const ModelVariant &variant)
{
    return QDir(QDir(partialDirectory()).filePath(model.folderName()))
        .filePath(variant.filename + QStringLiteral(".part"));
}

QString ModelManager::hubBaseAddress()
{
    QString base = qEnvironmentVariable("HF_ENDPOINT").trimmed();
    if (base.isEmpty())
        return defaultHubAddress;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base;
}

QUrl ModelManager::downloadURL(const HFModel &model, const ModelVariant &variant)
{
    // Each segment percent-encoded: spaces, "#", "%" and letters beyond ASCII are all
    // names the hub may list.
    const auto encoded = [](const QString &name) {
        QStringList segments = name.split(QLatin1Char('/'));
        for (QString &segment : segments)
            segment = QString::fromLatin1(QUrl::toPercentEncoding(segment));
        return segments.join(QLatin1Char('/'));
    };
    return QUrl(hubBaseAddress() + encoded(model.repo) + QStringLiteral("/resolve/main/")
                    + encoded(variant.filename),
                QUrl::StrictMode);
}

QString ModelManager::refusedName(const HFModel &model, const ModelVariant &variant) const
{
    if (!StoredNames::isAcceptable(model.repo))
        return model.repo;
    const QString folder = modelFolderPath(model);
    const QString partialFolder = QDir(partialDirectory()).filePath(model.folderName());
    for (const QString &name : partsOf(variant).parts) {
        ModelVariant file = variant;
        file.filename = name;
        const QString partial = partialFilePath(model, file);
        if (!StoredNames::isAcceptable(name)
            || !StoredNames::liesWithin(filePath(model, file), folder)
            || !StoredNames::liesWithin(partial, partialFolder)
            || !StoredNames::liesWithin(HFDownloadSession::validatorPath(partial), partialFolder))
            return name;
    }
    return {};
}

void ModelManager::setTransferTimeouts(std::chrono::milliseconds idle,
                                       std::chrono::milliseconds total)
{
    m_idleTimeout = idle;
    m_totalTimeout = total;
}

ModelManager::Location ModelManager::locate(const QUuid &modelId, const QUuid &variantId) const
{
    const qsizetype m = m_models.indexOfModel(modelId);
    if (m < 0)
        return {};
    const qsizetype v = models()[m].indexOfVariant(variantId);
    if (v < 0)
        return {};
    return Location{m, v};
}

bool ModelManager::isCurrent(const QUuid &variantId, quint64 ticket) const
{
    const auto it = m_activeSessions.constFind(variantId);
    return it != m_activeSessions.cend() && it->ticket == ticket;
}

void ModelManager::applyProgress(quint64 ticket,
                                 const QUuid &modelId,
                                 const QUuid &variantId,
                                 double fraction,
                                 qint64 written,
                                 qint64 expected)
{
    if (!isCurrent(variantId, ticket))
        return;
    const Location at = locate(modelId, variantId);
    if (!at.found())
        return;
    ModelVariant state = models()[at.model].variants[at.variant];
    // A split model counts as one file: the parts before this one are done.
    const HubFile parts = partsOf(state);
    const qsizetype part = m_activeSessions.value(variantId).part;
    if (parts.parts.size() > 1 && parts.totalBytes() > 0) {
        const qint64 before
            = std::accumulate(parts.sizes.cbegin(), parts.sizes.cbegin() + part, qint64(0));
        written += before;
        expected = parts.totalBytes();
        fraction = double(written) / double(expected);
    }
    state.downloadProgress = fraction;
    state.downloadedBytes = written;
    state.totalBytes = expected;
    const HFDownloadSession *session = activeSession(variantId);
    if (session && part == 0)
        state.resumedBytes = session->resumedBytes();
    m_models.setVariant(at.model, at.variant, state);
}

void ModelManager::applyCompletion(quint64 ticket,
                                   const QUuid &modelId,
                                   const QUuid &variantId,
                                   const DownloadResult &result)
{
    const Location at = locate(modelId, variantId);
    if (!at.found())
        return;
    const auto it = m_activeSessions.find(variantId);
    if (it != m_activeSessions.end()) {
        // A newer download of this file owns its state now.
        if (it->ticket != ticket)
            return;
        const qsizetype next = it->part + 1;
        const HFModel &model = models()[at.model];
        if (result.ok() && next < partsOf(model.variants[at.variant]).parts.size()) {
            startPart(model, model.variants[at.variant], ticket, next);
            return;
        }
        m_activeSessions.erase(it);
        emit activeSessionsChanged();
    } else if (result.cancelled) {
        return; // the user's own cancel has reset the row already, and is no error
    }
    ModelVariant state = models()[at.model].variants[at.variant];
    state.isDownloading = false;
    state.downloadStartTime.reset();
    if (result.ok()) {
        markPresence(models()[at.model], state, true);
        state.downloadProgress = 1.0;
    } else {
        state.downloadProgress = 0.0;
    }
    m_models.setVariant(at.model, at.variant, state);
    if (result.ok() && models()[at.model].source != ModelSource::Catalogue)
        saveIndex();
    if (!result.ok() && !result.cancelled)
        setLastError(QStringLiteral("Download failed: ") + *result.error);
}

// The library beyond the catalogue: models downloaded from the hub search and model
// files used where they are, remembered in the models folder's index.
#include "models/modelindex.h"
#include "models/modelmanager.h"
#include "models/storednames.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {
constexpr double bytesPerGB = 1073741824.0;

ModelVariant variantFor(const QString &fileName, const QString &quantization, qint64 bytes)
{
    ModelVariant variant;
    variant.id = QUuid::createUuid();
    variant.quantization = quantization;
    variant.sizeGB = double(bytes) / bytesPerGB;
    variant.filename = fileName;
    return variant;
}

HFModel hubModel(const QString &repo)
{
    HFModel model;
    model.id = QUuid::createUuid();
    model.repo = repo;
    model.displayName = repo.section(QLatin1Char('/'), -1);
    model.description = repo;
    model.parameterCount = HubApi::parameterCountOf(repo);
    model.source = ModelSource::Hub;
    return model;
}

HFModel localModel(const QString &path)
{
    const QFileInfo file(path);
    HFModel model;
    model.id = QUuid::createUuid();
    model.displayName = file.fileName();
    model.description = QDir::toNativeSeparators(file.absolutePath());
    model.parameterCount = HubApi::parameterCountOf(file.completeBaseName());
    model.source = ModelSource::Local;
    model.localFolder = file.absolutePath();
    const QString quantization = HubApi::quantizationOf(file.fileName());
    model.variants.append(variantFor(file.fileName(),
                                     quantization.isEmpty() ? QStringLiteral("GGUF") : quantization,
                                     file.size()));
    return model;
}

qsizetype indexOfRepo(const QList<HFModel> &library, const QString &repo)
{
    for (qsizetype i = 0; i < library.size(); ++i) {
        if (library[i].source == ModelSource::Hub && library[i].repo == repo)
            return i;
    }
    return -1;
}
} // namespace

QString ModelManager::downloadHubFile(const QString &repo, const HubFile &file)
{
    if (repo.isEmpty() || file.parts.isEmpty())
        return {};
    // Refused before the library or the disk hears of it.
    for (const QString &name : QStringList{repo} + file.parts) {
        if (!StoredNames::isAcceptable(name)) {
            setLastError(StoredNames::refusal(name));
            return {};
        }
    }
    QList<HFModel> library = models();
    qsizetype m = indexOfRepo(library, repo);
    if (m < 0) {
        library.append(hubModel(repo));
        m = library.size() - 1;
    }
    qsizetype v = -1;
    for (qsizetype i = 0; i < library[m].variants.size(); ++i) {
        if (library[m].variants[i].filename == file.name())
            v = i;
    }
    if (v < 0) {
        library[m].variants.append(variantFor(file.name(), file.quantization, file.totalBytes()));
        v = library[m].variants.size() - 1;
        m_hubFiles.insert(library[m].variants[v].id, file);
        setLibrary(std::move(library));
    } else {
        m_hubFiles.insert(library[m].variants[v].id, file);
    }
    const HFModel model = models()[indexOfRepo(models(), repo)];
    for (const ModelVariant &variant : model.variants) {
        if (variant.filename == file.name() && !variant.isDownloaded)
            startDownload(model, variant);
    }
    return model.id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<ModelVariant> ModelManager::hubVariant(const QString &repo,
                                                     const QString &fileName) const
{
    const qsizetype m = indexOfRepo(models(), repo);
    if (m < 0)
        return std::nullopt;
    for (const ModelVariant &variant : models()[m].variants) {
        if (variant.filename == fileName)
            return variant;
    }
    return std::nullopt;
}

QString ModelManager::addLocalFile(const QString &path)
{
    const QString problem = ModelIndex::ggufProblem(path);
    if (!problem.isEmpty())
        return problem;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QList<HFModel> library = models();
    const bool known = std::any_of(library.cbegin(), library.cend(), [&](const HFModel &model) {
        return model.source == ModelSource::Local
               && filePath(model, model.variants.value(0)) == absolute;
    });
    if (!known) {
        library.append(localModel(absolute));
        setLibrary(std::move(library));
        refreshDownloadStatus();
        saveIndex();
    }
    return {};
}

QStringList ModelManager::partFilePaths(const HFModel &model, const ModelVariant &variant) const
{
    const auto it = m_hubFiles.constFind(variant.id);
    if (it == m_hubFiles.cend() || it->parts.size() < 2)
        return {filePath(model, variant)};
    QStringList paths;
    for (const QString &part : it->parts) {
        ModelVariant file = variant;
        file.filename = part;
        paths.append(filePath(model, file));
    }
    return paths;
}

HubFile ModelManager::partsOf(const ModelVariant &variant) const
{
    const auto it = m_hubFiles.constFind(variant.id);
    if (it != m_hubFiles.cend())
        return *it;
    return HubFile{{variant.filename}, {}, {}, variant.quantization};
}

bool ModelManager::isPresent(const HFModel &model, const ModelVariant &variant) const
{
    const QStringList paths = partFilePaths(model, variant);
    return std::all_of(paths.cbegin(), paths.cend(), [](const QString &path) {
        return QFileInfo(path).isFile();
    });
}

void ModelManager::loadIndex()
{
    const QString folder = modelsDirectory();
    const QList<ModelIndexEntry> entries = ModelIndex::read(folder);
    QList<HFModel> library = models();
    for (const ModelIndexEntry &entry : entries) {
        if (entry.isLocal()) {
            library.append(localModel(entry.path));
            continue;
        }
        qsizetype m = indexOfRepo(library, entry.repo);
        if (m < 0) {
            library.append(hubModel(entry.repo));
            m = library.size() - 1;
        }
        const HubFile file{entry.parts, entry.sizes, entry.digests, [&] {
                               const QString q = HubApi::quantizationOf(entry.parts.first());
                               return q.isEmpty() ? QStringLiteral("GGUF") : q;
                           }()};
        ModelVariant variant = variantFor(file.name(), file.quantization, file.totalBytes());
        m_hubFiles.insert(variant.id, file);
        // The index lists only what is all there: downloaded, and kept so when it is written
        // again below. Whether it sees is refreshDownloadStatus()'s, which follows.
        variant.isDownloaded = true;
        library[m].variants.append(std::move(variant));
    }
    setLibrary(std::move(library));
    // What was dropped for a missing file leaves the index too.
    if (QFileInfo::exists(ModelIndex::filePath(folder)))
        saveIndex();
}

void ModelManager::saveIndex() const
{
    QList<ModelIndexEntry> entries;
    for (const HFModel &model : models()) {
        for (const ModelVariant &variant : model.variants) {
            if (model.source == ModelSource::Local) {
                entries.append({{}, {}, {}, {}, filePath(model, variant)});
            } else if (model.source == ModelSource::Hub && variant.isDownloaded) {
                const HubFile file = partsOf(variant);
                entries.append({model.repo, file.parts, file.sizes, file.digests, {}});
            }
        }
    }
    ModelIndex::write(modelsDirectory(), entries);
}

void ModelManager::setLibrary(QList<HFModel> library)
{
    std::stable_sort(library.begin(), library.end(), [](const HFModel &a, const HFModel &b) {
        return int(a.source) < int(b.source);
    });
    m_models.setModels(library);
}

void ModelManager::forgetMissingLocalFiles()
{
    QList<HFModel> library = models();
    const auto gone = std::remove_if(library.begin(), library.end(), [](const HFModel &model) {
        return model.source == ModelSource::Local && !model.variants.value(0).isDownloaded;
    });
    if (gone == library.end())
        return;
    library.erase(gone, library.end());
    setLibrary(std::move(library));
    saveIndex();
}

#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <nlohmann/json.hpp>

#include <optional>

// One quantisation file of a catalogue model, with its live download state.
struct ModelVariant
{
    QUuid id;
    QString quantization;
    double sizeGB = 0.0; // units of 2^30 bytes
    QString filename;
    bool isDownloaded = false;
    // Downloaded with a vision projector beside it, which the engine loads too: the model sees
    // pictures.
    bool seesImages = false;
    double downloadProgress = 0.0;
    bool isDownloading = false;
    qint64 downloadedBytes = 0;
    qint64 totalBytes = 0; // 0 until the server has announced a length
    std::optional<QDateTime> downloadStartTime;
    // Bytes already on disk when the running transfer began (a resume); the time left
    // is reckoned from the rest.
    qint64 resumedBytes = 0;

    // "2.0 GB" from one gigabyte up, "512 MB" below.
    QString sizeLabel() const;
    // "Recommended" for Q4_K_M and so on; an unknown quantisation names itself.
    QString qualityLabel() const;
    // Whether the file, with a fifth more for the engine's own use, would not fit in memory.
    bool mayExceedMemory(quint64 physicalMemoryBytes) const;
    bool mayExceedMemory() const;

    friend bool operator==(const ModelVariant &, const ModelVariant &) = default;
};

size_t qHash(const ModelVariant &variant, size_t seed = 0);

// Where a model of the library comes from.
enum class ModelSource {
    Catalogue, // built in
    Hub,       // downloaded from a repository the hub search found
    Local,     // a file elsewhere on this computer, used where it is
};

// One catalogue entry: a repository on the model hub and its downloadable files.
struct HFModel
{
    QUuid id;
    QString repo; // "owner/name" on the hub
    QString displayName;
    QString description;
    QString parameterCount;
    QList<ModelVariant> variants;
    ModelSource source = ModelSource::Catalogue;
    // For a file used where it is: the folder holding it.
    QString localFolder;

    // The folder name inside the models folder: the repo with "/" replaced by "_".
    QString folderName() const;
    qsizetype indexOfVariant(const QUuid &variantId) const;
    // Any of its quantisation files is in the models folder.
    bool hasDownloadedVariant() const;
    // Some downloaded variant came with its projector: the model sees pictures.
    bool hasSeeingVariant() const;

    friend bool operator==(const HFModel &, const HFModel &) = default;
};

namespace Catalog {
// The three built-in models, each with fresh identifiers.
QList<HFModel> builtIn();

// "May exceed available RAM (8 GB). Model may load slowly or fail."
QString memoryWarningText(quint64 physicalMemoryBytes);
QString memoryWarningText();

// The JSON form. The per-run fields (downloadedBytes, totalBytes, downloadStartTime)
// are neither written nor read; every other key is required.
nlohmann::json toJson(const ModelVariant &variant);
nlohmann::json toJson(const HFModel &model);
std::optional<ModelVariant> variantFromJson(const nlohmann::json &value);
std::optional<HFModel> modelFromJson(const nlohmann::json &value);
} // namespace Catalog

#include "models/catalog.h"

#include "platform/systeminfo.h"
#include "platform/wording.h"

#include <QHash>

#include <algorithm>

using nlohmann::json;

namespace {
constexpr double bytesPerGB = 1073741824.0;

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QString> textField(const json &object, const char *key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    return QString::fromStdString(it->get<std::string>());
}

std::optional<QUuid> uuidField(const json &object, const char *key)
{
    const auto text = textField(object, key);
    if (!text)
        return std::nullopt;
    const QUuid uuid = QUuid::fromString(*text);
    if (uuid.isNull())
        return std::nullopt;
    return uuid;
}

std::optional<double> numberField(const json &object, const char *key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number())
        return std::nullopt;
    return it->get<double>();
}

std::optional<bool> boolField(const json &object, const char *key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

ModelVariant q4Variant(double sizeGB, const char *filename)
{
    ModelVariant variant;
    variant.id = QUuid::createUuid();
    variant.quantization = QStringLiteral("Q4_K_M");
    variant.sizeGB = sizeGB;
    variant.filename = QString::fromLatin1(filename);
    return variant;
}

HFModel entry(const char *repo,
              const char *displayName,
              const char *description,
              const char *parameterCount,
              ModelVariant variant)
{
    return HFModel{QUuid::createUuid(),
                   QString::fromLatin1(repo),
                   QString::fromLatin1(displayName),
                   platformWording(QString::fromLatin1(description)), // "any Mac"
                   QString::fromLatin1(parameterCount),
                   {std::move(variant)},
                   ModelSource::Catalogue,
                   {}};
}
} // namespace

QString ModelVariant::sizeLabel() const
{
    if (sizeGB >= 1.0)
        return QString::asprintf("%.1f GB", sizeGB);
    return QString::asprintf("%.0f MB", sizeGB * 1024.0);
}

QString ModelVariant::qualityLabel() const
{
    if (quantization == QLatin1String("Q2_K"))
        return QStringLiteral("Smallest");
    if (quantization == QLatin1String("Q4_K_M"))
        return QStringLiteral("Recommended");
    if (quantization == QLatin1String("Q5_K_M"))
        return QStringLiteral("High Quality");
    if (quantization == QLatin1String("Q8_0"))
        return QStringLiteral("Best Quality");
    return quantization;
}

bool ModelVariant::mayExceedMemory(quint64 physicalMemoryBytes) const
{
    const double needed = sizeGB * bytesPerGB * 1.2;
    if (needed <= 0.0)
        return false;
    return physicalMemoryBytes < quint64(needed);
}

bool ModelVariant::mayExceedMemory() const
{
    return mayExceedMemory(SystemInfo::physicalMemoryBytes());
}

size_t qHash(const ModelVariant &variant, size_t seed)
{
    return qHashMulti(seed,
                      variant.id,
                      variant.quantization,
                      variant.sizeGB,
                      variant.filename,
                      variant.isDownloaded,
                      variant.downloadProgress,
                      variant.isDownloading,
                      variant.downloadedBytes,
                      variant.totalBytes,
                      variant.downloadStartTime.value_or(QDateTime()),
                      variant.resumedBytes);
}

QString HFModel::folderName() const
{
    QString name = repo;
    return name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

qsizetype HFModel::indexOfVariant(const QUuid &variantId) const
{
    for (qsizetype i = 0; i < variants.size(); ++i) {
        if (variants[i].id == variantId)
            return i;
    }
    return -1;
}

bool HFModel::hasDownloadedVariant() const
{
    return std::any_of(variants.cbegin(), variants.cend(), [](const ModelVariant &v) {
        return v.isDownloaded;
    });
}

bool HFModel::hasSeeingVariant() const
{
    return std::any_of(variants.cbegin(), variants.cend(), [](const ModelVariant &v) {
        return v.seesImages;
    });
}

QList<HFModel> Catalog::builtIn()
{
    return {
        entry("bartowski/Llama-3.2-3B-Instruct-GGUF",
              "Llama 3.2 3B Instruct",
              "Fast and lightweight. Best for quick tasks on any Mac.",
              "3B",
              q4Variant(2.0, "Llama-3.2-3B-Instruct-Q4_K_M.gguf")),
        entry("bartowski/Meta-Llama-3.1-8B-Instruct-GGUF",
              "Llama 3.1 8B Instruct",
              "Best overall quality. Recommended for most users.",
              "8B",
              q4Variant(4.9, "Meta-Llama-3.1-8B-Instruct-Q4_K_M.gguf")),
        entry("bartowski/Qwen2.5-3B-Instruct-GGUF",
              "Qwen 2.5 3B Instruct",
              "Strong reasoning and instruction following. Compact size, any Mac.",
              "3B",
              q4Variant(1.9, "Qwen2.5-3B-Instruct-Q4_K_M.gguf")),
    };
}

QString Catalog::memoryWarningText(quint64 physicalMemoryBytes)
{
    return QStringLiteral("May exceed available RAM (%1 GB). Model may load slowly or fail.")
        .arg(physicalMemoryBytes / quint64(bytesPerGB));
}

QString Catalog::memoryWarningText()
{
    return memoryWarningText(SystemInfo::physicalMemoryBytes());
}

json Catalog::toJson(const ModelVariant &variant)
{
    return json{
        {"id", utf8(uuidText(variant.id))},
        {"quantization", utf8(variant.quantization)},
        {"sizeGB", variant.sizeGB},
        {"filename", utf8(variant.filename)},
        {"isDownloaded", variant.isDownloaded},
        {"downloadProgress", variant.downloadProgress},
        {"isDownloading", variant.isDownloading},
    };
}

json Catalog::toJson(const HFModel &model)
{
    json variants = json::array();
    for (const ModelVariant &variant : model.variants)
        variants.push_back(toJson(variant));
    return json{
        {"id", utf8(uuidText(model.id))},
        {"repo", utf8(model.repo)},
        {"displayName", utf8(model.displayName)},
        {"description", utf8(model.description)},
        {"parameterCount", utf8(model.parameterCount)},
        {"variants", std::move(variants)},
    };
}

std::optional<ModelVariant> Catalog::variantFromJson(const json &value)
{
    if (!value.is_object())
        return std::nullopt;
    const auto id = uuidField(value, "id");
    const auto quantization = textField(value, "quantization");
    const auto sizeGB = numberField(value, "sizeGB");
    const auto filename = textField(value, "filename");
    const auto isDownloaded = boolField(value, "isDownloaded");
    const auto progress = numberField(value, "downloadProgress");
    const auto isDownloading = boolField(value, "isDownloading");
    if (!id || !quantization || !sizeGB || !filename || !isDownloaded || !progress || !isDownloading)
        return std::nullopt;
    ModelVariant variant;
    variant.id = *id;
    variant.quantization = *quantization;
    variant.sizeGB = *sizeGB;
    variant.filename = *filename;
    variant.isDownloaded = *isDownloaded;
    variant.downloadProgress = *progress;
    variant.isDownloading = *isDownloading;
    return variant;
}

std::optional<HFModel> Catalog::modelFromJson(const json &value)
{
    if (!value.is_object())
        return std::nullopt;
    const auto id = uuidField(value, "id");
    const auto repo = textField(value, "repo");
    const auto displayName = textField(value, "displayName");
    const auto description = textField(value, "description");
    const auto parameterCount = textField(value, "parameterCount");
    const auto variants = value.find("variants");
    if (!id || !repo || !displayName || !description || !parameterCount || variants == value.end()
        || !variants->is_array())
        return std::nullopt;
    HFModel model{*id,
                  *repo,
                  *displayName,
                  *description,
                  *parameterCount,
                  {},
                  ModelSource::Catalogue,
                  {}};
    for (const json &item : *variants) {
        auto variant = variantFromJson(item);
        if (!variant)
            return std::nullopt;
        model.variants.append(std::move(*variant));
    }
    return model;
}

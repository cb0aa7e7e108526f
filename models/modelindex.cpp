#include "models/modelindex.h"

#include "models/storednames.h"

#include "platform/savefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <nlohmann/json.hpp>

#include <algorithm>

using nlohmann::json;

namespace {
std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString text(const json &object, const char *key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? QString::fromStdString(it->get<std::string>())
                                                 : QString();
}

std::optional<ModelIndexEntry> entryFrom(const json &item)
{
    if (!item.is_object())
        return std::nullopt;
    ModelIndexEntry entry{text(item, "repo"), {}, {}, {}, text(item, "path")};
    const auto parts = item.find("parts");
    if (parts != item.end() && parts->is_array()) {
        for (const json &part : *parts) {
            if (!part.is_object() || text(part, "file").isEmpty())
                return std::nullopt;
            entry.parts.append(text(part, "file"));
            const auto size = part.find("size");
            entry.sizes.append(size != part.end() && size->is_number() ? size->get<qint64>() : 0);
            entry.digests.append(text(part, "sha256").toLatin1());
        }
    }
    const bool hub = !entry.repo.isEmpty() && !entry.parts.isEmpty();
    const bool local = entry.repo.isEmpty() && QFileInfo(entry.path).isAbsolute();
    if (!hub && !local)
        return std::nullopt;
    return entry;
}

json toJson(const ModelIndexEntry &entry)
{
    if (entry.isLocal())
        return json{{"path", utf8(entry.path)}};
    json parts = json::array();
    for (qsizetype i = 0; i < entry.parts.size(); ++i)
        parts.push_back({{"file", utf8(entry.parts[i])},
                         {"size", entry.sizes.value(i)},
                         {"sha256", entry.digests.value(i).toStdString()}});
    return json{{"repo", utf8(entry.repo)}, {"parts", std::move(parts)}};
}
} // namespace

QString ModelIndex::filePath(const QString &modelsDirectory)
{
    return QDir(modelsDirectory).filePath(QStringLiteral("library.json"));
}

QString ModelIndex::repoFolder(const QString &modelsDirectory, const QString &repo)
{
    return QDir(modelsDirectory).filePath(QString(repo).replace(QLatin1Char('/'), QLatin1Char('_')));
}

QList<ModelIndexEntry> ModelIndex::read(const QString &modelsDirectory)
{
    QFile file(filePath(modelsDirectory));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const json document
        = json::parse(bytes.constData(), bytes.constData() + bytes.size(), nullptr, false);
    const auto models = document.is_object() ? document.find("models") : document.end();
    if (models == document.end() || !models->is_array())
        return {};
    // A hub download's files lie below its repository's folder; an entry naming any other
    // place is not ours to load or delete.
    const auto staysInside = [&modelsDirectory](const ModelIndexEntry &entry) {
        const QString folder = repoFolder(modelsDirectory, entry.repo);
        return entry.isLocal()
               || (StoredNames::isAcceptable(entry.repo)
                   && std::all_of(entry.parts.cbegin(), entry.parts.cend(), [&](const QString &part) {
                          return StoredNames::isAcceptable(part)
                                 && StoredNames::liesWithin(QDir(folder).filePath(part), folder);
                      }));
    };
    QList<ModelIndexEntry> entries;
    for (const json &item : *models) {
        auto entry = entryFrom(item);
        if (entry && staysInside(*entry) && isPresent(*entry, modelsDirectory)
            && !entries.contains(*entry))
            entries.append(std::move(*entry));
    }
    return entries;
}

bool ModelIndex::write(const QString &modelsDirectory, const QList<ModelIndexEntry> &entries)
{
    json models = json::array();
    for (const ModelIndexEntry &entry : entries)
        models.push_back(toJson(entry));
    QDir().mkpath(modelsDirectory);
    const std::string bytes = json{{"version", 1}, {"models", std::move(models)}}.dump(2) + "\n";
    return writeFileAtomically(filePath(modelsDirectory), QByteArray::fromStdString(bytes)).isEmpty();
}

bool ModelIndex::isPresent(const ModelIndexEntry &entry, const QString &modelsDirectory)
{
    if (entry.isLocal())
        return QFileInfo(entry.path).isFile();
    const QDir folder(repoFolder(modelsDirectory, entry.repo));
    return std::all_of(entry.parts.cbegin(), entry.parts.cend(), [&folder](const QString &part) {
        return QFileInfo(folder.filePath(part)).isFile();
    });
}

QString ModelIndex::ggufProblem(const QString &path)
{
    const QString name = QStringLiteral("“%1”").arg(QFileInfo(path).fileName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read: %2").arg(name, file.errorString());
    const QByteArray head = file.read(8);
    if (head.size() < 8 || !head.startsWith("GGUF"))
        return QStringLiteral("%1 is not a GGUF model file.").arg(name);
    const quint32 version = qFromLittleEndian<quint32>(head.constData() + 4);
    if (version != 2 && version != 3)
        return QStringLiteral("%1 is GGUF version %2; only versions 2 and 3 can be loaded.")
            .arg(name)
            .arg(version);
    return {};
}

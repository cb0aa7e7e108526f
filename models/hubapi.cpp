#include "models/hubapi.h"

#include "platform/projectorfiles.h"

#include <QRegularExpression>
#include <QUrlQuery>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

using nlohmann::json;

namespace {
QString text(const json &object, const char *key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? QString::fromStdString(it->get<std::string>())
                                                 : QString();
}

qint64 number(const json &object, const char *key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_number() ? it->get<qint64>() : 0;
}

std::optional<json> parsed(const QByteArray &body)
{
    json value = json::parse(body.constData(), body.constData() + body.size(), nullptr, false);
    if (!value.is_array())
        return std::nullopt;
    return value;
}

// "name-00002-of-00003.gguf"
const QRegularExpression &splitPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(.*)-(\\d{5})-of-(\\d{5})\\.gguf$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}
QString labelOf(const QString &fileName)
{
    const QString quantization = HubApi::quantizationOf(fileName);
    return quantization.isEmpty() ? QStringLiteral("GGUF") : quantization;
}
} // namespace

qsizetype HubFile::projectorIndex() const
{
    return parts.size() > 1 && ProjectorFiles::isProjectorName(parts.last()) ? parts.size() - 1
                                                                             : -1;
}

qint64 HubFile::totalBytes() const
{
    qint64 total = 0;
    for (const qint64 size : sizes)
        total += size;
    return total;
}

QUrl HubApi::searchUrl(const QString &baseAddress, const QString &text)
{
    QUrl url(baseAddress + QStringLiteral("api/models"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("search"), text);
    query.addQueryItem(QStringLiteral("filter"), QStringLiteral("gguf"));
    query.addQueryItem(QStringLiteral("sort"), QStringLiteral("downloads"));
    query.addQueryItem(QStringLiteral("direction"), QStringLiteral("-1"));
    query.addQueryItem(QStringLiteral("limit"), QStringLiteral("20"));
    // Naming any field makes the hub send only those named.
    query.addQueryItem(QStringLiteral("expand[]"), QStringLiteral("downloads"));
    query.addQueryItem(QStringLiteral("expand[]"), QStringLiteral("lastModified"));
    url.setQuery(query);
    return url;
}

QUrl HubApi::treeUrl(const QString &baseAddress, const QString &repo)
{
    return QUrl(baseAddress + QStringLiteral("api/models/") + repo
                + QStringLiteral("/tree/main?recursive=true"));
}

QUrl HubApi::nextPage(const QByteArray &linkHeader, const QUrl &page)
{
    // <https://hub/api/models/a/b/tree/main?recursive=true&cursor=…>; rel="next", <…>; rel="prev"
    static const QRegularExpression link(QStringLiteral("<([^>]*)>\\s*;[^,]*rel=\"?next\"?"));
    const auto match = link.match(QString::fromLatin1(linkHeader));
    if (!match.hasMatch())
        return {};
    const QUrl next = page.resolved(QUrl(match.captured(1), QUrl::StrictMode));
    if (next.scheme() != page.scheme() || next.host() != page.host() || next.port() != page.port())
        return {};
    return next;
}

std::optional<QList<HubRepository>> HubApi::parseSearch(const QByteArray &body)
{
    const auto list = parsed(body);
    if (!list)
        return std::nullopt;
    QList<HubRepository> found;
    for (const json &item : *list) {
        if (!item.is_object() || text(item, "id").isEmpty())
            continue;
        found.append({text(item, "id"),
                      number(item, "downloads"),
                      QDateTime::fromString(text(item, "lastModified"), Qt::ISODateWithMs)});
    }
    return found;
}

std::optional<QList<HubFile>> HubApi::parseTree(const QList<QByteArray> &pages)
{
    json list = json::array();
    for (const QByteArray &page : pages) {
        auto entries = parsed(page);
        if (!entries)
            return std::nullopt;
        list.insert(list.end(), entries->begin(), entries->end());
    }
    struct Part
    {
        QString path;
        qint64 size;
        QByteArray digest;
    };
    QList<HubFile> found;
    // Split sets by their stem, each part at its place; placed where their first part was.
    std::map<QString, std::pair<qsizetype, std::map<int, Part>>> sets;
    std::map<QString, int> counts;
    QList<Part> projectors;
    for (const json &item : list) {
        if (!item.is_object() || text(item, "type") == QLatin1String("directory"))
            continue;
        const QString path = text(item, "path");
        if (!path.endsWith(QLatin1String(".gguf"), Qt::CaseInsensitive))
            continue;
        const auto lfs = item.find("lfs");
        const QByteArray digest = lfs != item.end() && lfs->is_object()
                                      ? text(*lfs, "oid").toLatin1().toLower()
                                      : QByteArray();
        const Part part{path, number(item, "size"), digest};
        if (ProjectorFiles::isProjectorName(path)) {
            projectors.append(part);
            continue;
        }
        const auto split = splitPattern().match(path);
        if (!split.hasMatch()) {
            found.append(HubFile{{path}, {part.size}, {part.digest}, labelOf(path)});
            continue;
        }
        const QString stem = split.captured(1) + QLatin1Char('/') + split.captured(3);
        auto [it, added] = sets.try_emplace(stem, found.size(), std::map<int, Part>{});
        if (added)
            found.append(HubFile{});
        it->second.second[split.captured(2).toInt()] = part;
        counts[stem] = split.captured(3).toInt();
    }
    QList<qsizetype> incomplete;
    for (const auto &[stem, entry] : sets) {
        const auto &[position, parts] = entry;
        HubFile &file = found[position];
        for (int number = 1; number <= counts[stem]; ++number) {
            const auto part = parts.find(number);
            if (part == parts.end())
                break;
            file.parts.append(part->second.path);
            file.sizes.append(part->second.size);
            file.digests.append(part->second.digest);
        }
        if (file.parts.size() != counts[stem])
            incomplete.append(position);
        file.quantization = labelOf(file.name());
    }
    std::sort(incomplete.begin(), incomplete.end(), std::greater<>());
    for (const qsizetype position : incomplete)
        found.removeAt(position);
    const auto folderOf = [](const QString &path) { return path.section(u'/', 0, -2); };
    for (HubFile &file : found) {
        const Part *chosen = nullptr;
        for (const Part &projector : std::as_const(projectors)) {
            if (folderOf(projector.path) != folderOf(file.name()))
                continue;
            const bool f16 = projector.path.contains(QLatin1String("f16"), Qt::CaseInsensitive);
            if (!chosen
                || (f16 && !chosen->path.contains(QLatin1String("f16"), Qt::CaseInsensitive)))
                chosen = &projector;
        }
        if (chosen) {
            file.parts.append(chosen->path);
            file.sizes.append(chosen->size);
            file.digests.append(chosen->digest);
        }
    }
    return found;
}

QString HubApi::quantizationOf(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral(
            "(?:^|[-_.])(I?Q[0-9]+(?:_[0-9]+)?(?:_K)?(?:_(?:XXS|XS|S|M|L|NL))?|BF16|F16|F32)"
            "(?=[-_.]|$)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression suffix(QStringLiteral("(-\\d{5}-of-\\d{5})?\\.gguf$"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QString base = fileName.section(QLatin1Char('/'), -1).remove(suffix);
    QString last;
    for (auto it = pattern.globalMatch(base); it.hasNext();)
        last = it.next().captured(1);
    return last.toUpper();
}

QString HubApi::parameterCountOf(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral(
                                                "(?:^|[-_.])(\\d+(?:\\.\\d+)?[BM])(?=[-_.]|$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(name.section(QLatin1Char('/'), -1));
    return match.hasMatch() ? match.captured(1).toUpper() : QString();
}

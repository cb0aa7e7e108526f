#include "models/storednames.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {
// The absolute path with every link on it resolved; empty when a dangling link is on it.
QString resolved(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!QFileInfo::exists(existing)) {
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (QFileInfo(existing).isSymLink() || slash <= 0)
            return {};
        rest.prepend(existing.mid(slash));
        existing.truncate(slash);
    }
    return QFileInfo(existing).canonicalFilePath() + rest;
}
} // namespace

bool StoredNames::isAcceptable(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    if (std::any_of(name.cbegin(), name.cend(), [](QChar c) {
            return c.category() == QChar::Other_Control;
        }))
        return false;
    const QStringList segments = name.split(QLatin1Char('/'));
    return std::none_of(segments.cbegin(), segments.cend(), [](const QString &segment) {
        return segment.isEmpty() || segment == QLatin1String(".") || segment == QLatin1String("..");
    });
}

bool StoredNames::liesWithin(const QString &path, const QString &folder)
{
    const QString inner = resolved(path);
    const QString outer = resolved(folder);
    return !inner.isEmpty() && !outer.isEmpty() && inner.startsWith(outer + QLatin1Char('/'));
}

QString StoredNames::refusal(const QString &name)
{
    return QStringLiteral("The hub listed a file the app will not save: ") + name;
}

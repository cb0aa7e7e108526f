#include "platform/desktopentries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QStandardPaths>

namespace {

// Desktop entry string escapes: \s \n \t \r \\ (other backslashes are kept for Exec).
QString unescapeValue(const QString &raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += QLatin1Char('\\');
            out += next;
        }
    }
    return out;
}

bool isTrue(const QString &value)
{
    return value.trimmed() == QLatin1String("true");
}

// Removes field codes from one argument; tells whether the whole argument was one.
QString removeFieldCodes(const QString &argument, bool *wasOnlyFieldCode)
{
    QString out;
    bool sawFieldCode = false;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument.at(i);
        if (c == QLatin1Char('%') && i + 1 < argument.size()) {
            const QChar code = argument.at(++i);
            if (code == QLatin1Char('%'))
                out += QLatin1Char('%');
            else
                sawFieldCode = true;
            continue;
        }
        out += c;
    }
    *wasOnlyFieldCode = sawFieldCode && out.isEmpty();
    return out;
}

} // namespace

QStringList DesktopEntries::defaultDirectories()
{
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

std::optional<QStringList> DesktopEntries::splitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    bool argumentHadQuotes = false;
    const auto finish = [&] {
        if (!inArgument)
            return;
        bool onlyFieldCode = false;
        // Field codes do not occur inside quotes: a quoted argument is kept verbatim.
        const QString argument
            = argumentHadQuotes ? current : removeFieldCodes(current, &onlyFieldCode);
        if (!onlyFieldCode)
            arguments.append(argument);
        current.clear();
        inArgument = false;
        argumentHadQuotes = false;
    };
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                const QChar next = exec.at(i + 1);
                if (next == QLatin1Char('"') || next == QLatin1Char('`') || next == QLatin1Char('$')
                    || next == QLatin1Char('\\')) {
                    current += next;
                    ++i;
                    continue;
                }
            }
            if (c == QLatin1Char('"'))
                inQuotes = false;
            else
                current += c;
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            finish();
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            inArgument = true;
            argumentHadQuotes = true;
        } else {
            inArgument = true;
            current += c;
        }
    }
    if (inQuotes)
        return std::nullopt;
    finish();
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return std::nullopt;
    return arguments;
}

std::optional<DesktopEntry> DesktopEntries::parse(const QString &filePath, const QString &id)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString group;
    QString type, name, exec, tryExec;
    bool hidden = false, noDisplay = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        if (group != QLatin1String("Desktop Entry"))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Type"))
            type = value;
        else if (key == QLatin1String("Name"))
            name = unescapeValue(value);
        else if (key == QLatin1String("Exec"))
            exec = unescapeValue(value);
        else if (key == QLatin1String("TryExec"))
            tryExec = unescapeValue(value);
        else if (key == QLatin1String("Hidden"))
            hidden = isTrue(value);
        else if (key == QLatin1String("NoDisplay"))
            noDisplay = isTrue(value);
    }
    if (type != QLatin1String("Application") || hidden || name.isEmpty())
        return std::nullopt;
    if (!tryExec.isEmpty()) {
        const QString found = QDir::isAbsolutePath(tryExec)
                                  ? (QFileInfo(tryExec).isExecutable() ? tryExec : QString())
                                  : QStandardPaths::findExecutable(tryExec);
        if (found.isEmpty())
            return std::nullopt;
    }
    const auto command = splitExec(exec);
    if (!command)
        return std::nullopt;
    return DesktopEntry{id, filePath, name, *command, !noDisplay};
}

QList<DesktopEntry> DesktopEntries::load(const QStringList &directories)
{
    QList<DesktopEntry> entries;
    QSet<QString> seenIds;
    for (const QString &directory : directories) {
        const QDir root(directory);
        QStringList files;
        QDirIterator it(directory,
                        {QStringLiteral("*.desktop")},
                        QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        QList<std::pair<QString, QString>> idsAndFiles;
        for (const QString &path : std::as_const(files)) {
            // The ID of applications/foo/bar.desktop is foo-bar.desktop.
            QString id = root.relativeFilePath(path);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            idsAndFiles.append({id, path});
        }
        std::sort(idsAndFiles.begin(), idsAndFiles.end());
        for (const auto &[id, path] : std::as_const(idsAndFiles)) {
            if (seenIds.contains(id))
                continue;
            // Claimed even when unusable, so a Hidden=true override hides the system's entry.
            seenIds.insert(id);
            if (auto entry = parse(path, id))
                entries.append(std::move(*entry));
        }
    }
    return entries;
}

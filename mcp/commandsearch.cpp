#include "mcp/commandsearch.h"

#include "mcp/logging.h"

#include "platform/processreaper.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QVersionNumber>

#include <algorithm>

namespace {

const QString marker = QStringLiteral("__TOVRA_LOGIN_PATH__=");

QString userShell()
{
    const QString shell = qEnvironmentVariable("SHELL");
    return shell.isEmpty() ? QStringLiteral("/bin/sh") : shell;
}

void appendFolders(QStringList &list, const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString clean = QDir::cleanPath(folder);
        if (!folder.isEmpty() && !list.contains(clean))
            list.append(clean);
    }
}

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

namespace CommandSearch {

QCoro::Task<QStringList> loginShellPath()
{
    static std::optional<QStringList> known;
    if (known)
        co_return *known;
    auto process = std::make_unique<QProcess>();
    QPointer<QProcess> watched = process.get();
    endWithApp(process.get());
    process->setStandardInputFile(QProcess::nullDevice());
    // The marker finds the line among whatever the profile prints.
    const QString script
        = QStringLiteral("printf '\\n%s%s\\n' '") + marker + QStringLiteral("' \"$PATH\"");
    const QStringList arguments = {QStringLiteral("-l"), QStringLiteral("-c"), script};
    const bool started = co_await startProcess(watched, userShell(), arguments);
    QStringList path;
    if (started) {
        const bool ended = co_await awaitExit(watched, std::chrono::seconds(5));
        if (!ended)
            co_await endProcess(watched, std::chrono::milliseconds(0));
        if (watched) {
            const QString output = QString::fromLocal8Bit(watched->readAllStandardOutput());
            for (const QString &line : output.split(u'\n')) {
                if (line.startsWith(marker))
                    path = line.mid(marker.size()).split(u':', Qt::SkipEmptyParts);
            }
        }
    }
    qCDebug(lcMcp) << "login shell PATH:" << path;
    known = path;
    co_return path;
}

QStringList usualFolders()
{
    QStringList folders;
    QDir nvm(QDir::home().filePath(QStringLiteral(".nvm/versions/node")));
    QStringList versions = nvm.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const auto number = [](const QString &name) {
        return QVersionNumber::fromString(name.startsWith(u'v') ? name.mid(1) : name);
    };
    std::sort(versions.begin(), versions.end(), [&](const QString &a, const QString &b) {
        return number(a) > number(b);
    });
    for (const QString &version : versions)
        folders.append(nvm.filePath(version + QStringLiteral("/bin")));
    folders << QStringLiteral("/opt/homebrew/bin") << QStringLiteral("/usr/local/bin");
    return folders;
}

QStringList searchFolders(const QStringList &loginPath)
{
    QStringList folders;
    appendFolders(folders, loginPath);
    appendFolders(folders, qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts));
    appendFolders(folders, usualFolders());
    return folders;
}

std::optional<QString> find(const QString &command, const QStringList &folders, const QString &cwd)
{
    if (command.isEmpty())
        return std::nullopt;
    if (command.contains(u'/')) {
        const QString path
            = QDir(cwd.isEmpty() ? QDir::currentPath() : cwd).absoluteFilePath(command);
        return isExecutableFile(path) ? std::optional(path) : std::nullopt;
    }
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(command);
        if (isExecutableFile(path))
            return path;
    }
    return std::nullopt;
}

QString notFoundText(const QString &command, const QStringList &folders)
{
    if (command.contains(u'/'))
        return QStringLiteral("%1 not found, or not an executable file.").arg(command);
    return QStringLiteral("%1 not found. Searched: %2")
        .arg(command, folders.join(QStringLiteral(", ")));
}

} // namespace CommandSearch

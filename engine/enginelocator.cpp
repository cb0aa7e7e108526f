#include "engine/enginelocator.h"

#include <QDir>
#include <QFileInfo>

namespace {

#ifdef Q_OS_LINUX
const QString linuxbrewPrefix = QStringLiteral("/home/linuxbrew/.linuxbrew");
#endif

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QStringList defaultServerSearchList()
{
    QStringList list{QStringLiteral("/opt/homebrew/bin/llama-server"),
                     QStringLiteral("/usr/local/bin/llama-server"),
                     QStringLiteral("/opt/homebrew/bin/llama-cli"),
                     QStringLiteral("/usr/local/bin/llama-cli")};
#ifdef Q_OS_LINUX
    list << linuxbrewPrefix + QStringLiteral("/bin/llama-server");
#endif
    return list;
}

QString defaultUserPath()
{
#ifdef Q_OS_LINUX
    return qEnvironmentVariable("PATH");
#else
    return {};
#endif
}

QStringList defaultBrewCandidates()
{
    QStringList list{QStringLiteral("/opt/homebrew/bin/brew"),
                     QStringLiteral("/usr/local/bin/brew")};
#ifdef Q_OS_LINUX
    list << linuxbrewPrefix + QStringLiteral("/bin/brew");
#endif
    return list;
}

QString homebrewPath()
{
#ifdef Q_OS_LINUX
    return QStringLiteral("/opt/homebrew/bin:/opt/homebrew/sbin:") + linuxbrewPrefix
           + QStringLiteral("/bin:") + linuxbrewPrefix
           + QStringLiteral("/sbin:/usr/local/bin:/usr/bin:/bin");
#else
    return QStringLiteral("/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/bin:/bin");
#endif
}

std::optional<QString> findServerExecutable(const QStringList &searchList, const QString &userPath)
{
    for (const QString &path : searchList) {
        if (isExecutableFile(path))
            return path;
    }
    for (const QString &folder : userPath.split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
        // A relative entry would depend on the folder the app was started from.
        if (QDir::isRelativePath(folder))
            continue;
        const QString path = QDir(folder).filePath(QStringLiteral("llama-server"));
        if (isExecutableFile(path))
            return path;
    }
    return std::nullopt;
}

std::optional<QString> findBrew(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (QFileInfo::exists(path))
            return path;
    }
    return std::nullopt;
}

bool isHomebrewPackage(const QString &enginePath, const QString &brewPath)
{
    const QString engine = QFileInfo(enginePath).canonicalFilePath();
    // Not resolved: brew in PREFIX/bin is often a link into the Homebrew repository.
    QDir prefix = QFileInfo(brewPath).absoluteDir();
    if (engine.isEmpty() || prefix.dirName() != QLatin1String("bin") || !prefix.cdUp())
        return false;
    return engine.startsWith(prefix.canonicalPath() + QStringLiteral("/Cellar/"));
}

QString homebrewInstallerCommand()
{
    return QStringLiteral("/bin/bash -c \"$(curl -fsSL "
                          "https://raw.githubusercontent.com/Homebrew/install/HEAD/install.sh)\"");
}

#include "systemactions.h"

#include "platform/clipboard.h"
#include "platform/systeminfo.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace {

constexpr double bytesPerGB = 1024.0 * 1024.0 * 1024.0;

QString osLine()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("macOS: ") + SystemInfo::osVersionText();
#elif defined(Q_OS_LINUX)
    return QStringLiteral("Linux: ") + SystemInfo::osVersionText();
#else
    return QSysInfo::productType() + QStringLiteral(": ") + SystemInfo::osVersionText();
#endif
}

QFileInfoList visibleEntries(const QString &folder)
{
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
}

} // namespace

QString SystemActions::systemInfoReport(const QString &osLine, quint64 memoryBytes,
                                        std::optional<qint64> diskFreeBytes, std::optional<qint64> diskTotalBytes,
                                        int processorCount)
{
    const QString disk = diskFreeBytes && diskTotalBytes
                             ? QString::asprintf("%.0fGB free of %.0fGB", double(*diskFreeBytes) / bytesPerGB,
                                                 double(*diskTotalBytes) / bytesPerGB)
                             : QStringLiteral("Unknown");
    return QStringList{osLine,
                       QString::asprintf("RAM: %.1fGB", double(memoryBytes) / bytesPerGB),
                       QStringLiteral("Disk: ") + disk,
                       QStringLiteral("CPU: %1 cores").arg(processorCount)}
        .join(QLatin1Char('\n'));
}

QString SystemActions::systemInfo()
{
    const QStorageInfo root(QStringLiteral("/"));
    std::optional<qint64> freeBytes, totalBytes;
    if (root.isValid() && root.isReady() && root.bytesTotal() > 0 && root.bytesAvailable() >= 0) {
        freeBytes = root.bytesAvailable();
        totalBytes = root.bytesTotal();
    }
    return systemInfoReport(osLine(), SystemInfo::physicalMemoryBytes(), freeBytes, totalBytes,
                            SystemInfo::processorCount());
}

QString SystemActions::localModels(const QString &modelsDirectory)
{
    const QString none = QStringLiteral("No models downloaded yet");
    const QFileInfo folder(modelsDirectory);
    if (modelsDirectory.isEmpty() || !folder.isDir())
        return none;
    QStringList lines;
    for (const QFileInfo &modelFolder : visibleEntries(modelsDirectory)) {
        // Only model files inside a model's own folder count; files lying loose are not listed.
        if (!modelFolder.isDir())
            continue;
        for (const QFileInfo &file : visibleEntries(modelFolder.filePath())) {
            if (file.suffix() != QLatin1String("gguf"))
                continue;
            const qint64 size = file.isFile() ? file.size() : 0;
            lines.append(file.fileName() + QString::asprintf(" (%.1f GB)", double(size) / bytesPerGB));
        }
    }
    if (lines.isEmpty())
        return none;
    std::sort(lines.begin(), lines.end());
    return lines.join(QLatin1Char('\n'));
}

QString SystemActions::clipboardText()
{
    return Clipboard::text().value_or(QStringLiteral("(empty clipboard)"));
}

QString SystemActions::setClipboardText(const QString &text)
{
    Clipboard::setText(text);
    return QStringLiteral("Clipboard set");
}

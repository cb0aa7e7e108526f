#include "tools/systemactions.h"

#include "platform/clipboard.h"
#include "platform/systeminfo.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <charconv>

namespace {

constexpr double bytesPerGB = 1024.0 * 1024.0 * 1024.0;

// printf's "%.<precision>f" in the C locale, whatever locale the application runs in.
QString fixed(double value, int precision)
{
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

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
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::NoSort);
}

} // namespace

QString SystemActions::systemInfoReport(const QString &osLine,
                                        quint64 memoryBytes,
                                        std::optional<qint64> diskFreeBytes,
                                        std::optional<qint64> diskTotalBytes,
                                        int processorCount)
{
    const QString disk
        = diskFreeBytes && diskTotalBytes
              ? fixed(double(*diskFreeBytes) / bytesPerGB, 0) + QStringLiteral("GB free of ")
                    + fixed(double(*diskTotalBytes) / bytesPerGB, 0) + QStringLiteral("GB")
              : QStringLiteral("Unknown");
    return QStringList{osLine,
                       QStringLiteral("RAM: ") + fixed(double(memoryBytes) / bytesPerGB, 1)
                           + QStringLiteral("GB"),
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
    return systemInfoReport(osLine(),
                            SystemInfo::physicalMemoryBytes(),
                            freeBytes,
                            totalBytes,
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
            lines.append(file.fileName() + QStringLiteral(" (")
                         + fixed(double(size) / bytesPerGB, 1) + QStringLiteral(" GB)"));
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

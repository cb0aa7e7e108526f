#pragma once

#include <QString>

#include <optional>

// The tools that report on the host.
namespace SystemActions {

// Four lines: the OS name and version text, RAM, disk space of "/", processor count.
QString systemInfo();
// Builds the report from the figures; a missing disk size gives "Disk: Unknown".
QString systemInfoReport(const QString &osLine,
                         quint64 memoryBytes,
                         std::optional<qint64> diskFreeBytes,
                         std::optional<qint64> diskTotalBytes,
                         int processorCount);

// The .gguf files one folder below `modelsDirectory`, "name (x.y GB)" per line, sorted;
// "No models downloaded yet" when there are none.
QString localModels(const QString &modelsDirectory);

// The clipboard's text, "(empty clipboard)" when it holds no text.
QString clipboardText();
QString setClipboardText(const QString &text);

} // namespace SystemActions

#pragma once

#include <QString>

#include <chrono>

class SystemInfo
{
public:
    // Installed physical memory in bytes (sysctl hw.memsize on macOS, sysconf elsewhere).
    static quint64 physicalMemoryBytes();
    static int processorCount();
    // CPU time this process has used so far, all its threads together.
    static std::chrono::nanoseconds processCpuTime();
    // The operating system's own version text, e.g. "Version 14.5 (Build 23F79)" on
    // macOS or the distribution's pretty name on Linux.
    static QString osVersionText();
    // PRETTY_NAME of an os-release file's text ("Debian GNU/Linux 12 (bookworm)"), or empty.
    static QString prettyNameFromOsRelease(const QByteArray &osRelease);
};

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// An application's XDG desktop entry (Type=Application), as far as launching and
// recognising it goes.
struct DesktopEntry
{
    QString id; // desktop file ID, e.g. "org.gnome.TextEditor.desktop"
    QString filePath;
    QString name;        // the unlocalised Name
    QStringList command; // Exec split into arguments, field codes removed
    bool visible = true; // false for NoDisplay=true
};

namespace DesktopEntries {

// The "applications" folders of XDG_DATA_HOME and XDG_DATA_DIRS, most important first.
QStringList defaultDirectories();

// Every application entry in the folders (and their sub-folders); an ID found in an
// earlier folder hides the same ID in later ones. Hidden, broken and TryExec-less
// entries are left out. Sorted by folder precedence, then ID.
QList<DesktopEntry> load(const QStringList &directories = defaultDirectories());

// Reads one entry file; nothing if it is not a launchable application.
std::optional<DesktopEntry> parse(const QString &filePath, const QString &id);

// Splits an Exec value (already unescaped as a desktop-entry string) into arguments by
// the desktop entry quoting rules and removes field codes such as %f, %U and %i ("%%"
// stays as "%"). Nothing for unbalanced quotes or an empty command.
std::optional<QStringList> splitExec(const QString &exec);

} // namespace DesktopEntries

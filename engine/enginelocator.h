#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Where llama-server may be installed, in the order they are tried.
QStringList defaultServerSearchList();
// The folders of the user's PATH that are searched for "llama-server" after the fixed
// places: on Linux, where a distribution package or a build of one's own may live; empty
// elsewhere.
QString defaultUserPath();
// Where Homebrew's own executable may be, in the order they are tried.
QStringList defaultBrewCandidates();
// The PATH that Homebrew runs under.
QString homebrewPath();

// The first entry of the list that is an executable file, else the first "llama-server"
// that is one in the folders of `userPath` (a PATH-style list).
std::optional<QString> findServerExecutable(const QStringList &searchList
                                            = defaultServerSearchList(),
                                            const QString &userPath = defaultUserPath());
// Whether the engine at `enginePath` is a package of the Homebrew at `brewPath`: Homebrew
// keeps its packages in PREFIX/Cellar (brew itself being PREFIX/bin/brew) and links them
// into PREFIX/bin. An engine built by the user or from another package manager is not,
// even inside the same prefix (/usr/local), so uninstalling it through brew would fail.
bool isHomebrewPackage(const QString &enginePath, const QString &brewPath);
// The one-line command that installs Homebrew itself, for the user to run in a terminal.
QString homebrewInstallerCommand();
// The first candidate that exists (Homebrew's own check is existence only).
std::optional<QString> findBrew(const QStringList &candidates = defaultBrewCandidates());

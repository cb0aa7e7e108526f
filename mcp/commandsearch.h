#pragma once

#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <optional>

// Finds a local server's command the way the user's terminal would. An app started from
// the desktop inherits a short PATH that misses what the login shell adds (nvm, Homebrew,
// ~/.local/bin), so "npx" would not be found although it runs in every terminal.
namespace CommandSearch {

// The PATH of the user's login shell ($SHELL -l), asked once per run; empty when the shell
// cannot tell within a few seconds.
QCoro::Task<QStringList> loginShellPath();

// Where node usually lives beside that: every ~/.nvm/versions/node/*/bin (newest first),
// /opt/homebrew/bin, /usr/local/bin.
QStringList usualFolders();

// The folders searched, in order, each once: the login shell's PATH, the app's own PATH,
// then the usual folders. The same list becomes the server's PATH, so that a launcher such as
// npx finds node too.
QStringList searchFolders(const QStringList &loginPath);

// The executable a command names: a path (relative to cwd when it has a slash) or the first
// match in the folders.
std::optional<QString> find(const QString &command, const QStringList &folders, const QString &cwd);

// "npx not found. Searched: /usr/bin, /bin"
QString notFoundText(const QString &command, const QStringList &folders);

} // namespace CommandSearch

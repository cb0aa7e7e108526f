#pragma once

#include <QString>

// The hub's names for repositories and files become paths below the models folder and the
// downloads folder. This is the one rule for which of them the app stores a file under:
// nothing the hub names may land outside the folder of its own repository.
namespace StoredNames {
// A relative name of "/"-separated segments, none empty, "." or "..", with no backslash and
// no control character (NUL included): "Q4/x.gguf" passes, "../x.gguf" and "/x.gguf" do not.
bool isAcceptable(const QString &name);
// Whether the path lies below the folder once the links on the way to both are resolved.
// What does not exist yet is judged by its nearest existing folder; a dangling link fails.
bool liesWithin(const QString &path, const QString &folder);
// "The hub listed a file the app will not save: NAME"
QString refusal(const QString &name);
} // namespace StoredNames

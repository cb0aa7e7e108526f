#pragma once

#include <QString>

#include <optional>

// A vision model's projector file (mmproj-*.gguf and the like). The hub listing, the model
// library and the engine's launch agree on one rule, so a projector the app downloaded is
// the one the engine is started with.
namespace ProjectorFiles {

// Whether a file name (a path's last part) is a projector's: "mmproj", a separator ("-", "_"
// or "."), and ".gguf" at the end, any case.
bool isProjectorName(const QString &fileName);
// The projector in the model file's folder, the first by name; absent when none or when the
// model file is not there.
std::optional<QString> beside(const QString &modelPath);

} // namespace ProjectorFiles

#pragma once

#include <QString>

#include <QCoroTask>

#include <optional>

// The CPU-only workaround: a stub of the engine's Metal back-end library that registers
// nothing, put first on the loader's search path so that the engine runs without the GPU.
namespace MetalStub {

// The folder of the stub library ("Tovra AI/metal-stub" in the data folder), or absent
// without a data folder.
std::optional<QString> directory();
// The library's file name on this platform.
QString libraryName();
// The folder when the library is already built there.
std::optional<QString> builtDirectory();
// Removes the folder and the library in it.
void remove();
// Makes sure the library exists, compiling it with `compiler` when not; the folder, or
// absent on any failure.
QCoro::Task<std::optional<QString>> build(QString compiler);

} // namespace MetalStub

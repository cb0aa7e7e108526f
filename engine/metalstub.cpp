#include "engine/metalstub.h"

#include "platform/paths.h"
#include "platform/processreaper.h"
#include "platform/savefile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

const QString stubSourceName = QStringLiteral("metal_stub.c");
const QString stubSourceText = QStringLiteral("void ggml_backend_metal_reg(void) {}");

} // namespace

std::optional<QString> MetalStub::directory()
{
    const QString base = Paths::appDataDirectory();
    if (base.isEmpty())
        return std::nullopt;
    return QDir(base).filePath(QStringLiteral("metal-stub"));
}

QString MetalStub::libraryName()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("libggml-metal.0.dylib");
#else
    return QStringLiteral("libggml-metal.0.so");
#endif
}

void MetalStub::remove()
{
    if (const std::optional<QString> folder = directory())
        QDir(*folder).removeRecursively();
}

std::optional<QString> MetalStub::builtDirectory()
{
    const std::optional<QString> folder = directory();
    if (folder && QFileInfo::exists(QDir(*folder).filePath(libraryName())))
        return folder;
    return std::nullopt;
}

QCoro::Task<std::optional<QString>> MetalStub::build(QString compilerPath)
{
    if (const std::optional<QString> built = builtDirectory())
        co_return built;
    const std::optional<QString> folder = directory();
    if (!folder || !QDir().mkpath(*folder))
        co_return std::nullopt;
    const QDir dir(*folder);
    const QString library = dir.filePath(libraryName());

    const QString source = dir.filePath(stubSourceName);
    if (!writeFileAtomically(source, stubSourceText.toUtf8()).isEmpty())
        co_return std::nullopt;

#ifdef Q_OS_MACOS
    const QStringList arguments{QStringLiteral("-dynamiclib"),
                                QStringLiteral("-install_name"),
                                QStringLiteral("@rpath/") + libraryName(),
                                QStringLiteral("-o"),
                                library,
                                source};
#else
    const QStringList arguments{QStringLiteral("-shared"),
                                QStringLiteral("-fPIC"),
                                QStringLiteral("-Wl,-soname,") + libraryName(),
                                QStringLiteral("-o"),
                                library,
                                source};
#endif
    // The compiler runs while the screens stay live; its output is not needed.
    QProcess compiler;
    compiler.setStandardOutputFile(QProcess::nullDevice());
    compiler.setStandardErrorFile(QProcess::nullDevice());
    const QPointer<QProcess> process = &compiler;
    const bool started = co_await startProcess(process, compilerPath, arguments);
    if (!started)
        co_return std::nullopt;
    const std::chrono::milliseconds compileTime = std::chrono::minutes(2);
    const bool finished = co_await awaitExit(process, compileTime);
    if (!finished) {
        co_await endProcess(process, std::chrono::milliseconds::zero());
        co_return std::nullopt;
    }
    if (compiler.exitStatus() != QProcess::NormalExit || compiler.exitCode() != 0)
        co_return std::nullopt;
    co_return folder;
}

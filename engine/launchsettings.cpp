#include "engine/launchsettings.h"

#include "engine/metalstub.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>

NextAttempt nextAttempt(const LaunchSettings &failed,
                        const LaunchExit &exit,
                        const QString &executable)
{
    LaunchSettings next = failed;
    next.serverPath = executable;
    const bool busError = exit.signal == SIGBUS;

    if (!failed.gpuLayers && exit.failureText.toLower().contains(QLatin1String("ggml_metal"))) {
        next.gpuLayers = 0;
        next.contextSize.reset();
        return {NextAttempt::Kind::RetryOnCpu,
                QStringLiteral("GPU incompatible — building CPU-only workaround…"),
                next};
    }
    if (busError && !failed.noMmap) {
        next.noMmap = true;
        return {NextAttempt::Kind::RetryWithoutMmap,
                QStringLiteral("Memory error — retrying with direct file read…"),
                next};
    }
    if (busError && failed.contextSize)
        return {NextAttempt::Kind::GiveUp,
                QStringLiteral("Failed — model incompatible or too large"),
                failed};
    if (busError) {
        next.contextSize = reducedContextSize;
        return {NextAttempt::Kind::RetryWithReducedContext,
                QStringLiteral("Memory pressure — retrying with reduced context (%1)…")
                    .arg(reducedContextSize),
                next};
    }
    return {NextAttempt::Kind::Fail, QStringLiteral("Failed to start — see error below"), failed};
}

QString repeatedCrashAdvice()
{
    return QStringLiteral("This model repeatedly crashed with a memory error (signal %1).\n"
                          "\n"
                          "Possible fixes:\n"
                          "• Run 'brew upgrade llama.cpp' in Terminal to update the engine.\n"
                          "• Try a smaller quantization like Q4_K_M or Q3_K_S.\n"
                          "• The model may be too large for available RAM.")
        .arg(SIGBUS);
}

QString startingText(const LaunchSettings &settings)
{
    QString suffix;
    if (settings.gpuLayers == 0)
        suffix += QStringLiteral(" (CPU only)");
    if (settings.noMmap)
        suffix += QStringLiteral(" (no-mmap)");
    if (settings.contextSize)
        suffix += QStringLiteral(" (ctx %1)").arg(*settings.contextSize);
    return QStringLiteral("Starting ") + settings.modelName + suffix + QStringLiteral("…");
}

QStringList engineArguments(const LaunchSettings &settings, int port)
{
    QStringList arguments{QStringLiteral("--model"),
                          settings.modelPath,
                          QStringLiteral("--ctx-size"),
                          QString::number(settings.contextSize.value_or(defaultContextSize)),
                          QStringLiteral("--port"),
                          QString::number(port),
                          QStringLiteral("--host"),
                          QStringLiteral("127.0.0.1"),
                          QStringLiteral("--n-predict"),
                          QStringLiteral("-1"),
                          // The app holds one conversation at a time: one slot gets the whole
                          // context, where llama-server's default of several would split it.
                          QStringLiteral("--parallel"),
                          QStringLiteral("1")};
    if (settings.projectorPath && !settings.projectorPath->isEmpty())
        arguments << QStringLiteral("--mmproj") << *settings.projectorPath;
    if (settings.gpuLayers)
        arguments << QStringLiteral("--n-gpu-layers") << QString::number(*settings.gpuLayers);
    if (settings.noMmap)
        arguments << QStringLiteral("--no-mmap");
    return arguments;
}

QProcessEnvironment engineEnvironment(const LaunchSettings &settings)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (settings.gpuLayers == 0) {
        if (const std::optional<QString> stubFolder = MetalStub::builtDirectory()) {
#ifdef Q_OS_MACOS
            environment.insert(QStringLiteral("DYLD_LIBRARY_PATH"), *stubFolder);
#else
            environment.insert(QStringLiteral("LD_LIBRARY_PATH"), *stubFolder);
#endif
        }
    }
    return environment;
}

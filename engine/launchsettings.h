#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

inline constexpr int defaultContextSize = 8192;
inline constexpr int reducedContextSize = 2048;

// One attempt to start the engine: the model and the adjustments a retry makes.
struct LaunchSettings
{
    QString modelPath;
    QString modelName;
    // Absent: the engine's own GPU use. 0 is CPU only.
    std::optional<int> gpuLayers = std::nullopt;
    // Absent: the first engine the search finds.
    std::optional<QString> serverPath = std::nullopt;
    bool noMmap = false;
    // Absent: defaultContextSize.
    std::optional<int> contextSize = std::nullopt;
    // The model's projector (mmproj-*.gguf), which lets it see pictures. Absent: the one
    // beside the model file, if any (startServer looks).
    std::optional<QString> projectorPath = std::nullopt;

    friend bool operator==(const LaunchSettings &, const LaunchSettings &) = default;
};

// How an attempt ended during the start-up wait.
struct LaunchExit
{
    // The engine's error text and the exit summary.
    QString failureText;
    // The uncaught signal that ended it; absent for an ordinary exit.
    std::optional<int> signal = std::nullopt;
};

// What follows a failed attempt: which retry, with which settings, and the status shown.
struct NextAttempt
{
    enum class Kind {
        // Build the CPU-only stub, then start on the CPU.
        RetryOnCpu,
        RetryWithoutMmap,
        RetryWithReducedContext,
        // Repeated memory errors: show the advice, no retry.
        GiveUp,
        // Any other failure: show its text, no retry.
        Fail,
    };

    Kind kind;
    QString status;
    // The settings of the retry; for GiveUp and Fail the failed attempt's own.
    LaunchSettings settings;
};

// The retry rule, first match wins: GPU trouble on a start with the engine's own GPU use
// retries on the CPU (with the default context); a bus error first retries without memory
// mapping, then with the reduced context, then gives up; anything else fails.
// `executable` is the engine the failed attempt ran: every retry runs the same one.
NextAttempt nextAttempt(const LaunchSettings &failed,
                        const LaunchExit &exit,
                        const QString &executable);

// The advice shown after the last memory-error retry.
QString repeatedCrashAdvice();

// "Starting ", the model name, the marks of the adjustments, "…".
QString startingText(const LaunchSettings &settings);
// The engine's command line: the six fixed option pairs (one slot), the projector, then the
// adjustments.
QStringList engineArguments(const LaunchSettings &settings, int port);
// The app's own environment; a CPU-only start puts the built stub first on the loader's path.
QProcessEnvironment engineEnvironment(const LaunchSettings &settings);

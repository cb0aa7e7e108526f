#pragma once

#include "core/records.h"

#include <QCoroTask>

#include <memory>

class ApplicationControl;
class ScreenCapture;

// The host services the tools act through. Empty members mean the host's own
// (osascript on macOS, XDG desktop entries on Linux; the primary screen; the models folder).
struct ToolServices
{
    std::shared_ptr<ApplicationControl> applications;
    std::shared_ptr<ScreenCapture> screen;
    QString modelsDirectory;
};

// Runs an approved tool call and gives back its one result text. It never asks for
// approval (the agent loop decides that) and keeps no state between calls.
class ToolExecutor
{
public:
    ToolExecutor();
    explicit ToolExecutor(ToolServices services);
    ~ToolExecutor();

    // Never fails: unknown names, missing arguments and failed actions all become text.
    // Reads only the call's name and arguments. Call on the main thread.
    QCoro::Task<QString> execute(ToolCall call) const;

private:
    ToolServices m_services;
};

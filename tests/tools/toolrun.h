#pragma once

#include "tools/toolexecutor.h"

#include <QCoroTask>

// Runs one tool call to its end, as the agent loop would, and returns its result text.
inline QString runTool(const ToolServices &services,
                       const QString &tool,
                       const ToolArguments &arguments = {})
{
    const ToolExecutor executor(services);
    return QCoro::waitFor(
        executor.execute(ToolCall{QStringLiteral("id"), tool, arguments, ToolStatus::Pending, {}}));
}

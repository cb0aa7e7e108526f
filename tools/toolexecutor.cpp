#include "toolexecutor.h"

ToolExecutor::ToolExecutor() = default;
ToolExecutor::ToolExecutor(ToolServices services) : m_services(std::move(services)) {}
ToolExecutor::~ToolExecutor() = default;

QCoro::Task<QString> ToolExecutor::execute(ToolCall call) const
{
    co_return QStringLiteral("Unknown tool: ") + call.name;
}

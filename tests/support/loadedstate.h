#pragma once

// The store reads its sessions and writes its archive off the UI thread: tests wait here.
#include "core/agentstate.h"

#include <QTest>

#include <memory>

inline QCoro::Task<> finishSavesInto(AgentState *state, bool *done)
{
    co_await state->finishSaves();
    *done = true;
}

// Every archive write the store was asked for is on disk.
inline bool savesFinished(AgentState &state)
{
    bool done = false;
    auto task = finishSavesInto(&state, &done);
    return QTest::qWaitFor([&] { return done; }, 10000);
}

// A new store over what is saved, with its sessions in.
inline std::unique_ptr<AgentState> loadedState()
{
    auto state = std::make_unique<AgentState>();
    if (!QTest::qWaitFor([&] { return state->sessionsLoaded(); }, 10000))
        qWarning("the saved sessions did not arrive");
    return state;
}

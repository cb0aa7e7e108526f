#pragma once

// A loop wired to the stand-in engine and a tool runner that records every call.
// Harmless tools run for real; tools that would touch the desktop answer from a table.
#include "agent/agentmanager.h"
#include "tests/support/loadedstate.h"
#include "tests/support/standinengine.h"
#include "tests/support/storedstate.h"
#include "tools/toolexecutor.h"

#include <QDir>
#include <QMap>
#include <QTest>
#include <QTimer>

#include <QCoroSignal>

#include <memory>

class RecordingTools
{
public:
    QList<ToolCall> calls;
    QStringList results;
    QMap<QString, QString> cannedResults; // by tool name; others run for real
    QStringList held;                     // these run only once release times out
    QTimer release;

    ToolRunner runner()
    {
        return [this](ToolCall call) { return run(this, std::move(call)); };
    }

private:
    static QCoro::Task<QString> run(RecordingTools *self, ToolCall call)
    {
        self->calls.append(call);
        if (self->held.contains(call.name))
            co_await qCoro(&self->release, &QTimer::timeout);
        QString result;
        if (const auto canned = self->cannedResults.constFind(call.name);
            canned != self->cannedResults.cend())
            result = *canned;
        else
            result = co_await self->m_executor.execute(std::move(call));
        self->results.append(result);
        co_return result;
    }

    ToolExecutor m_executor;
};

struct AgentFixture
{
    StandinEngine engine;
    bool engineRunning = true;
    bool sees = false;    // the loaded model sees pictures
    int portOverride = 0; // a port where nothing listens, for refused connections
    RecordingTools tools;
    std::unique_ptr<AgentState> state;
    std::unique_ptr<AgentManager> manager;

    AgentFixture()
    {
        // Every case talks to it: without it, say so once instead of failing each case.
        if (!engine.isRunning())
            qFatal("The stand-in engine %s does not start", qPrintable(StandinEngine::executable()));
        clearStoredState();
        state = std::make_unique<AgentState>();
        manager = std::make_unique<AgentManager>(state.get(),
                                                 EngineAccess{[this] { return engineRunning; },
                                                              [this] {
                                                                  return portOverride
                                                                             ? portOverride
                                                                             : engine.port();
                                                              },
                                                              {},
                                                              [this] { return sees; }},
                                                 tools.runner());
        // No real sound from a test run.
        manager->setCompletionSoundCommand({});
    }

    ~AgentFixture()
    {
        manager.reset();
        // A stopped turn resumes through a queued call (to the state, for an approval) and
        // then ends; delivered here, before the state it waits on is gone.
        QCoreApplication::sendPostedEvents();
        state.reset();
    }

    const QList<Message> &messages() const { return state->messages(); }
    // A store loaded afresh from what the fixture's store saved.
    std::unique_ptr<AgentState> reloaded()
    {
        savesFinished(*state);
        return loadedState();
    }

    // Sends, answers the approval questions in order as they come, and waits for the turn to end.
    bool turn(const QString &text, const QList<bool> &answers = {})
    {
        manager->send(text);
        for (const bool answer : answers) {
            if (!asked())
                return false;
            state->resolveApproval(answer);
        }
        return idle();
    }
    bool idle()
    {
        return QTest::qWaitFor([this] { return !manager->isBusy(); }, 20000);
    }
    bool asked()
    {
        return QTest::qWaitFor([this] { return state->hasPendingApproval(); }, 20000);
    }
    int requestCount() { return int(engine.requests().size()); }

    QStringList contents() const { return column(&Message::content); }
    QStringList roles() const { return column(&Message::role); }
    QStringList column(QString Message::*field) const
    {
        QStringList list;
        for (const Message &message : state->messages())
            list.append(message.*field);
        return list;
    }

    // The "messages" of a request body the engine received, as "role: content".
    static QStringList sent(const nlohmann::json &body)
    {
        QStringList list;
        for (const auto &message : body.at("messages"))
            list.append(QString::fromStdString(message.at("role").get<std::string>() + ": "
                                               + message.at("content").get<std::string>()));
        return list;
    }
};

// Saves in a loop: each round adds a session with a long message and prints its id once a
// write that holds it is on disk. The kill test ends it at random moments.
#include "core/agentstate.h"
#include "tests/support/testenvironment.h"

#include <QCoroSignal>

#include <cstdio>

QCoro::Task<> saveForever(AgentState *state)
{
    if (!state->sessionsLoaded())
        co_await qCoro(state, &AgentState::sessionsLoadedChanged);
    const QString text = QStringLiteral("A long message, so that a write takes a while. ");
    for (;;) {
        state->startNewChat();
        state->appendMessage(Message::make(Role::user, text.repeated(40)));
        state->syncActiveSession();
        const QString id = state->activeSessionIDText();
        co_await state->finishSaves();
        std::printf("%s\n", qPrintable(id));
        std::fflush(stdout);
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestEnvironment::setApplicationIdentity();
    AgentState state;
    saveForever(&state);
    return app.exec();
}

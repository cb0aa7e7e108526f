#include "core/agentstate.h"
#include "ui/sessions/chatexport.h"
#include "ui/sessions/sessiondatelabel.h"
#include "ui/sessions/sessionsidebarmodel.h"

#include "core/archive.h"
#include "platform/preferences.h"

#include "tests/support/loadedstate.h"
#include "tests/support/storedstate.h"
#include "tests/support/testenvironment.h"

namespace {
ChatSession session(const QString &title, bool pinned = false, const QStringList &texts = {})
{
    ChatSession s = ChatSession::make();
    s.title = title;
    s.isPinned = pinned;
    for (const QString &text : texts)
        s.messages.append(Message::make(Role::user, text));
    return s;
}

QStringList titles(const SessionSidebarModel &model)
{
    return roleTexts(model, SessionListModel::TitleRole);
}

// What the store has written, once its saves are done.
QList<ChatSession> storedSessions(AgentState &state)
{
    if (!savesFinished(state))
        return {};
    return decodeSessions(Preferences::data("chatSessions").value_or(QByteArray()))
        .value_or(QList<ChatSession>{});
}
} // namespace

class SessionSidebarTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<AgentState> m_state;

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        m_state.reset();
        clearStoredState();
        m_state = std::make_unique<AgentState>();
        m_state->setChatSessions({
            session("Alpha"),
            session("Pinned one", true),
            session("Beta", false, {"How do I bake Sourdough bread?"}),
            session("Pinned two", true, {"nothing here"}),
            session("Gamma"),
        });
        m_state->setActiveSessionID(m_state->chatSessions().at(2).id);
        m_state->setMessages(m_state->chatSessions().at(2).messages);
    }

    void search_data()
    {
        columns<QString, QStringList>("query", "expected");

        addRow("empty", "", QStringList{"Pinned one", "Pinned two", "Alpha", "Beta", "Gamma"});
        QTest::newRow("only spaces")
            << "  \n " << QStringList{"Pinned one", "Pinned two", "Alpha", "Beta", "Gamma"};
        addRow("title, mixed case, spaces", "  pINNed ", QStringList{"Pinned one", "Pinned two"});
        addRow("message text", " sourDOUGH\n", QStringList{"Beta"});
        addRow("title or message", "H", QStringList{"Pinned two", "Alpha", "Beta"});
        addRow("nothing", "zebra", QStringList{});
    }

    void search()
    {
        QFETCH(QString, query);
        SessionSidebarModel model;
        model.setState(m_state.get());
        model.setSearchQuery(query);
        QTEST(titles(model), "expected");
        // Clearing the search brings every session back, pinned first in stored order.
        model.setSearchQuery(QString());
        QCOMPARE(titles(model), (QStringList{"Pinned one", "Pinned two", "Alpha", "Beta", "Gamma"}));
    }

    void pinningReorders()
    {
        SessionSidebarModel model;
        model.setState(m_state.get());
        m_state->togglePin(m_state->chatSessions().at(4).id); // Gamma
        QCOMPARE(titles(model), (QStringList{"Pinned one", "Pinned two", "Gamma", "Alpha", "Beta"}));
        m_state->togglePin(m_state->chatSessions().at(1).id); // Pinned one
        QCOMPARE(titles(model), (QStringList{"Pinned two", "Gamma", "Alpha", "Pinned one", "Beta"}));
    }

    void selectSession_data()
    {
        // "id" is ignored when "selected": the stored session at 3 is selected
        columns<QString, bool>("id", "selected");
        addRow("stored session", "", true);
        addRow("empty", "", false);
        addRow("unknown", uuidText(QUuid::createUuid()), false);
        addRow("not a uuid", "not a uuid", false);
    }

    void selectSession()
    {
        const auto [id, selected] = fetch<QString, bool>("id", "selected");
        SessionSidebarModel model;
        model.setState(m_state.get());
        const ChatSession target
            = selected ? m_state->chatSessions().at(3) : *m_state->activeSession();
        QSignalSpy activeChanged(m_state.get(), &AgentState::activeSessionIDChanged);
        QCOMPARE(model.selectSession(selected ? uuidText(target.id) : id), selected);
        QCOMPARE(m_state->activeSessionID(), std::optional<QUuid>(target.id));
        QCOMPARE(m_state->messages(), target.messages);
        QCOMPARE(activeChanged.size(), selected ? 1 : 0);
        // Selecting does not save.
        QVERIFY(storedSessions(*m_state).isEmpty());
    }

    // Deleting the active session makes the first of the stored list (not of the sorted one)
    // active; deleting the only one starts a new chat; any other leaves the conversation be.
    void deleteSession_data()
    {
        columns<QString, QStringList, QString, int>("deleted", "shown", "active", "activeMessages");
        QTest::newRow("active") << "Beta"
                                << QStringList{"Pinned one", "Pinned two", "Alpha", "Gamma"}
                                << "Alpha" << 0;
        QTest::newRow("inactive") << "Alpha"
                                  << QStringList{"Pinned one", "Pinned two", "Beta", "Gamma"}
                                  << "Beta" << 1;
        addRow("the only one", "Only", QStringList{"New Chat"}, "New Chat", 0);
        // Stored twice with one identifier by earlier versions: two chats, one goes.
        addRow("one of twins", "Twin", QStringList{"Twin"}, "Twin", 1);
    }

    void deleteSession()
    {
        QFETCH(QString, deleted);
        if (deleted == "Only") {
            const ChatSession only = session("Only", false, {"hi"});
            m_state->setChatSessions({only});
            m_state->setActiveSessionID(only.id);
            m_state->setMessages(only.messages);
        } else if (deleted == "Twin") {
            const ChatSession twin = session("Twin", false, {"hi"});
            m_state.reset();
            Preferences::setData("chatSessions", encodeSessions({twin, twin}));
            m_state = loadedState();
        }
        SessionSidebarModel model;
        model.setState(m_state.get());
        const auto it = std::find_if(m_state->chatSessions().cbegin(),
                                     m_state->chatSessions().cend(),
                                     [&](const ChatSession &s) { return s.title == deleted; });
        const QUuid id = it->id;
        model.deleteSession(uuidText(id));
        QTEST(titles(model), "shown");
        QTEST(m_state->activeSession()->title, "active");
        QTEST(int(m_state->messages().size()), "activeMessages");
        QCOMPARE(m_state->activeSession()->messages, m_state->messages());
        // Saved at once, without the deleted session.
        const QList<ChatSession> stored = storedSessions(*m_state);
        QCOMPARE(stored, m_state->chatSessions());
        QVERIFY(std::none_of(stored.cbegin(), stored.cend(), [&](const ChatSession &s) {
            return s.id == id;
        }));
    }

    void dateLabels_data()
    {
        columns<QDateTime, QString>("date", "label");

        // Now: Wednesday 2024-03-13 15:30 local time.
        addRow("today", QDateTime(QDate(2024, 3, 13), QTime(9, 5)), "9:05 AM");
        addRow("today at midnight", QDateTime(QDate(2024, 3, 13), QTime(0, 0)), "12:00 AM");
        addRow("yesterday late", QDateTime(QDate(2024, 3, 12), QTime(23, 59)), "Yesterday");
        addRow("yesterday early", QDateTime(QDate(2024, 3, 12), QTime(0, 1)), "Yesterday");
        addRow("three days ago", QDateTime(QDate(2024, 3, 10), QTime(12, 0)), "Sunday");
        addRow("six days ago", QDateTime(QDate(2024, 3, 7), QTime(8, 0)), "Thursday");
        addRow("seven days ago, same weekday", QDateTime(QDate(2024, 3, 6), QTime(18, 0)), "Mar 6");
        addRow("ten days ago", QDateTime(QDate(2024, 3, 3), QTime(12, 0)), "Mar 3");
        addRow("last year", QDateTime(QDate(2023, 12, 25), QTime(12, 0)), "Dec 25");
        addRow("future", QDateTime(QDate(2024, 3, 15), QTime(12, 0)), "Mar 15");
    }

    void dateLabels()
    {
        const auto [date, label] = fetch<QDateTime, QString>("date", "label");
        const QDateTime now(QDate(2024, 3, 13), QTime(15, 30));
        QCOMPARE(sessionDateLabel(date, now, QLocale(QLocale::English, QLocale::UnitedStates)),
                 label);
    }

    void dateLabelRoleUsesTheModelsNow()
    {
        SessionSidebarModel model;
        model.setState(m_state.get());
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        // Three days on, a session made today is labelled with today's weekday.
        model.setNow(QDateTime::currentDateTime().addDays(3));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(model.index(0, 0).data(SessionSidebarModel::DateLabelRole).toString(),
                 QLocale().dayName(QDate::currentDate().dayOfWeek()));
        QCOMPARE(model.index(2, 0).data(SessionSidebarModel::InitialRole).toString(), "A");
    }

    // The file read back: each shown message under its heading, hidden ones and thinking
    // left out.
    void exportAsMarkdown_data()
    {
        // "file": in a fresh folder
        columns<QString, QString, QString>("file", "written", "failure");
        QTest::newRow("shown messages")
            << "chat.md"
            << "# Export: me\n\n## You\n\nHow?\n\n## Tovra AI\n\nHere:\n\n```py\nprint(1)\n```"
               "\n\nDone.\n\n## You\n\nThanks\n"
            << "";
        addRow("missing folder", "gone/chat.md", "", "Could not export the chat: ");
        addRow("app quitting", "chat.md", "", "Could not export the chat: the app is quit");
    }

    void exportAsMarkdown()
    {
        const auto [file, failure] = fetch<QString, QString>("file", "failure");
        ChatSession chat = session("Export: me");
        for (const auto &[role, text] :
             QList<std::pair<QString, QString>>{{Role::user, "How?"},
                                                {Role::assistant, "Here:```py\nprint(1)\n```Done."},
                                                {Role::assistant, "TOOL_CALL: {\"name\":\"x\"}"},
                                                {Role::user, "Tool results:\n[x]: ok"},
                                                {"tool_result", "ok"},
                                                {Role::assistant, ""},
                                                {Role::user, "Thanks"}})
            chat.messages.append(Message::make(role, text));
        // Thinking stays out, and a reply that only thought gets no heading.
        chat.messages[1].reasoning = "Show the code.";
        chat.messages[5].reasoning = "Nothing to add.";
        const ChatSession named = session("Fix notes.MD");
        m_state->setChatSessions({chat, named});
        ChatExporter exporter;
        exporter.setState(m_state.get());
        QVERIFY(exporter.suggestedFile(uuidText(chat.id)).path().endsWith("/Export- me.md"));
        QVERIFY(exporter.suggestedFile(uuidText(named.id)).path().endsWith("/Fix notes.MD"));

        QTemporaryDir dir;
        QSignalSpy exported(&exporter, &ChatExporter::exported);
        QSignalSpy failed(&exporter, &ChatExporter::failed);
        if (failure.contains("quit"))
            m_state->stopFileWork();
        exporter.exportSession(uuidText(chat.id), QUrl::fromLocalFile(dir.filePath(file)));
        QTRY_VERIFY(!exported.isEmpty() || !failed.isEmpty());
        if (!failure.isEmpty()) {
            const QString message = failed.value(0).value(0).toString();
            QVERIFY2(message.startsWith(failure) && message.size() > failure.size(),
                     qPrintable(message));
            return;
        }
        QFile written(dir.filePath(file));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QTEST(QString::fromUtf8(written.readAll()), "written");
    }

    void modelTester()
    {
        SessionSidebarModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setState(m_state.get());
        model.setSearchQuery("pinned");
        m_state->startNewChat();
        model.setSearchQuery(QString());
        m_state->togglePin(m_state->chatSessions().at(0).id);
        model.deleteSession(m_state->activeSessionIDText());
    }
};

TOVRA_TEST_MAIN(SessionSidebarTest, QCoreApplication)
#include "tst_sessionsidebarmodel.moc"

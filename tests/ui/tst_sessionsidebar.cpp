#include "core/agentstate.h"
#include "ui/sessiondatelabel.h"
#include "ui/sessionsidebarmodel.h"

#include "core/archive.h"
#include "platform/preferences.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "tests/support/loadedstate.h"
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
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.index(row, 0).data(SessionListModel::TitleRole).toString();
    return out;
}

// What the store has written, once its saves are done.
QList<ChatSession> storedSessions(AgentState &state)
{
    if (!savesFinished(state))
        return {};
    return decodeSessions(Preferences::data(QStringLiteral("chatSessions")).value_or(QByteArray()))
        .value_or(QList<ChatSession>{});
}
} // namespace

class SessionSidebarTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void search_data();
    void search();
    void pinningReorders();
    void selectSession_data();
    void selectSession();
    void deleteActiveMakesFirstStoredActive();
    void deleteOnlySessionStartsANewOne();
    void deleteInactiveKeepsTheConversation();
    void dateLabels_data();
    void dateLabels();
    void dateLabelRoleUsesTheModelsNow();
    void modelTester();

private:
    std::unique_ptr<AgentState> m_state;
};

void SessionSidebarTest::init()
{
    failOnUnexpectedWarnings();
    m_state.reset();
    Preferences::remove(QStringLiteral("chatSessions"));
    Preferences::sync();
    m_state = std::make_unique<AgentState>();
    m_state->setChatSessions({
        session(QStringLiteral("Alpha")),
        session(QStringLiteral("Pinned one"), true),
        session(QStringLiteral("Beta"), false, {QStringLiteral("How do I bake Sourdough bread?")}),
        session(QStringLiteral("Pinned two"), true, {QStringLiteral("nothing here")}),
        session(QStringLiteral("Gamma")),
    });
    m_state->setActiveSessionID(m_state->chatSessions().at(2).id);
    m_state->setMessages(m_state->chatSessions().at(2).messages);
}

void SessionSidebarTest::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << ""
                           << QStringList{"Pinned one", "Pinned two", "Alpha", "Beta", "Gamma"};
    QTest::newRow("only spaces") << "  \n "
                                 << QStringList{"Pinned one", "Pinned two", "Alpha", "Beta", "Gamma"};
    QTest::newRow("title, mixed case, spaces")
        << "  pINNed " << QStringList{"Pinned one", "Pinned two"};
    QTest::newRow("message text") << " sourDOUGH\n" << QStringList{"Beta"};
    QTest::newRow("title or message") << "H" << QStringList{"Pinned two", "Alpha", "Beta"};
    QTest::newRow("nothing") << "zebra" << QStringList{};
}

void SessionSidebarTest::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    SessionSidebarModel model;
    model.setState(m_state.get());
    model.setSearchQuery(query);
    QCOMPARE(titles(model), expected);
    // Clearing the search brings every session back, pinned first in stored order.
    model.setSearchQuery(QString());
    QCOMPARE(titles(model), (QStringList{"Pinned one", "Pinned two", "Alpha", "Beta", "Gamma"}));
}

void SessionSidebarTest::pinningReorders()
{
    SessionSidebarModel model;
    model.setState(m_state.get());
    m_state->togglePin(m_state->chatSessions().at(4).id); // Gamma
    QCOMPARE(titles(model), (QStringList{"Pinned one", "Pinned two", "Gamma", "Alpha", "Beta"}));
    m_state->togglePin(m_state->chatSessions().at(1).id); // Pinned one
    QCOMPARE(titles(model), (QStringList{"Pinned two", "Gamma", "Alpha", "Pinned one", "Beta"}));
}

void SessionSidebarTest::selectSession_data()
{
    QTest::addColumn<QString>("id"); // ignored when selected: the stored session at 3
    QTest::addColumn<bool>("selected");
    QTest::newRow("stored session") << "" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("unknown") << uuidText(QUuid::createUuid()) << false;
    QTest::newRow("not a uuid") << "not a uuid" << false;
}

void SessionSidebarTest::selectSession()
{
    QFETCH(QString, id);
    QFETCH(bool, selected);
    SessionSidebarModel model;
    model.setState(m_state.get());
    const ChatSession target = selected ? m_state->chatSessions().at(3) : *m_state->activeSession();
    QSignalSpy activeChanged(m_state.get(), &AgentState::activeSessionIDChanged);
    QCOMPARE(model.selectSession(selected ? uuidText(target.id) : id), selected);
    QCOMPARE(m_state->activeSessionID(), std::optional<QUuid>(target.id));
    QCOMPARE(m_state->messages(), target.messages);
    QCOMPARE(activeChanged.size(), selected ? 1 : 0);
    // Selecting does not save.
    QVERIFY(storedSessions(*m_state).isEmpty());
}

void SessionSidebarTest::deleteActiveMakesFirstStoredActive()
{
    SessionSidebarModel model;
    model.setState(m_state.get());
    const QString activeId = m_state->activeSessionIDText();
    model.deleteSession(activeId);
    QCOMPARE(m_state->chatSessions().size(), 4);
    // The first of the stored list (Alpha), not of the sorted one (Pinned one).
    QCOMPARE(m_state->activeSession()->title, QStringLiteral("Alpha"));
    QVERIFY(m_state->messages().isEmpty());
    const QList<ChatSession> stored = storedSessions(*m_state);
    QCOMPARE(stored.size(), 4);
    QVERIFY(std::none_of(stored.cbegin(), stored.cend(), [&](const ChatSession &s) {
        return uuidText(s.id) == activeId;
    }));
}

void SessionSidebarTest::deleteOnlySessionStartsANewOne()
{
    const ChatSession only = session(QStringLiteral("Only"), false, {QStringLiteral("hi")});
    m_state->setChatSessions({only});
    m_state->setActiveSessionID(only.id);
    m_state->setMessages(only.messages);
    SessionSidebarModel model;
    model.setState(m_state.get());
    model.deleteSession(uuidText(only.id));
    QCOMPARE(m_state->chatSessions().size(), 1);
    QVERIFY(m_state->chatSessions().first().id != only.id);
    QCOMPARE(m_state->chatSessions().first().title, ChatSession::defaultTitle);
    QCOMPARE(m_state->activeSessionID(), std::optional<QUuid>(m_state->chatSessions().first().id));
    QVERIFY(m_state->messages().isEmpty());
    QCOMPARE(storedSessions(*m_state).size(), 1);
}

void SessionSidebarTest::deleteInactiveKeepsTheConversation()
{
    SessionSidebarModel model;
    model.setState(m_state.get());
    const auto active = m_state->activeSessionID();
    const QList<Message> messages = m_state->messages();
    model.deleteSession(uuidText(m_state->chatSessions().at(0).id));
    QCOMPARE(titles(model), (QStringList{"Pinned one", "Pinned two", "Beta", "Gamma"}));
    QCOMPARE(m_state->activeSessionID(), active);
    QCOMPARE(m_state->messages(), messages);
    QCOMPARE(storedSessions(*m_state).size(), 4);
}

void SessionSidebarTest::dateLabels_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QString>("label");

    // Now: Wednesday 2024-03-13 15:30 local time.
    QTest::newRow("today") << QDateTime(QDate(2024, 3, 13), QTime(9, 5)) << "9:05 AM";
    QTest::newRow("today at midnight") << QDateTime(QDate(2024, 3, 13), QTime(0, 0)) << "12:00 AM";
    QTest::newRow("yesterday late") << QDateTime(QDate(2024, 3, 12), QTime(23, 59)) << "Yesterday";
    QTest::newRow("yesterday early") << QDateTime(QDate(2024, 3, 12), QTime(0, 1)) << "Yesterday";
    QTest::newRow("three days ago") << QDateTime(QDate(2024, 3, 10), QTime(12, 0)) << "Sunday";
    QTest::newRow("six days ago") << QDateTime(QDate(2024, 3, 7), QTime(8, 0)) << "Thursday";
    QTest::newRow("seven days ago, same weekday")
        << QDateTime(QDate(2024, 3, 6), QTime(18, 0)) << "Mar 6";
    QTest::newRow("ten days ago") << QDateTime(QDate(2024, 3, 3), QTime(12, 0)) << "Mar 3";
    QTest::newRow("last year") << QDateTime(QDate(2023, 12, 25), QTime(12, 0)) << "Dec 25";
    QTest::newRow("future") << QDateTime(QDate(2024, 3, 15), QTime(12, 0)) << "Mar 15";
}

void SessionSidebarTest::dateLabels()
{
    QFETCH(QDateTime, date);
    QFETCH(QString, label);
    const QDateTime now(QDate(2024, 3, 13), QTime(15, 30));
    QCOMPARE(sessionDateLabel(date, now, QLocale(QLocale::English, QLocale::UnitedStates)), label);
}

void SessionSidebarTest::dateLabelRoleUsesTheModelsNow()
{
    SessionSidebarModel model;
    model.setState(m_state.get());
    const QDateTime now = QDateTime::currentDateTime().addDays(3);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setNow(now);
    QCOMPARE(changed.size(), 1);
    const QString expected = sessionDateLabel(QDateTime::currentDateTime(), now);
    QCOMPARE(model.index(0, 0).data(SessionSidebarModel::DateLabelRole).toString(), expected);
    QCOMPARE(model.index(2, 0).data(SessionSidebarModel::InitialRole).toString(),
             QStringLiteral("A"));
}

void SessionSidebarTest::modelTester()
{
    SessionSidebarModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setState(m_state.get());
    model.setSearchQuery(QStringLiteral("pinned"));
    m_state->startNewChat();
    model.setSearchQuery(QString());
    m_state->togglePin(m_state->chatSessions().at(0).id);
    model.deleteSession(m_state->activeSessionIDText());
}

TOVRA_TEST_MAIN(SessionSidebarTest, QCoreApplication)
#include "tst_sessionsidebar.moc"

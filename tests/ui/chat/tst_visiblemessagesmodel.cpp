#include "core/messagelistmodel.h"
#include "core/messagevisibility.h"
#include "core/records.h"
#include "ui/chat/visiblemessagesmodel.h"

#include <QAbstractItemModelTester>
#include <QImage>

#include "tests/support/testenvironment.h"

using namespace Qt::StringLiterals;

namespace {
QString pngDataUrl()
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "data:image/png;base64," + QString::fromLatin1(bytes.toBase64());
}

QStringList visibleContents(const VisibleMessagesModel &model)
{
    return roleTexts(model, MessageListModel::ContentRole);
}
} // namespace

// Which messages get a row, and what a row says of its picture or error.
class VisibleMessagesModelTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void hideRules_data()
    {
        columns<QString, QString, bool>("role", "content", "hidden");
        addRow("blank user", "user", " \n\t \n", true);
        addRow("blank assistant", "assistant", "\n\n", true);
        addRow("empty placeholder", "assistant", "", true);
        addRow("tool result", "tool_result", "Tool results: done", true);
        addRow("system", "system", "You are helpful", true);
        addRow("user tool results", "user", "Tool results:\n- ok", true);
        addRow("assistant tool results text", "assistant", "Tool results:\n- ok", false);
        addRow("user confirm instruction", "user", "Briefly confirm what was done.", true);
        addRow("user prefix after space", "user", " Tool results:", false);
        QTest::newRow("no-model warning, any role")
            << "assistant" << u"Hi \u26A0\uFE0F No model loaded — load one"_s << true;
        addRow("warning sign without selector", "assistant", u"\u26A0 No model loaded"_s, false);
        QTest::newRow("two tool-call lines with a blank line")
            << "assistant"
            << "TOOL_CALL: {\"name\":\"a\"}\n\n  TOOL_CALL: {\"name\":\"b\"}" << true;
        QTest::newRow("tool calls and prose")
            << "assistant"
            << "TOOL_CALL: {\"name\":\"a\"}\n\nTOOL_CALL: {}\nDone." << false;
        addRow("user tool-call line", "user", "TOOL_CALL: {}", false);
        addRow("ordinary reply", "assistant", "Hello!", false);
        addRow("ordinary question", "user", "What is 2+2?", false);
        addRow("role compared exactly", "Tool_Result", "x", false);
    }

    void hideRules()
    {
        const auto [role, content, hidden]
            = fetch<QString, QString, bool>("role", "content", "hidden");
        QCOMPARE(shouldHideMessage(role, content), hidden);
        QCOMPARE(shouldHideMessage(Message::make(role, content)), hidden);
    }

    void inlineImage_data()
    {
        columns<QString, bool, bool>("content", "decodes", "isPicture");

        const QString png = pngDataUrl();
        addRow("png", png, true, true);
        QTest::newRow("jpeg prefix, png bytes")
            << QString(png).replace(QLatin1String("image/png"), QLatin1String("image/jpeg")) << true
            << true;
        QString broken = png;
        broken.insert(40, u'\n');
        addRow("line break in base64", broken, false, false);
        addRow("outside alphabet", "data:image/png;base64,AAA*", false, false);
        addRow("unpadded", "data:image/png;base64,QUJD RA", false, false);
        QTest::newRow("bytes that are no picture")
            << "data:image/png;base64," + QString::fromLatin1(QByteArray("hello").toBase64())
            << true << false;
        addRow("other type", "data:image/gif;base64,R0lGOD==", false, false);
        addRow("prefix later in text", "see data:image/png;base64,AAAA", false, false);
        addRow("plain text", "hello", false, false);
    }

    void inlineImage()
    {
        QFETCH(QString, content);
        const auto bytes = inlineImageBytes(content);
        QTEST(bytes.has_value(), "decodes");
        if (bytes) {
            QImage image;
            QTEST(image.loadFromData(*bytes), "isPicture");
        }
    }

    void visibleMessagesFollowStreaming()
    {
        MessageListModel messages;
        VisibleMessagesModel visible;
        QAbstractItemModelTester tester(&visible,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        visible.setMessages(&messages);
        messages.append(Message::make(Role::system, "prompt"));
        messages.append(Message::make(Role::user, "Open Safari"));
        messages.append(Message::make(Role::assistant, QString()));
        QCOMPARE(visibleContents(visible), QStringList{"Open Safari"});

        // A reply that has only thought so far shows while the thinking is shown.
        Message thought = Message::make(Role::assistant, QString());
        thought.reasoning = "Safari is an app.";
        messages.replace(2, thought);
        QCOMPARE(visible.rowCount(), 2);
        visible.setShowThinking(false);
        QCOMPARE(visible.rowCount(), 1);
        visible.setShowThinking(true);

        messages.replace(2, Message::make(Role::assistant, "TOOL_CALL: {\"name\":"));
        QCOMPARE(visible.rowCount(), 1);
        messages.replace(2, Message::make(Role::assistant, "Sure.\nTOOL_CALL: {}"));
        QCOMPARE(visibleContents(visible), (QStringList{"Open Safari", "Sure.\nTOOL_CALL: {}"}));

        QSignalSpy changed(&visible, &QAbstractItemModel::dataChanged);
        messages.replace(2, Message::make(Role::assistant, "Sure. Opening it now."));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
        messages.removeLast();
        QCOMPARE(visibleContents(visible), QStringList{"Open Safari"});
        messages.setMessages({});
        QCOMPARE(visible.rowCount(), 0);
    }

    void imageStateAndErrors()
    {
        MessageListModel messages;
        VisibleMessagesModel visible;
        visible.setMessages(&messages);
        // A whole 1×1 PNG; then a JPEG header with nothing after it.
        messages.append(
            Message::make(Role::user,
                          "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAf"
                          "FcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=="));
        messages.append(Message::make(Role::user, "data:image/jpeg;base64,aGVsbG8="));
        messages.append(Message::make(Role::user, "data:image/png;base64,not base64"));
        messages.append(Message::make(Role::assistant, "Error: the engine stopped"));
        messages.append(Message::make(Role::assistant, "No Error: here"));

        const auto role = [&](int row, int r) { return visible.index(row, 0).data(r); };
        using State = VisibleMessagesModel::ImageState;
        QCOMPARE(role(0, VisibleMessagesModel::ImageStateRole).toInt(), int(State::Picture));
        QCOMPARE(role(1, VisibleMessagesModel::ImageStateRole).toInt(), int(State::Broken));
        QCOMPARE(role(2, VisibleMessagesModel::ImageStateRole).toInt(), int(State::None));
        QCOMPARE(role(3, VisibleMessagesModel::IsErrorRole).toBool(), true);
        QCOMPARE(role(4, VisibleMessagesModel::IsErrorRole).toBool(), false);
        QCOMPARE(role(0, VisibleMessagesModel::IsErrorRole).toBool(), false);
    }
};

TOVRA_TEST_MAIN(VisibleMessagesModelTest, QGuiApplication)
#include "tst_visiblemessagesmodel.moc"

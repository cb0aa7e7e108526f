#pragma once

#include "agent/enginechoice.h"
#include "core/agentstate.h"
#include "core/attachmentfiles.h"

#include <QAbstractListModel>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <QCoroTask>

class AgentManager;

// The files attached to the message being typed: one chip each above the input box, with
// its name, size, what it will cost of the model's context and anything that keeps it from
// being sent. Reading (a PDF's text, a picture scaled) runs on a worker thread; the typed
// text is never touched, whatever a file turns out to be.
class AttachmentListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    Q_MOC_INCLUDE("agent/agentmanager.h")
    // The engine in use: whether its model sees, the context it serves, its /tokenize.
    Q_PROPERTY(EngineChoice *engine READ engine WRITE setEngine NOTIFY engineChanged)
    // Tokens of the context the conversation already fills.
    Q_PROPERTY(int contextUsed READ contextUsed WRITE setContextUsed NOTIFY contextUsedChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Something will go with the message (a file read and fitting, not refused).
    Q_PROPERTY(bool hasSendable READ hasSendable NOTIFY stateChanged)
    // A send must wait: a file is still being read, or one does not fit the context.
    Q_PROPERTY(bool holdsSend READ holdsSend NOTIFY stateChanged)

public:
    enum Roles {
        NameRole = Qt::UserRole + 1, /**< The file's name. */
        KindRole,                    /**< "document" or "image". */
        SizeTextRole,                /**< The file's size: "1.2 MB", "830 KB", "12 bytes". */
        DetailRole,    /**< Pages and tokens ("12 pages · about 3,400 tokens"), or "Reading…". */
        ProblemRole,   /**< Why it will not be sent, or does not fit; empty when it goes. */
        IsReadingRole, /**< Its file is still being read. */
        CanSendPartRole /**< Too long for the context: its first part can be sent instead. */
    };
    Q_ENUM(Roles)

    explicit AttachmentListModel(QObject *parent = nullptr);
    ~AttachmentListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    EngineChoice *engine() const { return m_engine; }
    void setEngine(EngineChoice *engine);
    int contextUsed() const { return m_contextUsed; }
    void setContextUsed(int value);
    int count() const { return int(m_items.size()); }
    bool hasSendable() const;
    bool holdsSend() const;

    // Whether a dropped or chosen file becomes a chip (a PDF, a text file, a picture); other
    // files keep being attached by name in the text.
    Q_INVOKABLE static bool isAttachable(const QUrl &url);
    // "1.2 MB", "830 KB", "12 bytes".
    Q_INVOKABLE static QString sizeText(double bytes);
    // Adds a chip for a local file and reads it.
    Q_INVOKABLE void addFile(const QUrl &url);
    Q_INVOKABLE void remove(int row);
    // Keeps of a document that does not fit only its first part that does.
    Q_INVOKABLE void sendFirstPart(int row);
    // The chips of an edited message: its files, from their copies, in place of any chips.
    Q_INVOKABLE void restoreFiles(AgentState *state, const QString &messageId);
    // Sends the text with the files that may go, through the agent, and empties the list.
    Q_INVOKABLE void sendWith(AgentManager *agent, const QString &text);
    // What goes with the message.
    QList<AttachmentDraft> sendable() const;

signals:
    void engineChanged();
    void contextUsedChanged();
    void countChanged();
    void stateChanged();

private:
    struct Item
    {
        int serial = 0;
        AttachmentDraft draft;
        bool reading = true;
        QString error;
        int pageCount = 0;
        qint64 tokens = 0;
        bool cut = false; // only its first part goes
    };
    QCoro::Task<> read(int serial, QString path);
    void countTokens(int serial);
    qsizetype rowOf(int serial) const;
    // The tokens left for files after the conversation and the reply's share; absent: unknown.
    std::optional<qint64> room(qsizetype before) const;
    bool fits(qsizetype row) const;
    QString problem(qsizetype row) const;
    void refreshAll();

    QPointer<EngineChoice> m_engine;
    int m_contextUsed = 0;
    QList<Item> m_items;
    int m_nextSerial = 1;
    QNetworkAccessManager m_network;
    bool m_closing = false; // being destroyed: a count that ends now changes nothing
};

#pragma once

#include "models/hubapi.h"

#include <QAbstractListModel>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>

#include <QCoroTask>

#include <chrono>

class QNetworkReply;

// The hub's side of the model library: the repositories its search finds for the
// search text, and the GGUF files of the one repository that is open. Typing is
// answered at most once per interval; a newer search or listing supersedes the one
// still running, whose answer is dropped. Failures become one line of text.
class HubSearch : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    // The text is long enough for the hub to be asked.
    Q_PROPERTY(bool isActive READ isActive NOTIFY queryChanged)
    Q_PROPERTY(bool isSearching READ isSearching NOTIFY searchStateChanged)
    // "The hub cannot be reached: REASON" after a failed search; empty otherwise.
    Q_PROPERTY(QString statusText READ statusText NOTIFY searchStateChanged)
    Q_PROPERTY(QString expandedRepo READ expandedRepo NOTIFY filesChanged)
    Q_PROPERTY(bool isListing READ isListing NOTIFY filesChanged)
    // Why the open repository lists no files: a failure or the need for access.
    Q_PROPERTY(QString filesStatusText READ filesStatusText NOTIFY filesChanged)

public:
    static constexpr qsizetype minimumQueryLength = 3;
    static constexpr std::chrono::milliseconds defaultInterval{300};

    enum Roles {
        RepoIdRole = Qt::UserRole + 1, /**< "owner/name" on the hub. */
        NameRole,                      /**< The repository's name without its owner. */
        OwnerRole,                     /**< The repository's owner. */
        DownloadsTextRole,             /**< "12.3K downloads". */
        UpdatedTextRole,               /**< "Updated 2 Nov 2026"; empty when unknown. */
        IsExpandedRole,                /**< The repository's files are shown. */
    };
    Q_ENUM(Roles)

    explicit HubSearch(QObject *parent = nullptr);
    ~HubSearch() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString query() const { return m_query; }
    void setQuery(const QString &text);
    bool isActive() const;
    bool isSearching() const { return m_searching; }
    QString statusText() const { return m_statusText; }
    const QList<HubRepository> &results() const { return m_results; }

    QString expandedRepo() const { return m_expandedRepo; }
    bool isListing() const { return m_listing; }
    QString filesStatusText() const { return m_filesStatusText; }
    const QList<HubFile> &files() const { return m_files; }

    // Opens a repository's file list, or closes it when it is the open one.
    Q_INVOKABLE void toggle(int row);
    void expand(const QString &repo);

    void setInterval(std::chrono::milliseconds interval) { m_debounce.setInterval(interval); }
    // "1,234", "12.3K", "4.5M" downloads.
    static QString downloadsText(qint64 downloads);

signals:
    void queryChanged();
    void searchStateChanged();
    void filesChanged();
    // An answer was shown, for the text it was asked for.
    void resultsChanged(const QString &query);

private:
    QCoro::Task<> search(quint64 generation, QString text);
    QCoro::Task<> list(quint64 generation, QString repo);
    // Sends a GET and waits for its end; the caller owns the reply.
    QNetworkReply *get(const QUrl &url);
    void setResults(QList<HubRepository> results);
    void setSearchState(bool searching, const QString &status);
    void closeFiles();

    QNetworkAccessManager m_network;
    QTimer m_debounce;
    QString m_query;
    QList<HubRepository> m_results;
    bool m_searching = false;
    QString m_statusText;
    quint64 m_searchGeneration = 0;
    QPointer<QNetworkReply> m_searchReply;

    QString m_expandedRepo;
    QList<HubFile> m_files;
    bool m_listing = false;
    QString m_filesStatusText;
    quint64 m_listGeneration = 0;
    QPointer<QNetworkReply> m_listReply;
};

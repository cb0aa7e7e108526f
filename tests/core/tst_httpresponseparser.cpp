#include "core/httpresponseparser.h"
#include "tests/support/testenvironment.h"

#include <QTest>

using State = HttpResponseParser::State;

class HttpResponseParserTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void responses_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("closeAtEnd");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("state");

        QTest::newRow("chunked") << QByteArray(
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
            "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\nX-Trailer: 1\r\n\r\nextra")
                                 << false << 200 << QByteArray("hello world") << int(State::Done);
        QTest::newRow("chunked, upper-case hex")
            << QByteArray("HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n"
                          "A\r\n0123456789\r\n0\r\n\r\n")
            << false << 200 << QByteArray("0123456789") << int(State::Done);
        QTest::newRow("chunked, cut short")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "5\r\nhel")
            << true << 200 << QByteArray("hel") << int(State::Body);
        QTest::newRow("length") << QByteArray(
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 5\r\n\r\nabcdefg")
                                << false << 400 << QByteArray("abcde") << int(State::Done);
        QTest::newRow("empty length")
            << QByteArray("HTTP/1.1 503 Unavailable\r\nContent-Length: 0\r\n\r\n") << false << 503
            << QByteArray() << int(State::Done);
        QTest::newRow("until close")
            << QByteArray("HTTP/1.0 200 OK\nContent-Type: text/event-stream\n\ndata: x\n") << true
            << 200 << QByteArray("data: x\n") << int(State::Done);
        QTest::newRow("head incomplete") << QByteArray("HTTP/1.1 200 OK\r\nContent-Le") << true << 0
                                         << QByteArray() << int(State::Head);
        QTest::newRow("not http") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << false << 0
                                  << QByteArray() << int(State::Failed);
        QTest::newRow("bad chunk size")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << false
            << 200 << QByteArray() << int(State::Failed);
        QTest::newRow("bad length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\n")
                                    << false << 200 << QByteArray() << int(State::Failed);
    }

    // The same bytes give the same outcome however the network splits them.
    void responses()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, closeAtEnd);
        QFETCH(int, status);
        QFETCH(int, state);
        for (const qsizetype step : {qsizetype(1), qsizetype(2), qsizetype(7), raw.size()}) {
            HttpResponseParser parser;
            QByteArray out;
            for (qsizetype i = 0; i < raw.size(); i += step)
                parser.feed(QByteArrayView(raw).sliced(i, std::min(step, raw.size() - i)), out);
            if (closeAtEnd)
                parser.connectionClosed();
            QCOMPARE(int(parser.state()), state);
            if (parser.state() != State::Failed)
                QCOMPARE(parser.status(), status);
            QTEST(out, "body");
        }
    }
};

TOVRA_TEST_MAIN(HttpResponseParserTest, QCoreApplication)
#include "tst_httpresponseparser.moc"

// The client's reading of request lines, which any process of the user may send: strict, bounded.
#include "protocol/remoteprotocol.h"

#include <QtTest>

using RemoteProtocol::Word;

class TestRemoteProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requestLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        // The word and arguments that must come out, or empty for a line that must be refused.
        QTest::addColumn<QStringList>("expected");
        const QByteArray longArgument = "connect " + QByteArray(RemoteProtocol::maxArgumentLength + 1, 'a');
        QTest::newRow("status") << QByteArray("status") << QStringList { "status" };
        QTest::newRow("connect, chosen location") << QByteArray("connect") << QStringList { "connect" };
        QTest::newRow("connect, encoded blank and umlaut")
            << QByteArray("connect z%C3%BCrich%20ch") << QStringList { "connect", "zürich ch" };
        QTest::newRow("account") << QByteArray("account alice p%40ss%20word")
                                 << QStringList { "account", "alice", "p@ss word" };
        QTest::newRow("lockdown off") << QByteArray("lockdown off") << QStringList { "lockdown", "off" };
        QTest::newRow("report, absolute")
            << QByteArray("report %2Ftmp%2Fr.zip") << QStringList { "report", "/tmp/r.zip" };
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("unknown word") << QByteArray("reboot") << QStringList();
        QTest::newRow("word in capitals") << QByteArray("STATUS") << QStringList();
        QTest::newRow("trailing blank") << QByteArray("status ") << QStringList();
        QTest::newRow("two blanks") << QByteArray("connect  berlin") << QStringList();
        QTest::newRow("carriage return") << QByteArray("status\r") << QStringList();
        QTest::newRow("raw byte above ASCII") << QByteArray("connect z\xc3\xbcrich") << QStringList();
        QTest::newRow("NUL") << QByteArray("status\0", 7) << QStringList();
        QTest::newRow("percent without digits") << QByteArray("connect ber%lin") << QStringList();
        QTest::newRow("percent at the end") << QByteArray("connect berlin%4") << QStringList();
        QTest::newRow("control character decoded") << QByteArray("connect a%0Ab") << QStringList();
        QTest::newRow("not UTF-8 decoded") << QByteArray("connect %C3%28") << QStringList();
        QTest::newRow("too many arguments") << QByteArray("status now") << QStringList();
        QTest::newRow("missing argument") << QByteArray("lock") << QStringList();
        QTest::newRow("lock neither on nor off") << QByteArray("lock maybe") << QStringList();
        QTest::newRow("report, relative path") << QByteArray("report r.zip") << QStringList();
        QTest::newRow("argument too long") << longArgument << QStringList();
        QTest::newRow("line too long") << QByteArray("connect ") + QByteArray(RemoteProtocol::maxRequestLength, 'a')
                                       << QStringList();
    }
    void requestLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, expected);
        const RemoteProtocol::Parsed parsed = RemoteProtocol::parseRequest(line);
        QCOMPARE(parsed.ok, !expected.isEmpty());
        QCOMPARE(parsed.error.isEmpty(), parsed.ok);
        if (parsed.ok) {
            QCOMPARE(
                QStringList { RemoteProtocol::wordName(parsed.request.word) } + parsed.request.arguments, expected);
            // What the command line writes reads back the same.
            const QByteArray written = RemoteProtocol::requestLine(parsed.request.word, parsed.request.arguments);
            QVERIFY(written.endsWith('\n'));
            QCOMPARE(RemoteProtocol::parseRequest(written.chopped(1)).request.arguments, parsed.request.arguments);
        }
    }

    void replyLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("done") << QByteArray(R"({"result":"done","state":"connected"})") << true << 0;
        QTest::newRow("timed out") << QByteArray(R"({"result":"timed-out"})") << true << 4;
        QTest::newRow("not allowed") << QByteArray(R"({"result":"not-allowed"})") << true << 3;
        QTest::newRow("unknown result") << QByteArray(R"({"result":"maybe"})") << false << 1;
        QTest::newRow("an array") << QByteArray(R"(["done"])") << false << 1;
        QTest::newRow("not JSON") << QByteArray("done") << false << 1;
        QTest::newRow("too long") << QByteArray(R"({"result":"done","x":")")
                + QByteArray(RemoteProtocol::maxReplyLength, 'x')
                + "\"}" << false << 1;
    }
    void replyLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, accepted);
        QFETCH(int, exitCode);
        QJsonObject reply;
        QString error;
        QCOMPARE(RemoteProtocol::parseReply(line, &reply, &error), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        QCOMPARE(int(RemoteProtocol::outcomeOf(reply)), exitCode);
    }
};

QTEST_GUILESS_MAIN(TestRemoteProtocol)
#include "tst_remoteprotocol.moc"

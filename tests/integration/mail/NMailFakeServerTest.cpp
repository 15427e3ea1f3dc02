// The mail library against a server that misbehaves: every failure is clear,
// bounded in time and memory, and leaves the library usable.
#include "base/Cp932.h"
#include "fakepop3/FakePop3Server.h"
#include "mail/FetchEveryMessage.h"
#include "mail/MailCheck.h"
#include "mail/NMail.h"
#include "support/ClosedPort.h"
#include "support/EnvOverride.h"
#include "support/ResourceUsage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <vector>

namespace {

constexpr int kTimeoutMs = 1000;
// Far above the 1 s bound, far below a hang: catches a wait that is not bounded.
constexpr qint64 kHangMs = 15000;

const QByteArray kMessage =
    "Subject: fake\r\nFrom: a@example.com\r\n\r\nline one\r\n.dotted\r\nlast\r\n";

struct TextBuffers
{
    std::vector<char> subject = std::vector<char>(8192);
    std::vector<char> date = std::vector<char>(8192);
    std::vector<char> from = std::vector<char>(8192);
    std::vector<char> header = std::vector<char>(8192);
};

class NMailFakeServer : public ::testing::Test
{
protected:
    void SetUp() override { m_mail.setTimeouts(kTimeoutMs, kTimeoutMs); }

    // Connects without the CAPA round trip, which some modes never answer.
    int connectPlain(const FakePop3Server& server)
    {
        return m_mail.NMailPop3Connect(("pop3://" + server.hostPort()).toUtf8().constData());
    }

    QString lastMessage()
    {
        std::vector<char> buffer(8192);
        int size = 8192;
        m_mail.NMailGetMessage(0, buffer, size);
        return Cp932::decode(QByteArrayView(buffer.data(), size));
    }

    NMail m_mail;
    QElapsedTimer m_clock;
};

TEST_F(NMailFakeServer, SilenceEndsInATimeoutWithinTheBound)
{
    {
        // Nothing, not even to TLS on a second connection: a port that is
        // perhaps for TLS, never a busy server.
        FakePop3Server server(QStringLiteral("no-greeting"));
        ASSERT_TRUE(server.isRunning());
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData()), -1);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        EXPECT_EQ(lastMessage(),
                  QStringLiteral("POP3 サーバー「%1」は接続を受け付けましたが、1 秒以内に何も"
                                 "送ってきませんでした。\n暗号化通信 (TLS) だけを受け付けるポート"
                                 "なら、サーバーの指定を「pop3s://%1」にしてください。")
                      .arg(server.hostPort()));
        EXPECT_EQ(failureText(m_mail), lastMessage()); // and no advice about a busy server
    }
    {
        FakePop3Server server(QStringLiteral("stall"));
        // The CAPA question goes unanswered: no connection.
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData()), -1);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        // Without CAPA, the login goes unanswered.
        const int handle = connectPlain(server);
        ASSERT_GE(handle, 0);
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), NMail::kErrorTimeout);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        EXPECT_TRUE(lastMessage().startsWith(
            QStringLiteral("POP3 サーバー「pop3://%1」から 1 秒以内に応答がありませんでした。")
                .arg(server.hostPort())));
        // The session is dropped: later calls fail at once, close is safe.
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), NMail::kErrorConnectionLost);
        EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
        EXPECT_EQ(m_mail.NMailPop3Close(handle), NMail::kErrorBadHandle);
        EXPECT_LT(m_clock.elapsed(), 500);
    }
}

TEST_F(NMailFakeServer, AnAddressThatSwallowsConnectionAttemptsIsPassedOverForTheNext)
{
    // One name, two addresses with the same port: on ::1 nothing answers (a
    // broken route), 127.0.0.1 serves. The bound is far more than the race needs.
    FakePop3Server server(QStringLiteral("normal"));
    const QString port = QString::number(server.port());
    FakePop3Server swallowing(QStringLiteral("swallow"), QStringLiteral("::1:") + port);
    if (!swallowing.isRunning())
        GTEST_SKIP() << "no IPv6 loopback, or its port is taken";
    m_mail.setTimeouts(kHangMs, kTimeoutMs);
    m_mail.setResolver([](const QString& host) {
        return host == u"kestrova.test" ? QList<QHostAddress>{QHostAddress(QStringLiteral("::1")),
                                                              QHostAddress(QHostAddress::LocalHost)}
                                        : QList<QHostAddress>{};
    });
    const int handle = m_mail.NMailPop3Connect(("kestrova.test:" + port).toUtf8().constData());
    ASSERT_GE(handle, 0) << lastMessage().toStdString();
    m_mail.NMailPop3Close(handle);
    EXPECT_EQ(server.commandLog(), "CAPA\nQUIT\n");
}

TEST_F(NMailFakeServer, GarbageAndOverlongLinesAreProtocolErrors)
{
    {
        FakePop3Server server(QStringLiteral("garbage"));
        const int handle = connectPlain(server);
        ASSERT_GE(handle, 0);
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), NMail::kErrorProtocol);
        m_mail.NMailPop3Close(handle);
    }
    {
        FakePop3Server server(QStringLiteral("long-status"));
        const int handle = connectPlain(server);
        ASSERT_GE(handle, 0);
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), NMail::kErrorProtocol);
        m_mail.NMailPop3Close(handle);
        EXPECT_FALSE(server.commandLog().contains("PASS"));
    }
}

TEST_F(NMailFakeServer, ALinkDroppedHalfwayThroughRetrIsALostConnection)
{
    FakePop3Server server(QStringLiteral("drop-in-retr"));
    const int handle = connectPlain(server);
    ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 1);
    TextBuffers t;
    std::vector<char> body(kMessage.size() + 1, ' ');
    m_clock.start();
    EXPECT_EQ(m_mail.NMailPop3GetMail(handle, 1, t.subject, t.date, t.from, t.header, body, 0, 0),
              NMail::kErrorConnectionLost);
    EXPECT_LT(m_clock.elapsed(), kHangMs);
    EXPECT_TRUE(lastMessage().startsWith(
        QStringLiteral("POP3 サーバー「pop3://%1」との接続が切れました。").arg(server.hostPort())));
    // What arrived is there, cut and terminated.
    EXPECT_TRUE(kMessage.startsWith(QByteArray(body.data())));
    EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), NMail::kErrorConnectionLost);
    EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
}

TEST_F(NMailFakeServer, ClaimedSizesAreClampedOrRefusedAndAllocateNothing)
{
    struct Case
    {
        const char* mode;
        int expected;
    };
    for (const Case& c : {Case{"huge-size", INT_MAX - 1}, Case{"overflow-size", INT_MAX - 1},
                          Case{"negative-size", NMail::kErrorProtocol}}) {
        SCOPED_TRACE(c.mode);
        FakePop3Server server(QString::fromLatin1(c.mode));
        const int handle = connectPlain(server);
        ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 1);
        ResourceUsage::GrowthWatch watch;
        EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), c.expected);
        EXPECT_LT(watch.grownKib(), 4096);
        // The session goes on: the real message still comes.
        TextBuffers t;
        std::vector<char> body(kMessage.size() + 1);
        EXPECT_EQ(
            m_mail.NMailPop3GetMail(handle, 1, t.subject, t.date, t.from, t.header, body, 0, 0),
            kMessage.size());
        m_mail.NMailPop3Close(handle);
    }
}

TEST_F(NMailFakeServer, ApopWithoutATimestampFailsBeforeSendingAnything)
{
    FakePop3Server server(QStringLiteral("no-timestamp"));
    const int handle = connectPlain(server);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "secret", -1),
              NMail::kErrorNoApopTimestamp);
    EXPECT_TRUE(lastMessage().contains(QStringLiteral("APOP でのログインに必要なタイムスタンプ")));
    // What to try is the check's to add.
    EXPECT_TRUE(
        failureText(m_mail).contains(QStringLiteral("「APOP を使用する」のチェックを外して")));
    m_mail.NMailPop3Close(handle);
    EXPECT_EQ(server.commandLog(), "QUIT\n");
}

TEST_F(NMailFakeServer, AHugeBodyLineStreamsThroughAFixedBuffer)
{
    // Alone, and in a check's loop without pipelining, where the status
    // call reads the header of the same RETR.
    for (const bool planned : {false, true}) {
        SCOPED_TRACE(planned);
        FakePop3Server server(QStringLiteral("long-body-line"));
        const int handle = connectPlain(server);
        ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 1);
        TextBuffers t;
        ResourceUsage::GrowthWatch watch;
        if (planned) {
            EXPECT_FALSE(m_mail.pipelineMessages(handle, 1));
            EXPECT_EQ(
                m_mail.NMailPop3GetMailStatus(handle, 1, t.subject, t.date, t.from, t.header, 0),
                0);
            EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), kMessage.size()); // as LIST says
        }
        std::vector<char> storage(8192 + 64, 'G');
        const std::span<char> body(storage.data(), 8192);
        const int received =
            m_mail.NMailPop3GetMail(handle, 1, t.subject, t.date, t.from, t.header, body, 0, 0);
        const qint64 grown = watch.grownKib();
        EXPECT_EQ(received, QByteArray("Subject: long\r\n\r\n").size() + 64 * 1024 * 1024 + 7);
        EXPECT_EQ(QByteArray(t.subject.data()), "long");
        EXPECT_EQ(QByteArray(storage.data()).size(), 8191);
        for (size_t i = 8192; i < storage.size(); ++i)
            ASSERT_EQ(storage[i], 'G') << "overrun at " << i;
        EXPECT_LT(grown, 16 * 1024) << "KiB";
        m_mail.NMailPop3Close(handle);
        EXPECT_EQ(server.commandLog().count("RETR"), 1);
    }
}

TEST_F(NMailFakeServer, TheTerminatorIsFoundWhenItArrivesByteByByte)
{
    FakePop3Server server(QStringLiteral("trickle-terminator"));
    const int handle = connectPlain(server);
    ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 1);
    TextBuffers t;
    std::vector<char> body(kMessage.size() + 1, ' ');
    EXPECT_EQ(m_mail.NMailPop3GetMail(handle, 1, t.subject, t.date, t.from, t.header, body, 0, 0),
              kMessage.size());
    EXPECT_EQ(QByteArray(body.data()), kMessage);
    EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), kMessage.size()); // still in step
    m_mail.NMailPop3Close(handle);
}

TEST_F(NMailFakeServer, ShortAnswersAreCappedInSizeAndInTotalTimeHoweverTheBytesCome)
{
    {
        // Endless capabilities: not POP3, and memory stays small.
        FakePop3Server server(QStringLiteral("capa-flood"));
        ResourceUsage::GrowthWatch watch;
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData()), -1);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        EXPECT_LT(watch.grownKib(), 4096);
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("POP3 の形式ではありません")))
            << lastMessage().toStdString();
    }
    {
        // A short line every 50 ms keeps bytes coming but never completes.
        FakePop3Server server(QStringLiteral("capa-trickle"));
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData()), -1);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("1 秒以内に応答がありませんでした")))
            << lastMessage().toStdString();
    }
    {
        // A status line trickling one byte at a time.
        FakePop3Server server(QStringLiteral("trickle-status"));
        const int handle = connectPlain(server);
        ASSERT_GE(handle, 0);
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), NMail::kErrorTimeout);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        m_mail.NMailPop3Close(handle);
        EXPECT_FALSE(server.commandLog().contains("PASS"));
    }
    {
        // A header without end: refused at the cap, and the session is dropped.
        FakePop3Server server(QStringLiteral("top-flood"));
        const int handle = connectPlain(server);
        ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 1);
        TextBuffers t;
        m_clock.start();
        EXPECT_EQ(m_mail.NMailPop3GetMailStatus(handle, 1, t.subject, t.date, t.from, t.header, 0),
                  NMail::kErrorProtocol);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), NMail::kErrorConnectionLost);
        m_mail.NMailPop3Close(handle);
    }
}

TEST_F(NMailFakeServer, CredentialsThatWouldSmuggleACommandAreRefusedAndNoDeleIsEverSent)
{
    FakePop3Server server(QStringLiteral("normal"));
    const int handle = m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData());
    ASSERT_GE(handle, 0);
    EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p\r\nDELE 1", 0),
              NMail::kErrorBadArgument);
    EXPECT_FALSE(lastMessage().contains(QStringLiteral("DELE")));
    EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u\nDELE 1", "p", 0), NMail::kErrorBadArgument);
    ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 1);
    TextBuffers t;
    std::vector<char> body(100);
    EXPECT_EQ(m_mail.NMailPop3GetMailStatus(handle, 1, t.subject, t.date, t.from, t.header, 0), 0);
    EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), kMessage.size());
    EXPECT_EQ(m_mail.NMailPop3GetMail(handle, 1, t.subject, t.date, t.from, t.header, body, 0, 0),
              kMessage.size());
    m_mail.NMailPop3Close(handle);
    EXPECT_EQ(server.commandLog(), "CAPA\nUSER u\nPASS p\nSTAT\nTOP 1 0\nLIST 1\nRETR 1\nQUIT\n");
}

TEST_F(NMailFakeServer, ClosingATlsSessionSendsTheCloseNotice)
{
    FakePop3Server server(QStringLiteral("tls"));
    ASSERT_TRUE(server.isRunning());
    const QByteArray host = "pop3s://" + server.hostPort().toUtf8();
    ASSERT_EQ(m_mail.NMailPop3Connect(host.constData()), -1); // its certificate is nobody's
    ASSERT_NE(m_mail.untrustedCertificate(), nullptr);
    m_mail.trustCertificate(*m_mail.untrustedCertificate());
    const int handle = m_mail.NMailPop3Connect(host.constData());
    ASSERT_GE(handle, 0) << lastMessage().toStdString();
    EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 1);
    EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
    // The server tells what it saw once the link is gone.
    const QByteArray log = server.commandLog();
    EXPECT_TRUE(log.endsWith("QUIT\nCLOSE-NOTIFY\n")) << log.toStdString();
}

TEST_F(NMailFakeServer, AQuitNobodyAnswersGetsItsOwnBoundNotTheReplyWait)
{
    // The peer neither answers QUIT nor reads nor closes; each reply may take 10 s.
    constexpr qint64 kQuitBoundMs = 5000;
    m_mail.setTimeouts(kQuitBoundMs * 2, kQuitBoundMs * 2);
    FakePop3Server server(QStringLiteral("tls-hold"));
    const QByteArray host = "pop3s://" + server.hostPort().toUtf8();
    ASSERT_EQ(m_mail.NMailPop3Connect(host.constData()), -1);
    ASSERT_NE(m_mail.untrustedCertificate(), nullptr);
    m_mail.trustCertificate(*m_mail.untrustedCertificate());
    const int handle = m_mail.NMailPop3Connect(host.constData());
    ASSERT_GE(handle, 0) << lastMessage().toStdString();
    m_clock.start();
    EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
    EXPECT_LT(m_clock.elapsed(), kQuitBoundMs + 3000);
}

TEST_F(NMailFakeServer, LoadingTheTrustedCertificatesDoesNotCountAgainstTheConnectBound)
{
    // Thousands of certificates to load (the system bundle many times over
    // in SSL_CERT_DIR) take far longer than the connect bound given here.
    QTemporaryDir folder;
    QFile bundle(QStringLiteral("/etc/ssl/certs/ca-certificates.crt"));
    if (!bundle.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no system certificate bundle";
    const QByteArray pem = bundle.readAll();
    for (int i = 0; i < 30; ++i) {
        QFile copy(folder.filePath(QStringLiteral("bundle%1.pem").arg(i)));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(pem);
    }
    const EnvOverride certificates("SSL_CERT_DIR", folder.path().toLocal8Bit());
    const ClosedPort closed;
    const quint16 port = closed.port();

    NMail mail;
    mail.setTimeouts(300, 300);
    QElapsedTimer loading;
    loading.start();
    const QByteArray host = "pop3s://127.0.0.1:" + QByteArray::number(port);
    EXPECT_EQ(mail.NMailPop3Connect(host.constData()), -1);
    std::printf("connect with certificates to load: %lld ms\n",
                static_cast<long long>(loading.elapsed()));
    // A refused port is refused, not "no answer", however long the loading took.
    EXPECT_TRUE(mail.lastMessage().contains(QStringLiteral("に接続できませんでした")))
        << mail.lastMessage().toStdString();
}

// The messages of the fake server's pipelining modes.
QByteArray pipelinedMessage(int n)
{
    QByteArray m = "Subject: message " + QByteArray::number(n) + "\r\nFrom: a@example.com\r\n\r\n";
    for (int i = 0; i < n * 50; ++i)
        m += "line of message " + QByteArray::number(n) + "\r\n";
    return m + ".dot\r\n";
}

// The command lines of a server's log, and apart from them the most
// commands it ever held unanswered.
QByteArrayList commandsOf(const QByteArray& log, int* mostUnanswered = nullptr)
{
    QByteArrayList commands;
    for (const QByteArray& line : log.split('\n')) {
        if (line.startsWith("MAX-UNANSWERED ")) {
            if (mostUnanswered)
                *mostUnanswered = std::max(*mostUnanswered, line.mid(15).toInt());
        } else if (!line.isEmpty()) {
            commands.append(line);
        }
    }
    return commands;
}

QByteArrayList messageCommands(int first, int last)
{
    QByteArrayList commands;
    for (int i = first; i <= last; ++i) {
        const QByteArray no = QByteArray::number(i);
        commands << "TOP " + no + " 0"
                 << "LIST " + no << "RETR " + no;
    }
    return commands;
}

TEST_F(NMailFakeServer, PipelinedCommandsGoOutInTheSameOrderAndEachTakesItsOwnAnswer)
{
    FakePop3Server server(QStringLiteral("pipelining"));
    const int handle = m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData());
    ASSERT_GE(handle, 0);
    ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 20);
    ASSERT_TRUE(m_mail.pipelineMessages(handle, 20));
    TextBuffers t;
    std::vector<char> body(64 * 1024);
    for (int i = 1; i <= 20; ++i) {
        SCOPED_TRACE(i);
        const QByteArray message = pipelinedMessage(i);
        // The server refuses TOP 2 0, RETR 3 and LIST 4, and nothing else.
        EXPECT_EQ(m_mail.NMailPop3GetMailStatus(handle, i, t.subject, t.date, t.from, t.header, 0),
                  i == 2 ? NMail::kErrorRefused : 0);
        EXPECT_EQ(QByteArray(t.subject.data()), i == 2 ? "" : "message " + QByteArray::number(i));
        EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, i),
                  i == 4 ? NMail::kErrorRefused : message.size());
        const int fetched =
            m_mail.NMailPop3GetMail(handle, i, t.subject, t.date, t.from, t.header, body, 0, 0);
        EXPECT_EQ(fetched, i == 3 ? NMail::kErrorRefused : message.size());
        EXPECT_EQ(QByteArray(body.data()), i == 3 ? "" : message);
    }
    EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);

    int most = 0;
    EXPECT_EQ(commandsOf(server.commandLog(), &most),
              QByteArrayList({"CAPA", "USER u", "PASS p", "STAT"}) + messageCommands(1, 20) +
                  QByteArrayList({"QUIT"}));
    // The commands did overlap, and never more of them than the window.
    EXPECT_GT(most, NMail::kPipelineWindow / 2);
    EXPECT_LE(most, NMail::kPipelineWindow);
}

TEST_F(NMailFakeServer, WithoutPipeliningTheLoopCostsOneRoundTripPerMessage)
{
    // The sizes from one LIST, each status from the header of its RETR; a
    // size the LIST does not give is asked just before its message. The
    // values are those of TOP, LIST n and RETR, and no command is ever sent
    // before the last answer is in.
    const QByteArrayList login{"CAPA", "USER u", "PASS p", "STAT", "LIST"};
    struct Case
    {
        const char* mode;
        bool plain; // pop3://: the capabilities are asked only after the login
        QByteArrayList wire;
    };
    for (const Case& c :
         {Case{"normal", false, login + QByteArrayList{"RETR 1", "QUIT"}},
          Case{"normal", true, {"USER u", "PASS p", "STAT", "CAPA", "LIST", "RETR 1", "QUIT"}},
          Case{"mailbox", false, login + QByteArrayList{"RETR 1", "RETR 2", "RETR 3", "QUIT"}},
          Case{"mailbox-list-odd", false,
               login + QByteArrayList{"RETR 1", "LIST 2", "RETR 2", "RETR 3", "QUIT"}},
          Case{"mailbox-list-refused", false,
               login + QByteArrayList{"LIST 1", "RETR 1", "LIST 2", "RETR 2", "LIST 3", "RETR 3",
                                      "QUIT"}}}) {
        SCOPED_TRACE(c.mode);
        FakePop3Server server(QString::fromLatin1(c.mode));
        const int handle = c.plain
                               ? connectPlain(server)
                               : m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData());
        const int count = m_mail.NMailPop3Authenticate(handle, "u", "p", 0);
        ASSERT_EQ(count, QByteArray(c.mode) == "normal" ? 1 : 3);
        EXPECT_FALSE(m_mail.pipelineMessages(handle, count));
        TextBuffers t;
        std::vector<char> body(64 * 1024);
        for (int i = 1; i <= count; ++i) {
            const QByteArray message = count == 1 ? kMessage : pipelinedMessage(i);
            EXPECT_EQ(
                m_mail.NMailPop3GetMailStatus(handle, i, t.subject, t.date, t.from, t.header, 0),
                0);
            EXPECT_EQ(QByteArray(t.subject.data()),
                      count == 1 ? "fake" : "message " + QByteArray::number(i));
            EXPECT_EQ(QByteArray(t.header.data()), message.first(message.indexOf("\r\n\r\n") + 2));
            EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, i), message.size());
            EXPECT_EQ(
                m_mail.NMailPop3GetMail(handle, i, t.subject, t.date, t.from, t.header, body, 0, 0),
                message.size());
            EXPECT_EQ(QByteArray(body.data()), message);
        }
        m_mail.NMailPop3Close(handle);
        int most = 0;
        EXPECT_EQ(commandsOf(server.commandLog(), &most), c.wire);
        EXPECT_LE(most, 1);
    }
}

TEST_F(NMailFakeServer, AStrayCallOrAnEarlyCloseReadsTheOwedAnswersAndStaysInStep)
{
    FakePop3Server server(QStringLiteral("pipelining"));
    const int handle = connectPlain(server);
    ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 20);
    ASSERT_TRUE(m_mail.pipelineMessages(handle, 20));
    TextBuffers t;
    EXPECT_EQ(m_mail.NMailPop3GetMailStatus(handle, 1, t.subject, t.date, t.from, t.header, 0), 0);
    // Out of the announced order: the answer is still the one asked for.
    EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 7), pipelinedMessage(7).size());
    std::vector<char> body(64 * 1024);
    EXPECT_EQ(m_mail.NMailPop3GetMail(handle, 7, t.subject, t.date, t.from, t.header, body, 0, 0),
              pipelinedMessage(7).size());
    EXPECT_EQ(QByteArray(body.data()), pipelinedMessage(7));
    // A new announcement, left after one call: the close reads what is owed, then QUIT.
    ASSERT_TRUE(m_mail.pipelineMessages(handle, 20));
    EXPECT_EQ(m_mail.NMailPop3GetMailStatus(handle, 1, t.subject, t.date, t.from, t.header, 0), 0);
    m_clock.start();
    EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
    EXPECT_LT(m_clock.elapsed(), kHangMs);

    const QByteArrayList window = messageCommands(1, 6).mid(0, NMail::kPipelineWindow);
    const QByteArrayList expected = QByteArrayList({"USER u", "PASS p", "STAT", "CAPA"}) + window +
                                    QByteArrayList({"LIST 7", "RETR 7"}) + window +
                                    QByteArrayList({"QUIT"});
    EXPECT_EQ(commandsOf(server.commandLog()), expected);
}

TEST_F(NMailFakeServer, ALostLinkOrEndlessRefusalsEndAPipelinedLoopAsBefore)
{
    {
        FakePop3Server server(QStringLiteral("pipelining-drop"));
        const int handle = m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData());
        ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), 20);
        MessageTexts texts;
        m_clock.start();
        fetchEveryMessage(m_mail, handle, 20, texts);
        EXPECT_LT(m_clock.elapsed(), kHangMs);
        EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 6), NMail::kErrorConnectionLost);
        EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
        const QByteArrayList commands = commandsOf(server.commandLog());
        ASSERT_FALSE(commands.isEmpty());
        EXPECT_EQ(commands.last(), "RETR 5");
    }
    {
        // Refusals without end: the loop's rule still ends it after 1,000 in a
        // row; the commands already sent ahead are read, and QUIT follows.
        FakePop3Server server(QStringLiteral("huge-count-refuse+pipelining"));
        const int handle = m_mail.NMailPop3Connect(server.hostPort().toUtf8().constData());
        ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "u", "p", 0), INT_MAX);
        MessageTexts texts;
        m_clock.start();
        fetchEveryMessage(m_mail, handle, INT_MAX, texts);
        m_mail.NMailPop3Close(handle);
        EXPECT_LT(m_clock.elapsed(), 20000);
        const QByteArray log = server.commandLog();
        EXPECT_GE(log.count("RETR "), 1000);
        EXPECT_LE(log.count("RETR "), 1000 + NMail::kPipelineWindow / 3 + 1);
        EXPECT_TRUE(log.endsWith("QUIT\n"));
    }
}

} // namespace

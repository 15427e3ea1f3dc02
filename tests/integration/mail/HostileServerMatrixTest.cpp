// The mail check against a server that turns hostile at one point of the
// session: every kind of bad reply in every state. Whatever the server does,
// the check ends within its bound, shows the true outcome, keeps memory
// bounded, never deletes anything and leaves the settings files as they were.

#include "scriptedpop3/ScriptedPop3Server.h"
#include "support/Controls.h"
#include "support/ResourceUsage.h"
#include "support/app/AppHarness.h"

#include "mail/MsgForm.h"

#include <QElapsedTimer>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace {

enum class State { Greeting, Capa, Stls, User, Pass, Apop, Stat, Top, List, Retr, Quit };
enum class Kind {
    Error,
    Garbage,
    Stall,
    Close,
    Reset,
    HugeSize,
    NegativeSize,
    HugeCount,
    EndlessLine,
    NulBytes
};

constexpr State kStates[] = {State::Greeting, State::Capa, State::Stls, State::User,
                             State::Pass,     State::Apop, State::Stat, State::Top,
                             State::List,     State::Retr, State::Quit};
constexpr Kind kKinds[] = {Kind::Error,       Kind::Garbage,  Kind::Stall,        Kind::Close,
                           Kind::Reset,       Kind::HugeSize, Kind::NegativeSize, Kind::HugeCount,
                           Kind::EndlessLine, Kind::NulBytes};

const char* name(State s)
{
    static const char* const names[] = {"Greeting", "Capa", "Stls", "User", "Pass", "Apop",
                                        "Stat",     "Top",  "List", "Retr", "Quit"};
    return names[int(s)];
}

const char* name(Kind k)
{
    static const char* const names[] = {"Error",       "Garbage",  "Stall",        "Close",
                                        "Reset",       "HugeSize", "NegativeSize", "HugeCount",
                                        "EndlessLine", "NulBytes"};
    return names[int(k)];
}

// The verb of the command that a state answers.
QByteArray verbOf(State s)
{
    static const char* const verbs[] = {"",     "CAPA", "STLS", "USER", "PASS", "APOP",
                                        "STAT", "TOP",  "LIST", "RETR", "QUIT"};
    return verbs[int(s)];
}

constexpr int kTimeoutMs = 1000;
// Far above the longest path (a few 1 s waits, or the refusal run of a huge
// count that gives up after two reply waits), far below a hang.
constexpr qint64 kBoundMs = 30000;
// The endless line alone is gigabytes over the bound: memory must not follow it.
constexpr qint64 kMemoryBoundKib = 64 * 1024;

const QByteArray kMessage = "From: a@example.com\r\nSubject: matrix\r\n\r\nbody\r\n..dot\r\n";
const QByteArray kHuge = "99999999999999999999";

using Step = ScriptedPop3Server::Step;
using Then = ScriptedPop3Server::Then;

// What the server lists in its capabilities besides USER and TOP.
struct Offers
{
    bool stls = false;
    bool pipelining = false;
};

// A well-behaved server holding one message.
Step normalStep(const QByteArray& command, Offers offers)
{
    if (command.isNull())
        return {"+OK ready <1896.697170952@matrix.example>\r\n"};
    const QList<QByteArray> words = command.split(' ');
    const QByteArray verb = words.first().toUpper();
    const bool first = words.size() > 1 && words[1] == "1";
    const QByteArray size = QByteArray::number(kMessage.size());
    if (verb == "CAPA")
        return {"+OK\r\nUSER\r\nTOP\r\n" + QByteArray(offers.stls ? "STLS\r\n" : "") +
                QByteArray(offers.pipelining ? "PIPELINING\r\n" : "") + ".\r\n"};
    if (verb == "USER")
        return {"+OK\r\n"};
    if (verb == "PASS" || verb == "APOP")
        return {"+OK logged in\r\n"};
    if (verb == "STAT")
        return {"+OK 1 " + size + "\r\n"};
    if (verb == "TOP" && first)
        return {"+OK\r\n" + kMessage.first(kMessage.indexOf("\r\n\r\n") + 4) + ".\r\n"};
    if (verb == "LIST" && first)
        return {"+OK 1 " + size + "\r\n"};
    if (verb == "RETR" && first)
        return {"+OK\r\n" + kMessage + ".\r\n"};
    if (verb == "QUIT")
        return {"+OK bye\r\n", Then::Close};
    return {"-ERR no such message\r\n"};
}

// The normal answer with its status line changed: the size or count word
// replaced where the state has one, else words added at its end.
Step withStatusLine(Step step, State state, Kind kind)
{
    const qsizetype end = step.bytes.indexOf("\r\n");
    QByteArray line = step.bytes.first(end);
    const QByteArray rest = step.bytes.sliced(end);
    QList<QByteArray> words = line.split(' ');
    const bool counted = state == State::Stat || state == State::List; // "+OK n size"
    switch (kind) {
    case Kind::HugeSize:
    case Kind::NegativeSize: {
        const QByteArray size = kind == Kind::HugeSize ? kHuge : QByteArray("-5");
        if (counted)
            words[2] = size;
        else
            words << size << "octets";
        break;
    }
    case Kind::HugeCount:
        if (counted)
            words[1] = "2147483647";
        else
            words << "2147483647"
                  << "messages";
        break;
    case Kind::NulBytes:
        words << QByteArray("\0nul\0", 5);
        break;
    default:
        break;
    }
    step.bytes = words.join(' ') + rest;
    return step;
}

Step hostileStep(const QByteArray& command, State state, Kind kind)
{
    switch (kind) {
    case Kind::Error:
        return {"-ERR hostile\r\n"};
    case Kind::Garbage:
        return {QByteArray("\0\xff\xfe garbage\r\n", 13)};
    case Kind::Stall:
        return {{}, Then::Stall};
    case Kind::Close:
        return {{}, Then::Close};
    case Kind::Reset:
        return {{}, Then::Reset};
    case Kind::EndlessLine:
        return {"+OK " + QByteArray(64 * 1024, 'x'), Then::Endless};
    default:
        break;
    }
    if (state == State::Stls) // "+OK", then bytes that are no TLS handshake
        return {withStatusLine({"+OK begin TLS\r\n"}, state, kind).bytes + "not TLS\r\n",
                Then::Close};
    return withStatusLine(normalStep(command, {}), state, kind);
}

enum class Outcome { One, Max, CouldNot };

// The true outcome: once STAT has given the count, nothing the server does
// changes it; before that, only replies that still let the session go on give
// a count ("+OK" with odd words, or no CAPA at all).
Outcome expectedOutcome(State state, Kind kind)
{
    if (state == State::Top || state == State::List || state == State::Retr || state == State::Quit)
        return Outcome::One;
    if (state == State::Stls)
        return Outcome::CouldNot;
    switch (kind) {
    case Kind::Error:
        return state == State::Capa ? Outcome::One : Outcome::CouldNot;
    case Kind::HugeCount:
        return state == State::Stat ? Outcome::Max : Outcome::One;
    case Kind::HugeSize:
    case Kind::NegativeSize:
    case Kind::NulBytes:
        return Outcome::One;
    default:
        return Outcome::CouldNot;
    }
}

// Each cell runs against a server that answers one command at a time and
// against one that offers PIPELINING, where the message commands go out
// ahead of their answers.
class HostileServer : public ::testing::TestWithParam<std::tuple<State, Kind, bool>>
{
};

TEST_P(HostileServer, TheCheckEndsInTimeShowsTheTruthAndHarmsNothing)
{
    const auto [state, kind, pipelining] = GetParam();
    const QByteArray verb = verbOf(state);
    ScriptedPop3Server server([&](const QByteArray& command) {
        const bool hit = state == State::Greeting ? command.isNull()
                                                  : command.split(' ').first().toUpper() == verb;
        return hit ? hostileStep(command, state, kind)
                   : normalStep(command, {state == State::Stls, pipelining});
    });
    ASSERT_TRUE(server.isRunning());

    AppHarness h;
    h.writeFile(h.orvendaPath, "SMTP=\r\nPOP3=" + server.hostPort().toLatin1() +
                                   "\r\nMAIL=\r\nAPOP=" + (state == State::Apop ? "1" : "0") +
                                   "\r\n");
    h.writeFile(h.idPassPath(), "[EXEINI]\r\nNAME=pilot\r\nNAME2=secret\r\n");
    h.writeFile(h.iniPath(), "[EXEINI]\r\nNUMBER=0\r\nNUMBER100=0\r\n");
    AppContext& ctx = h.create();
    ctx.mail.setTimeouts(kTimeoutMs, kTimeoutMs);
    h.start();
    const auto before = h.snapshot();

    QElapsedTimer clock;
    clock.start();
    ResourceUsage::GrowthWatch memory;
    h.main().CheckMail();
    const qint64 elapsed = clock.elapsed();
    const qint64 grownKib = memory.grownKib();

    EXPECT_LT(elapsed, kBoundMs);
    EXPECT_LT(grownKib, kMemoryBoundKib);
    const Outcome outcome = expectedOutcome(state, kind);
    const QString count = child<QLineEdit>(ctx.msgForm.get(), "Text2")->text();
    const QString text = child<QLineEdit>(ctx.msgForm.get(), "Text1")->text();
    switch (outcome) {
    case Outcome::One:
    case Outcome::Max:
        EXPECT_EQ(count, outcome == Outcome::One ? QStringLiteral("1") : QString::number(INT_MAX));
        EXPECT_EQ(text, QStringLiteral("新着メールが有ります。"));
        EXPECT_TRUE(h.main().state().PlaneOut);
        EXPECT_TRUE(ctx.msgBox.shown().isEmpty());
        break;
    case Outcome::CouldNot:
        EXPECT_EQ(count, u"-");
        EXPECT_EQ(text, QStringLiteral("メールを確認できませんでした。"));
        EXPECT_FALSE(h.main().state().PlaneOut);
        ASSERT_FALSE(ctx.msgBox.shown().isEmpty());
        EXPECT_EQ(ctx.msgBox.shown().last().title, QStringLiteral("エラー"));
        EXPECT_FALSE(ctx.msgBox.shown().last().prompt.isEmpty());
        break;
    }
    ASSERT_TRUE(server.waitIdle(kBoundMs));
    const QByteArray log = server.commandLog();
    EXPECT_FALSE(log.startsWith("DELE") || log.contains("\nDELE")) << log.toStdString();
    if (state == State::Stls) { // no TLS, so no password
        EXPECT_FALSE(log.contains("PASS") || log.contains("APOP")) << log.toStdString();
    }
    EXPECT_EQ(h.snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(EveryStateAndReply, HostileServer,
                         ::testing::Combine(::testing::ValuesIn(kStates),
                                            ::testing::ValuesIn(kKinds), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(name(std::get<0>(info.param))) +
                                    name(std::get<1>(info.param)) +
                                    (std::get<2>(info.param) ? "Pipelined" : "");
                         });

} // namespace

// The POP3 client against a server that answers from the fuzzer's bytes:
// every reply shape, each sent in pieces the input chooses, split at any byte.
// Whatever arrives, the client returns a valid result for every call, writes
// only inside its buffers, never sends DELE, never puts the password into a
// text, and gives the same results however the replies were cut into pieces.
//
// The server runs in this process on a thread of its own (ScriptedPop3Server)
// and talks to the client over loopback TCP, the client's real transport: a
// piece goes out only once the client has read the one before, so each run
// is repeatable, and a session ends as soon as the client waits for bytes the
// input does not have, so no run waits for a timeout.
#include "FuzzInput.h"
#include "mail/NMail.h"
#include "scriptedpop3/ScriptedPop3Server.h"

#include <QCoreApplication>

#include <climits>
#include <memory>
#include <vector>

namespace {

using Step = ScriptedPop3Server::Step;
using Then = ScriptedPop3Server::Then;

const char* const kPassword = "pa55-Secret";

// What a run gave back, compared between the whole and the cut delivery.
struct Outcome
{
    std::vector<int> results;
    std::vector<std::vector<char>> buffers;
    QString lastMessage;

    bool operator==(const Outcome&) const = default;
};

// The replies of one input: the greeting and then one per command. Once
// they are used up the server says nothing more, and closes the connection
// when the client waits for more: a close never races the bytes before it.
struct Script
{
    std::vector<Step> steps;
    size_t next = 0;
    bool cut = true;

    Step step()
    {
        if (next >= steps.size())
            return Step();
        Step s = steps[next++];
        if (!cut)
            s.pieces.clear();
        return s;
    }
};

// Written out when the two deliveries disagree.
void print(const char* label, const Outcome& o)
{
    std::fprintf(stderr, "%s: results", label);
    for (const int r : o.results)
        std::fprintf(stderr, " %d", r);
    std::fprintf(stderr, "\n  message: %s\n", qPrintable(o.lastMessage));
}

Script* g_script = nullptr;
ScriptedPop3Server* g_server = nullptr;
// One library for the whole process, as in the program: it loads the trusted
// certificates once, at its first TLS start, not at every run.
NMail* g_mail = nullptr;

bool valid(int result, int highest)
{
    return (result >= 0 && result <= highest) ||
           (result <= NMail::kErrorRefused && result >= NMail::kErrorBadArgument);
}

std::vector<char> buffer(size_t size)
{
    return std::vector<char>(size, '#');
}

void checkTerminated(const std::vector<char>& b)
{
    if (!b.empty())
        FUZZ_CHECK(std::find(b.begin(), b.end(), '\0') != b.end());
}

Outcome run(Script& script, uint8_t flags, const uint8_t (&sizes)[2])
{
    script.next = 0;
    g_script = &script;
    Outcome out;
    {
        NMail& mail = *g_mail;
        const QByteArray host = (flags & 2 ? "pop3://" : "") + g_server->hostPort().toLatin1();
        const int handle = mail.NMailPop3Connect(host.constData());
        out.results.push_back(handle >= 0 ? 0 : handle); // numbers differ between runs
        FUZZ_CHECK(handle >= -1);
        if (handle >= 0) {
            const int count =
                mail.NMailPop3Authenticate(handle, "pilot", kPassword, flags & 1 ? -1 : 0);
            out.results.push_back(count);
            FUZZ_CHECK(valid(count, INT_MAX));
            // As a check does: said ahead, the calls below may go another way.
            if (flags & 4)
                mail.pipelineMessages(handle, std::min(count, 3));
            for (int no = 1; no <= std::min(count, 3); ++no) {
                // Exact sizes: a write past the end is caught by the address checker.
                std::vector<char> subject = buffer(sizes[0] % 32), date = buffer(8),
                                  from = buffer(sizes[0] % 7 + 1), header = buffer(sizes[1]);
                std::vector<char> body = buffer(sizes[1] % 97 + 1);
                out.results.push_back(
                    mail.NMailPop3GetMailStatus(handle, no, subject, date, from, header, 0));
                FUZZ_CHECK(valid(out.results.back(), 0));
                out.results.push_back(mail.NMailPop3GetMailSize(handle, no));
                FUZZ_CHECK(valid(out.results.back(), INT_MAX - 1));
                out.results.push_back(
                    mail.NMailPop3GetMail(handle, no, subject, date, from, header, body, 0, 0));
                FUZZ_CHECK(valid(out.results.back(), INT_MAX));
                for (auto* b : {&subject, &date, &from, &header, &body}) {
                    checkTerminated(*b);
                    out.buffers.push_back(std::move(*b));
                }
            }
            out.results.push_back(mail.NMailPop3Close(handle));
        }
        out.lastMessage = mail.lastMessage();
    }
    FUZZ_CHECK(g_server->waitIdle(10000));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // All live until the process ends: the server's thread may still be
    // looking at its socket when a static would be torn down.
    static int appArgc = *argc;
    new QCoreApplication(appArgc, *argv);
    g_mail = new NMail;
    g_mail->setTimeouts(3000, 3000);
    // The server speaks no TLS: after its answer to STLS it closes, so the
    // client's handshake ends at once instead of after its bound.
    g_server = new ScriptedPop3Server(
        [](const QByteArray& command) {
            Step step = g_script->step();
            if (command.trimmed().compare("STLS", Qt::CaseInsensitive) == 0)
                step.then = Then::Close;
            return step;
        },
        true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t flags = in.byte();
    const uint8_t sizes[2] = {in.byte(), in.byte()};
    Script script;
    while (!in.atEnd() && script.steps.size() < 16) {
        QList<int> pieces;
        for (const char c : in.piece())
            pieces.append(uint8_t(c));
        script.steps.emplace_back(in.piece().toByteArray(), Then::Listen, pieces);
    }

    const qsizetype logBefore = g_server->commandLog().size();
    script.cut = false;
    Outcome whole = run(script, flags, sizes);
    const QByteArray wholeLog = g_server->commandLog().mid(logBefore);
    script.cut = true;
    Outcome cut = run(script, flags, sizes);
    const QByteArray cutLog = g_server->commandLog().mid(logBefore + wholeLog.size());

    for (const QByteArray* log : {&wholeLog, &cutLog}) {
        FUZZ_CHECK(!log->startsWith("DELE") && !log->contains("\nDELE"));
        // The server never completes a TLS handshake: after STLS no password
        // may reach it.
        if (log->contains("STLS"))
            FUZZ_CHECK(!log->contains(kPassword));
    }
    for (const Outcome* o : {&whole, &cut})
        FUZZ_CHECK(!o->lastMessage.contains(QLatin1String(kPassword)));
    // After STLS, whether bytes sent behind its answer are refused depends on
    // whether they had arrived: the only answer whose timing matters.
    // What the client shows is compared, not which commands reached the
    // server: a command sent while the server is still sending, or as it
    // closes, may or may not be read before the connection goes.
    if (!wholeLog.contains("STLS")) {
        if (!(whole == cut)) {
            print("whole", whole);
            std::fprintf(stderr, "  commands: %s\n", wholeLog.toPercentEncoding(" ").constData());
            print("cut", cut);
            std::fprintf(stderr, "  commands: %s\n", cutLog.toPercentEncoding(" ").constData());
        }
        FUZZ_CHECK(whole == cut);
    }
    return 0;
}

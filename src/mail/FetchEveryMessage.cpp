#include "mail/FetchEveryMessage.h"

#include "mail/NMail.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// The bodies are fetched in full but not used; the buffer that receives them
// never grows past this, whatever size the server claims for a message.
constexpr int kMaxBodyBuffer = 1 << 20;
// A server may claim any count and then deliver nothing. The message loop
// gives up after this many messages in a row that the server would not
// deliver, or once such a run has lasted two reply waits (60 s), whichever
// comes first, so a hostile count holds the program for about a minute at most.
constexpr int kMaxRefusalsInARow = 1000;

// A result that means no command can reach the server any more.
bool linkGone(int result)
{
    return result == NMail::kErrorConnectionLost || result == NMail::kErrorTimeout ||
           result == NMail::kErrorBadHandle;
}

} // namespace

void fetchEveryMessage(NMail& mail, int handle, int count, MessageTexts& t)
{
    std::vector<char> body;
    int refusedInARow = 0;
    QElapsedTimer sinceLastDelivered;
    sinceLastDelivered.start();
    const qint64 refusalRunLimitMs = 2 * qint64(mail.replyTimeoutMs());
    // The calls below ask exactly this, in this order: where the server
    // allows it their commands overlap on the network, elsewhere they cost
    // one round trip per message.
    mail.pipelineMessages(handle, count);
    // 64-bit: a count of INT_MAX must end the loop, not overflow it.
    for (qint64 i = 1; i <= count; ++i) {
        const int no = int(i);
        const int status =
            mail.NMailPop3GetMailStatus(handle, no, t.text1, t.text2, t.text3, t.text4, 0);
        const int size = mail.NMailPop3GetMailSize(handle, no);
        const size_t bufferSize = size_t(std::clamp(size, 0, kMaxBodyBuffer - 1)) + 1;
        // Grown, never cleared: the library writes what it receives and its
        // NUL, and nothing reads the bytes beyond.
        if (body.size() < bufferSize)
            body.resize(bufferSize);
        const int fetched = mail.NMailPop3GetMail(handle, no, t.text1, t.text2, t.text3, t.text4,
                                                  std::span(body.data(), bufferSize), 0, 0);
        if (linkGone(status) || linkGone(size) || linkGone(fetched))
            return;
        if (fetched >= 0) {
            refusedInARow = 0;
            sinceLastDelivered.restart();
        } else if (++refusedInARow >= kMaxRefusalsInARow ||
                   sinceLastDelivered.hasExpired(refusalRunLimitMs)) {
            return;
        }
    }
}

#include "mail/Pop3Connection.h"

#include "mail/ConnectAttempt.h"
#include "mail/ServerText.h"

#include <QCryptographicHash>
#include <QSslConfiguration>
#include <QSslSocket>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

// Bytes taken from the socket at a time, and the most the socket may hold
// unread: memory follows these, never what the server announces.
constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kSocketBuffer = 256 * 1024;
// QUIT on the way out is not worth a full reply wait.
constexpr int kQuitTimeoutMs = 5000;

int remainingMs(const QDeadlineTimer& deadline)
{
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX));
}

// Whether a capability list (CAPA's data) has a line naming capability.
bool listsCapability(const QByteArray& list, QByteArrayView capability)
{
    for (const QByteArray& line : list.split('\n')) {
        const QByteArray words = line.simplified();
        const qsizetype space = words.indexOf(' ');
        if (QByteArrayView(words)
                .first(space < 0 ? words.size() : space)
                .compare(capability, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Whether the bytes received so far of a status line can still become one:
// every status line begins "+OK" or "-ERR", so any other first bytes are not
// POP3, whether or not a line end ever follows them.
bool canBeginStatusLine(QByteArrayView start)
{
    const auto begins = [start](QByteArrayView indicator) {
        const qsizetype n = std::min(start.size(), indicator.size());
        return start.first(n) == indicator.first(n);
    };
    return begins("+OK") || begins("-ERR");
}

// The index-th word of text, words being separated by white space (as
// QByteArray::simplified() sees it); empty when there are fewer.
QByteArrayView wordAt(QByteArrayView text, int index)
{
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    qsizetype i = 0;
    for (;;) {
        while (i < text.size() && blank(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && !blank(text[i]))
            ++i;
        if (start == i || index-- == 0)
            return text.sliced(start, i - start);
    }
}

// The command line of one step of a message, formatted in place: it is made
// for every message command.
class MessageLine
{
public:
    MessageLine(Pop3Connection::MessageStep step, qint64 no)
    {
        using Step = Pop3Connection::MessageStep;
        const std::string_view verb = step == Step::Header ? "TOP "
                                      : step == Step::Size ? "LIST "
                                                           : "RETR ";
        char* end = std::copy(verb.begin(), verb.end(), m_text);
        end = std::to_chars(end, m_text + sizeof m_text, no).ptr;
        if (step == Step::Header)
            end = std::copy_n(" 0", 2, end);
        m_size = end - m_text;
    }
    QByteArrayView view() const { return QByteArrayView(m_text, m_size); }

private:
    char m_text[32]; // the longest: "RETR " or "TOP " and " 0" around 19 digits
    qsizetype m_size = 0;
};

} // namespace

bool Pop3Connection::parseNumber(QByteArrayView text, qint64& value)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    qsizetype digits = 0;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < (qint64(1) << 40))
            value = value * 10 + (text[i] - '0');
        ++i;
        ++digits;
    }
    return digits > 0 && (i == text.size() || text[i] == ' ');
}

Pop3Connection::Pop3Connection(int connectTimeoutMs, int replyTimeoutMs,
                               TrustedCertificates trusted, QByteArray pinnedSha256)
    : m_connectTimeoutMs(connectTimeoutMs), m_replyTimeoutMs(replyTimeoutMs),
      m_trusted(std::move(trusted)), m_pinnedSha256(std::move(pinnedSha256))
{}

Pop3Connection::~Pop3Connection()
{
    abort();
}

Pop3Connection::Status Pop3Connection::fail(Status status)
{
    if (status != Status::Ok && status != Status::ServerError) {
        m_broken = true;
        m_plan.reset();
        m_sizes.clear();
        m_listed.reset();
        m_retr.reset();
        if (m_socket)
            m_socket->abort();
    }
    return status;
}

QDeadlineTimer Pop3Connection::startWait(int ms)
{
    m_lastWaitMs = ms;
    return QDeadlineTimer(ms);
}

void Pop3Connection::configureTls(const QString& host)
{
    // Setting the list explicitly stops Qt's on-demand loading of system
    // roots: the caller's list already holds them.
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setCaCertificates(m_trusted());
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket->setSslConfiguration(conf);
    m_socket->setPeerVerifyName(host);
}

void Pop3Connection::checkCertificate(const QList<QSslError>& errors)
{
    // Runs inside the handshake, before it decides. Only the exact pinned
    // certificate is let through; anything else fails the handshake and is
    // kept for the caller to show.
    QSslCertificate peer = m_socket->peerCertificate();
    if (peer.isNull() && !errors.isEmpty())
        peer = errors.first().certificate();
    if (!m_pinnedSha256.isEmpty() && !peer.isNull() &&
        peer.digest(QCryptographicHash::Sha256) == m_pinnedSha256) {
        m_socket->ignoreSslErrors();
        return;
    }
    m_rejectedCertificate = peer;
    m_certificateErrors = errors;
}

Pop3Connection::Status Pop3Connection::handshake(const QString& host, int ms)
{
    // The trusted certificates are loaded before the bound starts: it is the
    // server's time to answer, not ours to read the certificate store.
    configureTls(host);
    const QDeadlineTimer deadline = startWait(ms);
    m_socket->startClientEncryption();
    if (m_socket->waitForEncrypted(remainingMs(deadline)))
        return Status::Ok;
    m_tlsError = m_socket->errorString();
    // A server that says nothing during the handshake is silent, not broken.
    if (m_certificateErrors.isEmpty() && deadline.hasExpired())
        return fail(Status::Timeout);
    return fail(Status::TlsFailed);
}

Pop3Connection::Status Pop3Connection::begin(qintptr socket, const QString& host, bool tls,
                                             int handshakeMs)
{
    abort();
    m_broken = false;
    m_pending.clear();
    m_pendingPos = 0;
    m_greeting.clear();
    m_tlsError.clear();
    m_rejectedCertificate = QSslCertificate();
    m_certificateErrors.clear();
    m_pipelining = Pipelining::Unknown;
    m_plan.reset();
    m_sizes.clear();
    m_listed.reset();
    m_retr.reset();
    m_socket = std::make_unique<QSslSocket>();
    m_socket->setReadBufferSize(kSocketBuffer);
    QSslSocket* sslSocket = m_socket.get();
    // Emitted from inside the blocking handshake.
    QObject::connect(sslSocket, &QSslSocket::sslErrors, sslSocket,
                     [this](const QList<QSslError>& errors) { checkCertificate(errors); });
    if (!m_socket->setSocketDescriptor(socket)) {
        ConnectAttempt::closeSocket(socket); // not taken over, so still ours
        return fail(Status::ConnectionLost);
    }
    const Status status = tls ? handshake(host, handshakeMs) : Status::Ok;
    m_greetingDeadline = startWait(m_replyTimeoutMs);
    return status;
}

Pop3Connection::Status Pop3Connection::readGreeting(QDeadlineTimer look)
{
    if (!isUsable())
        return fail(Status::ConnectionLost);
    if (!look.isForever() && m_pendingPos == m_pending.size()) {
        const Status status = fill(std::min(look, m_greetingDeadline));
        if (status == Status::Timeout && !m_greetingDeadline.hasExpired())
            return Status::Silent; // still open: the greeting may yet come
        if (status != Status::Ok && status != Status::Timeout)
            return fail(status);
    }
    Status status = readStatusLine(&m_greeting, m_greetingDeadline);
    m_lastWaitMs = m_replyTimeoutMs; // the greeting's bound, however much of it was left
    if (status == Status::Timeout && m_pending.isEmpty() && !isEncrypted())
        return Status::Silent;
    if (status != Status::Ok)
        return fail(status);
    if (m_greeting.startsWith("-ERR")) {
        // A POP3 server turning the session away (busy, blocked): its words
        // are kept for the caller, the session ends here.
        m_broken = true;
        abort();
        return Status::ServerError;
    }
    if (!m_greeting.startsWith("+OK"))
        return fail(Status::ProtocolError);
    return Status::Ok;
}

Pop3Connection::Status Pop3Connection::upgradeIfOffered(const QString& host)
{
    QByteArray capabilities;
    const Status status = readCapabilities(&capabilities);
    if (status == Status::ServerError) {
        // A server without CAPA offers neither STLS nor pipelining.
        m_pipelining = Pipelining::NotOffered;
        return Status::Ok;
    }
    if (status != Status::Ok)
        return status;
    const bool pipelining = listsCapability(capabilities, "PIPELINING");
    if (!listsCapability(capabilities, "STLS")) {
        m_pipelining = pipelining ? Pipelining::Offered : Pipelining::NotOffered;
        return Status::Ok;
    }
    // Words read in clear may have been added on the way; after the upgrade
    // only a no is kept (which costs nothing but speed if it was forged).
    if (!pipelining)
        m_pipelining = Pipelining::NotOffered;
    return startTls(host);
}

Pop3Connection::Status Pop3Connection::readCapabilities(QByteArray* list)
{
    list->clear();
    QByteArray reply;
    const Status status = command("CAPA", &reply);
    if (status != Status::Ok)
        return status;
    return readMultiLine([list](QByteArrayView piece) { list->append(piece); }, Length::Short);
}

bool Pop3Connection::offersPipelining()
{
    if (m_pipelining == Pipelining::Unknown && isUsable()) {
        QByteArray capabilities;
        const Status status = readCapabilities(&capabilities);
        m_pipelining = status == Status::Ok && listsCapability(capabilities, "PIPELINING")
                           ? Pipelining::Offered
                           : Pipelining::NotOffered;
    }
    return m_pipelining == Pipelining::Offered && isUsable();
}

Pop3Connection::Status Pop3Connection::startTls(const QString& host)
{
    QByteArray reply;
    const Status status = command("STLS", &reply);
    if (status == Status::ServerError) {
        m_tlsError = ServerText::decode(reply);
        return fail(Status::TlsFailed);
    }
    if (status != Status::Ok)
        return status;
    // Anything already received after +OK came in clear text and could have
    // been injected by someone on the path: refuse it.
    if (m_pendingPos < m_pending.size() || m_socket->bytesAvailable() > 0)
        return fail(Status::ProtocolError);
    m_pending.clear();
    m_pendingPos = 0;
    return handshake(host, m_connectTimeoutMs);
}

Pop3Connection::Status Pop3Connection::writeLine(QByteArrayView line)
{
    QByteArray out;
    out.reserve(line.size() + 2);
    out.append(line);
    out.append("\r\n");
    return writeBytes(out);
}

Pop3Connection::Status Pop3Connection::writeBytes(QByteArrayView out)
{
    if (m_socket->write(out.data(), out.size()) != out.size())
        return fail(Status::ConnectionLost);
    // Hands the bytes to the system at once; a wait is left only for a
    // socket that cannot take them yet.
    m_socket->flush();
    const QDeadlineTimer deadline = startWait(m_replyTimeoutMs);
    while (m_socket->bytesToWrite() > 0) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return fail(Status::ConnectionLost);
        if (deadline.hasExpired())
            return fail(Status::Timeout);
        if (!m_socket->waitForBytesWritten(remainingMs(deadline)) &&
            m_socket->state() != QAbstractSocket::ConnectedState)
            return fail(Status::ConnectionLost);
    }
    return Status::Ok;
}

Pop3Connection::Status Pop3Connection::fill(QDeadlineTimer deadline)
{
    if (m_pendingPos > 0) {
        m_pending.remove(0, m_pendingPos);
        m_pendingPos = 0;
    }
    for (;;) {
        const qint64 available = m_socket->bytesAvailable();
        if (available > 0) {
            const qsizetype old = m_pending.size();
            const qint64 want = std::min(available, kReadChunk);
            m_pending.resize(old + want);
            const qint64 got = m_socket->read(m_pending.data() + old, want);
            m_pending.resize(old + std::max<qint64>(got, 0));
            if (got > 0)
                return Status::Ok;
            return Status::ConnectionLost;
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return Status::ConnectionLost;
        if (deadline.hasExpired())
            return Status::Timeout;
        if (!m_socket->waitForReadyRead(remainingMs(deadline))) {
            if (m_socket->bytesAvailable() > 0)
                continue;
            if (m_socket->state() != QAbstractSocket::ConnectedState ||
                m_socket->error() == QAbstractSocket::RemoteHostClosedError)
                return Status::ConnectionLost;
            if (deadline.hasExpired() || m_socket->error() == QAbstractSocket::SocketTimeoutError)
                return Status::Timeout;
        }
    }
}

Pop3Connection::Status Pop3Connection::readStatusLine(QByteArray* line, QDeadlineTimer whole)
{
    const QDeadlineTimer deadline = std::min(startWait(m_replyTimeoutMs), whole);
    qsizetype scanned = m_pendingPos;
    for (;;) {
        const qsizetype lf = m_pending.indexOf('\n', scanned);
        if (lf >= 0) {
            qsizetype end = lf;
            if (end > m_pendingPos && m_pending[end - 1] == '\r')
                --end;
            // Into the caller's array, reusing its memory: one status line per command.
            line->resize(end - m_pendingPos);
            std::memcpy(line->data(), m_pending.constData() + m_pendingPos,
                        size_t(end - m_pendingPos));
            m_pendingPos = lf + 1;
            return Status::Ok;
        }
        if (m_pending.size() - m_pendingPos > kMaxStatusLine ||
            !canBeginStatusLine(QByteArrayView(m_pending).sliced(m_pendingPos)))
            return fail(Status::ProtocolError);
        // One bound for the whole line, however slowly its bytes come.
        if (deadline.hasExpired())
            return fail(Status::Timeout);
        scanned = m_pending.size() - m_pendingPos; // offsets move when fill() compacts
        const Status status = fill(deadline);
        if (status != Status::Ok)
            return fail(status);
        scanned += m_pendingPos;
    }
}

Pop3Connection::Status Pop3Connection::command(QByteArrayView line, QByteArray* reply)
{
    reply->truncate(0);
    if (!isUsable())
        return fail(Status::ConnectionLost);
    const Status status = drainOwed(QDeadlineTimer::Forever);
    if (status != Status::Ok)
        return status;
    m_plan.reset();
    const Status written = writeLine(line);
    if (written != Status::Ok)
        return written;
    return takeStatus(reply);
}

Pop3Connection::Status Pop3Connection::takeStatus(QByteArray* reply, QDeadlineTimer whole)
{
    const Status status = readStatusLine(reply, whole);
    if (status != Status::Ok)
        return status;
    if (reply->startsWith("+OK"))
        return Status::Ok;
    if (reply->startsWith("-ERR"))
        return Status::ServerError;
    return fail(Status::ProtocolError);
}

bool Pop3Connection::planMessages(qint64 count)
{
    m_plan.reset();
    if (count <= 0)
        return false;
    const bool ahead = offersPipelining();
    if (!ahead && count <= kMaxListed)
        readSizes(count);
    if (isUsable())
        m_plan = Plan{0, 0, count * kMessageSteps, ahead};
    return ahead;
}

// The one LIST of a plan without pipelining, read with the bounds of a short
// answer, with room for one line of every message STAT counted. Lines for
// other numbers, repeated or unreadable ones are passed over: what it does
// not give is asked with its message.
void Pop3Connection::readSizes(qint64 count)
{
    // "n size" CRLF: at most 10 digits, a blank, 19 digits and the line end.
    constexpr qsizetype kMaxListLine = 32;
    QByteArray reply;
    if (command("LIST", &reply) != Status::Ok)
        return;
    m_sizes.assign(size_t(count), -1);
    QByteArray line;
    bool overlong = false;
    const auto take = [&](QByteArrayView piece) {
        while (!piece.isEmpty()) {
            const void* hit = std::memchr(piece.data(), '\n', size_t(piece.size()));
            const qsizetype lf = hit ? static_cast<const char*>(hit) - piece.data() : -1;
            const QByteArrayView part = lf < 0 ? piece : piece.first(lf);
            overlong = overlong || line.size() + part.size() > kMaxListLine;
            if (!overlong)
                line.append(part);
            if (lf < 0)
                return;
            qint64 no = 0;
            qint64 size = 0;
            if (!overlong && parseNumber(wordAt(line, 0), no) &&
                parseNumber(wordAt(line, 1), size) && no >= 1 && no <= count &&
                m_sizes[size_t(no - 1)] < 0)
                m_sizes[size_t(no - 1)] = size;
            line.clear();
            overlong = false;
            piece = piece.sliced(lf + 1);
        }
    };
    DataRead read;
    readData(take, kMaxShortAnswer + kMaxListLine * count, startWait(m_replyTimeoutMs), read);
}

Pop3Connection::Status Pop3Connection::messageCommand(MessageStep step, qint64 no,
                                                      QByteArray* reply)
{
    const MessageLine line(step, no);
    if (!m_plan || no < 1 || (no - 1) * kMessageSteps + int(step) != m_plan->taken)
        return command(line.view(), reply); // not the next in the plan: it ends
    reply->truncate(0);
    if (!isUsable())
        return fail(Status::ConnectionLost);
    Plan& plan = *m_plan;
    const bool ahead = plan.ahead;
    if (ahead && plan.sent - plan.taken <= kPipelineWindow / 2 && plan.sent < plan.end) {
        const Status status = sendAhead();
        if (status != Status::Ok)
            return status;
    }
    if (++plan.taken == plan.end)
        m_plan.reset();
    return ahead ? takeStatus(reply) : roundTrip(step, no, reply);
}

Pop3Connection::Status Pop3Connection::messageSize(qint64 no, QByteArray* reply, qint64* size)
{
    *size = -1;
    const Status status = messageCommand(MessageStep::Size, no, reply);
    // "+OK <no> <size>"
    if (status == Status::Ok && !parseNumber(wordAt(*reply, 2), *size))
        *size = -1;
    return status;
}

Pop3Connection::Status Pop3Connection::sendAndTake(QByteArrayView line, QByteArray* reply)
{
    const Status status = writeLine(line);
    return status == Status::Ok ? takeStatus(reply) : status;
}

// One step of a plan without pipelining. The header step sends RETR (and
// before it LIST n when the one LIST did not give that size: a command is
// never sent while an answer is still coming, which a server without
// pipelining need not read); the size step answers from the LIST; the
// message step takes the answer of the RETR sent at the header step.
Pop3Connection::Status Pop3Connection::roundTrip(MessageStep step, qint64 no, QByteArray* reply)
{
    const qint64 listed = no <= qint64(m_sizes.size()) ? m_sizes[size_t(no - 1)] : -1;
    switch (step) {
    case MessageStep::Header: {
        m_listed.reset();
        m_retr.reset();
        if (listed < 0) {
            Listed asked;
            asked.no = no;
            asked.status = sendAndTake(MessageLine(MessageStep::Size, no).view(), &asked.reply);
            if (asked.status != Status::Ok && asked.status != Status::ServerError)
                return asked.status;
            m_listed = asked;
        }
        const Status status = sendAndTake(MessageLine(MessageStep::Message, no).view(), reply);
        if (status == Status::Ok || status == Status::ServerError) {
            // Assigned, not emplaced: clang 14 takes a nested struct with
            // member initialisers for one that cannot be made without arguments.
            OpenRetr retr;
            retr.no = no;
            retr.status = status;
            retr.reply = *reply;
            m_retr = std::move(retr);
        }
        return status;
    }
    case MessageStep::Size:
        if (listed >= 0) {
            *reply = "+OK " + QByteArray::number(no) + ' ' + QByteArray::number(listed);
            return Status::Ok;
        }
        if (m_listed && m_listed->no == no) {
            *reply = m_listed->reply;
            return m_listed->status;
        }
        break;
    case MessageStep::Message:
        if (m_retr && m_retr->no == no) {
            *reply = m_retr->reply;
            return m_retr->status;
        }
        break;
    }
    return fail(Status::ProtocolError); // the plan's order rules this out
}

// Sends the next commands of the plan in one write, without waiting for any
// answer, up to the window.
Pop3Connection::Status Pop3Connection::sendAhead()
{
    Plan& plan = *m_plan;
    QByteArray out;
    for (; plan.sent < plan.end && plan.sent - plan.taken < kPipelineWindow; ++plan.sent) {
        const MessageLine line(MessageStep(plan.sent % kMessageSteps),
                               plan.sent / kMessageSteps + 1);
        out += line.view();
        out += "\r\n";
    }
    // Owed before the write: a write that fails drops the session and them.
    return writeBytes(out);
}

Pop3Connection::Status Pop3Connection::drainOwed(QDeadlineTimer whole)
{
    // A RETR whose message step did not come: the rest of its data.
    std::optional<OpenRetr> retr = std::exchange(m_retr, std::nullopt);
    m_listed.reset();
    m_sizes.clear();
    if (retr && retr->status == Status::Ok && !retr->read.done) {
        const Status status = readData([](QByteArrayView) {}, -1, whole, retr->read);
        if (status != Status::Ok)
            return status;
    }
    if (!m_plan)
        return Status::Ok;
    const Plan plan = *m_plan;
    m_plan.reset();
    for (qint64 k = plan.taken; k < plan.sent; ++k) {
        QByteArray reply;
        Status status = takeStatus(&reply, whole);
        if (status == Status::ServerError)
            continue;
        DataRead read;
        if (status == Status::Ok && MessageStep(k % kMessageSteps) != MessageStep::Size)
            status = readData([](QByteArrayView) {}, -1, whole, read);
        if (status != Status::Ok)
            return status;
    }
    return Status::Ok;
}

Pop3Connection::Status
Pop3Connection::readMultiLine(const std::function<void(QByteArrayView)>& sink, Length length)
{
    if (m_retr && m_retr->status == Status::Ok)
        return readRetr(sink);
    DataRead read;
    if (length == Length::Short)
        return readData(sink, kMaxShortAnswer, startWait(m_replyTimeoutMs), read);
    return readData(sink, -1, QDeadlineTimer::Forever, read);
}

// The data of the RETR sent at a header step: at that step up to the end of
// the header, bounded as a short answer's would be, each piece kept; at the
// message step what was kept, then the rest, as a long answer.
Pop3Connection::Status Pop3Connection::readRetr(const std::function<void(QByteArrayView)>& sink)
{
    OpenRetr& retr = *m_retr;
    if (!retr.headerRead) {
        retr.headerRead = true;
        bool ended = false;
        const auto hold = [&](QByteArrayView piece) {
            // The empty line that ends the header may straddle two pieces.
            const qsizetype from = std::max<qsizetype>(0, retr.held.size() - 2);
            retr.held.append(piece);
            sink(piece);
            ended = ended || retr.held.startsWith('\n') || retr.held.startsWith("\r\n") ||
                    retr.held.indexOf("\n\n", from) >= 0 || retr.held.indexOf("\n\r\n", from) >= 0;
        };
        return readData(hold, -1, startWait(m_replyTimeoutMs), retr.read,
                        [&] { return ended || retr.held.size() >= kMaxShortAnswer; });
    }
    OpenRetr rest = std::move(retr);
    m_retr.reset();
    sink(rest.held);
    if (rest.read.done)
        return Status::Ok;
    return readData(sink, -1, QDeadlineTimer::Forever, rest.read);
}

// cap: the most the data may hold, or -1 for no limit. whole: the end of the
// whole answer; without one, each wait for more data has the reply bound.
// read: where the data stands, kept between calls. pause: asked after each
// piece handed over; true ends this call, the rest left for another.
Pop3Connection::Status Pop3Connection::readData(const std::function<void(QByteArrayView)>& sink,
                                                qsizetype cap, QDeadlineTimer whole, DataRead& read,
                                                const std::function<bool()>& pause)
{
    if (!isUsable())
        return fail(Status::ConnectionLost);
    const bool bounded = !whole.isForever();
    qsizetype& taken = read.taken;
    bool& atLineStart = read.atLineStart;
    for (;;) {
        while (m_pendingPos < m_pending.size()) {
            const char* p = m_pending.constData() + m_pendingPos;
            const qsizetype n = m_pending.size() - m_pendingPos;
            if (atLineStart && p[0] == '.') {
                // "." CRLF ends the data; any other line starting with a dot
                // had one more dot put in front of it by the server.
                if (n < 2 || (p[1] == '\r' && n < 3))
                    break; // decide when the next bytes are here
                if (p[1] == '\n' || (p[1] == '\r' && p[2] == '\n')) {
                    m_pendingPos += p[1] == '\n' ? 2 : 3;
                    read.done = true;
                    return Status::Ok;
                }
                ++m_pendingPos;
                ++taken;
                atLineStart = false;
                continue;
            }
            // Hand over everything up to the next line that starts with a dot.
            qsizetype from = 0;
            qsizetype take = n;
            bool endsLine = false;
            for (;;) {
                const void* hit = std::memchr(p + from, '\n', size_t(n - from));
                if (!hit)
                    break;
                const qsizetype lf = static_cast<const char*>(hit) - p;
                if (lf + 1 == n || p[lf + 1] == '.') {
                    take = lf + 1;
                    endsLine = true;
                    break;
                }
                from = lf + 1;
            }
            taken += take;
            if (cap >= 0 && taken > cap)
                return fail(Status::ProtocolError);
            sink(QByteArrayView(p, take));
            m_pendingPos += take;
            atLineStart = endsLine;
            if (pause && pause())
                return Status::Ok;
        }
        if (bounded && whole.hasExpired())
            return fail(Status::Timeout);
        const Status status = fill(bounded ? whole : startWait(m_replyTimeoutMs));
        if (status != Status::Ok)
            return fail(status);
    }
}

void Pop3Connection::quit()
{
    if (isUsable()) {
        const int saved = m_replyTimeoutMs;
        m_replyTimeoutMs = std::min(m_replyTimeoutMs, kQuitTimeoutMs);
        // Answers still owed to commands sent ahead come first; together
        // they get no more time than QUIT alone, and the close below gets
        // only what is left of that time.
        const QDeadlineTimer deadline(kQuitTimeoutMs);
        QByteArray reply;
        if (drainOwed(deadline) != Status::Ok || command("QUIT", &reply) != Status::Ok)
            m_broken = true;
        m_replyTimeoutMs = saved;
        if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
            // Over TLS this sends the close notice, so the server sees the
            // session end as agreed rather than cut off; the wait lets those
            // bytes out before the socket goes.
            m_socket->disconnectFromHost();
            if (m_socket->state() != QAbstractSocket::UnconnectedState)
                m_socket->waitForDisconnected(remainingMs(deadline));
        }
    }
    abort();
}

void Pop3Connection::abort()
{
    if (m_socket)
        m_socket->abort();
}

bool Pop3Connection::isUsable() const
{
    return m_socket && !m_broken && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool Pop3Connection::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

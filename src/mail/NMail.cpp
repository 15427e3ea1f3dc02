#include "mail/NMail.h"

#include "base/Cp932.h"
#include "mail/MailHeaderParser.h"
#include "mail/Pop3Host.h"
#include "mail/ServerText.h"
#include "mail/SpanWriter.h"
#include "mail/TrustStore.h"

#include <QCryptographicHash>

#include <algorithm>
#include <climits>

namespace {

using Status = Pop3Connection::Status;

const QString kServerSaid = QStringLiteral("サーバーの応答: ");

// What happened (naming the server value), and the server's own words when it
// said any. What to try is the caller's to add.
QString failureText(const QString& what, const QString& words = QString())
{
    return words.isEmpty() ? what : what + u'\n' + kServerSaid + words;
}

bool sendable(QByteArrayView text)
{
    return !text.contains('\r') && !text.contains('\n');
}

} // namespace

NMail::NMail() = default;

NMail::~NMail()
{
    for (auto& [handle, session] : m_sessions)
        session.connection->abort();
}

int NMail::NMailInitializeWinSock()
{
    return 0;
}

int NMail::NMailSetOption(int /*option*/, int /*value*/)
{
    return 0;
}

int NMail::NMailEndWinSock()
{
    for (auto& [handle, session] : m_sessions)
        session.connection->abort();
    m_sessions.clear();
    return 0;
}

void NMail::setTimeouts(int connectMs, int replyMs)
{
    m_connectTimeoutMs = connectMs;
    m_replyTimeoutMs = replyMs;
}

void NMail::addCaCertificates(const QList<QSslCertificate>& cas)
{
    m_extraCas += cas;
    m_trustedFor.reset();
}

const QList<QSslCertificate>& NMail::trustedCertificates()
{
    const QByteArray key = TrustStore::environmentKey();
    if (m_trustedFor != key) {
        m_trusted = TrustStore::systemAndEnvironment() + m_extraCas;
        m_trustedFor = key;
    }
    return m_trusted;
}

NMail::Session* NMail::session(int handle)
{
    const auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? nullptr : &it->second;
}

int NMail::failWith(int code, Failure kind, const QString& text)
{
    m_lastFailure = kind;
    m_lastMessage = text;
    return code;
}

QString NMail::serverWords(const QByteArray& reply) const
{
    // A server that echoes the password does not get it into a text: its
    // bytes are masked before decoding, so the mask holds whichever way the
    // rest of the reply is read.
    QByteArray bytes = reply.trimmed();
    if (!m_password.isEmpty())
        bytes.replace(m_password, "****");
    return ServerText::decode(bytes);
}

int NMail::failConnection(Status status, const QByteArray& serverReply, const Session& session)
{
    const QString& server = session.server;
    switch (status) {
    case Status::Ok:
        return 0;
    case Status::ServerError:
        return failWith(
            kErrorRefused, Failure::Refused,
            failureText(QStringLiteral("POP3 サーバー「%1」が要求を拒否しました。").arg(server),
                        serverWords(serverReply)));
    case Status::Timeout: {
        const int seconds = (session.connection->lastWaitMs() + 999) / 1000;
        return failWith(
            kErrorTimeout, Failure::NoAnswer,
            QStringLiteral("POP3 サーバー「%1」から %2 秒以内に応答がありませんでした。")
                .arg(server)
                .arg(seconds));
    }
    case Status::ConnectionLost:
        return failWith(kErrorConnectionLost, Failure::ConnectionLost,
                        QStringLiteral("POP3 サーバー「%1」との接続が切れました。").arg(server));
    case Status::ProtocolError:
        // Said of the answer, not of the server value: a server may also
        // answer badly for a moment.
        return failWith(
            kErrorProtocol, Failure::NotPop3,
            QStringLiteral("「%1」の応答が POP3 の形式ではありませんでした。").arg(server));
    case Status::HostNotFound:
        return failWith(kErrorConnectionLost, Failure::HostNotFound,
                        QStringLiteral("POP3 サーバー「%1」が見つかりませんでした。").arg(server));
    case Status::ConnectFailed:
        return failWith(kErrorConnectionLost, Failure::ConnectRefused,
                        QStringLiteral("POP3 サーバー「%1」に接続できませんでした。"
                                       "接続を拒否されたか、サーバーまで届きません。")
                            .arg(server));
    case Status::TlsFailed:
        return failWith(kErrorConnectionLost, Failure::Tls, tlsFailureText(session));
    case Status::Silent: {
        // A server that accepts and says nothing is not busy (a busy one
        // refuses or says so): most likely its port waits for TLS.
        const Pop3Host& host = session.host;
        const int seconds = (session.connection->lastWaitMs() + 999) / 1000;
        return failWith(
            kErrorTimeout, Failure::SilentPort,
            QStringLiteral("POP3 サーバー「%1」は接続を受け付けましたが、%2 秒以内に何も"
                           "送ってきませんでした。\n暗号化通信 (TLS) だけを受け付けるポートなら、"
                           "サーバーの指定を「pop3s://%3」にしてください。")
                .arg(session.server)
                .arg(seconds)
                .arg(Pop3Host::hostPort(host.host(), host.port())));
    }
    }
    return kErrorProtocol;
}

int NMail::failDial(const Pop3Dialer::Result& dialed, const Session& session)
{
    if (session.connection)
        return failConnection(dialed.status, session.connection->greeting(), session);
    if (dialed.status == Status::HostNotFound)
        return failConnection(dialed.status, {}, session);
    // No session was connected: the race, or both ports of a bare host.
    const auto seconds = [](int ms) { return (ms + 999) / 1000; };
    QString text;
    if (dialed.ports.empty()) {
        text = dialed.status == Status::Timeout
                   ? QStringLiteral("POP3 サーバー「%1」から %2 秒以内に応答がありませんでした。")
                         .arg(session.server)
                         .arg(seconds(dialed.waitedMs))
                   : QStringLiteral("POP3 サーバー「%1」に接続できませんでした。"
                                    "接続を拒否されたか、サーバーまで届きません。")
                         .arg(session.server);
    } else {
        text = QStringLiteral("POP3 サーバー「%1」に接続できませんでした。").arg(session.server);
        for (const Pop3Dialer::PortTried& port : dialed.ports) {
            text += QStringLiteral("\nポート %1%2: ")
                        .arg(port.port)
                        .arg(port.tls ? QStringLiteral(" (pop3s)") : QString());
            switch (port.status) {
            case Status::Timeout:
                text += QStringLiteral("%1 秒以内に応答がありませんでした。")
                            .arg(seconds(port.waitedMs));
                break;
            case Status::Silent:
                text +=
                    QStringLiteral("接続を受け付けましたが、%1 秒以内に何も送ってきませんでした。")
                        .arg(seconds(port.waitedMs));
                break;
            case Status::TlsFailed:
                text += QStringLiteral("暗号化通信 (TLS) を確立できませんでした。理由: ") +
                        port.tlsError;
                break;
            default:
                text += QStringLiteral("接続を拒否されたか、サーバーまで届きません。");
                break;
            }
        }
    }
    // A name: the addresses it stood for, since one may work from elsewhere.
    if (QHostAddress literal; !literal.setAddress(session.host.host())) {
        QStringList tried;
        for (const QHostAddress& address : dialed.addresses)
            tried.append(address.toString());
        text += QStringLiteral("\n試したアドレス: ") + tried.join(QStringLiteral("、"));
    }
    const bool noAnswer = dialed.status == Status::Timeout && dialed.ports.empty();
    return failWith(noAnswer ? kErrorTimeout : kErrorConnectionLost,
                    noAnswer ? Failure::NoAnswer : Failure::ConnectRefused, text);
}

QString NMail::tlsFailureText(const Session& session) const
{
    const Pop3Connection& conn = *session.connection;
    QString text =
        QStringLiteral("POP3 サーバー「%1」との暗号化通信 (TLS) を確立できませんでした。")
            .arg(session.server);
    if (!conn.certificateErrors().isEmpty()) {
        // A certificate nobody can vouch for (revoked, a broken signature):
        // no way round it is offered.
        QStringList reasons;
        for (const QSslError& error : conn.certificateErrors())
            reasons.append(error.errorString());
        reasons.removeDuplicates();
        return text + QStringLiteral("\n理由: ") + reasons.join(QStringLiteral(" / ")) +
               QStringLiteral("\nこの証明書は信頼できないため、接続しません。"
                              "サーバーの管理者に問い合わせてください。");
    }
    // The handshake itself failed: a server whose TLS is broken can still be
    // reached in plain text, if the user accepts that.
    const Pop3Host& host = session.host;
    QString plain = host.host().contains(u':') ? u'[' + host.host() + u']' : host.host();
    if (host.security() != Pop3Host::Security::Tls && host.port() != m_ports.pop3)
        plain += u':' + QString::number(host.port());
    return text + QStringLiteral("\n理由: ") + conn.tlsErrorText() +
           QStringLiteral("\nこのサーバーの TLS が壊れている場合は、サーバーの指定を「pop3://%1」"
                          "にすると暗号化せずに接続します (パスワードも暗号化されずに送られます)。")
               .arg(plain);
}

int NMail::NMailPop3Connect(const char* host)
{
    return NMailPop3Connect(Cp932::decode(host ? QByteArrayView(host) : ""));
}

int NMail::NMailPop3Connect(const QString& server)
{
    m_untrusted.reset();
    Session candidate;
    candidate.server = Pop3Host::normalized(server);
    candidate.host = Pop3Host::parse(candidate.server, m_ports);
    const Pop3Host& target = candidate.host;
    if (!target.isValid()) {
        failWith(
            kErrorBadArgument, Failure::BadServerValue,
            QStringLiteral("POP3 サーバーの指定「%1」が正しくありません。").arg(candidate.server));
        return -1;
    }
    const Pop3Dialer dialer(
        {m_connectTimeoutMs, m_replyTimeoutMs,
         [this]() -> const QList<QSslCertificate>& { return trustedCertificates(); },
         [this, &target](quint16 port) { return m_pins.pinned(target.host(), port); }, m_resolve});
    Pop3Dialer::Result dialed = dialer.dial(target);
    candidate.connection = std::move(dialed.connection);
    if (dialed.status != Status::Ok) {
        const Pop3Connection* conn = candidate.connection.get();
        if (dialed.status == Status::TlsFailed && conn &&
            UntrustedCertificate::isAskable(conn->rejectedCertificate(),
                                            conn->certificateErrors())) {
            m_untrusted =
                UntrustedCertificate{candidate.server,
                                     target.host(),
                                     dialed.port,
                                     conn->rejectedCertificate(),
                                     conn->certificateErrors(),
                                     !m_pins.pinned(target.host(), dialed.port).isEmpty()};
            failWith(kErrorConnectionLost, Failure::UntrustedCertificate,
                     QStringLiteral("POP3 サーバー「%1」の証明書を信頼できませんでした。\n")
                             .arg(candidate.server) +
                         m_untrusted->reasons());
        } else {
            failDial(dialed, candidate);
        }
        return -1;
    }
    const int handle = m_nextHandle;
    m_nextHandle = m_nextHandle == INT_MAX ? 1 : m_nextHandle + 1;
    m_sessions[handle] = std::move(candidate);
    return handle;
}

const UntrustedCertificate* NMail::untrustedCertificate() const
{
    return m_untrusted ? &*m_untrusted : nullptr;
}

bool NMail::trustCertificate(const UntrustedCertificate& certificate)
{
    return m_pins.pin(certificate.host, certificate.port, certificate.sha256());
}

int NMail::NMailPop3Authenticate(int handle, const QString& id, const QString& pass, bool apop)
{
    const QByteArray idBytes = Cp932::encode(id);
    const QByteArray passBytes = Cp932::encode(pass);
    return NMailPop3Authenticate(handle, idBytes.constData(), passBytes.constData(), apop ? -1 : 0);
}

int NMail::NMailPop3Authenticate(int handle, const char* id, const char* pass, int apop)
{
    Session* open = session(handle);
    if (!open)
        return failWith(kErrorBadHandle, Failure::NotConnected,
                        QStringLiteral("サーバーに接続していません。"));
    Pop3Connection* conn = open->connection.get();
    const QByteArray user = id ? QByteArray(id) : QByteArray();
    m_password = pass ? QByteArray(pass) : QByteArray();
    // A CR or LF would end the command early and let the rest run as a
    // command of its own.
    if (!sendable(user) || !sendable(m_password)) {
        const int code =
            failWith(kErrorBadArgument, Failure::UnsendableAccount,
                     QStringLiteral("アカウント名またはパスワードに使えない文字 (改行) が"
                                    "含まれているため、POP3 サーバー「%1」にログインしません"
                                    "でした。")
                         .arg(open->server));
        m_password.clear();
        return code;
    }

    QByteArray reply;
    Status status;
    if (apop) {
        const QByteArray& greeting = conn->greeting();
        const qsizetype stampStart = greeting.indexOf('<');
        const qsizetype stampEnd = stampStart < 0 ? -1 : greeting.indexOf('>', stampStart);
        if (stampStart < 0 || stampEnd < 0 || stampEnd - stampStart < 2) {
            m_password.clear();
            return failWith(kErrorNoApopTimestamp, Failure::NoApopTimestamp,
                            QStringLiteral("POP3 サーバー「%1」の挨拶に、APOP でのログインに"
                                           "必要なタイムスタンプがありません。"
                                           "このサーバーは APOP に対応していないようです。")
                                .arg(open->server));
        }
        const QByteArray digest =
            QCryptographicHash::hash(greeting.mid(stampStart, stampEnd - stampStart + 1) +
                                         m_password,
                                     QCryptographicHash::Md5)
                .toHex();
        status = conn->command("APOP " + user + ' ' + digest, &reply);
    } else {
        status = conn->command("USER " + user, &reply);
        if (status == Status::Ok)
            status = conn->command("PASS " + m_password, &reply);
    }
    if (status == Status::ServerError) {
        const int code = failWith(
            kErrorRefused, Failure::LoginRefused,
            failureText(
                QStringLiteral("POP3 サーバー「%1」へのログインに失敗しました。").arg(open->server),
                serverWords(reply)));
        m_password.clear();
        return code;
    }
    if (status != Status::Ok) {
        const int code = failConnection(status, reply, *open);
        m_password.clear();
        return code;
    }
    m_password.clear();

    status = conn->command("STAT", &reply);
    if (status != Status::Ok)
        return failConnection(status, reply, *open);
    qint64 count = 0;
    if (!Pop3Connection::parseNumber(QByteArrayView(reply).sliced(3), count) || count > INT_MAX)
        return failConnection(Status::ProtocolError, reply, *open);
    return int(count);
}

bool NMail::pipelineMessages(int handle, int count)
{
    Session* open = session(handle);
    return open && open->connection->planMessages(count);
}

int NMail::queryMessage(int handle, int no, std::span<char> subject, std::span<char> date,
                        std::span<char> from, std::span<char> header, std::span<char>* body)
{
    MailHeaderParser parser(subject, date, from, header);
    SpanWriter bodyWriter(body ? *body : std::span<char>());
    Session* open = session(handle);
    int result = 0;
    if (!open) {
        result = failWith(kErrorBadHandle, Failure::NotConnected,
                          QStringLiteral("サーバーに接続していません。"));
    } else {
        Pop3Connection& conn = *open->connection;
        QByteArray& reply = m_reply;
        Status status = conn.messageCommand(body ? Pop3Connection::MessageStep::Message
                                                 : Pop3Connection::MessageStep::Header,
                                            no, &reply);
        if (status == Status::Ok) {
            // Only the whole message may be long; a header is a short answer.
            status = conn.readMultiLine(
                [&](QByteArrayView piece) {
                    parser.feed(piece);
                    bodyWriter.append(piece);
                },
                body ? Pop3Connection::Length::Long : Pop3Connection::Length::Short);
        }
        if (status != Status::Ok)
            result = failConnection(status, reply, *open);
        else if (body)
            result = int(std::min<qint64>(bodyWriter.total(), INT_MAX));
    }
    parser.finish();
    bodyWriter.finish();
    return result;
}

int NMail::NMailPop3GetMailStatus(int handle, int no, std::span<char> subject, std::span<char> date,
                                  std::span<char> from, std::span<char> header, int /*flag*/)
{
    return queryMessage(handle, no, subject, date, from, header, nullptr);
}

int NMail::NMailPop3GetMail(int handle, int no, std::span<char> subject, std::span<char> date,
                            std::span<char> from, std::span<char> header, std::span<char> body,
                            int /*flag*/, int /*reserved*/)
{
    return queryMessage(handle, no, subject, date, from, header, &body);
}

int NMail::NMailPop3GetMailSize(int handle, int no)
{
    Session* open = session(handle);
    if (!open)
        return failWith(kErrorBadHandle, Failure::NotConnected,
                        QStringLiteral("サーバーに接続していません。"));
    qint64 size = 0;
    const Status status = open->connection->messageSize(no, &m_reply, &size);
    if (status != Status::Ok)
        return failConnection(status, m_reply, *open);
    if (size < 0)
        return failWith(kErrorProtocol, Failure::BadSize,
                        QStringLiteral("サーバーが返したメールの大きさが正しくありません。"));
    return int(std::min<qint64>(size, INT_MAX - 1));
}

int NMail::NMailGetMessage(int /*flag*/, std::span<char> buffer, int& size)
{
    const qsizetype limit = std::min<qsizetype>(qsizetype(buffer.size()), std::max(size, 0));
    SpanWriter writer(buffer.first(size_t(limit)));
    writer.append(Cp932::encode(m_lastMessage));
    writer.finish();
    size = int(writer.written());
    return size;
}

int NMail::NMailPop3Close(int handle)
{
    const auto it = m_sessions.find(handle);
    if (it == m_sessions.end())
        return kErrorBadHandle;
    it->second.connection->quit();
    m_sessions.erase(it);
    return 0;
}

QString CutAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

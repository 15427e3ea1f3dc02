#include "mail/NMail.h"

#include "mail/MailHeaderParser.h"
#include "mail/Pop3Host.h"
#include "mail/SpanWriter.h"
#include "settings/Cp932.h"

#include <QCryptographicHash>

#include <climits>

namespace {

using Status = Pop3Connection::Status;

const QString kLoginFailed = QStringLiteral("ログインに失敗しました。");
const QString kServerSaid = QStringLiteral("サーバーの応答: ");

bool sendable(QByteArrayView text)
{
    return !text.contains('\r') && !text.contains('\n');
}

// A server's words as text: its bytes are taken as CP932, with anything
// invalid replaced, so the text written back is valid CP932 again.
QString serverWords(const QByteArray& reply)
{
    return Cp932::decode(reply.trimmed());
}

// Parses the decimal number at the start of text (after blanks). Returns
// false for a sign, no digits or trailing garbage before the next blank.
bool parseCount(QByteArrayView text, qint64& value)
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

} // namespace

NMail::NMail() = default;

NMail::~NMail()
{
    for (auto& [handle, connection] : m_connections)
        connection->abort();
}

int NMail::NMailInitializeWinSock()
{
    return 0;
}

int NMail::NMailSetOption(int option, int value)
{
    if (option == 1)
        m_textBufferSize = value;
    return 0;
}

int NMail::NMailEndWinSock()
{
    for (auto& [handle, connection] : m_connections)
        connection->abort();
    m_connections.clear();
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
}

Pop3Connection* NMail::connection(int handle)
{
    const auto it = m_connections.find(handle);
    return it == m_connections.end() ? nullptr : it->second.get();
}

int NMail::failWith(int code, const QString& text)
{
    m_lastMessage = text;
    if (!m_password.isEmpty())
        m_lastMessage.replace(Cp932::decode(m_password), QStringLiteral("****"));
    return code;
}

int NMail::failConnection(Status status, const QByteArray& serverReply)
{
    switch (status) {
    case Status::Ok:
        return 0;
    case Status::ServerError:
        return failWith(ErrorRefused, QStringLiteral("サーバーが要求を拒否しました。") +
                                          kServerSaid + serverWords(serverReply));
    case Status::Timeout:
        return failWith(ErrorTimeout, QStringLiteral("サーバーの応答がありませんでした。"));
    case Status::ConnectionLost:
        return failWith(ErrorConnectionLost, QStringLiteral("サーバーとの接続が切れました。"));
    case Status::ProtocolError:
        return failWith(ErrorProtocol,
                        QStringLiteral("サーバーの応答が POP3 の形式ではありませんでした。"));
    case Status::ConnectFailed:
        return failWith(ErrorConnectionLost, QStringLiteral("サーバーに接続できませんでした。"));
    case Status::TlsFailed:
        return failWith(ErrorConnectionLost,
                        QStringLiteral("サーバーとの暗号化通信を確立できませんでした。"));
    }
    return ErrorProtocol;
}

int NMail::NMailPop3Connect(const char* host)
{
    const Pop3Host target = Pop3Host::parse(Cp932::decode(host ? QByteArrayView(host) : ""));
    if (!target.isValid()) {
        failWith(ErrorBadArgument, QStringLiteral("POP3 サーバーの指定が正しくありません。"));
        return -1;
    }
    auto conn = std::make_unique<Pop3Connection>(m_connectTimeoutMs, m_replyTimeoutMs, m_extraCas);
    const Status status = conn->open(target);
    if (status != Status::Ok) {
        if (status == Status::TlsFailed)
            failWith(ErrorConnectionLost,
                     QStringLiteral("サーバーとの暗号化通信を確立できませんでした。") +
                         conn->tlsErrorText());
        else if (status == Status::Timeout)
            failWith(ErrorTimeout, QStringLiteral("サーバーの応答がありませんでした。"));
        else
            failWith(ErrorConnectionLost, QStringLiteral("サーバーに接続できませんでした。"));
        return -1;
    }
    const int handle = m_nextHandle;
    m_nextHandle = m_nextHandle == INT_MAX ? 1 : m_nextHandle + 1;
    m_connections[handle] = std::move(conn);
    return handle;
}

int NMail::NMailPop3Authenticate(int handle, const char* id, const char* pass, int apop)
{
    Pop3Connection* conn = connection(handle);
    if (!conn)
        return failWith(ErrorBadHandle, QStringLiteral("サーバーに接続していません。"));
    const QByteArray user = id ? QByteArray(id) : QByteArray();
    m_password = pass ? QByteArray(pass) : QByteArray();
    // A CR or LF would end the command early and let the rest run as a
    // command of its own.
    if (!sendable(user) || !sendable(m_password)) {
        const int code = failWith(
            ErrorBadArgument,
            QStringLiteral("アカウント名またはパスワードに使えない文字が含まれています。"));
        m_password.clear();
        return code;
    }

    QByteArray reply;
    Status status;
    if (apop) {
        const QByteArray& greeting = conn->greeting();
        const qsizetype open = greeting.indexOf('<');
        const qsizetype close = open < 0 ? -1 : greeting.indexOf('>', open);
        if (open < 0 || close < 0 || close - open < 2) {
            m_password.clear();
            return failWith(
                ErrorNoApopTimestamp,
                QStringLiteral("APOP に必要なタイムスタンプがサーバーの挨拶にありません。"));
        }
        const QByteArray digest =
            QCryptographicHash::hash(greeting.mid(open, close - open + 1) + m_password,
                                     QCryptographicHash::Md5)
                .toHex();
        status = conn->command("APOP " + user + ' ' + digest, &reply);
    } else {
        status = conn->command("USER " + user, &reply);
        if (status == Status::Ok)
            status = conn->command("PASS " + m_password, &reply);
    }
    if (status == Status::ServerError) {
        const int code = failWith(ErrorRefused, kLoginFailed + kServerSaid + serverWords(reply));
        m_password.clear();
        return code;
    }
    if (status != Status::Ok) {
        const int code = failConnection(status, reply);
        m_password.clear();
        return code;
    }
    m_password.clear();

    status = conn->command("STAT", &reply);
    if (status != Status::Ok)
        return failConnection(status, reply);
    qint64 count = 0;
    if (!parseCount(QByteArrayView(reply).sliced(3), count) || count > INT_MAX)
        return failWith(ErrorProtocol,
                        QStringLiteral("サーバーの応答が POP3 の形式ではありませんでした。"));
    return int(count);
}

int NMail::queryMessage(int handle, int no, const char* verb, std::span<char> subject,
                        std::span<char> date, std::span<char> from, std::span<char> header,
                        std::span<char>* body)
{
    MailHeaderParser parser(subject, date, from, header);
    SpanWriter bodyWriter(body ? *body : std::span<char>());
    Pop3Connection* conn = connection(handle);
    int result = 0;
    if (!conn) {
        result = failWith(ErrorBadHandle, QStringLiteral("サーバーに接続していません。"));
    } else {
        QByteArray reply;
        Status status = conn->command(
            QByteArray(verb) + ' ' + QByteArray::number(no) + (body ? "" : " 0"), &reply);
        if (status == Status::Ok) {
            status = conn->readMultiLine([&](QByteArrayView piece) {
                parser.feed(piece);
                bodyWriter.append(piece);
            });
        }
        if (status != Status::Ok)
            result = failConnection(status, reply);
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
    return queryMessage(handle, no, "TOP", subject, date, from, header, nullptr);
}

int NMail::NMailPop3GetMail(int handle, int no, std::span<char> subject, std::span<char> date,
                            std::span<char> from, std::span<char> header, std::span<char> body,
                            int /*flag*/, int /*reserved*/)
{
    return queryMessage(handle, no, "RETR", subject, date, from, header, &body);
}

int NMail::NMailPop3GetMailSize(int handle, int no)
{
    Pop3Connection* conn = connection(handle);
    if (!conn)
        return failWith(ErrorBadHandle, QStringLiteral("サーバーに接続していません。"));
    QByteArray reply;
    const Status status = conn->command("LIST " + QByteArray::number(no), &reply);
    if (status != Status::Ok)
        return failConnection(status, reply);
    // "+OK <no> <size>"
    const QList<QByteArray> words = reply.simplified().split(' ');
    qint64 size = 0;
    if (words.size() < 3 || !parseCount(words[2], size))
        return failWith(ErrorProtocol,
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
    const auto it = m_connections.find(handle);
    if (it == m_connections.end())
        return ErrorBadHandle;
    it->second->quit();
    m_connections.erase(it);
    return 0;
}

QString CutAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

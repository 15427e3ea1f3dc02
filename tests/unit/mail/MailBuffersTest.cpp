// Buffer handling and host syntax of the mail library, without a server.
#include "base/Cp932.h"
#include "mail/MailHeaderParser.h"
#include "mail/NMail.h"
#include "mail/Pop3Host.h"
#include "mail/SpanWriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A buffer of `size` bytes followed by guard bytes that must stay untouched.
struct Guarded
{
    explicit Guarded(size_t size) : storage(size + 16, 'G'), span(storage.data(), size) {}
    bool guardIntact() const
    {
        for (size_t i = span.size(); i < storage.size(); ++i) {
            if (storage[i] != 'G')
                return false;
        }
        return true;
    }
    QByteArray text() const { return QByteArray(storage.data()); }
    std::vector<char> storage;
    std::span<char> span;
};

TEST(SpanWriter, CutsToTheBufferWithoutSplittingADoubleByteCharacter)
{
    const QByteArray kana = Cp932::encode(QStringLiteral("あいう")); // 6 bytes
    struct Case
    {
        size_t size;
        QByteArray expected;
    };
    for (const Case& c : {Case{1, ""}, Case{2, ""}, Case{3, kana.left(2)}, Case{4, kana.left(2)},
                          Case{6, kana.left(4)}, Case{7, kana}, Case{100, kana}}) {
        SCOPED_TRACE(c.size);
        Guarded g(c.size);
        writeToSpan(g.span, kana);
        EXPECT_EQ(g.text(), c.expected);
        EXPECT_TRUE(g.guardIntact());
    }
    // A trail byte that looks like a lead byte does not fool the cut:
    // "ソ" is 83 5C and "\x83\x83" is ャ; the cut lands after whole characters.
    const QByteArray tricky = Cp932::encode(QStringLiteral("aャャb"));
    Guarded g(5); // room for "aャ" and the lead byte of the second ャ
    writeToSpan(g.span, tricky);
    EXPECT_EQ(g.text(), tricky.left(3));
    EXPECT_TRUE(g.guardIntact());
}

TEST(SpanWriter, AnEmptySpanIsNeverWritten)
{
    char byte = 'G';
    writeToSpan(std::span<char>(&byte, 0), "abc");
    EXPECT_EQ(byte, 'G');
}

TEST(MailHeaderParser, FillsTheFieldsUnfoldedAndCutsEachToItsBuffer)
{
    Guarded subject(8), date(64), from(64), header(40);
    MailHeaderParser parser(subject.span, date.span, from.span, header.span);
    const QByteArray message = "Received: x\r\nsubject: Hello\r\n\tworld\r\nFrom:  a@b \r\n"
                               "Date: today\r\nSubject: second\r\n\r\nFrom: body@line\r\n";
    // Fed in small pieces, as it arrives from the network.
    for (qsizetype i = 0; i < message.size(); i += 3)
        parser.feed(QByteArrayView(message).sliced(i, std::min<qsizetype>(3, message.size() - i)));
    parser.finish();
    EXPECT_EQ(subject.text(), "Hello\tw");
    EXPECT_EQ(from.text(), "a@b");
    EXPECT_EQ(date.text(), "today");
    EXPECT_EQ(header.text(), message.left(39));
    for (const Guarded* g : {&subject, &date, &from, &header})
        EXPECT_TRUE(g->guardIntact());
}

// The four texts of a header parsed from pieces of the given sizes in turn.
QByteArrayList parseInPieces(const QByteArray& message, size_t bufferSize,
                             const std::vector<qsizetype>& pieces)
{
    Guarded subject(bufferSize), date(bufferSize), from(bufferSize), header(bufferSize * 2);
    MailHeaderParser parser(subject.span, date.span, from.span, header.span);
    qsizetype at = 0;
    for (size_t i = 0; at < message.size(); ++i) {
        const qsizetype n = std::min(pieces[i % pieces.size()], message.size() - at);
        parser.feed(QByteArrayView(message).sliced(at, n));
        at += n;
    }
    parser.finish();
    for (const Guarded* g : {&subject, &date, &from, &header})
        EXPECT_TRUE(g->guardIntact());
    return {subject.text(), date.text(), from.text(), header.text()};
}

TEST(MailHeaderParser, GivesTheSameFieldsHoweverTheBytesAreSplit)
{
    struct Case
    {
        QByteArray message;
        size_t bufferSize;
        QByteArrayList expected; // subject, date, from, header
    };
    const QByteArray longLine = "X-Long: " + QByteArray(100, 'l') + "\r\n";
    for (const Case& c : {
             // A name whose colon comes on the folded line; bare LF line ends.
             Case{"Subject\n : split name\nDate: d\nFrom: f\n\nSubject: body\n",
                  64,
                  {"split name", "d", "f", "Subject\n : split name\nDate: d\nFrom: f\n"}},
             // Lines longer than the largest buffer are cut; later fields still count.
             Case{longLine + "Subject: " + QByteArray(40, 's') + "\r\n\tmore\r\nFrom: f\r\n\r\n",
                  16,
                  {QByteArray(15, 's'), "", "f", longLine.left(31)}},
             // Repeated fields: the first wins; no empty line: the header ends with the data.
             Case{
                 "From: one\r\nfrom: two\r\nDATE: \t early \r\nsubject:\r\n",
                 64,
                 {"", "early", "one", "From: one\r\nfrom: two\r\nDATE: \t early \r\nsubject:\r\n"}},
             // A line starting with a colon names nothing; a continuation before any field.
             Case{" lead\r\n: x\r\n :y\r\nSubject: s\r\n\r\n",
                  64,
                  {"s", "", "", " lead\r\n: x\r\n :y\r\nSubject: s\r\n"}},
         }) {
        SCOPED_TRACE(c.message.toStdString());
        EXPECT_EQ(parseInPieces(c.message, c.bufferSize, {c.message.size()}), c.expected);
        EXPECT_EQ(parseInPieces(c.message, c.bufferSize, {1}), c.expected);
        EXPECT_EQ(parseInPieces(c.message, c.bufferSize, {5, 1, 17}), c.expected);
        for (qsizetype split = 1; split < c.message.size(); ++split)
            ASSERT_EQ(parseInPieces(c.message, c.bufferSize, {split, c.message.size()}), c.expected)
                << "split at " << split;
    }
}

TEST(NMailGetMessage, WritesAtMostTheSmallerOfBufferAndSizeAndCutAtNulFindsTheEnd)
{
    NMail mail;
    EXPECT_EQ(mail.NMailPop3Connect("  "), -1);
    const QByteArray full = Cp932::encode(mail.lastMessage());
    ASSERT_GT(full.size(), 10);
    Guarded g(8192);
    int size = 9; // smaller than the buffer: wins, and the cut keeps characters whole
    // "POP3 サー…": 8 bytes would end inside "ー", so 7 are written.
    EXPECT_EQ(mail.NMailGetMessage(0, g.span, size), 7);
    EXPECT_EQ(size, 7);
    EXPECT_EQ(g.text(), full.left(7));
    Guarded small(5);
    size = 8192; // larger than the buffer: the buffer wins
    mail.NMailGetMessage(0, small.span, size);
    EXPECT_EQ(small.text(), full.left(4));
    EXPECT_TRUE(small.guardIntact());

    EXPECT_EQ(CutAtNul(QStringLiteral("abc") + QChar(0) + QStringLiteral("def")),
              QStringLiteral("abc"));
    EXPECT_EQ(CutAtNul(QStringLiteral("abc")), QStringLiteral("abc"));
    EXPECT_EQ(CutAtNul(QString()), QString());
}

TEST(Pop3Host, ParsesEveryServerSyntax)
{
    using S = Pop3Host::Security;
    struct Case
    {
        const char* text;
        const char* host;
        int port;
        S security;
    };
    for (const Case& c :
         {Case{"mail.example.com", "mail.example.com", 110, S::StartTlsIfOffered},
          Case{" mail.example.com:1110\t", "mail.example.com", 1110, S::StartTlsIfOffered},
          Case{"[::1]:2110", "::1", 2110, S::StartTlsIfOffered},
          Case{"[fe80::1%eth0]", "fe80::1%eth0", 110, S::StartTlsIfOffered},
          Case{"::1", "::1", 110, S::StartTlsIfOffered},
          Case{"pop3s://mail.example.com", "mail.example.com", 995, S::Tls},
          Case{"POP3S://mail.example.com:1995/", "mail.example.com", 1995, S::Tls},
          Case{"pop3://10.0.0.1", "10.0.0.1", 110, S::Plain},
          Case{"pop3://[::1]:5110", "::1", 5110, S::Plain}}) {
        SCOPED_TRACE(c.text);
        const Pop3Host h = Pop3Host::parse(QString::fromUtf8(c.text));
        ASSERT_TRUE(h.isValid());
        EXPECT_EQ(h.host(), QString::fromUtf8(c.host));
        EXPECT_EQ(h.port(), c.port);
        EXPECT_EQ(h.security(), c.security);
    }
    for (const char* bad :
         {"", "   ", "host:", "host:0", "host:65536", "host:12a", "[::1", "[]:110", "[::1]x",
          "pop3s://", "user@host", "two words", "pop3s://h/p"}) {
        EXPECT_FALSE(Pop3Host::parse(QString::fromUtf8(bad)).isValid()) << bad;
    }
}

} // namespace

// The header fields of a message as they stream past, cut to their buffers.
#include "GuardedBuffer.h"

#include "mail/MailHeaderParser.h"

#include <QByteArrayList>

#include <gtest/gtest.h>

#include <vector>

namespace {

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

} // namespace

#pragma once

#include <QByteArray>

// The messages of the benchmark mailboxes: plain text mail of an exact size,
// CRLF line ends, 76-character lines, one line in each starting with a dot
// (dot-stuffed on the wire).
namespace BenchMessages {

constexpr int kBulkCount = 1000;
constexpr int kBulkBytes = 50 * 1000;
constexpr int kSmallCount = 5000;
constexpr int kSmallBytes = 2000;
constexpr int kHugeBytes = 50 * 1000 * 1000;
constexpr int kLinkCount = 50;
constexpr int kLinkBytes = 20 * 1000;

inline QByteArray message(int n, int bytes)
{
    const QByteArray number = QByteArray::number(n);
    QByteArray m = "Return-Path: <sender@example.com>\r\n"
                   "From: Sender <sender@example.com>\r\n"
                   "To: bench@example.com\r\n"
                   "Subject: benchmark message " +
                   number +
                   "\r\n"
                   "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\n"
                   "Message-ID: <" +
                   number +
                   ".bench@example.com>\r\n"
                   "MIME-Version: 1.0\r\n"
                   "Content-Type: text/plain; charset=us-ascii\r\n"
                   "\r\n"
                   ".a line that starts with a dot\r\n";
    const QByteArray line = QByteArray(74, char('a' + n % 26)) + "\r\n";
    m.reserve(bytes);
    // Whole lines while a last line (at least its CRLF) still fits after them.
    while (m.size() + line.size() + 2 <= bytes)
        m += line;
    m += QByteArray(qMax<qsizetype>(0, bytes - m.size() - 2), 'z') + "\r\n";
    return m;
}

} // namespace BenchMessages

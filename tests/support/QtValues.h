#pragma once

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <ostream>
#include <string_view>

// Readable failure messages for QString and QByteArray values.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& data, std::ostream* os)
{
    *os << '"';
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\')
            *os << "\\\\";
        else if (b >= 0x20 && b < 0x7F)
            *os << c;
        else if (c == '\r')
            *os << "\\r";
        else if (c == '\n')
            *os << "\\n";
        else
            *os << "\\x"
                << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 15];
    }
    *os << '"';
}

// Bytes from a literal that may hold NUL bytes: bytes("a\0b"sv).
inline QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

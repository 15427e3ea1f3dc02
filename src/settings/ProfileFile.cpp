#include "settings/ProfileFile.h"

#include "settings/Cp932.h"
#include "settings/LineReader.h"

namespace ProfileFile {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isTrailByte(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Length of the character at text[i]: 2 for a lead byte followed by a trail
// byte, else 1.
qsizetype charLength(QByteArrayView text, qsizetype i)
{
    return Cp932::isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                   isTrailByte(static_cast<unsigned char>(text[i + 1]))
               ? 2
               : 1;
}

// Index of the first single-byte character equal to wanted, or -1.
qsizetype indexOfChar(QByteArrayView text, char wanted)
{
    for (qsizetype i = 0; i < text.size(); i += charLength(text, i)) {
        if (text[i] == wanted)
            return i;
    }
    return -1;
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Names compare without regard to ASCII letter case; a double-byte character
// compares exactly, so its second byte is never folded as a letter.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size();) {
        const qsizetype len = charLength(a, i);
        if (len == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
        } else if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
        i += len;
    }
    return true;
}

// The name of a section header line, or nullopt for any other line.
std::optional<QByteArrayView> headerName(QByteArrayView line)
{
    const QByteArrayView text = trimmed(line);
    if (text.isEmpty() || text[0] != '[')
        return std::nullopt;
    const QByteArrayView inside = text.sliced(1);
    const qsizetype close = indexOfChar(inside, ']');
    if (close < 0)
        return std::nullopt;
    return trimmed(inside.first(close));
}

struct KeyLine
{
    QByteArrayView key;
    QByteArrayView rawValue; // untrimmed text after the '='
};

KeyLine splitKeyLine(QByteArrayView line)
{
    const qsizetype eq = indexOfChar(line, '=');
    if (eq < 0)
        return {trimmed(line), {}};
    return {trimmed(line.first(eq)), line.sliced(eq + 1)};
}

QByteArrayView cleanValue(QByteArrayView raw)
{
    const qsizetype nul = raw.indexOf('\0');
    QByteArrayView value = trimmed(nul >= 0 ? raw.first(nul) : raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value;
}

bool isBlankLine(QByteArrayView line)
{
    return trimmed(line).isEmpty();
}

// Where a key stands in a file, or where it would go.
struct Location
{
    std::optional<LineReader::Line> line; // the key's line, when it exists
    KeyLine keyLine;                      // that line taken apart
    qsizetype insertAt = -1; // after the last key line or the header of the section; -1: none
    bool insertNeedsLineEnd = false; // the line before insertAt has no line end
};

Location locate(QByteArrayView file, QByteArrayView section, QByteArrayView key)
{
    section = trimmed(section);
    key = trimmed(key);
    Location where;
    LineReader lines(file);
    LineReader::Line line;
    bool inSection = false;
    while (lines.next(line)) {
        const QByteArrayView text = lines.text(line);
        if (isBlankLine(text))
            continue;
        if (const auto name = headerName(text)) {
            if (inSection)
                break; // only the first section of the name counts
            inSection = sameName(*name, section);
            if (!inSection)
                continue;
        } else if (!inSection) {
            continue;
        } else if (const KeyLine keyLine = splitKeyLine(text); sameName(keyLine.key, key)) {
            where.line = line;
            where.keyLine = keyLine;
            break;
        }
        where.insertAt = line.next;
        where.insertNeedsLineEnd = !line.hasLineEnd();
    }
    return where;
}

} // namespace

std::optional<QByteArrayView> find(QByteArrayView file, QByteArrayView section, QByteArrayView key)
{
    const Location where = locate(file, section, key);
    if (!where.line)
        return std::nullopt;
    return cleanValue(where.keyLine.rawValue);
}

int toInt(QByteArrayView value)
{
    const qsizetype size = value.size();
    qsizetype i = 0;
    while (i < size && static_cast<unsigned char>(value[i]) <= 0x20)
        ++i;
    bool negative = false;
    if (i < size && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    quint32 base = 10;
    if (size - i >= 2 && value[i] == '0') {
        switch (value[i + 1]) {
        case 'x':
            base = 16;
            break;
        case 'o':
            base = 8;
            break;
        case 'b':
            base = 2;
            break;
        default:
            break;
        }
        if (base != 10)
            i += 2;
    }
    quint32 total = 0; // unsigned: wraps modulo 2^32, never undefined
    for (; i < size; ++i) {
        const char c = value[i];
        quint32 digit = 36;
        if (c >= '0' && c <= '9')
            digit = quint32(c - '0');
        else if (c >= 'a' && c <= 'z')
            digit = quint32(c - 'a' + 10);
        else if (c >= 'A' && c <= 'Z')
            digit = quint32(c - 'A' + 10);
        if (digit >= base)
            break;
        total = total * base + digit;
    }
    if (negative)
        total = 0u - total;
    return static_cast<int>(total); // modular since C++20
}

Edit planWrite(QByteArrayView file, QByteArrayView section, QByteArrayView key,
               QByteArrayView value)
{
    // The layout cannot hold a line break, and the platform takes a C string:
    // a value ends at its first NUL, CR or LF.
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\0' || value[i] == '\r' || value[i] == '\n') {
            value = value.first(i);
            break;
        }
    }
    const auto keyLine = [&value](QByteArrayView name) {
        QByteArray text;
        text.reserve(name.size() + value.size() + 3);
        text.append(name).append('=').append(value).append("\r\n");
        return text;
    };

    const Location where = locate(file, section, key);
    if (where.line)
        return {where.line->begin, where.line->next - where.line->begin,
                keyLine(where.keyLine.key)};
    Edit edit;
    bool needsLineEnd = where.insertNeedsLineEnd;
    if (where.insertAt >= 0) {
        edit.offset = where.insertAt;
    } else {
        edit.offset = file.size();
        needsLineEnd = !file.isEmpty() && file.back() != '\r' && file.back() != '\n';
    }
    if (needsLineEnd)
        edit.text.append("\r\n");
    if (where.insertAt < 0)
        edit.text.append('[').append(trimmed(section)).append("]\r\n");
    edit.text.append(keyLine(trimmed(key)));
    return edit;
}

} // namespace ProfileFile

#include "settings/ProfileFile.h"

#include "base/Cp932.h"
#include "base/LineReader.h"

#include <QtEndian>

namespace ProfileFile {

namespace {

// What the layout needs to know of a file's code units: the bytes of code
// page 932, or UTF-16 code units.
template <typename View> struct Units;

template <> struct Units<QByteArrayView>
{
    using Text = QByteArray;
    static char16_t at(QByteArrayView text, qsizetype i)
    {
        return static_cast<unsigned char>(text[i]);
    }
    // 2 for a lead byte followed by a trail byte, else 1.
    static qsizetype charLength(QByteArrayView text, qsizetype i)
    {
        const auto trail = [&] {
            const auto b = static_cast<unsigned char>(text[i + 1]);
            return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
        };
        return Cp932::isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                       trail()
                   ? 2
                   : 1;
    }
};

template <> struct Units<QStringView>
{
    using Text = QString;
    static char16_t at(QStringView text, qsizetype i) { return text[i].unicode(); }
    // No unit of a UTF-16 character looks like an ASCII one.
    static qsizetype charLength(QStringView, qsizetype) { return 1; }
};

bool isBlank(char16_t c)
{
    return c == ' ' || c == '\t' || c == 0x1A;
}

char16_t asciiLower(char16_t c)
{
    return (c >= 'A' && c <= 'Z') ? char16_t(c - 'A' + 'a') : c;
}

template <typename View> struct Layout
{
    using U = Units<View>;
    using Line = typename BasicLineReader<View>::Line;

    // Index of the first single-unit character equal to wanted, or -1.
    static qsizetype indexOfChar(View text, char16_t wanted)
    {
        for (qsizetype i = 0; i < text.size(); i += U::charLength(text, i)) {
            if (U::at(text, i) == wanted)
                return i;
        }
        return -1;
    }

    static View trimmed(View text)
    {
        qsizetype begin = 0;
        qsizetype end = text.size();
        while (begin < end && isBlank(U::at(text, begin)))
            ++begin;
        while (end > begin && isBlank(U::at(text, end - 1)))
            --end;
        return text.sliced(begin, end - begin);
    }

    // Names compare without regard to ASCII letter case; a double-byte
    // character compares exactly, so its second byte is never folded as a letter.
    static bool sameName(View a, View b)
    {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size();) {
            const qsizetype len = U::charLength(a, i);
            if (len == 2) {
                if (a[i] != b[i] || a[i + 1] != b[i + 1])
                    return false;
            } else if (asciiLower(U::at(a, i)) != asciiLower(U::at(b, i))) {
                return false;
            }
            i += len;
        }
        return true;
    }

    // The name of a section header line, or nullopt for any other line.
    static std::optional<View> headerName(View line)
    {
        const View text = trimmed(line);
        if (text.isEmpty() || U::at(text, 0) != '[')
            return std::nullopt;
        const View inside = text.sliced(1);
        const qsizetype close = indexOfChar(inside, ']');
        if (close < 0)
            return std::nullopt;
        return trimmed(inside.first(close));
    }

    struct KeyLine
    {
        View key;
        View rawValue; // untrimmed text after the '='
    };

    static KeyLine splitKeyLine(View line)
    {
        const qsizetype eq = indexOfChar(line, '=');
        if (eq < 0)
            return {trimmed(line), {}};
        return {trimmed(line.first(eq)), line.sliced(eq + 1)};
    }

    static View cleanValue(View raw)
    {
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (U::at(raw, i) == 0) {
                raw = raw.first(i);
                break;
            }
        }
        View value = trimmed(raw);
        if (value.size() >= 2 && (U::at(value, 0) == '"' || U::at(value, 0) == '\'') &&
            value.back() == value.front())
            value = value.sliced(1, value.size() - 2);
        return value;
    }

    // Where a key stands in a file, or where it would go.
    struct Location
    {
        std::optional<Line> line; // the key's line, when it exists
        KeyLine keyLine;          // that line taken apart
        qsizetype insertAt = -1;  // after the last key line or the header of the section; -1: none
        bool insertNeedsLineEnd = false; // the line before insertAt has no line end
    };

    static Location locate(View file, View section, View key)
    {
        section = trimmed(section);
        key = trimmed(key);
        Location where;
        BasicLineReader<View> lines(file);
        Line line;
        bool inSection = false;
        while (lines.next(line)) {
            const View text = lines.text(line);
            if (trimmed(text).isEmpty())
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

    static std::optional<View> find(View file, View section, View key)
    {
        const Location where = locate(file, section, key);
        if (!where.line)
            return std::nullopt;
        return cleanValue(where.keyLine.rawValue);
    }

    // The edit in units of the view; its text in the view's own encoding.
    struct UnitEdit
    {
        qsizetype offset = 0;
        qsizetype length = 0;
        typename U::Text text;
    };

    static UnitEdit planWrite(View file, View section, View key, View value)
    {
        const auto keyLine = [&](View name) {
            typename U::Text text;
            text.reserve(name.size() + value.size() + 3);
            text.append(name).append("=").append(value).append("\r\n");
            return text;
        };

        const Location where = locate(file, section, key);
        if (where.line)
            return {where.line->begin, where.line->next - where.line->begin,
                    keyLine(where.keyLine.key)};
        UnitEdit edit;
        bool needsLineEnd = where.insertNeedsLineEnd;
        if (where.insertAt >= 0) {
            edit.offset = where.insertAt;
        } else {
            edit.offset = file.size();
            needsLineEnd = !file.isEmpty() && U::at(file, file.size() - 1) != '\r' &&
                           U::at(file, file.size() - 1) != '\n';
        }
        if (needsLineEnd)
            edit.text.append("\r\n");
        if (where.insertAt < 0)
            edit.text.append("[").append(trimmed(section)).append("]\r\n");
        edit.text.append(keyLine(trimmed(key)));
        return edit;
    }
};

template <typename View> int integerAtStart(View value)
{
    using U = Units<View>;
    const qsizetype size = value.size();
    qsizetype i = 0;
    while (i < size && U::at(value, i) <= 0x20)
        ++i;
    bool negative = false;
    if (i < size && (U::at(value, i) == '+' || U::at(value, i) == '-')) {
        negative = U::at(value, i) == '-';
        ++i;
    }
    quint32 base = 10;
    if (size - i >= 2 && U::at(value, i) == '0') {
        switch (U::at(value, i + 1)) {
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
        const char16_t c = U::at(value, i);
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

bool isUtf16(QByteArrayView file)
{
    return file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0xFF &&
           static_cast<unsigned char>(file[1]) == 0xFE;
}

// The text of a UTF-16LE file after its byte-order mark, an odd last byte
// left out: seen in place where the machine's order allows, else copied.
class Utf16Text
{
public:
    explicit Utf16Text(QByteArrayView file)
    {
        const char* data = file.data() + 2;
        const qsizetype units = (file.size() - 2) / 2;
        if (QSysInfo::ByteOrder == QSysInfo::LittleEndian &&
            reinterpret_cast<quintptr>(data) % alignof(char16_t) == 0) {
            m_view = QStringView(reinterpret_cast<const char16_t*>(data), units);
        } else {
            m_copy.resize(units);
            qFromLittleEndian<quint16>(data, units, m_copy.data());
            m_view = m_copy;
        }
    }
    QStringView view() const { return m_view; }

private:
    QString m_copy;
    QStringView m_view;
};

QByteArray toUtf16Le(const QString& text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

constexpr qsizetype kBomSize = 2;

} // namespace

std::optional<QString> findString(QByteArrayView file, QStringView section, QStringView key,
                                  qsizetype maxBytes)
{
    if (isUtf16(file)) {
        const Utf16Text text(file);
        const auto value = Layout<QStringView>::find(text.view(), section, key);
        if (!value)
            return std::nullopt;
        return Cp932::cutText(*value, maxBytes);
    }
    const auto value =
        Layout<QByteArrayView>::find(file, Cp932::encode(section), Cp932::encode(key));
    if (!value)
        return std::nullopt;
    return Cp932::decode(Cp932::cutBytes(*value, maxBytes));
}

int findInt(QByteArrayView file, QStringView section, QStringView key)
{
    if (isUtf16(file)) {
        const Utf16Text text(file);
        const auto value = Layout<QStringView>::find(text.view(), section, key);
        return value ? integerAtStart(*value) : 0;
    }
    const auto value =
        Layout<QByteArrayView>::find(file, Cp932::encode(section), Cp932::encode(key));
    return value ? integerAtStart(*value) : 0;
}

Edit planWrite(QByteArrayView file, QStringView section, QStringView key, QStringView value)
{
    // The layout cannot hold a line break, and the platform takes a C string:
    // a value ends at its first NUL, CR or LF. The text is cut before it is
    // encoded, so what is written is exactly the encoding of what is kept.
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i].unicode() == 0 || value[i] == u'\r' || value[i] == u'\n') {
            value = value.first(i);
            break;
        }
    }
    if (isUtf16(file)) {
        const Utf16Text text(file);
        const auto edit = Layout<QStringView>::planWrite(text.view(), section, key, value);
        return {kBomSize + 2 * edit.offset, 2 * edit.length, toUtf16Le(edit.text)};
    }
    auto edit = Layout<QByteArrayView>::planWrite(file, Cp932::encode(section), Cp932::encode(key),
                                                  Cp932::encode(value));
    return {edit.offset, edit.length, std::move(edit.text)};
}

} // namespace ProfileFile

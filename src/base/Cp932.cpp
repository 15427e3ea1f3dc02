#include "base/Cp932.h"

#include <QtEndian>

#include <array>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace Cp932 {

namespace {

constexpr char16_t kDefaultChar = u'\u30FB'; // what Windows reads a cut-off lead byte as
constexpr char16_t kEscapeBase = 0xDC00;     // + a lead byte that starts no character

// The single bytes Windows maps outside ASCII and half-width katakana, and back.
constexpr struct
{
    unsigned char byte;
    char16_t character;
} kOddSingleBytes[] = {
    {0x80, u'\u0080'}, {0xA0, u'\uF8F0'}, {0xFD, u'\uF8F1'}, {0xFE, u'\uF8F2'}, {0xFF, u'\uF8F3'},
};

// JIS forms without bytes of their own, written as the CP932 character that
// stands for them (the second).
constexpr struct
{
    char16_t jisForm;
    char16_t cp932Form;
} kJisForms[] = {
    {u'\u00A2', u'\uFFE0'}, {u'\u00A3', u'\uFFE1'}, {u'\u00A5', u'\\'},
    {u'\u00AC', u'\uFFE2'}, {u'\u2014', u'\u2015'}, {u'\u2016', u'\u2225'},
    {u'\u203E', u'~'},      {u'\u2212', u'\uFF0D'}, {u'\u301C', u'\uFF5E'},
};

// The platform's own table, asked one character at a time while the lookup
// tables below are built.
#ifdef Q_OS_WIN

class PlatformTable
{
public:
    // The character of a double-byte sequence; 0 when it is none.
    char16_t decodePair(unsigned char lead, unsigned char trail) const
    {
        const char in[2] = {char(lead), char(trail)};
        wchar_t out[2] = {};
        const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, in, 2, out, 2);
        return n == 1 ? char16_t(out[0]) : 0;
    }
    // The bytes Windows writes for c (one byte below 0x100); 0 when none.
    quint16 encode(char16_t c) const
    {
        const wchar_t in = wchar_t(c);
        char out[2] = {};
        BOOL usedDefault = FALSE;
        const int n =
            WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &in, 1, out, 2, nullptr, &usedDefault);
        if (usedDefault || n < 1)
            return 0;
        const auto first = static_cast<unsigned char>(out[0]);
        return n == 1 ? first : quint16(first << 8 | static_cast<unsigned char>(out[1]));
    }
};

#else

class PlatformTable
{
public:
    PlatformTable()
        : m_decoder(iconv_open("UTF-16LE", "CP932")), m_encoder(iconv_open("CP932", "UTF-16LE"))
    {}
    ~PlatformTable()
    {
        for (const iconv_t cd : {m_decoder, m_encoder}) {
            if (cd != kNone)
                iconv_close(cd);
        }
    }
    PlatformTable(const PlatformTable&) = delete;
    PlatformTable& operator=(const PlatformTable&) = delete;

    char16_t decodePair(unsigned char lead, unsigned char trail) const
    {
        char in[2] = {char(lead), char(trail)};
        char out[8];
        if (convert(m_decoder, in, 2, out) != 2)
            return 0;
        return char16_t(qFromLittleEndian<quint16>(out));
    }
    quint16 encode(char16_t c) const
    {
        char in[2];
        qToLittleEndian(quint16(c), in);
        char out[8];
        const size_t n = convert(m_encoder, in, 2, out);
        const auto first = static_cast<unsigned char>(out[0]);
        if (n == 1)
            return first;
        return n == 2 ? quint16(first << 8 | static_cast<unsigned char>(out[1])) : 0;
    }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

    // Converts one whole character; gives the bytes written, 0 on any failure
    // (no table installed, an invalid sequence, a character without a form).
    static size_t convert(iconv_t cd, char* in, size_t inSize, char (&out)[8])
    {
        if (cd == kNone)
            return 0;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = in;
        char* dst = out;
        size_t srcLeft = inSize;
        size_t dstLeft = sizeof out;
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1) || srcLeft != 0)
            return 0;
        return sizeof out - dstLeft;
    }

    iconv_t m_decoder;
    iconv_t m_encoder;
};

#endif

// Lookup tables for both directions, built once from the platform's table;
// without one (no CP932 conversion installed) only the single bytes convert
// and every lead byte is kept as an escape, so still nothing is lost.
struct Tables
{
    std::array<char16_t, 0x10000> pairs{}; // lead << 8 | trail -> character; 0: none
    std::array<char16_t, 0x100> singles{}; // byte 0x80..0xFF that is no lead byte -> character
    std::array<quint16, 0x10000> forms{};  // character -> bytes (one byte below 0x100); 0: none
};

std::unique_ptr<const Tables> buildTables()
{
    auto t = std::make_unique<Tables>();
    for (int b = 0xA1; b <= 0xDF; ++b) {
        t->singles[b] = char16_t(0xFF61 + (b - 0xA1)); // half-width katakana
        t->forms[0xFF61 + (b - 0xA1)] = quint16(b);
    }
    for (const auto& odd : kOddSingleBytes) {
        t->singles[odd.byte] = odd.character;
        t->forms[odd.character] = odd.byte;
    }
    const PlatformTable platform;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const char16_t c = platform.decodePair(static_cast<unsigned char>(lead),
                                                   static_cast<unsigned char>(trail));
            if (c < 0x80)
                continue;
            const auto bytes = quint16(lead << 8 | trail);
            t->pairs[bytes] = c;
            quint16& form = t->forms[c];
            if (form == 0) {
                form = bytes;
            } else if (form != bytes) {
                // A character of several byte pairs (NEC and IBM extensions):
                // the one Windows writes.
                if (const quint16 preferred = platform.encode(c))
                    form = preferred;
            }
        }
    }
    for (const auto& jis : kJisForms) {
        if (t->forms[jis.jisForm] == 0)
            t->forms[jis.jisForm] = jis.cp932Form < 0x80 ? jis.cp932Form : t->forms[jis.cp932Form];
    }
    return t;
}

const Tables& tables()
{
    static const std::unique_ptr<const Tables> instance = buildTables();
    return *instance;
}

// The bytes of the character at text[i] (one byte below 0x100) and the
// units of text it takes.
struct Form
{
    quint16 bytes;
    qsizetype units;
};

// The lead byte that the character c stands for, or 0 when it is none.
unsigned char escapedByte(char16_t c)
{
    if (c < kEscapeBase + 0x80 || c > kEscapeBase + 0xFF)
        return 0;
    const auto b = static_cast<unsigned char>(c - kEscapeBase);
    return isLeadByte(b) ? b : 0;
}

// The bytes of the character at text[i] without looking at its neighbours.
Form plainFormAt(const Tables& t, QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (c < 0x80)
        return {c, 1};
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return {'?', 2}; // one mark for the whole character outside the BMP
    if (const unsigned char b = escapedByte(c))
        return {b, 1};
    const quint16 form = t.forms[c];
    return {form ? form : quint16('?'), 1};
}

Form formAt(const Tables& t, QStringView text, qsizetype i)
{
    const Form form = plainFormAt(t, text, i);
    if (!escapedByte(text[i].unicode()))
        return form;
    // A kept lead byte goes back only where the byte written after it does
    // not complete a character with it; otherwise the two would read back as
    // that character (after a character whose form Windows changes, or
    // before the default character of a cut-off lead byte), and the text
    // would change again at every save. At the end of the text it would be a
    // cut-off lead byte itself. In both places it becomes '?', as a character
    // without a form does.
    if (i + 1 >= text.size())
        return {'?', 1};
    const quint16 next = plainFormAt(t, text, i + 1).bytes;
    const auto nextFirst = static_cast<unsigned char>(next >= 0x100 ? next >> 8 : next);
    if (t.pairs[form.bytes << 8 | nextFirst])
        return {'?', 1};
    return form;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

QByteArray cutBytes(QByteArrayView bytes, qsizetype maxBytes)
{
    if (maxBytes <= 0)
        return {};
    if (bytes.size() <= maxBytes)
        return bytes.toByteArray();
    // Walk character by character: a trail byte can look like a lead byte, so
    // only a scan from the start knows where characters begin.
    qsizetype pos = 0;
    while (pos < maxBytes) {
        const qsizetype len = isLeadByte(static_cast<unsigned char>(bytes[pos])) ? 2 : 1;
        if (pos + len > maxBytes)
            break;
        pos += len;
    }
    return bytes.first(pos).toByteArray();
}

QByteArray encode(QStringView text)
{
    const qsizetype size = text.size();
    const char16_t* in = text.utf16();
    QByteArray out(size * 2, Qt::Uninitialized);
    char* dst = out.data();
    const Tables* t = nullptr; // built on the first character outside ASCII
    for (qsizetype i = 0; i < size;) {
        if (in[i] < 0x80) {
            *dst++ = char(in[i++]);
            continue;
        }
        if (!t)
            t = &tables();
        const Form form = formAt(*t, text, i);
        if (form.bytes >= 0x100)
            *dst++ = char(form.bytes >> 8);
        *dst++ = char(form.bytes & 0xFF);
        i += form.units;
    }
    out.truncate(dst - out.constData());
    return out;
}

QString cutText(QStringView text, qsizetype maxBytes)
{
    const Tables& t = tables();
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const Form form = formAt(t, text, i);
        bytes += form.bytes >= 0x100 ? 2 : 1;
        if (bytes > maxBytes)
            break;
        i += form.units;
    }
    return text.first(i).toString();
}

QString decode(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    const Tables& t = tables();
    const qsizetype size = bytes.size();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    QString out(size, Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = in[i];
        if (b < 0x80) {
            *dst++ = b;
        } else if (!isLeadByte(b)) {
            *dst++ = t.singles[b];
        } else if (i + 1 == size) {
            *dst++ = kDefaultChar;
        } else if (const char16_t c = t.pairs[b << 8 | in[i + 1]]) {
            *dst++ = c;
            ++i;
        } else {
            // Windows' reading of such a pair is not known for certain; this
            // keeps the lead byte, so saving the text again changes no byte.
            *dst++ = char16_t(kEscapeBase + b);
        }
    }
    out.truncate(dst - reinterpret_cast<const char16_t*>(out.constData()));
    return out;
}

} // namespace Cp932

// The private-profile layout on any file: code page 932 or UTF-16LE, every
// line ending, any bytes. A write changes only the line of its key (or adds
// one at a line boundary), reading the key back gives what was written,
// every other key reads as before, and writing the same value again changes
// nothing.
#include "FuzzInput.h"
#include "base/Cp932.h"
#include "settings/ProfileFile.h"

namespace {

constexpr qsizetype kNoLimit = qsizetype(1) << 30;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0x1A);
}

QStringView trimmed(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// The text as it ends up in the file: the file's own encoding decides which
// characters survive.
QString stored(QStringView text, bool utf16)
{
    return utf16 ? text.toString() : Cp932::decode(Cp932::encode(text));
}

// A name the program could use: no line break or NUL, nothing that would
// read as part of the layout, no blank at either end, and (in code page 932)
// no byte that starts no character, whose neighbour could be taken as its
// second half.
bool isPlainName(QStringView name, QStringView forbidden, bool utf16)
{
    if (name.isEmpty() || trimmed(name).size() != name.size())
        return false;
    for (const QChar c : name) {
        if (c.unicode() == 0 || c == u'\r' || c == u'\n' || forbidden.contains(c))
            return false;
        if (!utf16 && c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF)
            return false;
    }
    return true;
}

// Whether the layout may take a and b for the same name: equal in the file's
// encoding once ASCII letters are folded (a superset of what it matches).
bool mayMatch(QStringView a, QStringView b, bool utf16)
{
    if (utf16)
        return trimmed(a).compare(trimmed(b), Qt::CaseInsensitive) == 0;
    return Cp932::encode(trimmed(a)).toLower() == Cp932::encode(trimmed(b)).toLower();
}

QByteArray applied(QByteArrayView file, const ProfileFile::Edit& edit)
{
    QByteArray out = file.first(edit.offset).toByteArray();
    out.append(edit.bytes);
    out.append(file.sliced(edit.offset + edit.length));
    return out;
}

// Whether offset (in bytes) lies at the start of a line of the file: at its
// start, after a line end that is not the CR of a CR LF, or at the text's end.
bool atLineStart(QByteArrayView file, qsizetype offset, bool utf16)
{
    const qsizetype unitSize = utf16 ? 2 : 1;
    const qsizetype first = utf16 ? 2 : 0;
    const qsizetype units = (file.size() - first) / unitSize;
    const qsizetype unit = (offset - first) / unitSize;
    if ((offset - first) % unitSize != 0 || unit < 0 || unit > units)
        return false;
    const auto at = [&](qsizetype i) -> char16_t {
        return utf16 ? char16_t(uchar(file[first + 2 * i]) | uchar(file[first + 2 * i + 1]) << 8)
                     : char16_t(uchar(file[i]));
    };
    if (unit == 0 || unit == units)
        return true;
    const char16_t before = at(unit - 1);
    return before == u'\n' || (before == u'\r' && at(unit) != u'\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const bool utf16 = in.byte() & 1;
    const QString section = Cp932::decode(in.piece());
    const QString key = Cp932::decode(in.piece());
    const QString value = Cp932::decode(in.piece());
    const QString otherSection = Cp932::decode(in.piece());
    const QString otherKey = Cp932::decode(in.piece());
    QByteArray file = utf16 ? QByteArray("\xFF\xFE") : QByteArray();
    file.append(in.rest());
    if (!utf16 && file.startsWith("\xFF\xFE"))
        return 0; // that is a UTF-16 file

    const ProfileFile::Edit edit = ProfileFile::planWrite(file, section, key, value);
    FUZZ_CHECK(edit.offset >= 0 && edit.length >= 0 && edit.offset + edit.length <= file.size());
    FUZZ_CHECK(atLineStart(file, edit.offset, utf16));
    FUZZ_CHECK(atLineStart(file, edit.offset + edit.length, utf16));
    const QByteArray written = applied(file, edit);
    ProfileFile::findInt(written, section, key); // any digits, no overflow

    // The program names its sections and keys itself; the layout only has to
    // hold for names it can write.
    if (!isPlainName(section, u"]", utf16) || !isPlainName(key, u"=[", utf16))
        return 0;
    if (!(mayMatch(section, otherSection, utf16) && mayMatch(key, otherKey, utf16))) {
        FUZZ_CHECK(ProfileFile::findString(file, otherSection, otherKey, kNoLimit) ==
                   ProfileFile::findString(written, otherSection, otherKey, kNoLimit));
    }
    const ProfileFile::Edit again = ProfileFile::planWrite(written, section, key, value);
    FUZZ_CHECK(applied(written, again) == written);

    // The value up to its first line break or NUL, as the file's encoding
    // keeps it; read back whole unless blanks or quotes around it are taken
    // off by the reading.
    QStringView sent = value;
    for (qsizetype i = 0; i < sent.size(); ++i) {
        if (sent[i].unicode() == 0 || sent[i] == u'\r' || sent[i] == u'\n') {
            sent = sent.first(i);
            break;
        }
    }
    const QString expected = stored(sent, utf16);
    const bool quoted = expected.size() >= 2 &&
                        (expected.front() == u'"' || expected.front() == u'\'') &&
                        expected.back() == expected.front();
    if (trimmed(expected).size() == expected.size() && !quoted)
        FUZZ_CHECK(ProfileFile::findString(written, section, key, kNoLimit) == expected);
    return 0;
}

#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The Windows private-profile (INI) layout, on the raw bytes of a file in
// code page 932. Nothing here touches the disk or decodes text: callers hand in
// the whole file and encode names and values with Cp932 themselves.
//
// Reading follows what GetPrivateProfileStringA / GetPrivateProfileIntA do:
// - Lines end at CR LF, LF or CR; the last line needs no line end.
// - Blanks are spaces and tabs.
// - A header is a line whose first non-blank byte is '[' with a ']' after it;
//   the name lies between the '[' and the first ']', blanks trimmed, and the
//   rest of the line is ignored. Lines before the first header belong to no
//   section that can be asked for by name.
// - Every other non-blank line is a key line: the key is the text before the
//   first '=', the value the text after it, both with blanks trimmed; a line
//   without '=' is a key with an empty value. There is no comment syntax.
// - Section and key names match without regard to ASCII letter case; only the
//   first section of a name is searched, and in it the first matching key wins.
// - A NUL byte ends the value before it; then blanks are trimmed and one pair
//   of enclosing quotes (" or ') is removed.
// - The second byte of a double-byte character (0x40..0xFC, e.g. the 0x5C of
//   表 or the 0x5D of ゾ) never counts as '[', ']', '=' or anything else.
namespace ProfileFile {

// The value of key in the first section named section, or nullopt when that
// section or key is missing. The view points into file.
std::optional<QByteArrayView> find(QByteArrayView file, QByteArrayView section, QByteArrayView key);

// The integer at the start of a value, as the platform's integer read takes it:
// leading bytes up to 0x20 skipped, an optional sign, then a number in base 10,
// or in base 16, 8 or 2 after a "0x", "0o" or "0b" prefix ("0x10" gives 16).
// Reading stops at the first byte that is no digit; no digit gives 0. Longer
// digit strings wrap around modulo 2^32 like the platform's 32-bit unsigned
// accumulator, so an overflow is never undefined.
int toInt(QByteArrayView value);

// One replacement of bytes: file[offset, offset + length) becomes text.
struct Edit
{
    qsizetype offset = 0;
    qsizetype length = 0;
    QByteArray text;
};

// The change that WritePrivateProfileStringA makes to set key to value:
// - an existing key line (the first one, in the first section of the name) is
//   replaced whole by "key=value" CR LF, the key spelled as in the file;
// - otherwise a "key=value" CR LF line is inserted after the last key line of
//   the section (or after its header when it has none);
// - a missing section is appended at the end of the file as "[section]" CR LF
//   followed by the key line.
// A line that lacks its line end gets CR LF before anything is put after it.
// Every byte outside the edit stays as it was. The value is written up to its
// first NUL, CR or LF: the platform takes a C string, and a line break would
// turn the rest into lines of their own.
Edit planWrite(QByteArrayView file, QByteArrayView section, QByteArrayView key,
               QByteArrayView value);

} // namespace ProfileFile

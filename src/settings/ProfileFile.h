#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// The Windows private-profile (INI) layout, on the raw bytes of a whole file.
// Nothing here touches the disk. A file is text in code page 932, or UTF-16LE
// when it starts with the byte-order mark FF FE (Notepad's "Unicode"); any
// other start, a UTF-8 byte-order mark too, is code page 932 and part of the
// first line.
//
// Reading follows what GetPrivateProfileStringA / GetPrivateProfileIntA do:
// - Lines end at CR LF, LF or CR; the last line needs no line end.
// - Blanks are spaces, tabs and Ctrl-Z (0x1A, the end mark of DOS editors).
// - A header is a line whose first non-blank character is '[' with a ']' after
//   it; the name lies between the '[' and the first ']', blanks trimmed, and
//   the rest of the line is ignored. Lines before the first header belong to
//   no section that can be asked for by name.
// - Every other non-blank line is a key line: the key is the text before the
//   first '=', the value the text after it, both with blanks trimmed; a line
//   without '=' is a key with an empty value. There is no comment syntax.
// - Section and key names match without regard to ASCII letter case; only the
//   first section of a name is searched, and in it the first matching key wins.
// - A NUL ends the value before it; then blanks are trimmed and one pair of
//   enclosing quotes (" or ') is removed.
// - The second byte of a double-byte character (0x40..0xFC, e.g. the 0x5C of
//   表 or the 0x5D of ゾ) never counts as '[', ']', '=' or anything else.
namespace ProfileFile {

// The value of key in the first section named section, decoded and cut to
// the longest prefix of whole characters that takes at most maxBytes bytes in
// code page 932; nullopt when that section or key is missing. A value in a
// UTF-16 file keeps every character, those without a CP932 form too.
std::optional<QString> findString(QByteArrayView file, QStringView section, QStringView key,
                                  qsizetype maxBytes);

// The integer at the start of the value of key, as the platform's integer read
// takes it; 0 when missing. Leading characters up to 0x20 skipped, an optional sign, then a number
// in base 10, or in base 16, 8 or 2 after a "0x", "0o" or "0b" prefix ("0x10" gives 16). Reading
// stops at the first character that is no digit; no digit gives 0. Longer digit strings wrap around
// modulo 2^32 like the platform's 32-bit unsigned accumulator, so an overflow is never undefined.
int findInt(QByteArrayView file, QStringView section, QStringView key);

// One replacement of bytes: file[offset, offset + length) becomes bytes.
struct Edit
{
    qsizetype offset = 0;
    qsizetype length = 0;
    QByteArray bytes;
};

// The change that WritePrivateProfileStringA makes to set key to value, in the
// file's own encoding:
// - an existing key line (the first one, in the first section of the name) is
//   replaced whole by "key=value" CR LF, the key spelled as in the file;
// - otherwise a "key=value" CR LF line is inserted after the last key line of
//   the section (or after its header when it has none);
// - a missing section is appended at the end of the file as "[section]" CR LF
//   followed by the key line.
// A line that lacks its line end gets CR LF before anything is put after it.
// Every byte outside the edit stays as it was (in a UTF-16 file of an odd
// size, the last byte stays last). The value is written up to its first NUL,
// CR or LF: the platform takes a C string, and a line break would turn the
// rest into lines of their own. An empty file is written in code page 932.
Edit planWrite(QByteArrayView file, QStringView section, QStringView key, QStringView value);

} // namespace ProfileFile

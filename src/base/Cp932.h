#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The one codec between the program's strings and the Shift-JIS (code page 932)
// bytes of the settings files and of the mail server boundary. Windows' CP932
// table is used on every platform, so ①, ～ and 髙 round-trip, and decoding
// any bytes and encoding the text again gives the same bytes back wherever
// Windows does so itself: a settings value is never changed by reading it
// and saving it again.
//
// Both directions take time linear in their input and look at each byte or
// character once, whatever it holds.
namespace Cp932 {

// A character without a CP932 form becomes one '?', as the Windows
// conversion does (a character outside the BMP too). A character with several
// forms gets the one Windows writes. The JIS forms that input methods outside
// Windows produce (〜 U+301C, − U+2212, — U+2014, ‖ U+2016, ¢ £ ¬ ¥ ‾) are
// written as their CP932 counterparts (～, －, ―, ∥, ￠ ￡ ￢ \ ~).
// A lone low surrogate U+DC81..U+DC9F or U+DCE0..U+DCFC, which decode gives
// for a lead byte that starts no character, becomes that byte again, unless
// the byte written after it would complete a character with it or nothing
// follows it: there it becomes '?', so the bytes written read back as the
// same text, and saving that text again writes the same bytes.
QByteArray encode(QStringView text);

// Decodes as Windows does: the single bytes 0x80, 0xA0, 0xFD, 0xFE and 0xFF
// become U+0080, U+F8F0, U+F8F1, U+F8F2 and U+F8F3, the user-defined area
// (F040..F9FC) becomes U+E000..U+E757, and a lead byte at the very end
// becomes U+30FB (・, the code page's default character).
// A lead byte followed by a byte that does not complete a character with it
// becomes the lone surrogate U+DC00 + byte, so encode writes it back as it
// was; the byte after it is decoded on its own.
QString decode(QByteArrayView bytes);

// True for a byte that starts a double-byte character.
bool isLeadByte(unsigned char byte);

// The longest prefix of at most maxBytes bytes that does not end in the middle
// of a double-byte character.
QByteArray cutBytes(QByteArrayView bytes, qsizetype maxBytes);

// The longest prefix of whole characters whose encoding takes at most
// maxBytes bytes.
QString cutText(QStringView text, qsizetype maxBytes);

} // namespace Cp932

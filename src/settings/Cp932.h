#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The one codec between the program's strings and the Shift-JIS (code page 932)
// bytes of the settings files and of the mail server boundary. Windows' CP932
// table is used on every platform, so ①, ～ and 髙 round-trip.
namespace Cp932 {

// Characters that have no CP932 form become '?', as the Windows conversion does.
QByteArray encode(const QString& text);

// Invalid or truncated byte sequences become U+FFFD; nothing else is lost.
QString decode(QByteArrayView bytes);

// True for a byte that starts a double-byte character.
bool isLeadByte(unsigned char byte);

// The longest prefix of at most maxBytes bytes that does not end in the middle
// of a double-byte character.
QByteArray cutBytes(QByteArrayView bytes, qsizetype maxBytes);

} // namespace Cp932

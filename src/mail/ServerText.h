#pragma once

#include <QByteArrayView>
#include <QString>

// A server's own words (a refusal, a greeting) as text for the user. Servers
// that translate their messages mostly send UTF-8 today, older Japanese ones
// Shift-JIS: bytes that are valid UTF-8 are read as UTF-8 (plain ASCII is
// both), anything else as CP932, whose decoding accepts every byte.
namespace ServerText {

QString decode(QByteArrayView bytes);

} // namespace ServerText

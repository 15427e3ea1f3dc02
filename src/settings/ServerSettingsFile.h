#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include "settings/SettingsValues.h"

// The layout of orvenda.ini: lines "SMTP=", "POP3=", "MAIL=" and "APOP="
// followed by a value, text in code page 932. Nothing here touches the disk.
namespace ServerSettingsFile {

// Applies every line of text to values, in order, so a later line of a key
// overrides an earlier one. A line whose first five characters are exactly
// (case-sensitively) one of the four keys sets its value to the rest of the
// line, at most 100 characters, nothing trimmed; other lines are skipped.
// UserId and Password are left alone.
void apply(QByteArrayView text, SettingsValues& values);

// The APOP flag that an "APOP=" value stands for: the decimal number at its
// start (blanks before it skipped, optional sign, digits, optional fraction),
// 0 when there is none, rounded to the nearest integer with halves to even.
// A number outside the signed 16-bit range is clamped to -32768..32767 rather
// than raising an overflow: the file may hold anything, and Kestrova itself
// only ever writes 0 or 1.
qint16 apopFlag(QStringView value);

// The whole file as SaveServerSettings writes it: exactly four lines, each
// ended by CR LF, values in code page 932 without escaping or quoting.
QByteArray compose(const SettingsValues& values);

} // namespace ServerSettingsFile

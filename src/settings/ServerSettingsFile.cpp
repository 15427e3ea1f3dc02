#include "settings/ServerSettingsFile.h"

#include "base/Cp932.h"
#include "base/LineReader.h"
#include "base/Rounding.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace ServerSettingsFile {

namespace {

constexpr qsizetype kMaxValueChars = 100;

// The first 100 characters of the rest of a line, as saving them keeps them.
// Every character takes one or two bytes, so the first 200 bytes always hold
// them: a long line is never decoded whole. The text then goes once through
// the codec's way back, so a value loads back exactly as it was saved: a lead
// byte that started no character with the byte after it may not keep its
// place once the cut or another form of its neighbour changes what follows it.
QString valueText(QByteArrayView rest)
{
    const qsizetype bytes = std::min(rest.size(), 2 * kMaxValueChars);
    const QString text = Cp932::decode(rest.first(bytes)).left(kMaxValueChars);
    return Cp932::decode(Cp932::encode(text));
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

qint16 apopFlag(QStringView value)
{
    constexpr qint16 kMin = std::numeric_limits<qint16>::min();
    constexpr qint16 kMax = std::numeric_limits<qint16>::max();

    qsizetype i = 0;
    while (i < value.size() && (value[i] == u' ' || value[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == u'+' || value[i] == u'-')) {
        negative = value[i] == u'-';
        ++i;
    }
    QByteArray text;                 // the digits and the point, without the sign
    qsizetype significantDigits = 0; // before the point, leading zeros left out
    bool anyDigit = false;
    for (; i < value.size() && isDigit(value[i]); ++i) {
        if (significantDigits > 0 || value[i] != u'0')
            ++significantDigits;
        text.append(char(value[i].unicode()));
        anyDigit = true;
    }
    if (i < value.size() && value[i] == u'.') {
        text.append('.');
        for (++i; i < value.size() && isDigit(value[i]); ++i) {
            text.append(char(value[i].unicode()));
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0;
    if (significantDigits > 5) // 100000 or more: far outside the range
        return negative ? kMin : kMax;

    double magnitude = 0;
    if (std::from_chars(text.cbegin(), text.cend(), magnitude).ec != std::errc())
        return 0; // only a fraction too small for a double gets here
    const double number = negative ? -magnitude : magnitude;
    return roundHalfEven<qint16>(number).value_or(number < 0 ? kMin : kMax);
}

void apply(QByteArrayView text, SettingsValues& values)
{
    LineReader lines(text);
    LineReader::Line line;
    while (lines.next(line)) {
        const QByteArrayView content = lines.text(line);
        if (content.size() < 5)
            continue;
        const QByteArrayView key = content.first(5);
        const QByteArrayView rest = content.sliced(5);
        // The keys are ASCII, so the first five bytes are the first five characters.
        if (key == QByteArrayView("SMTP="))
            values.SmtpServer = valueText(rest);
        else if (key == QByteArrayView("POP3="))
            values.Pop3Server = valueText(rest);
        else if (key == QByteArrayView("MAIL="))
            values.MailAddress = valueText(rest);
        else if (key == QByteArrayView("APOP="))
            values.ApopFlag = apopFlag(valueText(rest));
    }
}

QByteArray compose(const SettingsValues& values)
{
    QByteArray text;
    text.append("SMTP=").append(Cp932::encode(values.SmtpServer)).append("\r\n");
    text.append("POP3=").append(Cp932::encode(values.Pop3Server)).append("\r\n");
    text.append("MAIL=").append(Cp932::encode(values.MailAddress)).append("\r\n");
    text.append("APOP=").append(QByteArray::number(values.ApopFlag)).append("\r\n");
    return text;
}

} // namespace ServerSettingsFile

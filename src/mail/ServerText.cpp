#include "mail/ServerText.h"

#include "base/Cp932.h"

#include <QStringDecoder>

QString ServerText::decode(QByteArrayView bytes)
{
    // Stateless: a sequence cut off at the end is an error too, as is every
    // malformed or overlong one.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return Cp932::decode(bytes);
}

// What both platforms' halves of FileAccess share.
#include "base/FileAccess.h"

#include <QRandomGenerator>

namespace FileAccess {

QString randomTemporaryName(const QString& target, int)
{
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = u'.' + target + u'.';
    for (int i = 0; i < 6; ++i)
        name.append(
            QLatin1Char(kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))]));
    return name;
}

} // namespace FileAccess

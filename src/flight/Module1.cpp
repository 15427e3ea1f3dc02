#include "flight/Module1.h"

#include <QFileInfo>

void Module1::mciSendString(const QString& command)
{
    m_commands.append(command);
    const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return;
    const QString verb = words.first().toLower();
    if (verb == QLatin1String("open") && words.size() == 4 &&
        words[2].compare(QLatin1String("alias"), Qt::CaseInsensitive) == 0) {
        // An alias already in use makes the open fail, as does a missing file.
        if (!m_alias.isEmpty() || !QFileInfo(words[1]).isFile())
            return;
        m_file = words[1];
        m_alias = words[3];
    } else if (verb == QLatin1String("play") && words.size() >= 2) {
        if (!m_alias.isEmpty() && words[1].compare(m_alias, Qt::CaseInsensitive) == 0)
            m_playing = true;
    } else if (verb == QLatin1String("close") && words.size() >= 2) {
        if (!m_alias.isEmpty() && words[1].compare(m_alias, Qt::CaseInsensitive) == 0) {
            m_alias.clear();
            m_file.clear();
            m_playing = false;
        }
    }
}

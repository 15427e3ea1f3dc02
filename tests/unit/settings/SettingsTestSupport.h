#pragma once

#include "base/Cp932.h"
#include "settings/SettingsStore.h"

#include "support/QtValues.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <string_view>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

// The data folder's two files.
inline const QString kIni = QStringLiteral("ini.ini");
inline const QString kIdPass = QStringLiteral("iniIdPass.ini");

inline QByteArray sjis(const QString& text)
{
    return Cp932::encode(text);
}

inline void writeFile(const QString& path, QByteArrayView content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content.data(), content.size()), content.size());
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

// Everything in a folder, hidden entries included.
inline QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A temporary executable folder "bin" with its data folder, and a separate
// folder "cwd" for orvenda.ini.
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(QDir().mkpath(dataFolder()));
        ASSERT_TRUE(QDir().mkpath(cwdFolder()));
    }

    QString exeFolder() const { return m_root.path() + QStringLiteral("/bin"); }
    QString dataFolder() const { return exeFolder() + QStringLiteral("/★MailData"); }
    QString dataFile(const QString& name) const { return dataFolder() + u'/' + name; }
    QString cwdFolder() const { return m_root.path() + QStringLiteral("/cwd"); }
    QString orvendaPath() const { return cwdFolder() + QStringLiteral("/orvenda.ini"); }

    SettingsStore store() const { return SettingsStore(exeFolder(), orvendaPath()); }

    // Writes content as ini.ini and reads key back.
    QString readString(QByteArrayView content, const QString& key = QStringLiteral("NAME"))
    {
        writeFile(dataFile(QStringLiteral("ini.ini")), content);
        return store().ReadProfileString(QStringLiteral("ini.ini"), key);
    }
    int readInt(QByteArrayView content, const QString& key = QStringLiteral("NUMBER"))
    {
        writeFile(dataFile(QStringLiteral("ini.ini")), content);
        return store().ReadProfileInt(QStringLiteral("ini.ini"), key);
    }
    // Writes before as ini.ini, sets key to value and gives the file afterwards.
    QByteArray afterWrite(QByteArrayView before, const QString& key, const QString& value)
    {
        writeFile(dataFile(QStringLiteral("ini.ini")), before);
        store().WriteProfileString(QStringLiteral("ini.ini"), key, value);
        return readFile(dataFile(QStringLiteral("ini.ini")));
    }

    QTemporaryDir m_root;
};

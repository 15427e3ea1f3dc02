#include "settings/SettingsStore.h"
#include "settings/DataFolder.h"

#include "base/FileAccess.h"
#include "settings/ProfileFile.h"
#include "settings/ServerSettingsFile.h"

#include <optional>
#include <utility>

namespace {

constexpr QStringView kSection = u"EXEINI";
constexpr qsizetype kMaxStringBytes = 255; // the platform read's 256-byte buffer, less its NUL

bool holdsSecret(const QString& fileName)
{
    return fileName.compare(QLatin1String("iniIdPass.ini"), Qt::CaseInsensitive) == 0;
}

} // namespace

SettingsStore::SettingsStore(QString exeFolder, QString orvendaPath)
    : m_exeFolder(std::move(exeFolder)), m_orvendaPath(std::move(orvendaPath))
{}

QString SettingsStore::dataFolder() const
{
    return DataFolder::besideProgram(m_exeFolder);
}

QString SettingsStore::profilePath(const QString& fileName) const
{
    return DataFolder::readPath(m_exeFolder, fileName);
}

QString SettingsStore::profileWritePath(const QString& fileName) const
{
    return DataFolder::writePath(m_exeFolder, fileName);
}

int SettingsStore::ReadProfileInt(const QString& fileName, const QString& key) const
{
    notify(QStringLiteral("read %1 %2").arg(fileName, key));
    const FileAccess::ReadResult file = FileAccess::read(profilePath(fileName));
    return ProfileFile::findInt(file.bytes(), kSection, key);
}

QString SettingsStore::ReadProfileString(const QString& fileName, const QString& key) const
{
    notify(QStringLiteral("read %1 %2").arg(fileName, key));
    const FileAccess::ReadResult file = FileAccess::read(profilePath(fileName));
    return ProfileFile::findString(file.bytes(), kSection, key, kMaxStringBytes)
        .value_or(QString());
}

void SettingsStore::WriteProfileString(const QString& fileName, const QString& key,
                                       const QString& value) const
{
    notify(QStringLiteral("write %1 %2").arg(fileName, key));
    const QString path = profileWritePath(fileName);
    const FileAccess::ReadResult file = FileAccess::read(path);
    if (file.status() == FileAccess::ReadStatus::Unusable)
        return; // a folder in the way, or bytes we could not keep: leave it all alone
    const QByteArrayView old = file.bytes();
    const ProfileFile::Edit edit = ProfileFile::planWrite(old, kSection, key, value);
    FileAccess::replace(
        path, {old.first(edit.offset), edit.bytes, old.sliced(edit.offset + edit.length)},
        holdsSecret(fileName) ? FileAccess::Access::OwnerOnly : FileAccess::Access::Shared);
}

void SettingsStore::LoadServerSettings(SettingsValues& values) const
{
    notify(QStringLiteral("load orvenda.ini"));
    const FileAccess::ReadResult file = FileAccess::read(m_orvendaPath);
    if (file.status() == FileAccess::ReadStatus::Read)
        ServerSettingsFile::apply(file.bytes(), values);
}

void SettingsStore::SaveServerSettings(const SettingsValues& values) const
{
    notify(QStringLiteral("save orvenda.ini"));
    FileAccess::replace(m_orvendaPath, {ServerSettingsFile::compose(values)},
                        FileAccess::Access::Shared);
}

void SettingsStore::setObserver(std::function<void(const QString&)> observer)
{
    m_observer = std::move(observer);
}

void SettingsStore::notify(const QString& event) const
{
    if (m_observer)
        m_observer(event);
}

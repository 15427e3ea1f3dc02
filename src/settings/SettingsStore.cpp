#include "settings/SettingsStore.h"
#include "settings/DataFolder.h"

#include "base/FileAccess.h"
#include "settings/ProfileFile.h"
#include "settings/ServerSettingsFile.h"

#include <optional>
#include <utility>

namespace {

constexpr QStringView kSection = u"EXEINI";
// The data folder's two files and their keys.
const QString kHangUpFile = QStringLiteral("ini.ini");
const QString kAccountFile = QStringLiteral("iniIdPass.ini");
const QString kHangUpKey = QStringLiteral("NUMBER");
const QString kHangUpCopyKey = QStringLiteral("NUMBER100"); // written beside NUMBER, never read
const QString kNameKey = QStringLiteral("NAME");
const QString kPasswordKey = QStringLiteral("NAME2");
const QString kKeptKey = QStringLiteral("NAME3"); // whether the dialog's save box was ticked
constexpr qsizetype kMaxStringBytes = 255; // the platform read's 256-byte buffer, less its NUL

bool holdsSecret(const QString& fileName)
{
    return fileName.compare(kAccountFile, Qt::CaseInsensitive) == 0;
}

} // namespace

SettingsStore::SettingsStore(QString exeFolder, QString orvendaPath)
    : m_exeFolder(std::move(exeFolder)), m_orvendaPath(std::move(orvendaPath))
{}

QString SettingsStore::serverSettingsFile()
{
    return QStringLiteral("orvenda.ini");
}

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

SettingsStore::Account SettingsStore::readAccount() const
{
    Account account;
    account.name = ReadProfileString(kAccountFile, kNameKey);
    account.password = ReadProfileString(kAccountFile, kPasswordKey);
    return account;
}

void SettingsStore::saveAccount(const Account& account, bool keep) const
{
    if (keep) {
        WriteProfileString(kAccountFile, kNameKey, account.name);
        WriteProfileString(kAccountFile, kPasswordKey, account.password);
        WriteProfileString(kAccountFile, kKeptKey, QStringLiteral("1"));
    } else {
        WriteProfileString(kAccountFile, kKeptKey, QStringLiteral("0"));
    }
}

int SettingsStore::readHangUpOption() const
{
    return ReadProfileInt(kHangUpFile, kHangUpKey);
}

void SettingsStore::saveHangUpOption(bool on) const
{
    const QString text = on ? QStringLiteral("1") : QStringLiteral("0");
    WriteProfileString(kHangUpFile, kHangUpKey, text);
    WriteProfileString(kHangUpFile, kHangUpCopyKey, text);
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

#include "settings/DataFolder.h"

#include "base/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QStandardPaths>
#include <QTemporaryFile>
#else
#include <unistd.h>
#endif

namespace DataFolder {

namespace {

const QString kFolderName = QStringLiteral("★MailData");

QString join(const QString& folder, const QString& name)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + name;
    return folder + u'/' + name;
}

// Whether this process may create and replace files in folder. On Unix the
// kernel answers (access(2) sees the mode bits, ACLs and read-only mounts, and
// says yes to root everywhere). On Windows the folder's access list decides,
// and Qt only looks at the read-only attribute, so a throw-away file is tried.
bool canWriteIn(const QString& folder)
{
#ifdef Q_OS_WIN
    QTemporaryFile probe(join(folder, QStringLiteral("XXXXXX.tmp")));
    return probe.open();
#else
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
#endif
}

// Something is at path, even a symbolic link that leads nowhere.
bool occupied(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Creates folder and the missing folders above it, each readable by the
// user only.
bool makeOwnerOnly(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    if (occupied(folder))
        return false;
    const QString parent = info.absolutePath();
    if (parent == info.absoluteFilePath() || !makeOwnerOnly(parent))
        return false;
    return QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
           QFileInfo(folder).isDir();
}

} // namespace

QString besideProgram(const QString& exeFolder)
{
    return join(exeFolder, kFolderName);
}

QString perUser()
{
#ifdef Q_OS_WIN
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
#endif
    return join(join(base, QStringLiteral("kestrova")), kFolderName);
}

Layout layout(const QString& exeFolder)
{
    const QString shipped = besideProgram(exeFolder);
    if (!QFileInfo(shipped).isDir())
        return Layout::Absent;
    return canWriteIn(shipped) ? Layout::Portable : Layout::System;
}

QString readPath(const QString& exeFolder, const QString& fileName)
{
    const QString shipped = join(besideProgram(exeFolder), fileName);
    if (layout(exeFolder) != Layout::System)
        return shipped;
    const QString mine = join(perUser(), fileName);
    if (occupied(mine))
        return mine;
    // The shipped file is only a starting point: one this user cannot read
    // (say an administrator's account file, owner-only) must not stop the
    // user from keeping a file of their own.
    const QFileInfo info(shipped);
    if (info.isFile() && info.isReadable())
        return shipped;
    return mine;
}

QString writePath(const QString& exeFolder, const QString& fileName)
{
    if (layout(exeFolder) != Layout::System)
        return join(besideProgram(exeFolder), fileName);
    const QString mine = join(perUser(), fileName);
    if (!makeOwnerOnly(perUser()) || occupied(mine))
        return mine;
    // The first write of a file starts from the shipped one: copied over
    // whole, so the keys a write does not touch are kept.
    const QString shipped = readPath(exeFolder, fileName);
    if (shipped != mine) {
        const FileAccess::ReadResult file = FileAccess::read(shipped);
        if (file.status() == FileAccess::ReadStatus::Read)
            FileAccess::replace(mine, {file.bytes()}, FileAccess::Access::Shared);
    }
    return mine;
}

} // namespace DataFolder

#pragma once

#include <QString>

#include <functional>

#include "settings/SettingsValues.h"

// The settings files, each file name and key spelt here only. The typed calls
// (the account, the hang-up option, the server settings) are what the windows
// use; the five profile operations under them stay public for the tests of
// the file rules. ini.ini and iniIdPass.ini live in the
// data folder and follow the Windows private-profile rules (see ProfileFile.h),
// section EXEINI; orvenda.ini lives wherever orvendaPath points, by default
// the current directory. Text on disk is code page 932 (a profile file may
// also be UTF-16LE, see ProfileFile.h).
//
// Nothing here reports failure to its caller: a read that cannot find or read
// its file gives its default, a write that cannot be made is dropped. Every
// write replaces its file atomically; the data folder beside the program is
// never created.
class SettingsStore
{
public:
    // exeFolder: the running executable's folder; the data folder is exeFolder + "/★MailData".
    // orvendaPath: the path used for orvenda.ini, by default the bare name "orvenda.ini"
    // (the process's current directory at the moment of each access).
    explicit SettingsStore(QString exeFolder, QString orvendaPath = serverSettingsFile());

    // The bare name of the server settings file, "orvenda.ini".
    static QString serverSettingsFile();

    // The data folder beside the program, exeFolder + "/★MailData".
    QString dataFolder() const;
    // Where a file of the data folder is read from, worked out at every call:
    // beside the program, or in the per-user folder when the program's own
    // cannot be written (see DataFolder.h).
    QString profilePath(const QString& fileName) const;
    // Where a write of that file goes, ready to be read, changed and replaced
    // there: in the per-user folder the folder is made and a shipped file
    // copied in first, so a write keeps the file's other content in either
    // layout.
    QString profileWritePath(const QString& fileName) const;

    // Section EXEINI of the named data-folder file ("ini.ini" or "iniIdPass.ini").
    // The number at the start of the value (see ProfileFile::toInt); 0 when missing.
    int ReadProfileInt(const QString& fileName, const QString& key) const;
    // The value, at most 255 bytes, never ending in half a double-byte
    // character; "" when missing.
    QString ReadProfileString(const QString& fileName, const QString& key) const;
    // Sets the key to value. iniIdPass.ini, which holds a password, is kept
    // readable by its owner only (mode 0600 at most).
    void WriteProfileString(const QString& fileName, const QString& key,
                            const QString& value) const;

    // Reads orvenda.ini into SmtpServer, Pop3Server, MailAddress and ApopFlag
    // if a regular file of that name exists; otherwise changes nothing.
    void LoadServerSettings(SettingsValues& values) const;
    // Rewrites orvenda.ini as exactly four lines from the same four values.
    void SaveServerSettings(const SettingsValues& values) const;

    // The stored account: NAME and NAME2 of iniIdPass.ini, read in that order.
    struct Account
    {
        QString name;
        QString password;
    };
    Account readAccount() const;
    // The account dialog's OK. keep: NAME, NAME2, then NAME3=1; otherwise
    // only NAME3=0, the stored name and password left as they are.
    void saveAccount(const Account& account, bool keep) const;

    // ini.ini's NUMBER as stored: 1 means the hang-up option is on, 0 off;
    // any other value (a missing key reads 0) is neither.
    int readHangUpOption() const;
    // Stores the hang-up option as NUMBER and NUMBER100, "1" or "0".
    void saveHangUpOption(bool on) const;

    // Test seam: called once per operation, in order, before the operation
    // touches any file, with a short event text: "read ini.ini NUMBER" (both
    // reads), "write iniIdPass.ini NAME", "load orvenda.ini", "save orvenda.ini".
    void setObserver(std::function<void(const QString&)> observer);

private:
    void notify(const QString& event) const;

    QString m_exeFolder;
    QString m_orvendaPath;
    std::function<void(const QString&)> m_observer;
};

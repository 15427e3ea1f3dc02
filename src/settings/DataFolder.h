#pragma once

#include <QString>

// Where the files of the data folder (ini.ini, iniIdPass.ini and any other
// file kept there) are read and written. Everything is worked out again at
// every call, from the program's folder and the environment; nothing is cached.
//
// Two layouts, one program:
// - Portable: the folder "★MailData" beside the program can be written (the
//   build folder, a copied or `cmake --install`ed folder). Every file lives there.
// - System: the folder beside the program exists but this user cannot write
//   it (a package in /usr/lib, a copy under /opt). Writes go to the per-user
//   folder $XDG_DATA_HOME/kestrova/★MailData (by default
//   ~/.local/share/kestrova/★MailData), created on the first write; a file found
//   there is read in preference to the one beside the program, which stays
//   the starting point until the user saves a file of the same name. Windows
//   quietly does the same for old programs writing beside themselves in a
//   protected folder; here it is done openly.
// - Absent: there is no folder beside the program: reads give their
//   defaults, and nothing is stored anywhere.
namespace DataFolder {

enum class Layout { Portable, System, Absent };

// exeFolder + "/★MailData".
QString besideProgram(const QString& exeFolder);
// $XDG_DATA_HOME/kestrova/★MailData; $HOME/.local/share stands in for
// XDG_DATA_HOME when it is unset, empty or not absolute (the XDG rule).
QString perUser();

Layout layout(const QString& exeFolder);

// The file to read fileName from.
QString readPath(const QString& exeFolder, const QString& fileName);
// The file a write of fileName goes to, ready to be read, changed and
// replaced. In the system layout the per-user folder (and any missing folder
// above it) is created first, readable by the user only, as the XDG rules ask,
// and a shipped file the user has no copy of yet is copied into it; in the
// other layouts nothing is created.
QString writePath(const QString& exeFolder, const QString& fileName);

} // namespace DataFolder

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <initializer_list>

// Whole-file reads and crash-safe whole-file writes for the settings files.
namespace FileAccess {

enum class ReadStatus {
    Missing,  // nothing exists at the path (or a symbolic link to nothing)
    Read,     // a regular file, read whole
    Unusable, // a folder or another non-regular file, a file that cannot be
              // read, one larger than kMaxFileSize, or one that kept changing
              // while it was read
};

// Settings files are a few hundred bytes; a larger file is left alone rather
// than read into memory.
constexpr qint64 kMaxFileSize = qint64(512) << 20;

// A file that changes under every one of this many reads is given up on.
constexpr int kReadAttempts = 4;

// The bytes of a regular file, copied into memory.
class ReadResult
{
public:
    ReadStatus status() const { return m_status; }
    // Empty unless the status is Read; valid while this object lives.
    QByteArrayView bytes() const { return m_bytes; }

private:
    friend ReadResult read(const QString& path);

    ReadStatus m_status = ReadStatus::Missing;
    QByteArray m_bytes;
};

// Reads the regular file at path whole with plain reads into a buffer of the
// file's size. Nothing but a regular file is ever read, so a folder, a FIFO or
// a device at the path cannot block or flood the caller. A file that another
// program truncates, grows or rewrites during the read is read again, so the
// result is the file as it stood at one moment, never a mix of two and never
// a crash. Time and memory are linear in the size of the file.
ReadResult read(const QString& path);

enum class Access {
    Shared,    // a new file gets 0666 less the umask, a replaced file keeps its mode
    OwnerOnly, // the file ends up 0600 at most, and the data is never readable by others
};

// Replaces (or creates) the regular file at path with the concatenation of
// parts. The data goes to a temporary file beside the target, is flushed to
// disk and then renamed over the target, so the path holds either the old
// content or the new one, never a mix; readers holding the old file keep
// seeing the old content. A replaced file keeps its owner, group and mode.
// Where the new file cannot be made so (the folder does not let us create a
// file, or the file belongs to someone we cannot give a file to), an existing
// file that we may write is rewritten in place and flushed instead.
//
// On Windows a rename over a file that another program holds open (an
// editor, a virus scanner) is refused until it lets go: the save tries again
// for about a second, and then, if that program shares writing, rewrites the
// file in place as above; otherwise it fails and the file keeps its bytes.
//
// A symbolic link is written through only when it leads to a regular file
// owned by the user running the program; the link stays a link.
//
// Never creates a folder. Returns false, leaving everything as it was and no
// temporary file behind, when the path is a folder, another non-regular file
// or a link that may not be followed, when its folder is missing, when an
// existing file is read-only (no write bit) or not writable by us, or when the
// disk refuses the data.
//
// The temporary file is always a new one: whatever already stands at its
// name (a file, a symbolic link, planted there by someone who may write the
// folder) is never opened or followed, and the next name is tried.
// temporaryName gives the name for each attempt (0, 1, ... up to 99), given
// the target's file name; by default a random one.
using TemporaryName = std::function<QString(const QString& target, int attempt)>;
QString randomTemporaryName(const QString& target, int attempt);
bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access access,
             const TemporaryName& temporaryName = randomTemporaryName);

} // namespace FileAccess

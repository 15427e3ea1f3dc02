#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <initializer_list>
#include <memory>

// Whole-file reads and crash-safe whole-file writes for the settings files.
namespace FileAccess {

enum class ReadStatus {
    Missing,  // nothing exists at the path
    Read,     // a regular file, read whole
    Unusable, // a folder or another non-regular file, or a file that cannot be read
};

// The bytes of a regular file: read into memory, or mapped when the file is
// large, so reading stays fast and costs no more memory than the file itself.
class ReadResult
{
public:
    ReadResult() = default;
    ReadResult(ReadResult&&) = default;
    ReadResult& operator=(ReadResult&&) = default;
    ~ReadResult();

    ReadStatus status() const { return m_status; }
    // Empty unless the status is Read; valid while this object lives.
    QByteArrayView bytes() const;

private:
    friend ReadResult read(const QString& path);

    ReadStatus m_status = ReadStatus::Missing;
    QByteArray m_buffer;
    std::unique_ptr<QFile> m_mapped; // the open file whose mapping bytes() shows
    const uchar* m_map = nullptr;
    qsizetype m_mapSize = 0;
};

// Reads the regular file at path whole. Nothing but a regular file is ever
// opened, so a folder, a FIFO or a device at the path cannot block or flood
// the caller. Time and memory are linear in the size of the file.
ReadResult read(const QString& path);

enum class Access {
    Shared,    // a new file gets 0666 less the umask, a replaced file keeps its mode
    OwnerOnly, // the file always ends up 0600, and the data is never readable by others
};

// Replaces (or creates) the regular file at path with the concatenation of
// parts. The data goes to a temporary file beside the target, is flushed to
// disk and then renamed over the target, so the path holds either the old
// content or the new one, never a mix; readers holding the old file keep
// seeing the old content. A symbolic link is followed and its target replaced.
// Never creates a folder. Returns false, leaving everything as it was and no
// temporary file behind, when the path is a folder or another non-regular
// file, when its folder is missing or cannot be written, when an existing file
// is read-only (no write bit) or not writable by us, or when any write fails.
bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access access);

} // namespace FileAccess

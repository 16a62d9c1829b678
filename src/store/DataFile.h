#pragma once

#include "util/Result.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;

namespace quillet {

class Clock;

// Receives what the user should hear about the data files that is not a failed change: a damaged
// file kept aside, a sync folder that is missing.
using DataWarning = std::function<void(const QString& message)>;

// One JSON data file, written whole and atomically. A file that exists but does not decode (or
// cannot be read) is never lost: before it is first overwritten it is renamed to
// NAME.corrupt-<unix time> beside the new one, and the warning names both.
class DataFile {
public:
    using Validator = std::function<bool(const QByteArray&)>;

    // Held from the re-read to the write of a change: the lock file PATH.lock, so that changes
    // made by several processes at once all survive.
    class Lock {
    public:
        explicit Lock(std::unique_ptr<QLockFile> file);
        Lock(Lock&&) noexcept;
        Lock& operator=(Lock&&) noexcept;
        ~Lock();

    private:
        std::unique_ptr<QLockFile> m_file;
    };

    // `decodes` tells whether bytes are a valid document of this file's kind.
    DataFile(QString path, Clock& clock, Validator decodes, DataWarning warn = {});

    const QString& path() const { return m_path; }

    // The file's bytes; nullopt when it is missing or cannot be read (one that exists but cannot
    // be read is set aside before it is overwritten).
    std::optional<QByteArray> read();
    // Remembers that the file on disk did not decode, so that write() sets it aside first.
    void noteUndecodable() { m_undecodable = true; }

    // Waits a few seconds at most for another process's change to end; creates the folder.
    Result<Lock> lock();
    // Replaces the file with `bytes` (creating the folder if needed). On failure the old file is
    // left as it was and the text says why.
    Result<void> write(const QByteArray& bytes);

private:
    Result<void> setAsideUndecodable();

    QString m_path;
    Clock& m_clock;
    Validator m_decodes;
    DataWarning m_warn;
    bool m_undecodable = false;
};

} // namespace quillet

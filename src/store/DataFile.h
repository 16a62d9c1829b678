#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace quillet {

class Clock;

// One JSON data file, written whole and atomically. A file that exists but does not decode is
// never lost: before it is first overwritten it is renamed to NAME.corrupt-<unix time> beside the
// new one.
class DataFile {
public:
    using Validator = std::function<bool(const QByteArray&)>;

    // `decodes` tells whether bytes are a valid document of this file's kind.
    DataFile(QString path, Clock& clock, Validator decodes);

    const QString& path() const { return m_path; }

    // The file's bytes; nullopt when it is missing or cannot be read.
    std::optional<QByteArray> read() const;
    // Remembers that the file on disk did not decode, so that write() sets it aside first.
    void noteUndecodable() { m_undecodable = true; }

    // Replaces the file with `bytes` (creating the folder if needed). False when the write failed
    // or an undecodable file could not be set aside; the old file is then left as it was.
    bool write(const QByteArray& bytes);

private:
    bool setAsideUndecodable();

    QString m_path;
    Clock& m_clock;
    Validator m_decodes;
    bool m_undecodable = false;
};

} // namespace quillet

#include "store/DataFile.h"

#include "util/Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace quillet {

DataFile::DataFile(QString path, Clock& clock, Validator decodes)
    : m_path(std::move(path))
    , m_clock(clock)
    , m_decodes(std::move(decodes))
{}

std::optional<QByteArray> DataFile::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool DataFile::setAsideUndecodable()
{
    // Another process may have repaired the file since we read it.
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        file.close();
        if (m_decodes(bytes))
            return true;
    }
    const QString base =
        m_path + QStringLiteral(".corrupt-") + QString::number(m_clock.now().toSecsSinceEpoch());
    QString target = base;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = base + u'-' + QString::number(n);
    return QFile::rename(m_path, target);
}

bool DataFile::write(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (m_undecodable) {
        if (!setAsideUndecodable())
            return false;
        m_undecodable = false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace quillet

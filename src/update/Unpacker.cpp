#include "update/Unpacker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <archive.h>
#include <archive_entry.h>
#include <memory>

namespace quillet {

namespace {

using Reader = std::unique_ptr<archive, int (*)(archive*)>;
using Writer = std::unique_ptr<archive, int (*)(archive*)>;

Result<Reader> openArchive(const QString& path)
{
    Reader reader(archive_read_new(), archive_read_free);
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(path).constData(), 64 * 1024) !=
        ARCHIVE_OK)
        return Result<Reader>::failure(QString::fromUtf8(archive_error_string(reader.get())));
    return Result<Reader>(std::move(reader));
}

QString errorOf(archive* a)
{
    const char* text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("unreadable archive");
}

Result<void> refuse(const char* why, const char* path)
{
    return Result<void>::failure(QString::fromUtf8(why) + QStringLiteral(": ") +
                                 QString::fromUtf8(path ? path : "(no name)"));
}

Result<void> checkEntry(archive_entry* entry)
{
    const char* path = archive_entry_pathname(entry);
    if (!path || !Unpacker::isContainedPath(path))
        return refuse("an entry outside the folder", path);
    if (const char* hardlink = archive_entry_hardlink(entry)) {
        if (!Unpacker::isContainedPath(hardlink))
            return refuse("a hard link outside the folder", path);
        return {};
    }
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
    case AE_IFDIR:
        return {};
    case AE_IFLNK: {
        const char* target = archive_entry_symlink(entry);
        if (!target || !Unpacker::isContainedLink(path, target))
            return refuse("a link that points outside the folder", path);
        return {};
    }
    default:
        return refuse("a special file", path);
    }
}

// The first pass: nothing is written unless every entry passes.
Result<void> checkAll(const QString& archivePath)
{
    auto reader = openArchive(archivePath);
    if (!reader)
        return Result<void>::failure(reader.error());
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader->get(), &entry)) == ARCHIVE_OK) {
        if (auto r = checkEntry(entry); !r)
            return r;
        if (archive_read_data_skip(reader->get()) != ARCHIVE_OK)
            return Result<void>::failure(errorOf(reader->get()));
    }
    if (status != ARCHIVE_EOF)
        return Result<void>::failure(errorOf(reader->get()));
    return {};
}

Result<void> copyData(archive* reader, archive* writer)
{
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int status = ARCHIVE_OK;
    while ((status = archive_read_data_block(reader, &block, &size, &offset)) == ARCHIVE_OK) {
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK)
            return Result<void>::failure(errorOf(writer));
    }
    if (status != ARCHIVE_EOF)
        return Result<void>::failure(errorOf(reader));
    return {};
}

} // namespace

bool Unpacker::isContainedPath(const QByteArray& path)
{
    if (path.isEmpty() || path.startsWith('/'))
        return false;
    const QList<QByteArray> names = path.split('/');
    return !names.contains(QByteArrayLiteral(".."));
}

bool Unpacker::isContainedLink(const QByteArray& linkPath, const QByteArray& target)
{
    if (target.isEmpty() || target.startsWith('/'))
        return false;
    // Resolved by its names from the link's own folder; the folder's top may not be passed.
    QList<QByteArray> names = linkPath.split('/');
    names.removeLast();
    names.removeAll(QByteArray());
    names.removeAll(QByteArrayLiteral("."));
    for (const QByteArray& name : target.split('/')) {
        if (name.isEmpty() || name == ".")
            continue;
        if (name != "..") {
            names.append(name);
        } else if (names.isEmpty()) {
            return false;
        } else {
            names.removeLast();
        }
    }
    return true;
}

Result<void> Unpacker::unpack(const QString& archivePath, const QString& folder)
{
    if (auto r = checkAll(archivePath); !r)
        return r;
    // Resolved, so that the link checks below see no link in the folder's own path.
    const QByteArray root = QFile::encodeName(QFileInfo(folder).canonicalFilePath());
    if (root.isEmpty())
        return Result<void>::failure(QStringLiteral("no folder ") + folder);

    auto reader = openArchive(archivePath);
    if (!reader)
        return Result<void>::failure(reader.error());
    Writer writer(archive_write_disk_new(), archive_write_free);
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader->get(), &entry)) == ARCHIVE_OK) {
        archive_entry_set_pathname(entry, (root + '/' + archive_entry_pathname(entry)).constData());
        if (const char* hardlink = archive_entry_hardlink(entry))
            archive_entry_set_hardlink(entry, (root + '/' + hardlink).constData());
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN)
            return Result<void>::failure(errorOf(writer.get()));
        if (archive_entry_size(entry) > 0) {
            if (auto r = copyData(reader->get(), writer.get()); !r)
                return r;
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN)
            return Result<void>::failure(errorOf(writer.get()));
    }
    if (status != ARCHIVE_EOF)
        return Result<void>::failure(errorOf(reader->get()));
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return Result<void>::failure(errorOf(writer.get()));
    return {};
}

} // namespace quillet

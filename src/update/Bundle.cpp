#include "update/Bundle.h"

#include "update/Minisign.h"
#include "util/Json.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <climits>
#include <cmath>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillet {

namespace {

struct Line {
    QByteArray path;
    QByteArray text;
};

QByteArray fileDigest(const QByteArray& path, bool* ok)
{
    QFile file(QFile::decodeName(path));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *ok = file.open(QIODevice::ReadOnly) && hash.addData(&file);
    return hash.result().toHex();
}

// Walks `root`/`relative` depth first, collecting a line per entry.
Result<void> walk(const QByteArray& root, const QByteArray& relative, std::vector<Line>& out)
{
    const QByteArray folder = relative.isEmpty() ? root : root + '/' + relative;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.constData()), closedir);
    if (!dir)
        return Result<void>::failure(QStringLiteral("can't read ") + QFile::decodeName(folder));
    while (const dirent* entry = readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = relative.isEmpty() ? name : relative + '/' + name;
        if (path == QFile::encodeName(Bundle::signatureName))
            continue;
        if (name.contains('\n'))
            return Result<void>::failure(QStringLiteral("a file name holds a line break"));
        const QByteArray full = root + '/' + path;
        struct stat st {};
        if (lstat(full.constData(), &st) != 0)
            return Result<void>::failure(QStringLiteral("can't read ") + QFile::decodeName(full));
        QByteArray digest;
        bool ok = true;
        if (S_ISREG(st.st_mode)) {
            digest = fileDigest(full, &ok);
        } else if (S_ISLNK(st.st_mode)) {
            QByteArray target(PATH_MAX, '\0');
            const ssize_t n = readlink(full.constData(), target.data(), target.size());
            ok = n >= 0;
            target.truncate(std::max<ssize_t>(n, 0));
            digest = QCryptographicHash::hash(target, QCryptographicHash::Sha256).toHex();
        } else if (S_ISDIR(st.st_mode)) {
            digest = "-";
        } else {
            return Result<void>::failure(QStringLiteral("a special file: ") +
                                         QFile::decodeName(path));
        }
        if (!ok)
            return Result<void>::failure(QStringLiteral("can't read ") + QFile::decodeName(full));
        const unsigned mode = st.st_mode & (S_IFMT | 07777);
        out.push_back({path, QByteArray::number(mode, 8).rightJustified(6, '0') + ' ' + digest +
                                 ' ' + path + '\n'});
        if (S_ISDIR(st.st_mode)) {
            if (auto r = walk(root, path, out); !r)
                return r;
        }
    }
    return {};
}

} // namespace

Result<QByteArray> Bundle::fileList(const QString& appDir)
{
    std::vector<Line> lines;
    if (auto r = walk(QFile::encodeName(appDir), {}, lines); !r)
        return Result<QByteArray>::failure(r.error());
    std::sort(lines.begin(), lines.end(),
              [](const Line& a, const Line& b) { return a.path < b.path; });
    QByteArray list;
    for (const Line& line : lines)
        list += line.text;
    return list;
}

qint64 Bundle::parseBuildNumber(const QString& text)
{
    QStringView digits = text;
    if (digits.startsWith(u'+') || digits.startsWith(u'-'))
        digits = digits.sliced(1);
    if (digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return 0;
    bool ok = false;
    const qint64 n = text.toLongLong(&ok, 10);
    return ok ? n : 0;
}

qint64 Bundle::build(const QString& appDir)
{
    QFile file(appDir + u'/' + infoName);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const std::optional<QJsonObject> info = json::parseObject(file.readAll());
    if (!info)
        return 0;
    const QJsonValue build = info->value(QLatin1StringView("build"));
    if (build.isString())
        return parseBuildNumber(build.toString());
    const double n = build.toDouble(0.0);
    if (!build.isDouble() || std::trunc(n) != n || std::fabs(n) > 9007199254740992.0)
        return 0;
    return static_cast<qint64>(n);
}

Result<void> Bundle::checkSignature(const QString& appDir, const QString& publicKey,
                                    const QString& identifier)
{
    const auto key = Minisign::parsePublicKey(publicKey.toUtf8());
    QFile file(appDir + u'/' + signatureName);
    if (!key || !file.open(QIODevice::ReadOnly))
        return Result<void>::failure(unreadableSignature);
    const auto signature = Minisign::parseSignature(file.readAll());
    if (!signature)
        return Result<void>::failure(unreadableSignature);

    const QByteArray named = identifier.toUtf8();
    const QByteArray& comment = signature->trustedComment;
    const bool namesUs = comment.startsWith(named) &&
                         (comment.size() == named.size() || comment.at(named.size()) == ' ');
    const Result<QByteArray> list = fileList(appDir);
    if (!namesUs || !list || !Minisign::verify(*key, *signature, *list))
        return Result<void>::failure(notSigned);
    return {};
}

} // namespace quillet

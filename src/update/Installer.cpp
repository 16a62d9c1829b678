#include "update/Installer.h"

#include "update/Bundle.h"
#include "update/Unpacker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace quillet {

QString Installer::workFolder(qint64 build)
{
    return QDir::tempPath() + QStringLiteral("/quillet-update-") + QString::number(build);
}

Result<QString> Installer::sha256(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return Result<QString>::failure(file.errorString());
    return QString::fromLatin1(hash.result().toHex());
}

Result<QString> Installer::prepare(const QString& archive, std::optional<QString> expectedSha256,
                                   const QString& workFolder, const Checks& checks)
{
    if (expectedSha256) {
        const Result<QString> digest = sha256(archive);
        if (!digest)
            return digest;
        if (*digest != expectedSha256->toLower())
            return Result<QString>::failure(checksumMismatch);
    }

    QDir(workFolder).removeRecursively();
    if (!QDir().mkpath(workFolder))
        return Result<QString>::failure(QStringLiteral("couldn't create ") + workFolder);
    if (!Unpacker::unpack(archive, workFolder))
        return Result<QString>::failure(unpackFailed);

    const QString appDir = workFolder + u'/' + Bundle::directoryName;
    if (auto checked = checkBundle(appDir, checks); !checked)
        return Result<QString>::failure(checked.error());
    return appDir;
}

Result<void> Installer::checkBundle(const QString& appDir, const Checks& checks)
{
    if (auto signature = Bundle::checkSignature(appDir, checks.publicKey, checks.identifier);
        !signature)
        return signature;
    if (Bundle::build(appDir) <= checks.runningBuild)
        return Result<void>::failure(notNewer);
    return {};
}

} // namespace quillet

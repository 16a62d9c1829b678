#include "xdg/ProcessAppId.h"

#include <QFile>
#include <QStringList>

namespace quillet {

std::optional<QString> ProcessAppId::fromCgroup(const QString& cgroup)
{
    // The innermost application unit of any line (cgroup v2 has one, v1 the systemd one).
    QString unit;
    for (const QString& line : cgroup.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.section(u':', 2).split(u'/', Qt::SkipEmptyParts);
        for (const QString& part : parts) {
            if (part.startsWith(u"app-") &&
                (part.endsWith(u".scope") || part.endsWith(u".service") ||
                 part.endsWith(u".slice")))
                unit = part;
        }
    }
    if (unit.isEmpty())
        return std::nullopt;
    // app[-LAUNCHER]-ID[@RANDOM].service, app[-LAUNCHER]-ID-RANDOM.scope, or app-ID.slice for an
    // application's own group of units; a dash inside an id is written \x2d, so the id is the
    // last dash-separated part once the random part is gone.
    QString name = unit.mid(4);
    if (name.endsWith(u".slice")) {
        name.chop(6);
    } else if (name.endsWith(u".service")) {
        name.chop(8);
        name = name.section(u'@', 0, 0);
    } else {
        name.chop(6);
        name = name.section(u'-', 0, -2);
    }
    name = name.section(u'-', -1);
    name.replace(QLatin1String("\\x2d"), QLatin1String("-"));
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> ProcessAppId::of(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cgroup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return fromCgroup(QString::fromUtf8(file.readAll()));
}

} // namespace quillet

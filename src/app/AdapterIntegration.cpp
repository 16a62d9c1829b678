#include "app/AdapterIntegration.h"

#include "session/DesktopAdapters.h"

namespace quillet {

namespace {

DesktopIntegration::Row::Fix fixOf(AdapterChoice::FixIt::Kind kind)
{
    using Fix = DesktopIntegration::Row::Fix;
    switch (kind) {
    case AdapterChoice::FixIt::Kind::none:
        return Fix::none;
    case AdapterChoice::FixIt::Kind::copyCommand:
        return Fix::copyCommand;
    case AdapterChoice::FixIt::Kind::runCommand:
        return Fix::runCommand;
    case AdapterChoice::FixIt::Kind::allowTyping:
        return Fix::allowTyping;
    }
    return Fix::none;
}

} // namespace

AdapterIntegration::AdapterIntegration(DesktopAdapters& adapters, QObject* parent)
    : DesktopIntegration(parent)
    , m_adapters(adapters)
{
    connect(&adapters, &DesktopAdapters::statusChanged, this, &DesktopIntegration::changed);
}

QList<DesktopIntegration::Row> AdapterIntegration::rows() const
{
    QList<Row> out;
    for (const AdapterChoice::Status& s : m_adapters.status())
        out << Row{s.functionName,    s.adapterName, s.works,      s.missing,
                   fixOf(s.fix.kind), s.fix.label,   s.fix.command};
    return out;
}

void AdapterIntegration::allowTyping()
{
    m_adapters.allowTyping();
}

} // namespace quillet

#pragma once

#include "settings/DesktopIntegration.h"

namespace quillet {

class DesktopAdapters;

// The settings' view of the adapters this session chose.
class AdapterIntegration final : public DesktopIntegration {
    Q_OBJECT
public:
    // `adapters` must outlive this object.
    explicit AdapterIntegration(DesktopAdapters& adapters, QObject* parent = nullptr);

    QList<Row> rows() const override;
    void allowTyping() override;

private:
    DesktopAdapters& m_adapters;
};

} // namespace quillet

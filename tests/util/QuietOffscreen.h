#pragma once

#include <QString>
#include <QtGlobal>

namespace quillet::test {

// The offscreen platform neither shapes, stacks nor docks windows, and warns about it on every
// show; widget tests call this from initTestCase() (after the test log is installed) to keep
// their output to what matters.
inline void quietOffscreen()
{
    static QtMessageHandler testLog = nullptr;
    testLog = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (message.startsWith(QLatin1String("This plugin does not support")) ||
                message.contains(QLatin1String("systemTrayWindowChanged")))
                return;
            testLog(type, context, message);
        });
}

} // namespace quillet::test

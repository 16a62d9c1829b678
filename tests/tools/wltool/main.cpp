// wltool own TYPE=HEX ...   holds the clipboard with these types (bytes in hex) until ended;
//                           prints "ready" once the compositor has made it the clipboard
// wltool show               prints the clipboard's types worth saving as "TYPE=HEX" lines
// wltool types              prints every type the clipboard offers, one a line
// wltool keyboard           holds a keyboard on the seat, with the layout of XKB_DEFAULT_LAYOUT,
//                           until ended: the user's keyboard of a headless compositor

#include "wayland/DataControlPasteboard.h"
#include "wayland/SeatKeymap.h"
#include "wayland/VirtualKeyboardPasteSender.h"
#include "wayland/WaylandConnection.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace quillet;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto connection = WaylandConnection::open();
    if (!connection) {
        err << "wltool: no Wayland compositor\n";
        return 1;
    }
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == u"keyboard") {
        SeatKeymap keymap(*connection);
        VirtualKeyboardPasteSender keyboard(*connection, keymap);
        if (!keyboard.isAvailable()) {
            err << "wltool: the compositor offers no virtual keyboard\n";
            return 1;
        }
        out << "ready" << Qt::endl;
        return app.exec();
    }

    DataControlPasteboard clipboard(*connection);
    if (!clipboard.isAvailable()) {
        err << "wltool: the compositor offers no data-control\n";
        return 1;
    }
    if (command == u"show") {
        for (const PasteboardItem& item : clipboard.items()) {
            for (const auto& [type, bytes] : item)
                out << type << "=" << bytes.toHex() << "\n";
        }
        return 0;
    }
    if (command == u"types") {
        for (const QString& type : clipboard.offeredTypes())
            out << type << "\n";
        return 0;
    }
    if (command == u"own") {
        PasteboardItem item;
        for (const QString& arg : std::as_const(args))
            item.append(
                {arg.section(u'=', 0, -2), QByteArray::fromHex(arg.section(u'=', -1).toLatin1())});
        clipboard.writeItems({item});
        connection->roundtrip();
        out << "ready" << Qt::endl;
        return app.exec();
    }
    err << "usage: wltool own TYPE=HEX ... | show | types | keyboard\n";
    return 2;
}

// wltool own TYPE=HEX ...   holds the clipboard with these types (bytes in hex) until ended;
//                           prints "ready" once the compositor has made it the clipboard
// wltool show               prints the clipboard's types worth saving as "TYPE=HEX" lines
// wltool types              prints every type the clipboard offers, one a line
// wltool keyboard           holds a keyboard on the seat, with the layout of XKB_DEFAULT_LAYOUT,
//                           until ended: the user's keyboard of a headless compositor. Lines
//                           "press KEY" and "release KEY" on standard input act on its keys as
//                           the user's fingers would; KEY is a key symbol (Alt_R) or an X key
//                           code (108, the key Right Alt is on whatever the layout makes of it)

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wayland/DataControlPasteboard.h"
#include "wayland/WaylandConnection.h"
#include "wayland/XkbKeymap.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTextStream>

#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

using namespace quillet;

namespace {

// A keyboard of the seat with a whole layout, whose keys standard input presses.
int holdKeyboard(QCoreApplication& app, WaylandConnection& connection, QTextStream& out,
                 QTextStream& err)
{
    auto* manager = reinterpret_cast<zwp_virtual_keyboard_manager_v1*>(
        connection.bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    const auto keymap = XkbKeymap::fromNames();
    if (!manager || !connection.seat() || !keymap) {
        err << "wltool: the compositor offers no virtual keyboard\n";
        return 1;
    }
    zwp_virtual_keyboard_v1* keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, connection.seat());
    const QByteArray text = keymap->text();
    const int fd = memfd_create("wltool-keymap", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, text.constData(), size_t(text.size()) + 1) != text.size() + 1) {
        err << "wltool: cannot hand the keymap over\n";
        return 1;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   quint32(text.size() + 1));
    ::close(fd);
    if (!connection.roundtrip()) {
        err << "wltool: the compositor refused the keyboard\n";
        return 1;
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QList<QByteArray> words = pending.left(end).simplified().split(' ');
            const bool press = words.value(0) == "press";
            bool number = false;
            const quint32 xCode = words.value(1).toUInt(&number);
            std::optional<quint32> code;
            if (words.size() != 2 || !(press || words[0] == "release"))
                code = std::nullopt;
            else if (number && xCode >= 8)
                code = xCode - 8; // X key codes are the kernel's plus 8
            else if (const auto key = keymap->find(
                         xkb_keysym_from_name(words[1].constData(), XKB_KEYSYM_NO_FLAGS)))
                code = key->code;
            if (!code) {
                err << "wltool: cannot do \"" << pending.left(end) << "\"" << Qt::endl;
                continue;
            }
            zwp_virtual_keyboard_v1_key(
                keyboard, quint32(QDeadlineTimer::current().deadline()), *code,
                press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
            connection.flush();
        }
    });
    out << "ready" << Qt::endl;
    return app.exec();
}

} // namespace

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
    if (command == u"keyboard")
        return holdKeyboard(app, *connection, out, err);

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

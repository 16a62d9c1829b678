#pragma once

#include <QByteArray>
#include <QHash>

struct _XDisplay;

namespace quillet {

// One Xlib connection of our own, apart from the toolkit's, so that an adapter's requests and
// events never mix with the GUI's. X errors on it (a window that vanished while being read) are
// ignored: the request's reply simply reports failure.
class XConnection {
public:
    // Opens `displayName`, or $DISPLAY when empty.
    explicit XConnection(const QByteArray& displayName = {});
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool isOpen() const { return m_display != nullptr; }
    _XDisplay* display() const { return m_display; }
    unsigned long root() const;
    // Interned once per name.
    unsigned long atom(const char* name);

private:
    _XDisplay* m_display = nullptr;
    QHash<QByteArray, unsigned long> m_atoms;
};

} // namespace quillet

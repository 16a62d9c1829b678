#include "wayland/DataControlPasteboard.h"

#include "ext-data-control-v1-client-protocol.h"
#include "wayland/WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace quillet {

namespace {

// The two protocols number their messages alike; the code below relies on it.
enum Opcode : quint32 {
    managerCreateSource = 0,
    managerGetDevice = 1,
    managerDestroy = 2,
    deviceSetSelection = 0,
    deviceDestroy = 1,
    sourceOffer = 0,
    sourceDestroy = 1,
    offerReceive = 0,
    offerDestroy = 1,
};
static_assert(EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE == managerCreateSource &&
              ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE == managerCreateSource);
static_assert(EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == managerGetDevice &&
              ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == managerGetDevice);
static_assert(EXT_DATA_CONTROL_MANAGER_V1_DESTROY == managerDestroy &&
              ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY == managerDestroy);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION == deviceSetSelection &&
              ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION == deviceSetSelection);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_DESTROY == deviceDestroy &&
              ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY == deviceDestroy);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_OFFER == sourceOffer &&
              ZWLR_DATA_CONTROL_SOURCE_V1_OFFER == sourceOffer);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_DESTROY == sourceDestroy &&
              ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY == sourceDestroy);
static_assert(EXT_DATA_CONTROL_OFFER_V1_RECEIVE == offerReceive &&
              ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE == offerReceive);
static_assert(EXT_DATA_CONTROL_OFFER_V1_DESTROY == offerDestroy &&
              ZWLR_DATA_CONTROL_OFFER_V1_DESTROY == offerDestroy);

// Listeners laid out as both protocols' events are, in order.
struct DeviceListener {
    void (*dataOffer)(void*, wl_proxy*, wl_proxy*);
    void (*selection)(void*, wl_proxy*, wl_proxy*);
    void (*finished)(void*, wl_proxy*);
    void (*primarySelection)(void*, wl_proxy*, wl_proxy*);
};
struct SourceListener {
    void (*send)(void*, wl_proxy*, const char*, qint32);
    void (*cancelled)(void*, wl_proxy*);
};
struct OfferListener {
    void (*offer)(void*, wl_proxy*, const char*);
};

// Qt offers an image it decoded under this type beside the image's own; it is Qt's, not the
// owner's.
constexpr QLatin1String qtImageType("application/x-qt-image");

bool worthSaving(const QString& type)
{
    // Only real MIME types: the rest are X selection targets bridged from X11 applications.
    return type.contains(u'/') && type != qtImageType;
}

void destroy(wl_proxy* proxy, quint32 opcode)
{
    wl_proxy_marshal_flags(proxy, opcode, nullptr, wl_proxy_get_version(proxy),
                           WL_MARSHAL_FLAG_DESTROY);
}

} // namespace

struct DataControlPasteboard::Interfaces {
    const char* manager;
    const wl_interface* managerInterface;
    const wl_interface* device;
    const wl_interface* source;
    quint32 version;
};

// Copies our entry's bytes into the pipe of an application that pastes it, as fast as the reader
// takes them, without holding up the event loop.
class DataControlPasteboard::Writer final : public QObject {
public:
    Writer(int fd, QByteArray bytes, QObject* parent)
        : QObject(parent)
        , m_fd(fd)
        , m_bytes(std::move(bytes))
    {
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
        if (write())
            return;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { write(); });
    }
    ~Writer() override { ::close(m_fd); }

private:
    // True once done, then deletes itself later.
    bool write()
    {
        while (m_written < m_bytes.size()) {
            const ssize_t n = ::write(m_fd, m_bytes.constData() + m_written,
                                      static_cast<size_t>(m_bytes.size() - m_written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return false;
            if (n <= 0)
                break; // the reader went away
            m_written += n;
        }
        if (m_notifier)
            m_notifier->setEnabled(false);
        deleteLater();
        return true;
    }

    int m_fd;
    QByteArray m_bytes;
    qsizetype m_written = 0;
    QSocketNotifier* m_notifier = nullptr;
};

DataControlPasteboard::DataControlPasteboard(WaylandConnection& connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
{
    // The standard protocol first. wlroots' version 1 has no primary selection, which we never
    // use.
    static const Interfaces ext{
        "ext_data_control_manager_v1", &ext_data_control_manager_v1_interface,
        &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface, 1};
    static const Interfaces wlr{
        "zwlr_data_control_manager_v1", &zwlr_data_control_manager_v1_interface,
        &zwlr_data_control_device_v1_interface, &zwlr_data_control_source_v1_interface, 1};
    for (const Interfaces* candidate : {&ext, &wlr}) {
        if (connection.global(candidate->manager)) {
            m_interfaces = candidate;
            break;
        }
    }
    wl_seat* seat = connection.seat();
    if (!m_interfaces || !seat)
        return;
    m_manager = connection.bind(m_interfaces->managerInterface, m_interfaces->version);
    if (!m_manager)
        return;
    m_device = wl_proxy_marshal_flags(m_manager, managerGetDevice, m_interfaces->device,
                                      wl_proxy_get_version(m_manager), 0, nullptr, seat);
    static const DeviceListener listener{&onDataOffer, &onSelection, &onFinished,
                                         &onPrimarySelection};
    wl_proxy_add_listener(
        m_device, reinterpret_cast<void (**)(void)>(const_cast<DeviceListener*>(&listener)), this);
    // A paste into an application that closes its end early must not end this process.
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
    // The compositor announces the current contents at once; they are the starting point, not a
    // change.
    connection.roundtrip();
    m_changeCount = 0;
}

DataControlPasteboard::~DataControlPasteboard()
{
    if (!m_connection.isAlive())
        return;
    dropSource();
    for (auto it = m_offers.cbegin(); it != m_offers.cend(); ++it)
        destroy(it.key(), offerDestroy);
    if (m_device)
        destroy(m_device, deviceDestroy);
    if (m_manager)
        destroy(m_manager, managerDestroy);
    m_connection.flush();
}

QByteArray DataControlPasteboard::protocol() const
{
    return m_interfaces ? QByteArray(m_interfaces->manager) : QByteArray();
}

bool DataControlPasteboard::isAvailable() const
{
    return m_device && m_connection.isAlive();
}

QList<PasteboardItem> DataControlPasteboard::items()
{
    if (!isAvailable())
        return {};
    // Catch up with changes still on their way.
    m_connection.roundtrip();
    if (m_source)
        return m_owned.isEmpty() ? QList<PasteboardItem>() : QList<PasteboardItem>{m_owned};
    if (!m_selection || !m_offers.contains(m_selection))
        return {};

    // Every type is asked for at once, so that the wait is that of the slowest, not their sum.
    struct Transfer {
        QString type;
        int fd = -1;
        QByteArray bytes;
    };
    std::vector<Transfer> transfers;
    for (const QString& type : m_offers.value(m_selection)) {
        if (!worthSaving(type))
            continue;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            break;
        wl_proxy_marshal_flags(m_selection, offerReceive, nullptr,
                               wl_proxy_get_version(m_selection), 0, type.toUtf8().constData(),
                               ends[1]);
        // The request carries its own copy; the writer's end must close here for the end of the
        // data to show.
        ::close(ends[1]);
        transfers.push_back({type, ends[0], {}});
    }
    m_connection.flush();

    const QDeadlineTimer deadline(readTimeoutMs);
    std::vector<pollfd> open;
    std::vector<Transfer*> owners;
    while (true) {
        open.clear();
        owners.clear();
        for (Transfer& t : transfers) {
            if (t.fd >= 0) {
                open.push_back({t.fd, POLLIN, 0});
                owners.push_back(&t);
            }
        }
        if (open.empty())
            break;
        const int left = static_cast<int>(deadline.remainingTime());
        const int n = ::poll(open.data(), open.size(), std::max(left, 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (size_t i = 0; i < open.size(); ++i) {
            if (open[i].revents == 0)
                continue;
            Transfer& t = *owners[i];
            char buffer[65536];
            const ssize_t got = ::read(t.fd, buffer, sizeof buffer);
            if (got > 0) {
                t.bytes.append(buffer, got);
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                ::close(t.fd);
                t.fd = -1;
                if (got != 0)
                    t.bytes.clear();
            }
        }
    }

    PasteboardItem item;
    for (Transfer& t : transfers) {
        // Unfinished in time: what arrived is only part of it.
        if (t.fd >= 0) {
            ::close(t.fd);
            continue;
        }
        if (!t.bytes.isEmpty())
            item.append({t.type, t.bytes});
    }
    if (item.isEmpty())
        return {};
    return {item};
}

QStringList DataControlPasteboard::offeredTypes()
{
    if (!isAvailable())
        return {};
    m_connection.roundtrip();
    if (m_source) {
        QStringList types;
        for (const auto& entry : std::as_const(m_owned))
            types << entry.first;
        return types;
    }
    return m_offers.value(m_selection);
}

void DataControlPasteboard::clearContents()
{
    // Clearing an empty clipboard changes nothing, and the compositor announces nothing.
    if (!isAvailable() || (!m_source && !m_selection))
        return;
    dropSource();
    setSelection(nullptr);
}

void DataControlPasteboard::writeText(const QString& text, bool transient)
{
    const QByteArray utf8 = text.toUtf8();
    PasteboardItem item{
        {QStringLiteral("text/plain;charset=utf-8"), utf8},
        {QStringLiteral("text/plain"), utf8},
        // What X11 applications ask for, when the compositor bridges to them.
        {QStringLiteral("UTF8_STRING"), utf8},
        {QStringLiteral("STRING"), utf8},
        {QStringLiteral("TEXT"), utf8},
    };
    if (transient) {
        item.append({QLatin1String(transientType), QByteArray()});
        // KDE's clipboard history skips entries with this hint.
        item.append({QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret")});
    }
    own(item);
}

void DataControlPasteboard::writeItems(const QList<PasteboardItem>& items)
{
    // The clipboard holds one entry: every item's types go into it, the first of a type wins.
    PasteboardItem merged;
    for (const PasteboardItem& item : items) {
        for (const auto& [type, bytes] : item) {
            const bool seen = std::any_of(merged.cbegin(), merged.cend(),
                                          [&](const auto& entry) { return entry.first == type; });
            if (!seen)
                merged.append({type, bytes});
        }
    }
    own(merged);
}

void DataControlPasteboard::own(const PasteboardItem& item)
{
    if (!isAvailable())
        return;
    wl_proxy* source = wl_proxy_marshal_flags(m_manager, managerCreateSource, m_interfaces->source,
                                              wl_proxy_get_version(m_manager), 0, nullptr);
    static const SourceListener listener{&onSend, &onCancelled};
    wl_proxy_add_listener(
        source, reinterpret_cast<void (**)(void)>(const_cast<SourceListener*>(&listener)), this);
    for (const auto& entry : item)
        wl_proxy_marshal_flags(source, sourceOffer, nullptr, wl_proxy_get_version(source), 0,
                               entry.first.toUtf8().constData());
    // The old entry goes only once the new one stands, so the clipboard is never empty between.
    wl_proxy* previous = std::exchange(m_source, source);
    m_owned = item;
    setSelection(source);
    if (previous)
        destroy(previous, sourceDestroy);
    m_connection.flush();
}

void DataControlPasteboard::dropSource()
{
    if (m_source)
        destroy(std::exchange(m_source, nullptr), sourceDestroy);
    m_owned.clear();
}

void DataControlPasteboard::setSelection(wl_proxy* source)
{
    wl_proxy_marshal_flags(m_device, deviceSetSelection, nullptr, wl_proxy_get_version(m_device), 0,
                           source);
    ++m_changeCount;
    ++m_echoes;
    m_connection.flush();
}

void DataControlPasteboard::dropOffer(wl_proxy* offer)
{
    if (m_offers.remove(offer))
        destroy(offer, offerDestroy);
}

void DataControlPasteboard::onDataOffer(void* self, wl_proxy*, wl_proxy* offer)
{
    auto* p = static_cast<DataControlPasteboard*>(self);
    p->m_offers.insert(offer, {});
    static const OfferListener listener{&onOfferType};
    wl_proxy_add_listener(
        offer, reinterpret_cast<void (**)(void)>(const_cast<OfferListener*>(&listener)), self);
}

void DataControlPasteboard::onOfferType(void* self, wl_proxy* offer, const char* type)
{
    auto* p = static_cast<DataControlPasteboard*>(self);
    auto it = p->m_offers.find(offer);
    if (it != p->m_offers.end())
        it->append(QString::fromUtf8(type));
}

void DataControlPasteboard::onSelection(void* self, wl_proxy*, wl_proxy* offer)
{
    auto* p = static_cast<DataControlPasteboard*>(self);
    if (p->m_selection && p->m_selection != offer)
        p->dropOffer(p->m_selection);
    p->m_selection = offer;
    if (p->m_echoes > 0)
        --p->m_echoes;
    else
        ++p->m_changeCount;
}

void DataControlPasteboard::onPrimarySelection(void* self, wl_proxy*, wl_proxy* offer)
{
    auto* p = static_cast<DataControlPasteboard*>(self);
    if (offer && offer != p->m_selection)
        p->dropOffer(offer);
}

void DataControlPasteboard::onFinished(void* self, wl_proxy* device)
{
    // The seat went away: this device is dead, and so is the clipboard for this run.
    auto* p = static_cast<DataControlPasteboard*>(self);
    destroy(device, deviceDestroy);
    p->m_device = nullptr;
}

void DataControlPasteboard::onSend(void* self, wl_proxy* source, const char* type, qint32 fd)
{
    auto* p = static_cast<DataControlPasteboard*>(self);
    const QString wanted = QString::fromUtf8(type);
    QByteArray bytes;
    if (source == p->m_source) {
        for (const auto& [t, b] : std::as_const(p->m_owned)) {
            if (t == wanted) {
                bytes = b;
                break;
            }
        }
    }
    // Owns the descriptor from here on and goes when done.
    new Writer(fd, bytes, p);
}

void DataControlPasteboard::onCancelled(void* self, wl_proxy* source)
{
    // Someone else took the clipboard. Older entries of ours were destroyed when replaced.
    auto* p = static_cast<DataControlPasteboard*>(self);
    if (source == p->m_source)
        p->dropSource();
}

} // namespace quillet

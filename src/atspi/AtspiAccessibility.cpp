#include "atspi/AtspiAccessibility.h"

#include "atspi/CaretText.h"

#include <QAbstractEventDispatcher>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

#include <atspi/atspi.h>

namespace quillet {

namespace {

const QString a11yBusService = QStringLiteral("org.a11y.Bus");
const QString a11yBusPath = QStringLiteral("/org/a11y/bus");
constexpr const char* trackedEvents[] = {
    "object:state-changed:focused",
    "window:activate",
    "window:deactivate",
};

using Ref = std::shared_ptr<AtspiAccessible>;

// Takes over a reference the library handed us.
Ref adopt(AtspiAccessible* a)
{
    return a ? Ref(a, [](AtspiAccessible* p) { g_object_unref(p); }) : nullptr;
}

// Adds a reference of our own to one the library keeps.
Ref share(AtspiAccessible* a)
{
    if (a)
        g_object_ref(a);
    return adopt(a);
}

class AtspiElement final : public AccessibleElement {
public:
    explicit AtspiElement(Ref a)
        : accessible(std::move(a))
    {}
    Ref accessible;
};

// A GError out-parameter that frees itself.
class ErrorSlot {
public:
    ~ErrorSlot() { g_clear_error(&m_error); }
    GError** out()
    {
        g_clear_error(&m_error);
        return &m_error;
    }
    bool failed() const { return m_error != nullptr; }

private:
    GError* m_error = nullptr;
};

bool hasState(AtspiAccessible* a, AtspiStateType state)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(a);
    if (!states)
        return false;
    const bool found = atspi_state_set_contains(states, state) &&
                       !atspi_state_set_contains(states, ATSPI_STATE_DEFUNCT);
    g_object_unref(states);
    return found;
}

} // namespace

// The time one public call may spend, shared out among the library calls it makes.
class AtspiAccessibility::Budget {
public:
    Budget() { m_clock.start(); }
    // Sets the time-out of the next library call; false once the time is spent.
    bool next()
    {
        const qint64 left = timeoutMs - m_clock.elapsed();
        if (left <= 1)
            return false;
        // libatspi's wait for a reply may take up to twice its time-out (it waits once more when
        // the first wait ends right at the limit), so a call gets half of what is left. No
        // start-up grace: a just-launched application gets the same bound.
        atspi_set_timeout(static_cast<int>(left / 2), 0);
        return true;
    }

private:
    QElapsedTimer m_clock;
};

AtspiAccessibility::AtspiAccessibility(QObject* parent)
    : QObject(parent)
{}

AtspiAccessibility::~AtspiAccessibility()
{
    if (m_listener) {
        if (m_ready) {
            for (const char* type : trackedEvents)
                atspi_event_listener_deregister(m_listener, type, nullptr);
        }
        g_object_unref(m_listener);
    }
}

void AtspiAccessibility::start()
{
    if (!m_started) {
        m_started = true;
        // Events arrive through GLib's default main context, which Qt runs when it is built on
        // GLib.
        if (auto* dispatcher = QAbstractEventDispatcher::instance();
            dispatcher && !dispatcher->inherits("QEventDispatcherGlib"))
            qWarning("accessibility: the event loop does not run GLib; focus changes go unseen");
    }

    QDBusMessage enable = QDBusMessage::createMethodCall(
        a11yBusService, a11yBusPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Set"));
    enable << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
           << QVariant::fromValue(QDBusVariant(true));
    QDBusConnection::sessionBus().asyncCall(enable);
    probe();
}

void AtspiAccessibility::probe()
{
    if (!m_started || m_probing || m_ready)
        return;
    m_probing = true;
    // Asking for the address starts the bus if needed; only once it answers may libatspi
    // connect, since its own lookup waits without a time-out.
    const QDBusMessage get = QDBusMessage::createMethodCall(
        a11yBusService, a11yBusPath, QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_probing = false;
        if (!watcher->isError())
            connectBus();
    });
}

void AtspiAccessibility::connectBus()
{
    atspi_set_timeout(timeoutMs, 0);
    if (atspi_init() == 2) {
        // No bus after all; undo the half-done set-up so a later attempt starts afresh.
        atspi_exit();
        return;
    }
    m_bus = atspi_get_a11y_bus();
    if (!m_bus)
        return;
    if (!m_listener)
        m_listener = atspi_event_listener_new(&AtspiAccessibility::onEvent, this, nullptr);
    for (const char* type : trackedEvents)
        atspi_event_listener_register(m_listener, type, nullptr);
    setReady(true);
}

void AtspiAccessibility::setReady(bool ready)
{
    if (m_ready == ready)
        return;
    m_ready = ready;
    Q_EMIT availableChanged();
}

bool AtspiAccessibility::isAvailable() const
{
    // libatspi keeps one connection per process and cannot set itself up again once it has run:
    // a bus that went away stays gone for this run.
    return m_ready && m_bus && dbus_connection_get_is_connected(m_bus);
}

void AtspiAccessibility::onEvent(AtspiEvent* event, void* self)
{
    static_cast<AtspiAccessibility*>(self)->handleEvent(event);
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiAccessibility::handleEvent(AtspiEvent* event)
{
    if (!event->type || !event->source)
        return;
    const QByteArray type(event->type);
    if (type.startsWith("object:state-changed:focused")) {
        if (event->detail1)
            m_focused = share(event->source);
        else if (m_focused.get() == event->source)
            m_focused.reset();
    } else if (type.startsWith("window:activate")) {
        m_activeWindow = share(event->source);
    } else if (type.startsWith("window:deactivate")) {
        if (m_activeWindow.get() == event->source)
            m_activeWindow.reset();
    }
}

AtspiAccessibility::Ref AtspiAccessibility::focusCandidate(Budget& budget)
{
    if (const Ref candidate = m_focused) {
        if (!budget.next())
            return nullptr;
        if (hasState(candidate.get(), ATSPI_STATE_FOCUSED))
            return candidate;
        if (m_focused == candidate)
            m_focused.reset();
    }
    return searchFocus(budget);
}

AtspiAccessibility::Ref AtspiAccessibility::searchFocus(Budget& budget)
{
    // The focus moved before we were listening (or we missed the event): look for the active
    // window and the focused element inside it.
    const Ref desktop = adopt(atspi_get_desktop(0));
    if (!desktop || !budget.next())
        return nullptr;
    ErrorSlot error;
    const int apps = atspi_accessible_get_child_count(desktop.get(), error.out());
    // Windows that do not say they are active, newest application first: GTK 4 marks none
    // active, and sends its first focus event from an object it has not published yet.
    QList<Ref> others;
    for (int i = 0; i < apps && !error.failed(); ++i) {
        if (!budget.next())
            return nullptr;
        const Ref app = adopt(atspi_accessible_get_child_at_index(desktop.get(), i, error.out()));
        if (!app || !budget.next())
            continue;
        const int windows = atspi_accessible_get_child_count(app.get(), error.out());
        for (int w = 0; w < windows && !error.failed(); ++w) {
            if (!budget.next())
                return nullptr;
            const Ref window =
                adopt(atspi_accessible_get_child_at_index(app.get(), w, error.out()));
            if (!window || !budget.next())
                continue;
            if (!hasState(window.get(), ATSPI_STATE_ACTIVE)) {
                others.prepend(window);
                continue;
            }
            m_activeWindow = window;
            AtspiCollection* collection = atspi_accessible_get_collection_iface(window.get());
            if (!collection || !budget.next())
                return walkForFocus(window, budget);
            AtspiStateSet* focused = atspi_state_set_new(nullptr);
            atspi_state_set_add(focused, ATSPI_STATE_FOCUSED);
            AtspiMatchRule* rule = atspi_match_rule_new(
                focused, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
                ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE);
            GArray* matches = atspi_collection_get_matches(
                collection, rule, ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, error.out());
            Ref found;
            if (matches) {
                for (guint m = 0; m < matches->len; ++m) {
                    Ref match = adopt(g_array_index(matches, AtspiAccessible*, m));
                    if (!found)
                        found = std::move(match);
                }
                g_array_free(matches, TRUE);
            }
            g_object_unref(rule);
            g_object_unref(focused);
            g_object_unref(collection);
            if (found)
                m_focused = found;
            return found;
        }
        error.out();
    }
    for (const Ref& window : std::as_const(others)) {
        if (Ref found = walkForFocus(window, budget))
            return found;
    }
    return nullptr;
}

AtspiAccessibility::Ref AtspiAccessibility::walkForFocus(const Ref& window, Budget& budget)
{
    // Depth first, for toolkits without the collection interface; the budget bounds it.
    QList<std::pair<Ref, int>> stack{{window, 0}};
    ErrorSlot error;
    while (!stack.isEmpty()) {
        const auto [node, depth] = stack.takeLast();
        if (!budget.next())
            return nullptr;
        if (node != window && hasState(node.get(), ATSPI_STATE_FOCUSED)) {
            m_focused = node;
            m_activeWindow = window;
            return node;
        }
        if (depth >= 32 || !budget.next())
            continue;
        const int children = atspi_accessible_get_child_count(node.get(), error.out());
        for (int c = children - 1; c >= 0 && !error.failed(); --c) {
            if (!budget.next())
                return nullptr;
            if (Ref child = adopt(atspi_accessible_get_child_at_index(node.get(), c, error.out())))
                stack.append({std::move(child), depth + 1});
        }
        error.out();
    }
    return nullptr;
}

ElementHandle AtspiAccessibility::focusedElement()
{
    if (!isAvailable())
        return nullptr;
    Budget budget;
    const Ref element = focusCandidate(budget);
    if (!element || !budget.next())
        return nullptr;
    ErrorSlot error;
    const AtspiRole role = atspi_accessible_get_role(element.get(), error.out());
    // A password field is never read, not even its length.
    if (error.failed() || role == ATSPI_ROLE_PASSWORD_TEXT)
        return nullptr;
    return std::make_shared<AtspiElement>(element);
}

namespace {

std::optional<QString> readText(AtspiText* text, ErrorSlot& error)
{
    gchar* value = atspi_text_get_text(text, 0, -1, error.out());
    if (error.failed() || !value) {
        g_free(value);
        return std::nullopt;
    }
    QString out = QString::fromUtf8(value);
    g_free(value);
    return out;
}

} // namespace

std::optional<QString> AtspiAccessibility::elementValue(const ElementHandle& element)
{
    const auto* e = dynamic_cast<const AtspiElement*>(element.get());
    if (!e || !isAvailable())
        return std::nullopt;
    Budget budget;
    if (!budget.next())
        return std::nullopt;
    AtspiText* text = atspi_accessible_get_text_iface(e->accessible.get());
    if (!text)
        return std::nullopt;
    ErrorSlot error;
    std::optional<QString> value;
    if (budget.next())
        value = readText(text, error);
    g_object_unref(text);
    return value;
}

CaretCharacter AtspiAccessibility::characterBeforeCaret(const ElementHandle& element)
{
    const auto* e = dynamic_cast<const AtspiElement*>(element.get());
    if (!e || !isAvailable())
        return CaretCharacter::undetermined();
    Budget budget;
    if (!budget.next())
        return CaretCharacter::undetermined();
    AtspiText* text = atspi_accessible_get_text_iface(e->accessible.get());
    if (!text)
        return CaretCharacter::undetermined();
    ErrorSlot error;
    CaretCharacter result;
    if (budget.next()) {
        const gint caret = atspi_text_get_caret_offset(text, error.out());
        if (!error.failed() && caret >= 0) {
            if (caret == 0)
                result = CaretCharacter::none();
            else if (budget.next())
                if (const auto value = readText(text, error))
                    result = quillet::characterBeforeCaret(*value, caret);
        }
    }
    g_object_unref(text);
    return result;
}

AtspiAccessibility::Ref AtspiAccessibility::activeWindow(Budget& budget)
{
    Ref window = m_activeWindow;
    if (window && !(budget.next() && hasState(window.get(), ATSPI_STATE_ACTIVE))) {
        // Closed, or never said it was active (GTK 4): found afresh from the focus below.
        window.reset();
        m_activeWindow.reset();
    }
    if (window)
        return window;
    // The focused element's top-level ancestor: the child of its application.
    Ref node = focusCandidate(budget);
    window = m_activeWindow;
    ErrorSlot error;
    for (int depth = 0; node && !window && depth < 64; ++depth) {
        if (!budget.next())
            return nullptr;
        const Ref parent = adopt(atspi_accessible_get_parent(node.get(), error.out()));
        if (!parent || !budget.next())
            return nullptr;
        if (atspi_accessible_get_role(parent.get(), error.out()) == ATSPI_ROLE_APPLICATION)
            window = node;
        node = parent;
    }
    return window;
}

namespace {

std::optional<QString> nameOf(AtspiAccessible* a)
{
    GError* error = nullptr;
    gchar* name = atspi_accessible_get_name(a, &error);
    const bool failed = error != nullptr || name == nullptr;
    g_clear_error(&error);
    if (failed) {
        g_free(name);
        return std::nullopt;
    }
    QString out = QString::fromUtf8(name);
    g_free(name);
    return out;
}

std::optional<qint64> processOf(AtspiAccessible* a)
{
    GError* error = nullptr;
    const guint pid = atspi_accessible_get_process_id(a, &error);
    const bool failed = error != nullptr || pid == 0;
    g_clear_error(&error);
    return failed ? std::nullopt : std::optional<qint64>(pid);
}

} // namespace

std::optional<QString> AtspiAccessibility::focusedWindowTitle()
{
    if (!isAvailable())
        return std::nullopt;
    Budget budget;
    const Ref window = activeWindow(budget);
    if (!window || !budget.next())
        return std::nullopt;
    return nameOf(window.get());
}

std::optional<AccessibleApp> AtspiAccessibility::frontApplication()
{
    if (!isAvailable())
        return std::nullopt;
    Budget budget;
    const Ref window = activeWindow(budget);
    if (!window || !budget.next())
        return std::nullopt;
    AccessibleApp app;
    app.windowTitle = nameOf(window.get()).value_or(QString());
    if (!budget.next())
        return std::nullopt;
    app.pid = processOf(window.get());
    ErrorSlot error;
    if (!budget.next())
        return app;
    if (const Ref application = adopt(atspi_accessible_get_application(window.get(), error.out())))
        if (budget.next())
            app.name = nameOf(application.get()).value_or(QString());
    return app;
}

QList<AccessibleApp> AtspiAccessibility::applications()
{
    QList<AccessibleApp> out;
    if (!isAvailable())
        return out;
    Budget budget;
    const Ref desktop = adopt(atspi_get_desktop(0));
    if (!desktop || !budget.next())
        return out;
    ErrorSlot error;
    const int apps = atspi_accessible_get_child_count(desktop.get(), error.out());
    for (int i = 0; i < apps && !error.failed() && budget.next(); ++i) {
        const Ref app = adopt(atspi_accessible_get_child_at_index(desktop.get(), i, error.out()));
        // Only applications with a window to show.
        if (!app || !budget.next() || atspi_accessible_get_child_count(app.get(), error.out()) < 1)
            continue;
        if (!budget.next())
            break;
        AccessibleApp entry;
        entry.name = nameOf(app.get()).value_or(QString());
        if (budget.next())
            entry.pid = processOf(app.get());
        out.append(entry);
        error.out();
    }
    return out;
}

bool AtspiAccessibility::focusedIsTerminal()
{
    if (!isAvailable())
        return false;
    Budget budget;
    const Ref element = focusCandidate(budget);
    if (!element || !budget.next())
        return false;
    ErrorSlot error;
    return atspi_accessible_get_role(element.get(), error.out()) == ATSPI_ROLE_TERMINAL &&
           !error.failed();
}

} // namespace quillet

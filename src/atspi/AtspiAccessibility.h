#pragma once

#include "platform/Accessibility.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <memory>

struct _AtspiAccessible;
struct _AtspiEvent;
struct _AtspiEventListener;
struct DBusConnection;

namespace quillet {

// An application as AT-SPI shows it: its toolkit's name for itself (e.g. "gnome-text-editor",
// "konsole"), its process, and the title of its active window where that is asked for.
struct AccessibleApp {
    QString name;
    std::optional<qint64> pid;
    QString windowTitle;

    friend bool operator==(const AccessibleApp&, const AccessibleApp&) = default;
};

// Other applications' focused text fields through AT-SPI2. libatspi is not thread-safe and
// dispatches its events through GLib's default main context, which Qt's event loop runs: this
// object lives on the main thread and so does every call. The focused element comes from focus
// events, tracked from start(); every read gives up after 0.25 s.
class AtspiAccessibility final : public QObject, public Accessibility {
    Q_OBJECT
public:
    static constexpr int timeoutMs = 250;

    explicit AtspiAccessibility(QObject* parent = nullptr);
    ~AtspiAccessibility() override;

    // Turns accessibility on for the desktop's applications (org.a11y.Status.IsEnabled, the
    // setting that makes toolkits expose their widgets) and connects to the accessibility bus.
    // Returns at once; the connection completes on the event loop. Calling it again turns the
    // setting on again and retries a connection that has not been made (the settings' "Open
    // Settings" does, after the user fixed the desktop).
    void start();

    bool isAvailable() const override;
    ElementHandle focusedElement() override;
    std::optional<QString> elementValue(const ElementHandle& element) override;
    CaretCharacter characterBeforeCaret(const ElementHandle& element) override;
    std::optional<QString> focusedWindowTitle() override;
    bool focusedIsTerminal() override;

    // The application of the window with the focus, on any desktop: AT-SPI works the same under
    // X11 and every Wayland compositor.
    std::optional<AccessibleApp> frontApplication();
    // The applications with a window open.
    QList<AccessibleApp> applications();

Q_SIGNALS:
    // The accessibility bus became reachable.
    void availableChanged();

private:
    using Ref = std::shared_ptr<_AtspiAccessible>;
    class Budget;

    void probe();
    void connectBus();
    void setReady(bool ready);
    static void onEvent(_AtspiEvent* event, void* self);
    void handleEvent(_AtspiEvent* event);
    Ref focusCandidate(Budget& budget);
    Ref searchFocus(Budget& budget);
    Ref walkForFocus(const Ref& window, Budget& budget);
    Ref activeWindow(Budget& budget);

    bool m_started = false;
    bool m_probing = false;
    bool m_ready = false;
    DBusConnection* m_bus = nullptr;
    _AtspiEventListener* m_listener = nullptr;
    Ref m_focused;
    Ref m_activeWindow;
};

} // namespace quillet

// Lets the Qt event loop drive the GUI thread's single-threaded apartment:
// calls from other apartments and processes (a capture thread's calls into
// the window, the URL base's events to a band) run on the GUI thread
// whenever the event loop is idle, one at a time, in order.
#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace wys::browser_host {

class ApartmentPump final : public QObject {
public:
    // The calling thread must already be in a single-threaded apartment and
    // have a QCoreApplication; otherwise the pump does nothing (Active()
    // is false).
    ApartmentPump();
    ~ApartmentPump() override;

    bool Active() const { return static_cast<bool>(m_notifier); }

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace wys::browser_host

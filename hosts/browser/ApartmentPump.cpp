#include "hosts/browser/ApartmentPump.h"

#include <QSocketNotifier>

#include "platform/rpc/Apartment.h"

namespace wys::browser_host {

ApartmentPump::ApartmentPump()
{
    int fd = ApartmentWakeFd();
    if (fd < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this,
                     [] { DispatchApartmentMessages(); });
    // What was queued before the loop ran would otherwise wait for the next wake.
    DispatchApartmentMessages();
}

ApartmentPump::~ApartmentPump() = default;

}  // namespace wys::browser_host

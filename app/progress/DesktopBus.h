#pragma once
// Private connections to the desktop's message buses for one call each.
// Each opens its own connection from the address in the environment (the
// system bus at its standard place when none is given), so a bus named later
// in the process's life, or a bus that was missing at start-up, is used as it
// is now. Without an announced session bus nothing is tried: asking for one
// could start a stray bus daemon just for this. A bus that does not answer
// within 2 s is not connected to (BusHandshake.h), and one that lets the
// client in but does not answer its Hello within 2 s more is left again: no
// step of the opening waits without a limit. Made and ended on the bus thread
// only (DesktopBusThread.h): opening may still take those seconds.

#include <QDBusConnection>
#include <QString>
#include <optional>

namespace mivora {

// A connection that ends with this object.
class DesktopBus {
 public:
  enum class Kind { kSystem, kSession };
  explicit DesktopBus(Kind kind);
  ~DesktopBus();
  DesktopBus(const DesktopBus&) = delete;
  DesktopBus& operator=(const DesktopBus&) = delete;

  // Empty when the bus cannot be reached (`Why()` says why).
  std::optional<QDBusConnection> Connection() const;
  QString Why() const { return why_; }

 private:
  QString name_;
  QString why_;
  bool connected_ = false;
};

}  // namespace mivora

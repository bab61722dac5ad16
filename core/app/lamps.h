// The port lamps of the main window: one two-colour lamp per port, set at
// every tick of the status timer, at the end of start-up, when a port is
// lost or reopened and when mirroring is switched.
#pragma once

namespace quillon {

enum class Lamp { Off, Green, Red };

struct PortLamps {
    Lamp input = Lamp::Off;
    Lamp mirror = Lamp::Off;
    bool operator==(const PortLamps&) const = default;
};

// The input lamp is green while its port is open and red otherwise; the
// mirror lamp is off while mirroring is off, else green or red the same way.
PortLamps StatusLamps(bool inputOpen, bool mirrorOpen, bool mirroring);

}  // namespace quillon

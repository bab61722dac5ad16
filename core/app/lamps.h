// The lamps of the two links.
#pragma once

namespace quillon {

enum class Lamp { Off, Green, Red };

struct PortLamps {
    Lamp input = Lamp::Off;
    Lamp mirror = Lamp::Off;
    bool operator==(const PortLamps&) const = default;
};

// The input link: green while open, red otherwise; the mirror link: off while
// mirroring is off, else green or red by its state.
inline PortLamps StatusLamps(bool inputOpen, bool mirrorOpen, bool mirroring)
{
    return {inputOpen ? Lamp::Green : Lamp::Red,
            !mirroring ? Lamp::Off : mirrorOpen ? Lamp::Green : Lamp::Red};
}

}  // namespace quillon

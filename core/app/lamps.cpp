#include "lamps.h"

namespace quillon {

namespace {
Lamp PortLamp(bool open) { return open ? Lamp::Green : Lamp::Red; }
}  // namespace

PortLamps StatusLamps(bool inputOpen, bool mirrorOpen, bool mirroring)
{
    return {PortLamp(inputOpen), mirroring ? PortLamp(mirrorOpen) : Lamp::Off};
}

}  // namespace quillon

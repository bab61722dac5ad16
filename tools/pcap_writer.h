// The classic pcap file format (not pcapng): a 24-byte file header, then one
// record per packet, a 16-byte record header followed by the packet bytes.
// Everything is written little-endian; readers tell the byte order from the
// magic number.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace quillon {

// LINKTYPE_AX25_KISS: every packet is a KISS command byte followed by an
// AX.25 frame without its CRC.
inline constexpr std::uint32_t kLinkTypeAx25Kiss = 202;
inline constexpr std::uint32_t kPcapSnapLength = 65535;

// The file header: magic A1B2C3D4 (microsecond times), version 2.4, UTC.
std::string PcapFileHeader(std::uint32_t linkType);

// Appends one record with the packet stored whole. Times before 1970 or past
// the 32-bit seconds of the format are clamped to the nearest one it holds.
void AppendPcapRecord(std::string& out, std::chrono::system_clock::time_point time,
                      std::span<const std::uint8_t> packet);

}  // namespace quillon

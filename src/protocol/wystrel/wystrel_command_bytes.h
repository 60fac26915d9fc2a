#pragma once

#include <QtGlobal>

namespace tarvesk::proto::wystrel {

// The command byte of a normal command frame, indexed by
// WystrelPacket::WystrelCommandType (SPI, BOOT LOADER, GUID, WSNUM, CHECK UID,
// UNMUTE ALL, READ, WRITE).
inline constexpr quint8 CommandBytes[] = {0x0B, 0x18, 0x08, 0x09, 0x0A, 0x0C, 0x0D, 0x0E};

} // namespace tarvesk::proto::wystrel

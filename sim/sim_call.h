#pragma once

#include <QString>

namespace tarvesk::sim {

// The libusb calls on one box that a fault can be injected into.
enum class SimCall {
    GetDescriptor,
    Open,
    KernelDriverActive,
    DetachKernelDriver,
    Claim,
    Release,
    BulkOut,
    BulkIn,
    Control,
    ClearHalt,
    ResetDevice
};

constexpr int SimCallCount = static_cast<int>(SimCall::ResetDevice) + 1;

QString simCallName(SimCall call);

} // namespace tarvesk::sim

#include "sim_call.h"

namespace tarvesk::sim {

QString simCallName(SimCall call)
{
    switch (call) {
    case SimCall::GetDescriptor:
        return QStringLiteral("get_descriptor");
    case SimCall::Open:
        return QStringLiteral("open");
    case SimCall::KernelDriverActive:
        return QStringLiteral("kernel_driver_active");
    case SimCall::DetachKernelDriver:
        return QStringLiteral("detach_kernel_driver");
    case SimCall::Claim:
        return QStringLiteral("claim");
    case SimCall::Release:
        return QStringLiteral("release");
    case SimCall::BulkOut:
        return QStringLiteral("bulk_out");
    case SimCall::BulkIn:
        return QStringLiteral("bulk_in");
    case SimCall::Control:
        return QStringLiteral("control");
    case SimCall::ClearHalt:
        return QStringLiteral("clear_halt");
    case SimCall::ResetDevice:
        return QStringLiteral("reset_device");
    }
    return QString();
}

} // namespace tarvesk::sim

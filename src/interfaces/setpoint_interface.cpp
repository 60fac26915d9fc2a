#include "interfaces/setpoint_interface.h"

namespace tarvesk::itf {

SetpointInterface::~SetpointInterface() = default;

} // namespace tarvesk::itf

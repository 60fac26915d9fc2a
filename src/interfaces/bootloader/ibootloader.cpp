#include "interfaces/bootloader/ibootloader.h"

namespace tarvesk::itf {

IBootloader::~IBootloader() = default;

} // namespace tarvesk::itf

#include "core/database/oem_info_record.h"

#include <utility>

namespace tarvesk::core {

OemInfoRecord::OemInfoRecord(int oemId, std::string name, int rdmId)
    : _oemId(oemId)
    , _name(std::move(name))
    , _rdmId(rdmId)
{ }

} // namespace tarvesk::core

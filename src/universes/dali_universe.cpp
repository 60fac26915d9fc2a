#include "universes/dali_universe.h"

#include "interfaces/dali_interface.h"

namespace tarvesk::universes {

DaliUniverse::DaliUniverse(const QString& name, itf::DaliInterface* itf)
    : core::Universe(name, itf, nullptr)
{ }

} // namespace tarvesk::universes

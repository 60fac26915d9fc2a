#pragma once

#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"

#include <memory>

namespace tarvesk::service {

// Picks a colour library by its version key ("0.0", "1.0", "1.1", "1.3";
// exact). No state.
class LightshapeColorLibraryFactory
{
public:
    // A new library for the key. Throws StringException "Invalid library
    // version '<key>'" for an unknown key, and a message of its own for a
    // known version whose library this build does not have yet.
    static std::unique_ptr<AbstractLightshapeColorLibrary> create(const QString& version);
};

} // namespace tarvesk::service

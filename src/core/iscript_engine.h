#pragma once

namespace tarvesk::core {

// The engine that runs the feature scripts of the data package. Parameters
// and profile-type schemas only hold it (shared) and hand it on; the engine
// itself is implemented with the data package.
class IScriptEngine
{
public:
    virtual ~IScriptEngine() = default;
};

} // namespace tarvesk::core

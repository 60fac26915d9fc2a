#pragma once

#include <QString>

#include <memory>

namespace tarvesk::core {
class Device;
class Universe;
} // namespace tarvesk::core

namespace tarvesk::proto {
class Options;
}

namespace tarvesk::service {

class RpcRequest;

// What one raw send request addresses and the send options taken from it. An
// option takes the request's parameter of the same name when that value has
// the option's JSON type, and the handler's default otherwise (absent or of
// another type); declared parameters are already filled with their declared
// defaults by the parameter check, so the handler default reaches only
// undeclared names and values of the wrong type.
class RpcSendContext
{
public:
    explicit RpcSendContext(RpcRequest* request);
    ~RpcSendContext();

    RpcSendContext(const RpcSendContext&) = delete;
    RpcSendContext& operator=(const RpcSendContext&) = delete;

    // A JSON boolean, else the default; stored as a bool.
    void addBoolOption(const QString& name, bool defaultValue);
    // A number or a text that reads as one, else the default; stored as a double.
    void addNumberOption(const QString& name, double defaultValue);

    proto::Options* getOptions() const { return _options.get(); }
    int getDebugLevel() const { return _debugLevel; }
    void setDebugLevel(int level) { _debugLevel = level; }
    core::Universe* getUniverse() const { return _universe; }
    void setUniverse(core::Universe* universe) { _universe = universe; }
    core::Device* getDevice() const { return _device; }
    void setDevice(core::Device* device) { _device = device; }

private:
    RpcRequest* _request;                // not owned
    core::Universe* _universe = nullptr; // not owned
    core::Device* _device = nullptr;     // not owned
    std::unique_ptr<proto::Options> _options;
    int _debugLevel = 0;
};

} // namespace tarvesk::service

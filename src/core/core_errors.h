#pragma once

#include <stdexcept>
#include <string>

namespace tarvesk::core {

// The exceptions of the core model. Each carries only its message, as what().
#define QM_DECLARE_CORE_ERROR(Name)                                                                          \
    class Name : public std::runtime_error                                                                   \
    {                                                                                                        \
    public:                                                                                                  \
        using std::runtime_error::runtime_error;                                                             \
    };

QM_DECLARE_CORE_ERROR(DeviceError)
QM_DECLARE_CORE_ERROR(ParameterError)
QM_DECLARE_CORE_ERROR(FileError)
QM_DECLARE_CORE_ERROR(DataFileError)
QM_DECLARE_CORE_ERROR(FeatureError)
QM_DECLARE_CORE_ERROR(JsonParseError)
QM_DECLARE_CORE_ERROR(ScriptError)
QM_DECLARE_CORE_ERROR(GroupFilterException)
// A block transfer to or from driver memory failed; what() says where and why.
QM_DECLARE_CORE_ERROR(MemoryAccessError)

#undef QM_DECLARE_CORE_ERROR

// A memory location of DALI gear gave no answer where one was required: the
// gear does not have that memory bank (every D4i bank is optional). An
// ordinary outcome of asking, not a fault of the service.
class MemoryLocationUnanswered : public ParameterError
{
public:
    using ParameterError::ParameterError;
};

// A memory-bank block went in doubt (another master's traffic moved the
// gear's memory pointer beside ours) more often than it is started again, or
// a write went in doubt: the bus status says which. Not a fault of the service.
class MemoryBlockInDoubt : public ParameterError
{
public:
    MemoryBlockInDoubt(const std::string& message, int status)
        : ParameterError(message)
        , _status(status)
    { }

    int status() const { return _status; }

private:
    int _status;
};

} // namespace tarvesk::core

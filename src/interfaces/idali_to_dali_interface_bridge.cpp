#include "interfaces/idali_to_dali_interface_bridge.h"

#include "core/itf_error.h"
#include "interfaces/dali_exception.h"
#include "interfaces/dali_interface.h"

namespace tarvesk::itf {

namespace {

void throwOnFailure(int status, const char* operation)
{
    if (status != core::ITF_OK)
        throw DaliException(operation, status);
}

DaliAnswer answerOf(int status, uchar byte, const char* operation)
{
    if (status == core::ITF_ERR_NO_REPLY)
        return std::nullopt;
    throwOnFailure(status, operation);
    return byte;
}

} // namespace

IDaliToDaliInterfaceBridge::IDaliToDaliInterfaceBridge(DaliInterface* daliInterface)
    : _interface(daliInterface)
{ }

IDaliToDaliInterfaceBridge::~IDaliToDaliInterfaceBridge() = default;

void IDaliToDaliInterfaceBridge::sendCommand(std::uint8_t address, std::uint8_t opcode)
{
    throwOnFailure(_interface->sendCommand(address, opcode, nullptr), "sendCommand");
}

void IDaliToDaliInterfaceBridge::sendCommandTwice(std::uint8_t address, std::uint8_t opcode)
{
    throwOnFailure(_interface->sendCommandTwice(address, opcode, 0), "sendCommandTwice");
}

void IDaliToDaliInterfaceBridge::sendSpecialCommand(std::uint8_t command, std::uint8_t data)
{
    throwOnFailure(_interface->specialCommand(command, data, nullptr), "sendSpecialCommand");
}

DaliAnswer IDaliToDaliInterfaceBridge::sendCommandExpectingAnswer(std::uint8_t address, std::uint8_t opcode)
{
    uchar answer = 0;
    const int status = _interface->queryCommand(address, opcode, &answer, false);
    return answerOf(status, answer, "sendCommandExpectingAnswer");
}

DaliAnswer IDaliToDaliInterfaceBridge::sendSpecialCommandExpectingAnswer(
    std::uint8_t command, std::uint8_t data)
{
    uchar answer = 0;
    const int status = _interface->querySpecialCommand(command, data, &answer);
    return answerOf(status, answer, "sendSpecialCommandExpectingAnswer");
}

} // namespace tarvesk::itf

#include "fake_memory_interface.h"

namespace tarvesk::test {

FakeMemoryInterface::FakeMemoryInterface(QObject* device, const QString& identifier)
    : core::RawParameterInterface(device, identifier)
{ }

int FakeMemoryInterface::nextFailure(QMap<int, QList<int>>& failures, int address)
{
    auto it = failures.find(address);
    if (it == failures.end() || it->isEmpty())
        return 0;
    return it->takeFirst();
}

int FakeMemoryInterface::getParameter(core::NetworkResolution resolution, int address, unsigned int& value)
{
    _journal.append(QStringLiteral("R%1 %2").arg(int(resolution)).arg(address, 0, 16));
    const int status = nextFailure(_readFailures, address);
    if (status == 0)
        value = _memory.value(address, 0);
    return status;
}

int FakeMemoryInterface::setParameter(core::NetworkResolution resolution, int address, unsigned int value)
{
    _journal.append(QStringLiteral("W%1 %2=%3").arg(int(resolution)).arg(address, 0, 16).arg(value, 0, 16));
    const int status = nextFailure(_writeFailures, address);
    if (status == 0)
        _memory[address] = value;
    return status;
}

} // namespace tarvesk::test

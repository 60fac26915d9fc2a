#pragma once

#include "core/idevice.h"
#include "core/parameters/raw_parameter_interface.h"

#include <QHash>
#include <QMap>
#include <QVector>

#include <memory>

namespace tarvesk::core::testing {

// A memory space that records every access, and can be told to fail reads or
// writes with a given bus status.
class FakeRawMemory : public RawParameterInterface
{
public:
    struct Access
    {
        char op; // 'r' or 'w'
        NetworkResolution resolution;
        int address;
        unsigned int value; // the word written, or the word read (0 for a failed read)
        bool operator==(const Access& o) const
        {
            return op == o.op && resolution == o.resolution && address == o.address && value == o.value;
        }
    };

    using RawParameterInterface::RawParameterInterface;

    int getParameter(NetworkResolution resolution, int address, unsigned int& value) override
    {
        if (readStatus != 0) {
            journal.append({'r', resolution, address, 0});
            return readStatus;
        }
        value = memory.value(address, 0);
        journal.append({'r', resolution, address, value});
        return 0;
    }

    int setParameter(NetworkResolution resolution, int address, unsigned int value) override
    {
        journal.append({'w', resolution, address, value});
        if (writeStatus != 0)
            return writeStatus;
        memory[address] = value;
        return 0;
    }

    QVector<Access> writes() const
    {
        QVector<Access> result;
        for (const Access& a : journal)
            if (a.op == 'w')
                result.append(a);
        return result;
    }

    QMap<int, unsigned int> memory;
    QVector<Access> journal;
    int readStatus = 0;
    int writeStatus = 0;
};

// A device with named memory spaces and nothing else.
class FakeDevice : public QObject, public IDevice
{
public:
    FakeRawMemory* addMemory(const QString& identifier)
    {
        auto* memory = new FakeRawMemory(this, identifier);
        interfaces.insert(identifier, memory);
        return memory;
    }

    QByteArray getIdentificationString() const override { return "1 'Fake device'"; }
    IParameter* getParameterInterface(const QString&) override { return nullptr; }
    RawParameterInterface* getRawParameterInterface(const QString& name) override
    {
        return interfaces.value(name, nullptr);
    }
    std::shared_ptr<itf::IDali> getDaliInterface() override { return nullptr; }

    QHash<QString, RawParameterInterface*> interfaces;
};

} // namespace tarvesk::core::testing

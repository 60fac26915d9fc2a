#pragma once

#include "interfaces/idali_memory_bank_utility.h"

#include <memory>
#include <string>

namespace tarvesk::itf {

class DaliMemoryBankUtility : public IDaliMemoryBankUtility
{
public:
    explicit DaliMemoryBankUtility(std::shared_ptr<IDali> dali);
    ~DaliMemoryBankUtility() override;

    void selectMemoryBank(std::uint8_t bank) override;
    void selectMemoryAddress(std::uint8_t location) override;
    void selectMemoryBankAndAddress(std::uint8_t bank, std::uint8_t location) override;
    void unlockMemoryBank(std::uint8_t daliAddress, std::uint8_t bank) override;
    void writeLockByte(std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t value) override;
    DaliAnswer readMemoryLocation(std::uint8_t daliAddress) override;
    DaliAnswer writeMemoryLocation(std::uint8_t value) override;

private:
    void setLockByte(
        std::uint8_t daliAddress, std::uint8_t bank, std::uint8_t value, const std::string& failure);

    const std::shared_ptr<IDali> _dali;
};

} // namespace tarvesk::itf

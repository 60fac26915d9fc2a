#pragma once

#include "core/iparameter_repository.h"

#include <map>
#include <memory>

namespace tarvesk::core {

// Definitions of the DALI memory-bank parameters by pid; the D4i catalogue
// loaders fill it.
class DaliMemoryBankParameterRepository : public IParameterRepository
{
public:
    // An unknown pid throws ParameterError "Parameter with pid <pid> does not exist.".
    ParameterData getParameterData(const std::string& pid) const override;
    // Stores the definition under its identifier, replacing an earlier one.
    void addParameter(const ParameterData& data) override;

private:
    std::map<std::string, ParameterData> _parameters;
};

// The D4i memory-bank parameters of IEC 62386 Parts 250 to 253, one loader per part.
void loadDaliMemoryBanksForPart250(const std::shared_ptr<IParameterRepository>& repository);
void loadDaliMemoryBanksForPart251(const std::shared_ptr<IParameterRepository>& repository);
void loadDaliMemoryBanksForPart252(const std::shared_ptr<IParameterRepository>& repository);
void loadDaliMemoryBanksForPart253(const std::shared_ptr<IParameterRepository>& repository);

} // namespace tarvesk::core

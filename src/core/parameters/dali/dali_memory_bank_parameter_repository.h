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
    // Stores the definition under its identifier. A pid already held throws
    // ParameterError "Parameter with pid <pid> already exists." and keeps the first.
    void addParameter(const ParameterData& data) override;

private:
    std::map<std::string, ParameterData> _parameters;
};

// The D4i memory-bank parameters of IEC 62386 Parts 250 to 253, one loader per
// part, each adding its records in table order. A record whose pid is already
// held stops its loader there (the repository's ParameterError passes on).
void loadDaliMemoryBanksForPart250(const std::shared_ptr<IParameterRepository>& repository); // bank 201
void loadDaliMemoryBanksForPart251(const std::shared_ptr<IParameterRepository>& repository); // bank 1
void loadDaliMemoryBanksForPart252(const std::shared_ptr<IParameterRepository>& repository); // 202-204
// Banks 205, 206 and 207, in this order.
void loadDaliMemoryBanksForPart253(const std::shared_ptr<IParameterRepository>& repository);
void loadDaliMemoryBank205(const std::shared_ptr<IParameterRepository>& repository);
void loadDaliMemoryBank206(const std::shared_ptr<IParameterRepository>& repository);

} // namespace tarvesk::core

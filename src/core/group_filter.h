#pragma once

#include <string>
#include <vector>

namespace tarvesk::core {

// Selects parameters by group name: operation 0 ("in") keeps the listed
// groups, 1 ("not_in") keeps every other group.
class GroupFilter
{
public:
    enum OperationOptionsEnum : int { OPERATION_IN = 0, OPERATION_NOT_IN = 1 };

    // "in" or "not_in", exactly; any other text throws GroupFilterException.
    static OperationOptionsEnum operationFromString(const std::string& text);

    void setGroups(const std::vector<std::string>& groups) { _groups = groups; }
    const std::vector<std::string>& getGroups() const { return _groups; }
    void setOperation(OperationOptionsEnum operation);
    bool isInclusive() const { return _inclusive; }
    bool isIncluded(const std::string& group) const;

private:
    std::vector<std::string> _groups;
    OperationOptionsEnum _operation = OPERATION_IN;
    bool _inclusive = true;
};

} // namespace tarvesk::core

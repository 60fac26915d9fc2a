#include "core/group_filter.h"

#include "core/core_errors.h"

#include <algorithm>

namespace tarvesk::core {

GroupFilter::OperationOptionsEnum GroupFilter::operationFromString(const std::string& text)
{
    if (text == "in")
        return OPERATION_IN;
    if (text == "not_in")
        return OPERATION_NOT_IN;
    throw GroupFilterException("Not implemented Operation: " + text);
}

void GroupFilter::setOperation(OperationOptionsEnum operation)
{
    _operation = operation;
    _inclusive = operation == OPERATION_IN;
}

bool GroupFilter::isIncluded(const std::string& group) const
{
    const bool found = std::find(_groups.begin(), _groups.end(), group) != _groups.end();
    return found != (_operation != OPERATION_IN);
}

} // namespace tarvesk::core

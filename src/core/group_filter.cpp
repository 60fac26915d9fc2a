#include "core/group_filter.h"

#include <algorithm>

namespace tarvesk::core {

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

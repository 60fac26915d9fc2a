#include "service/rpc/rpc_types/rpc_type_step.h"

#include "core/step.h"
#include "service/rpc_array.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcTypeStep::RpcTypeStep(const core::Step* step)
{
    addChild(QStringLiteral("name"), new RpcValue(step->getName()));
    addChild(QStringLiteral("result"), new RpcValue(step->getResult()));
    addChild(QStringLiteral("elapsed_time"), new RpcValue(double(step->getElapsedTime())));
    const QList<core::Step*> children = step->children();
    if (children.isEmpty())
        return;
    auto* array = new RpcArray;
    for (const core::Step* child : children)
        array->addChild(new RpcTypeStep(child));
    addChild(QStringLiteral("children"), array);
}

} // namespace tarvesk::service

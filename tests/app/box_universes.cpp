#include "box_universes.h"

#include "rpc_call.h"

#include <QJsonArray>

namespace qmtest {

BoxUniverses searchBoxUniverses(int port, const QString& interfaceType)
{
    BoxUniverses found;
    const QJsonArray boxes = rpcCallText(port, "universe.search", R"({"interface_type": "usb"})")
                                 .value("result")
                                 .toArray();
    found.boxes = boxes.size();
    for (const QJsonValue& box : boxes) {
        for (const QJsonValue& child : box.toObject().value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == interfaceType)
                (box.toObject().value("version").toInt() == 21 ? found.eventBox : found.quietBox)
                    = child.toObject().value("universe_id").toInt();
        }
    }
    return found;
}

} // namespace qmtest

#include "box_universes.h"

#include "rpc_call.h"

#include <QJsonArray>

namespace qmtest {

namespace {

BoxUniverses universesOf(const QJsonArray& boxes, const QString& interfaceType)
{
    BoxUniverses found;
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

QJsonArray searchUsb(int port)
{
    return rpcCallText(port, "universe.search", R"({"interface_type": "usb"})").value("result").toArray();
}

} // namespace

BoxUniverses searchBoxUniverses(int port, const QString& interfaceType)
{
    return universesOf(searchUsb(port), interfaceType);
}

void searchBoxUniverses(int port, const QString& firstType, BoxUniverses& first, const QString& secondType,
    BoxUniverses& second)
{
    const QJsonArray boxes = searchUsb(port);
    first = universesOf(boxes, firstType);
    second = universesOf(boxes, secondType);
}

} // namespace qmtest

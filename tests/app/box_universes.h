#pragma once

#include <QString>

namespace qmtest {

// The universes of one interface type ("dali", "dmx") behind the two boxes of
// a bench, as a "usb" search of the service on 127.0.0.1:port finds them: the
// newer box's (firmware 21, with time-out events) and the older one's.
struct BoxUniverses
{
    int boxes = 0; // boxes found
    int eventBox = 0;
    int quietBox = 0;
};

BoxUniverses searchBoxUniverses(int port, const QString& interfaceType);
// The same for two interface types from one search (each search opens the boxes anew).
void searchBoxUniverses(int port, const QString& firstType, BoxUniverses& first, const QString& secondType,
    BoxUniverses& second);

} // namespace qmtest

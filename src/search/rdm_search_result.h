#pragma once

#include "search/search_result.h"

#include <QString>

namespace tarvesk::search {

// A responder found by RDM discovery, by its UID text: four hexadecimal
// digits of the manufacturer id, ":", eight of the device id.
class RdmSearchResult : public SearchResult
{
public:
    RdmSearchResult(core::Universe* universe, QString uid);

    const QString& getUidText() const { return _uid; }
    // The 32-bit device id, so that a Wystrel result of the same driver (whose
    // Wystrel UID is that id) counts as the same driver.
    unsigned int getUID() const override;
    // The maker's own drivers carry the manufacturer id 7e2b.
    bool isTarveskDevice() const;
    core::Device* createDevice() override;

private:
    QString _uid;
};

} // namespace tarvesk::search

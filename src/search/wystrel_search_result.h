#pragma once

#include "search/search_result.h"

namespace tarvesk::search {

// A driver that answered the Wystrel GUID request: its 32-bit UID, the local
// id asked and the skip count the request carried.
class WystrelSearchResult : public SearchResult
{
public:
    WystrelSearchResult(core::Universe* universe, int uid, int lid, int skipCount);

    unsigned int getUID() const override { return unsigned(_uid); }
    int getLID() const { return _lid; }
    int getSkipCount() const { return _skipCount; }
    core::Device* createDevice() override;

private:
    int _uid;
    int _lid;
    int _skipCount;
};

} // namespace tarvesk::search

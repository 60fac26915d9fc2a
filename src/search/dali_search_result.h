#pragma once

#include "search/search_result.h"

namespace tarvesk::search {

// A DALI control gear (or the whole bus) found by the DALI search: the address
// byte of commands to it, short address a as 2a + 1, 0xFF for broadcast.
class DaliSearchResult : public SearchResult
{
public:
    DaliSearchResult(core::Universe* universe, int address);

    int getAddress() const { return _address; }
    // A DaliDevice on the universe, for the low 8 bits of the address.
    core::Device* createDevice() override;

private:
    int _address;
};

} // namespace tarvesk::search

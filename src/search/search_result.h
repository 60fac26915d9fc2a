#pragma once

namespace tarvesk::core {
class Device;
class Universe;
} // namespace tarvesk::core

namespace tarvesk::search {

// One driver that a search found, able to make its device object.
class SearchResult
{
public:
    // The identity of a result that has none.
    static constexpr unsigned int NoUid = 0xFFFFFFFF;

    explicit SearchResult(core::Universe* universe);
    virtual ~SearchResult();

    SearchResult(const SearchResult&) = delete;
    SearchResult& operator=(const SearchResult&) = delete;

    // A new device on the result's universe; the caller owns it.
    virtual core::Device* createDevice() = 0;
    // The found driver's identity; NoUid when it has none.
    virtual unsigned int getUID() const { return NoUid; }
    core::Universe* getUniverse() const { return _universe; }

private:
    core::Universe* _universe; // not owned
};

} // namespace tarvesk::search

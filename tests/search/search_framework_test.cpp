#include "devices/usb_device_factory.h"
#include "log_capture.h"
#include "search/search_options.h"
#include "search/search_result.h"
#include "search/search_results.h"
#include "search/usb_search_options.h"

#include <gtest/gtest.h>

using namespace tarvesk::search;
using tarvesk::test::LogCapture;

namespace {

TEST(SearchOptions, WordsAreMatchedExactlyAndCaseSensitively)
{
    const struct
    {
        const char* text;
        int method;
        int protocol;
    } cases[] = {
        {"all", SearchOptions::ALL, SearchOptions::INVALID_PROTOCOL},
        {"new", SearchOptions::NEW, SearchOptions::INVALID_PROTOCOL},
        {"existing", SearchOptions::EXISTING, SearchOptions::INVALID_PROTOCOL},
        {"single", SearchOptions::SINGLE, SearchOptions::INVALID_PROTOCOL},
        {"step", SearchOptions::STEP, SearchOptions::INVALID_PROTOCOL},
        {"All", SearchOptions::INVALID_METHOD, SearchOptions::INVALID_PROTOCOL},
        {"undefined", SearchOptions::INVALID_METHOD, SearchOptions::UNDEFINED},
        {"dali", SearchOptions::INVALID_METHOD, SearchOptions::DALI},
        {"Dali", SearchOptions::INVALID_METHOD, SearchOptions::INVALID_PROTOCOL},
        {"wystrel", SearchOptions::INVALID_METHOD, SearchOptions::WYSTREL},
        {"rdm", SearchOptions::INVALID_METHOD, SearchOptions::RDM},
        {"dv1_device", SearchOptions::INVALID_METHOD, SearchOptions::DV1_DEVICE},
        {"dv1_host", SearchOptions::INVALID_METHOD, SearchOptions::DV1_HOST},
        {"dv2_device", SearchOptions::INVALID_METHOD, SearchOptions::DV2_DEVICE},
        {"dv2_host", SearchOptions::INVALID_METHOD, SearchOptions::DV2_HOST},
        {"", SearchOptions::INVALID_METHOD, SearchOptions::INVALID_PROTOCOL},
        {"all ", SearchOptions::INVALID_METHOD, SearchOptions::INVALID_PROTOCOL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SearchOptions::methodFromString(QString::fromLatin1(c.text)), c.method) << c.text;
        EXPECT_EQ(SearchOptions::protocolFromString(QString::fromLatin1(c.text)), c.protocol) << c.text;
    }

    SearchOptions options(SearchOptions::ALL, {}, false);
    EXPECT_FALSE(options.isSearchProtocolDefined());
    EXPECT_FALSE(options.containsSearchProtocol(SearchOptions::DALI));
    options.addSearchProtocol(SearchOptions::DALI);
    options.addSearchProtocol(SearchOptions::DALI);
    EXPECT_TRUE(options.containsSearchProtocol(SearchOptions::DALI));
    EXPECT_EQ(options.getSearchProtocols().size(), 2);
}

class CountedResult : public SearchResult
{
public:
    CountedResult(unsigned int uid, int* alive)
        : SearchResult(nullptr)
        , _uid(uid)
        , _alive(alive)
    {
        ++*_alive;
    }
    ~CountedResult() override { --*_alive; }
    tarvesk::core::Device* createDevice() override { return nullptr; }
    unsigned int getUID() const override { return _uid; }

private:
    unsigned int _uid;
    int* _alive;
};

TEST(SearchResults, ASecondResultWithTheSameIdentityIsDeletedOnesWithoutIdentityStay)
{
    int alive = 0;
    {
        SearchResults results;
        LogCapture log;
        auto* first = new CountedResult(7, &alive);
        results.append(first);
        results.append(new CountedResult(7, &alive));
        EXPECT_EQ(log.count(QStringLiteral("Search result not added")), 1);
        results.append(new CountedResult(SearchResult::NoUid, &alive));
        results.append(new CountedResult(SearchResult::NoUid, &alive));
        results.append(new CountedResult(8, &alive));
        EXPECT_EQ(results.size(), 4);
        EXPECT_EQ(alive, 4);
        EXPECT_EQ(*results.begin(), first);
    }
    EXPECT_EQ(alive, 0);
}

class CountedFactory : public tarvesk::devices::UsbDeviceFactory
{
public:
    explicit CountedFactory(int* alive)
        : _alive(alive)
    {
        ++*_alive;
    }
    ~CountedFactory() override { --*_alive; }
    bool skipLibusbBinding() const override { return true; }
    tarvesk::core::Device* create(tarvesk::core::Universe*, unsigned short) override { return nullptr; }

private:
    int* _alive;
};

TEST(UsbSearchOptions, RegisteredPairsOwnTheirFactories)
{
    int alive = 0;
    {
        UsbSearchOptions options;
        EXPECT_EQ(options.getSearchMethod(), SearchOptions::ALL);
        EXPECT_FALSE(options.isSearchProtocolDefined());
        EXPECT_FALSE(options.getSearchSubdevices());
        auto* first = new CountedFactory(&alive);
        options.registerVidPid(0x04D8, 0xFF00, first);
        EXPECT_TRUE(options.containsVidPid(0x04D8, 0xFF00));
        EXPECT_FALSE(options.containsVidPid(0x04D8, 0xFF01));
        EXPECT_FALSE(options.containsVidPid(0xFF00, 0x04D8));
        EXPECT_EQ(options.getFactory(0x04D8, 0xFF00), first);
        EXPECT_EQ(options.getFactory(0x04D8, 0xFF01), nullptr);
        // A replaced factory is not leaked.
        auto* second = new CountedFactory(&alive);
        options.registerVidPid(0x04D8, 0xFF00, second);
        EXPECT_EQ(alive, 1);
        EXPECT_EQ(options.getFactory(0x04D8, 0xFF00), second);
        options.registerVidPid(1, 2, nullptr);
        EXPECT_TRUE(options.containsVidPid(1, 2));
    }
    EXPECT_EQ(alive, 0);
}

} // namespace

#include "network/http_host_whitelist.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "network/http_session.h"
#include "network/http_session_factory.h"
#include "network/url_unescape.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string>

using namespace tarvesk::network;

TEST(HttpRequest, HeaderLookupIgnoresCaseAndMissingGivesEmpty)
{
    HttpRequest request("POST", "/");
    request.addHeaderItem("Content-Type", "application/json-rpc");
    EXPECT_EQ(request.getHeaderItem("content-type"), "application/json-rpc");
    EXPECT_EQ(request.getHeaderItem("CONTENT-TYPE"), "application/json-rpc");
    EXPECT_TRUE(request.getHeaderItem("accept").isEmpty());
}

TEST(HttpRequest, QueryItemsAreWrittenBackIntoTheUrl)
{
    HttpRequest request("GET", "/debug");
    request.addQueryItem("a", "1");
    request.addQueryItem("b", "2");
    EXPECT_EQ(request.getURL().toString(), "/debug?a=1&b=2");
    request.setUrlPath("/data/html/a b.html");
    EXPECT_EQ(request.getURL().path(), "/data/html/a b.html");
}

TEST(HttpRequest, RefusedBodyDropsWhatWasBufferedAndIgnoresMore)
{
    HttpRequest request("POST", "/");
    request.appendUploadData("abc", 3);
    request.appendUploadData("def", 3);
    EXPECT_EQ(request.getUploadData(), "abcdef");
    request.refuseBody();
    request.appendUploadData("ghi", 3);
    EXPECT_TRUE(request.getUploadData().isEmpty());
    EXPECT_TRUE(request.isBodyRefused());
}

TEST(HttpResponse, NewResponseCarriesTheFourDefaultHeadersOnly)
{
    HttpResponse response;
    EXPECT_TRUE(response.getData().isEmpty());
    EXPECT_EQ(response.headerCount(), 4);
    EXPECT_EQ(response.getHeaderItem("Server"), "Quinmark");
    EXPECT_EQ(response.getHeaderItem("Connection"), "keep-alive");
    EXPECT_EQ(response.getHeaderItem("Access-Control-Allow-Headers"),
        "Origin, X-Requested-With, Content-Type, Accept");
    EXPECT_EQ(response.getHeaderItem("Access-Control-Allow-Origin"), "*");
    response.setContentType("text/plain");
    EXPECT_EQ(response.headerCount(), 5);
    EXPECT_EQ(response.getHeaderItem("Content-Type"), "text/plain");
}

TEST(HttpHostWhitelist, AdmitsLoopbackOnly)
{
    const struct
    {
        const char* host;
        bool allowed;
    } cases[] = {
        {"127.0.0.1", true},
        {"127.255.255.254", true},
        {"127.1.2.3", true},
        {"::1", true},
        {"::ffff:127.0.0.1", true},
        {"", false},
        {"10.0.0.1", false},
        {"192.168.1.20", false},
        {"128.0.0.1", false},
        {"0.0.0.0", false},
        {"::", false},
        {"::ffff:10.0.0.1", false},
        {"fe80::1", false},
        {"localhost", false},
        {"attacker.example", false},
    };
    HttpHostWhitelist whitelist;
    for (const auto& c : cases)
        EXPECT_EQ(whitelist.isHostAllowed(QString::fromLatin1(c.host)), c.allowed) << c.host;
}

namespace {

sockaddr_in ipv4(const char* text, uint16_t port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, text, &address.sin_addr);
    return address;
}

sockaddr_in6 ipv6(const char* text, uint16_t port)
{
    sockaddr_in6 address {};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    inet_pton(AF_INET6, text, &address.sin6_addr);
    return address;
}

} // namespace

// The accept-time check works on socket addresses; it must agree with the
// text check on every address the text check knows.
TEST(HttpHostWhitelist, AdmitsLoopbackPeersAtAccept)
{
    const struct
    {
        const char* host;
        bool allowed;
    } cases[] = {
        {"127.0.0.1", true},
        {"127.1.2.3", true},
        {"127.255.255.254", true},
        {"10.0.0.1", false},
        {"192.168.1.20", false},
        {"128.0.0.1", false},
        {"0.0.0.0", false},
        {"::1", true},
        {"::ffff:127.0.0.1", true},
        {"::ffff:127.9.8.7", true},
        {"::ffff:10.0.0.1", false},
        {"::ffff:128.0.0.1", false},
        {"2001:db8::7", false},
        {"fe80::1", false},
        {"::", false},
        {"::2", false},
    };
    HttpHostWhitelist whitelist;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(whitelist.isHostAllowed(QString::fromLatin1(c.host)), c.allowed);
        if (std::strchr(c.host, ':')) {
            const sockaddr_in6 address = ipv6(c.host, 4000);
            EXPECT_EQ(
                HttpHostWhitelist::isPeerAllowed(reinterpret_cast<const sockaddr*>(&address), sizeof address),
                c.allowed);
        } else {
            const sockaddr_in address = ipv4(c.host, 4000);
            EXPECT_EQ(
                HttpHostWhitelist::isPeerAllowed(reinterpret_cast<const sockaddr*>(&address), sizeof address),
                c.allowed);
        }
    }

    // What is not a whole IP socket address is refused.
    const sockaddr_in local = ipv4("127.0.0.1", 4000);
    const sockaddr_in6 local6 = ipv6("::1", 4000);
    EXPECT_FALSE(HttpHostWhitelist::isPeerAllowed(nullptr, 0));
    EXPECT_FALSE(HttpHostWhitelist::isPeerAllowed(reinterpret_cast<const sockaddr*>(&local), 0));
    EXPECT_FALSE(
        HttpHostWhitelist::isPeerAllowed(reinterpret_cast<const sockaddr*>(&local), sizeof local - 1));
    EXPECT_FALSE(
        HttpHostWhitelist::isPeerAllowed(reinterpret_cast<const sockaddr*>(&local6), sizeof local6 - 1));
    sockaddr_storage unix {};
    unix.ss_family = AF_UNIX;
    EXPECT_FALSE(HttpHostWhitelist::isPeerAllowed(reinterpret_cast<const sockaddr*>(&unix), sizeof unix));
}

TEST(HttpSession, PeerCheckUsesTheNumericAddressOfBothFamilies)
{
    auto whitelist = std::make_shared<HttpHostWhitelist>();
    HttpSession session(40, whitelist);

    const sockaddr_in local = ipv4("127.0.0.1", 5000);
    EXPECT_TRUE(session.checkPeerAddress(reinterpret_cast<const sockaddr*>(&local)));
    EXPECT_EQ(session.getHostName(), "127.0.0.1");
    EXPECT_EQ(session.getService(), "5000");

    const sockaddr_in remote = ipv4("192.168.7.9", 5001);
    EXPECT_FALSE(session.checkPeerAddress(reinterpret_cast<const sockaddr*>(&remote)));

    const sockaddr_in6 local6 = ipv6("::1", 5002);
    EXPECT_TRUE(session.checkPeerAddress(reinterpret_cast<const sockaddr*>(&local6)));
    const sockaddr_in6 remote6 = ipv6("2001:db8::7", 5003);
    EXPECT_FALSE(session.checkPeerAddress(reinterpret_cast<const sockaddr*>(&remote6)));

    sockaddr unknown {};
    unknown.sa_family = AF_UNIX;
    EXPECT_FALSE(session.checkPeerAddress(&unknown));
    EXPECT_TRUE(session.getHostName().isEmpty());
}

TEST(HttpSession, TimesOutAfterMoreThanFortySeconds)
{
    HttpSession session(40, nullptr);
    const QDateTime last = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000);
    session.setSessionTime(last);
    EXPECT_FALSE(session.timeoutOccurred(last.addMSecs(40000)));
    EXPECT_TRUE(session.timeoutOccurred(last.addMSecs(40001)));
}

TEST(HttpSession, CookiesAreBoundedInCountAndSize)
{
    HttpSession session(40, nullptr);
    session.addCookie("b", "2");
    session.addCookie("a", "1");
    session.addCookie("a", "3");
    EXPECT_EQ(session.cookieHeader(), "a=3; b=2");
    session.addCookie("big", QString(HttpSession::MaxCookieBytes, 'x'));
    EXPECT_FALSE(session.cookieHeader().contains("big"));
    for (int i = 0; i < 100; ++i)
        session.addCookie(QString("c%1").arg(i), "v");
    EXPECT_EQ(session.cookieHeader().count('='), HttpSession::MaxCookies);
    session.addCookie("a", "4"); // a known name may still change
    EXPECT_TRUE(session.cookieHeader().contains("a=4"));
}

TEST(HttpSessionFactory, AgesOutIdleSessionsAndRemovesClosedOnes)
{
    HttpSessionFactory factory(std::make_shared<HttpHostWhitelist>());
    auto* first = reinterpret_cast<MHD_Connection*>(0x10);
    auto* second = reinterpret_cast<MHD_Connection*>(0x20);
    auto a = factory.getOrCreateNewSession(first);
    auto b = factory.getOrCreateNewSession(second);
    EXPECT_EQ(factory.getOrCreateNewSession(first), a);
    EXPECT_EQ(factory.sessionCount(), 2);

    const QDateTime now = QDateTime::currentDateTime();
    a->setSessionTime(now.addMSecs(-40001));
    b->setSessionTime(now.addMSecs(-40000));
    factory.checkIfSessionsTimeoutAndClose(now);
    EXPECT_EQ(factory.sessionCount(), 1);
    EXPECT_NE(factory.getOrCreateNewSession(first), a);

    factory.removeSession(second);
    factory.removeSession(second);
    EXPECT_EQ(factory.sessionCount(), 1);
}

// Percent escapes are decoded as libmicrohttpd decodes them, but for "%00":
// a NUL would end the path early for every reader of the C string.
TEST(UrlUnescape, DecodesEscapesButKeepsAnEncodedNul)
{
    const struct
    {
        const char* text;
        const char* decoded;
    } cases[] = {
        {"/debug", "/debug"},
        {"/a%20b%2Fc", "/a b/c"},
        {"/%e2%82%ac", "/\xe2\x82\xac"},
        {"/debug%00/../x", "/debug%00/../x"},
        {"%00%41", "%00A"},
        {"/100%", "/100%"},
        {"/%4", "/%4"},
        {"/%zz%4g", "/%zz%4g"},
        {"%%41", "%A"},
        {"+", "+"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        const std::size_t size = tarvesk::network::UrlUnescape::decode(text.data());
        EXPECT_EQ(std::string(text.c_str()), c.decoded) << c.text;
        EXPECT_EQ(size, std::strlen(c.decoded)) << c.text;
    }
}

#include "platform/net/URL.h"

#include <gtest/gtest.h>

#include "platform/net/URLRequest.h"

namespace platform::net {
namespace {

TEST(URL, SplitsItsParts) {
    auto url = URL::parse("HTTP://user:pw@Example.com:8080/a%20b/c?x=1&y=%2F#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->user(), "user");
    EXPECT_EQ(url->password(), "pw");
    EXPECT_EQ(url->host(), "Example.com");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->path(), "/a%20b/c");
    EXPECT_EQ(url->query(), "x=1&y=%2F");
    EXPECT_EQ(url->fragment(), "frag");
    EXPECT_EQ(url->absoluteString(), "http://user:pw@Example.com:8080/a%20b/c?x=1&y=%2F#frag");

    auto v6 = URL::parse("http://[::1]:99/");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host(), "::1");
    EXPECT_EQ(v6->absoluteString(), "http://[::1]:99/");

    auto custom = URL::parse("heronsdk://close?x");
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->scheme(), "heronsdk");
    EXPECT_EQ(custom->host(), "close");
    EXPECT_EQ(custom->path(), "");

    auto mail = URL::parse("mailto:a@b.c");
    ASSERT_TRUE(mail);
    EXPECT_FALSE(mail->hasAuthority());
    EXPECT_EQ(mail->path(), "a@b.c");

    auto empties = URL::parse("http://h?#");
    ASSERT_TRUE(empties);
    EXPECT_EQ(empties->query(), "");
    EXPECT_EQ(empties->fragment(), "");
    EXPECT_EQ(URL::parse("http://h")->query(), std::nullopt);
    EXPECT_EQ(empties->absoluteString(), "http://h?#");
}

TEST(URL, RefusesMalformedText) {
    for (const char* text : {"http://a b/", "http://h/%zz", "http://h/%2", "http://h:12x/",
                             "http://h/\x01", "http://h/<x>", "http://[::1/", "http://h/\xc3\xa9"})
        EXPECT_EQ(URL::parse(text), std::nullopt) << text;
}

TEST(URL, ResolvesReferencesAsRfc3986Says) {
    // RFC 3986 section 5.4, normal and abnormal examples.
    const auto base = *URL::parse("http://a/b/c/d;p?q");
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
    };
    for (const auto& [reference, expected] : cases) {
        auto resolved = base.resolve(reference);
        ASSERT_TRUE(resolved) << reference;
        EXPECT_EQ(resolved->absoluteString(), expected) << reference;
    }
    EXPECT_EQ(URL::parse("http://h")->resolve("x")->absoluteString(), "http://h/x");
    EXPECT_EQ(URL::resolve("x", *URL::parse("relative/y")), std::nullopt);
}

TEST(HTTPURLResponse, ReadsHeadersWithoutRegardToCase) {
    HeaderFields headers;
    headers.set("Content-Type", "Text/HTML; Charset=\"UTF-8\"");
    headers.set("content-length", "42");
    headers.append("Set-Cookie", "a=1");
    headers.append("set-cookie", "b=2");
    headers.set("X-HSDK-Ad-Type", "banner");
    HTTPURLResponse response(*URL::parse("http://h/"), 200, headers);
    EXPECT_EQ(response.MIMEType(), "text/html");
    EXPECT_EQ(response.textEncodingName(), "utf-8");
    EXPECT_EQ(response.expectedContentLength(), 42);
    EXPECT_EQ(response.valueForHeader("x-hsdk-ad-type"), "banner");
    EXPECT_EQ(response.valueForHeader("SET-COOKIE"), "a=1, b=2");
    EXPECT_EQ(response.valueForHeader("Missing"), std::nullopt);
    ASSERT_EQ(response.allHeaderFields().entries().size(), 4u);
    EXPECT_EQ(response.allHeaderFields().entries()[3].first, "X-HSDK-Ad-Type");

    HTTPURLResponse local(*URL::parse("data:,x"), "text/plain", 1, std::nullopt);
    EXPECT_EQ(local.statusCode(), -1);
    EXPECT_FALSE(local.isHTTP());
}

TEST(URLError, CarriesTheFailingURL) {
    const Error e = makeURLError(kURLErrorCannotConnectToHost, "http://127.0.0.1:9/x");
    EXPECT_EQ(e.domain, "NSURLErrorDomain");
    EXPECT_EQ(e.code, -1004);
    EXPECT_EQ(e.userInfo.at("NSErrorFailingURLStringKey"), Value("http://127.0.0.1:9/x"));
    EXPECT_EQ(e.userInfo.at("NSErrorFailingURLKey"), Value("http://127.0.0.1:9/x"));
    EXPECT_FALSE(e.localizedDescription().empty());
}

}  // namespace
}  // namespace platform::net

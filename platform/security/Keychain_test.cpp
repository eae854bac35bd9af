#include "platform/security/Keychain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/testing/TestSupport.h"

namespace platform::keychain {
namespace {

namespace fs = std::filesystem;

fs::path itemsFile() {
    return AppHome::home() / "Library" / "Keychains" / "items.plist";
}

Dictionary query(const std::string& service, const std::string& account) {
    return {{kClass, kClassGenericPassword}, {kService, service}, {kAccount, account}};
}

Dictionary item(const std::string& service, const std::string& account, const Data& data) {
    Dictionary d = query(service, account);
    d[kAccessible] = kAccessibleAfterFirstUnlock;
    d[kValueData] = data;
    return d;
}

Data binary() {
    return Data(std::vector<uint8_t>{0, 1, 2, 0xff, 0, 0x80});
}

TEST(Keychain, AddCopyDeleteAndDuplicate) {
    Data out = Data::fromString("untouched");
    EXPECT_EQ(copyMatching(query("svc", "alice"), &out), kItemNotFound);
    EXPECT_EQ(out, Data::fromString("untouched"));

    ASSERT_EQ(add(item("svc", "alice", binary())), kSuccess);
    ASSERT_EQ(add(item("svc", "bob", Data::fromString("b"))), kSuccess);
    EXPECT_EQ(add(item("svc", "alice", Data::fromString("other"))), kDuplicateItem);

    EXPECT_EQ(copyMatching(query("svc", "alice"), &out), kSuccess);
    EXPECT_EQ(out, binary()) << "the duplicate did not overwrite";
    EXPECT_EQ(copyMatching(query("svc", "bob"), &out), kSuccess);
    EXPECT_EQ(out, Data::fromString("b"));
    EXPECT_EQ(copyMatching(query("svc", "carol"), &out), kItemNotFound);
    EXPECT_EQ(copyMatching(query("other", "alice"), nullptr), kItemNotFound);
    EXPECT_EQ(copyMatching(query("svc", "alice"), nullptr), kSuccess);

    EXPECT_EQ(remove(query("svc", "alice")), kSuccess);
    EXPECT_EQ(copyMatching(query("svc", "alice"), &out), kItemNotFound);
    EXPECT_EQ(remove(query("svc", "alice")), kItemNotFound);
    EXPECT_EQ(copyMatching(query("svc", "bob"), &out), kSuccess) << "others stay";
    EXPECT_EQ(add(item("svc", "alice", Data::fromString("again"))), kSuccess);
}

TEST(Keychain, AQueryWithoutAccountMatchesEveryAccountOfTheService) {
    ASSERT_EQ(add(item("svc", "a", Data::fromString("1"))), kSuccess);
    ASSERT_EQ(add(item("svc", "b", Data::fromString("2"))), kSuccess);
    ASSERT_EQ(add(item("kept", "a", Data::fromString("3"))), kSuccess);
    const Dictionary byService{{kClass, kClassGenericPassword}, {kService, "svc"}};
    EXPECT_EQ(copyMatching(byService, nullptr), kSuccess);
    EXPECT_EQ(remove(byService), kSuccess);
    EXPECT_EQ(copyMatching(query("svc", "a"), nullptr), kItemNotFound);
    EXPECT_EQ(copyMatching(query("svc", "b"), nullptr), kItemNotFound);
    EXPECT_EQ(copyMatching(query("kept", "a"), nullptr), kSuccess);
}

TEST(Keychain, MissingOrMistypedAttributesAreParamErrors) {
    struct Case {
        const char* what;
        std::string key;
        Value value;  // null removes the key
    };
    const std::vector<Case> cases = {
        {"no class", kClass, Value()},
        {"another class", kClass, "inet"},
        {"no service", kService, Value()},
        {"service not text", kService, 7},
        {"no account", kAccount, Value()},
        {"account not text", kAccount, Data::fromString("a")},
        {"no data", kValueData, Value()},
        {"data as text", kValueData, "secret"},
        {"accessibility not text", kAccessible, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dictionary attributes = item("svc", "acct", binary());
        if (c.value.isNull())
            attributes.erase(c.key);
        else
            attributes[c.key] = c.value;
        EXPECT_EQ(add(attributes), kParam);
    }
    EXPECT_EQ(copyMatching(query("svc", "acct"), nullptr), kItemNotFound) << "nothing was added";

    EXPECT_EQ(copyMatching({{kService, "svc"}}, nullptr), kParam);
    EXPECT_EQ(copyMatching({{kClass, kClassGenericPassword}, {kAccount, 3}}, nullptr), kParam);
    EXPECT_EQ(remove({}), kParam);
}

TEST(Keychain, ItemsLiveInAPrivatePropertyListFile) {
    ASSERT_EQ(add(item("svc", "alice", binary())), kSuccess);

    struct stat st {};
    ASSERT_EQ(::stat(itemsFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Read back by an outside tool: an array of item dictionaries with the data as data.
    const std::string command = "plistutil -f xml -i '" + itemsFile().string() + "'";
    const auto read = platform::testing::runProgram(command);
    EXPECT_EQ(read.status, 0);
    const std::string& xml = read.output;
    EXPECT_NE(xml.find("<array>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<string>alice</string>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<data>"), std::string::npos) << xml;

    // No temporary files are left beside it.
    for (const auto& entry : fs::directory_iterator(itemsFile().parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "items.plist" || name == ".items.lock") << name;
    }
}

TEST(Keychain, AnotherProcessSeesAndChangesTheSameItems) {
    ASSERT_EQ(add(item("svc", "parent", Data::fromString("p"))), kSuccess);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Data out;
        const bool sees =
            copyMatching(query("svc", "parent"), &out) == kSuccess && out == Data::fromString("p");
        const bool added = add(item("svc", "child", Data::fromString("c"))) == kSuccess;
        _exit(sees && added ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    Data out;
    EXPECT_EQ(copyMatching(query("svc", "child"), &out), kSuccess);
    EXPECT_EQ(out, Data::fromString("c"));
}

TEST(Keychain, ACorruptFileReadsAsEmptyAndTheNextAddReplacesIt) {
    const std::vector<std::string> corrupt = {"garbage \x01\x02", "bplist00\xff\xff",
                                              "<plist><dict><key>a</key>", ""};
    for (const std::string& bytes : corrupt) {
        ASSERT_TRUE(files::writeAtomically(itemsFile(), bytes));
        EXPECT_EQ(copyMatching(query("svc", "alice"), nullptr), kItemNotFound);
        EXPECT_EQ(remove(query("svc", "alice")), kItemNotFound);
        ASSERT_EQ(add(item("svc", "alice", binary())), kSuccess);
        std::optional<Value> root = plist::readFile(itemsFile());
        ASSERT_TRUE(root && root->array());
        EXPECT_EQ(root->array()->size(), 1u);
    }
    // A valid list with stray entries keeps its items and drops what is not an item.
    ASSERT_TRUE(plist::writeFile(itemsFile(),
                                 Value(Array{Value("stray"), Value(item("svc", "x", binary()))})));
    Data out;
    EXPECT_EQ(copyMatching(query("svc", "x"), &out), kSuccess);
    EXPECT_EQ(out, binary());
}

TEST(Keychain, ConcurrentAddsFromThreadsAndProcessesLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 10;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = true;
        for (int i = 0; i < kPerThread; ++i) {
            ok = ok && add(item("svc", "child" + std::to_string(i), binary())) == kSuccess;
        }
        _exit(ok ? 0 : 1);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::string account = std::to_string(t) + "-" + std::to_string(i);
                EXPECT_EQ(add(item("svc", account, binary())), kSuccess);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kPerThread; ++i) {
            const std::string account = std::to_string(t) + "-" + std::to_string(i);
            EXPECT_EQ(copyMatching(query("svc", account), nullptr), kSuccess) << account;
        }
    }
    for (int i = 0; i < kPerThread; ++i) {
        EXPECT_EQ(copyMatching(query("svc", "child" + std::to_string(i)), nullptr), kSuccess);
    }
}

}  // namespace
}  // namespace platform::keychain

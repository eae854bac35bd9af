#include "ads/foundation/HRNCrashReporter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNPinger.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/HRNRequest.h"
#include "peers/adserver/AdServer.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Bundle.h"

// A frame of the program's own code, named through the exported symbols. Its body is more than
// a bare return at any optimisation level, so one byte past its start is still inside it.
volatile int crashTestAppFrameCalls = 0;
void crashTestAppFrame() {
    crashTestAppFrameCalls = crashTestAppFrameCalls + 1;
}

namespace {

using peers::AdServer;
using peers::AdServerResponse;

constexpr const char* kGroup = "/heron/ads/crash_reporting";
constexpr double kCap = 20;  // real seconds; only a cap

// A return address inside a function: one byte past its start.
template <typename F>
void* inside(F* function) {
    return reinterpret_cast<char*>(reinterpret_cast<void*>(function)) + 1;
}

std::map<std::string, std::string> queryOf(const platform::net::URL& url) {
    std::map<std::string, std::string> query;
    for (const auto& [key, value] :
         hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(url, false))
        query[key] = value.string() ? *value.string() : "?";
    return query;
}

std::map<std::string, std::string> queryOf(const std::string& text) {
    return queryOf(*platform::net::URL::parse("http://x/?" + text));
}

std::vector<std::string> storedReports() {
    std::vector<std::string> reports;
    if (auto group = platform::UserDefaults::standard().dictionary(kGroup))
        for (const auto& entry : *group)
            reports.push_back(entry.first);
    return reports;
}

TEST(HRNCrashReporter, ReasonsAreRedactedUnlessTheyNameTheSDK) {
    setenv("QEN_AD_REPORT_URL", "http://127.0.0.1:9/", 1);
    auto reporter = HRNCrashReporter::sharedInstance();
    struct Case {
        std::optional<std::string> reason;
        std::vector<void*> stack;
        std::optional<std::string> excr;  // std::nullopt: no report
        std::string exclc;
    };
    void* sdk = inside(&HRNDispatchToMainThread);
    void* app = inside(&crashTestAppFrame);
    const std::vector<Case> cases = {
        {"HRNSlot 0x1a2b failed", {app}, "HRNSlot # failed", "."},
        {"PUBView: 0X1F and 0xff", {}, "PUBView: # and #", "."},
        {"hrnslot 0x1 (not ours: case counts)", {app}, std::nullopt, ""},
        {"bad index 0x10",
         {app, sdk, app},
         "redacted",
         "HRNDispatchToMainThread(std::function<void ()>)"},
        {std::nullopt, {sdk}, "redacted", "HRNDispatchToMainThread(std::function<void ()>)"},
        {std::nullopt, {app}, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason.value_or("(no reason)"));
        std::optional<platform::net::URL> url =
            reporter->reportURLForException({"std::logic_error", c.reason, c.stack});
        ASSERT_EQ(url.has_value(), c.excr.has_value());
        if (!url) continue;
        EXPECT_EQ(url->absoluteString().rfind("http://127.0.0.1:9/adpage/gen_204?", 0), 0u)
            << url->absoluteString();
        std::map<std::string, std::string> query = queryOf(*url);
        EXPECT_EQ(query["excr"], *c.excr);
        EXPECT_EQ(query["exclc"], c.exclc);
        EXPECT_EQ(query["excn"], "std::logic_error");
    }
}

TEST(HRNCrashReporter, ReportCarriesTheAppAndTheStack) {
    platform::UserDefaults::standard().set("/heron/ads/experiment_id_string",
                                           platform::Value("7,9"));
    auto reporter = HRNCrashReporter::sharedInstance();
    void* unresolved = reinterpret_cast<void*>(uintptr_t{16});
    std::optional<platform::net::URL> url = reporter->reportURLForException(
        {std::nullopt,
         "HRNSlot broke",
         {inside(&crashTestAppFrame), unresolved, inside(&::write)}});
    ASSERT_TRUE(url);
    std::map<std::string, std::string> query = queryOf(*url);
    EXPECT_EQ(query["os"], HRNDevice::sharedInstance()->systemVersion());
    EXPECT_EQ(query["appid"], HRNApplication::sharedInstance()->mainBundleIdentifier());
    EXPECT_EQ(query["api"], HRNApplication::sharedInstance()->version());
    EXPECT_EQ(query["js"], HRNRequest::sdkVersion());
    EXPECT_EQ(query["device"], HRNDevice::sharedInstance()->deviceModel().value_or("error"));
    EXPECT_EQ(query["dev-build"], "0");  // no provisioning profile in the bundle
    EXPECT_EQ(query["excn"], "unknown");
    EXPECT_EQ(query["id"], "gmob-apps-report-exception");
    // The third frame is in the C library (or a sanitizer's stand-in for it).
    const std::string& stack = query["excst"];
    EXPECT_EQ(stack.rfind("app,crashTestAppFrame()\nmissing,unavailable\nlib", 0), 0u) << stack;
    EXPECT_EQ(stack.substr(stack.size() - 5), "write") << stack;
    // "eids" comes after the others.
    const std::string text = url->absoluteString();
    EXPECT_EQ(text.substr(text.rfind('&')), "&eids=7%2C9");
}

TEST(HRNCrashReporter, StackTextKeepsWholeFramesUnder600Characters) {
    auto reporter = HRNCrashReporter::sharedInstance();
    const std::string frame = "app,crashTestAppFrame()";  // 23 characters
    std::vector<void*> stack(40, inside(&crashTestAppFrame));
    stack.push_back(inside(&HRNDispatchToMainThread));
    auto url = reporter->reportURLForException({"e", std::nullopt, stack});
    ASSERT_TRUE(url);
    const std::string text = queryOf(*url)["excst"];
    // 25 frames and 24 line feeds are 599 characters; a 26th would make 623.
    EXPECT_EQ(text.size(), 599u);
    EXPECT_EQ(text.substr(0, frame.size() + 1), frame + "\n");
    EXPECT_EQ(queryOf(*url)["exclc"], "HRNDispatchToMainThread(std::function<void ()>)");
}

TEST(HRNCrashReporter, DevelopmentBuildFromTheProvisioningProfile) {
    struct Case {
        std::optional<std::string> profile;
        int64_t flag;
    };
    const std::vector<Case> cases = {
        {std::nullopt, 0},
        {"", 0},
        {"<key>get-task-allow</key>\n<true/>\n<key>x</key>", 1},
        {"<key>get-task-allow</key>\n<false/>\n<key>x</key>", 0},
        {"<key>get-task-allow</key><true/>", 0},  // no third "<"
        {"<key>other</key><true/><key>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile.value_or("(none)"));
        std::optional<platform::Data> data;
        if (c.profile) data = platform::Data::fromString(*c.profile);
        EXPECT_EQ(HRNCrashReporter::developmentBuildFlag(data), c.flag);
    }

    const std::filesystem::path bundle = platform::AppHome::home() / "bundle";
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "embedded.mobileprovision")
        << "<plist><dict><key>get-task-allow</key>\n\t<true/>\n\t<key>a</key></dict>";
    platform::ui::setBundleDirectory(bundle);
    auto url = HRNCrashReporter::sharedInstance()->reportURLForException({"e", "HRN", {}});
    ASSERT_TRUE(url);
    EXPECT_EQ(queryOf(*url)["dev-build"], "1");
    EXPECT_EQ(queryOf(*url)["excst"], "error");  // no frames
}

TEST(HRNCrashReporter, HandlerInstalledInFrontOfThePreviousOne) {
    const std::terminate_handler before = std::get_terminate();
    auto reporter = HRNCrashReporter::sharedInstance();
    EXPECT_EQ(reporter->previousUncaughtExceptionHandler(), before);
    EXPECT_NE(std::get_terminate(), before);
    EXPECT_FALSE(reporter->reportingEnabled());
    EXPECT_FALSE(HRNCrashReporter::currentUncaughtException());  // none active
    reporter->reportUncaughtException({"e", "HRN 1", {}});
    EXPECT_EQ(storedReports().size(), 1u);  // a direct report is filed whatever the switch
}

// A child process of the test program, killed when the test ends first.
struct ChildRun {
    int signal = 0;  // the signal that ended it, 0 when it exited
    int exitStatus = -1;
    std::string errors;  // its standard error
};

ChildRun runChild(const std::vector<std::string>& arguments) {
    const std::filesystem::path errors = platform::AppHome::home() / "child-errors.txt";
    std::filesystem::create_directories(errors.parent_path());
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) dup2(fd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ChildRun run;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return run;
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    std::ifstream in(errors);
    run.errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}

class CrashInAChild : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        startServer(0);
        setenv("QEN_AD_REPORT_URL", server_->baseURL().c_str(), 1);
    }

    // The report peer on `port` (0: any), holding its answers for 5 s of the clock.
    void startServer(uint16_t port) {
        server_.emplace();
        ASSERT_GT(server_->start(port), 0);
        server_->serve("/adpage/gen_204", AdServerResponse{200, {}, "", "text/plain", 5});
    }

    std::optional<AdServer> server_;
};

TEST_F(CrashInAChild, TheNextStartSendsTheStoredReport) {
    ChildRun child = runChild({HRN_CRASH_CHILD, "sdk", "HRNSlot at 0x7f00beef lost its ad"});
    ASSERT_EQ(child.signal, SIGABRT) << child.errors;
    // The previous handler ran after the report was filed.
    EXPECT_NE(
        child.errors.find("terminate called after throwing an instance of 'std::runtime_error'"),
        std::string::npos)
        << child.errors;

    // The next start: this process, the same app home, reading the defaults for the first time.
    // The child's own ping may have left before it died, and the peer reads a request when it
    // gets to it, so it could arrive now and pass for the next start's: that start talks to a
    // new peer on the same address, which sees nothing of the child.
    const int port = server_->port();
    server_.reset();
    startServer(static_cast<uint16_t>(port));
    ASSERT_EQ(server_->port(), port);
    const std::vector<std::string> stored = storedReports();
    ASSERT_EQ(stored.size(), 1u);
    HRNApplication::sharedInstance()->runEarlyActivities();
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return server_->requestCount("/adpage/gen_204") == 1; }, kCap));

    // The peer holds its answer: the report is still stored while the test reads it.
    const peers::AdServerRequest request = server_->requests("/adpage/gen_204").front();
    EXPECT_EQ(request.method, "GET");
    ASSERT_TRUE(request.query);
    EXPECT_EQ(server_->URLString(request.path + "?" + *request.query), stored.front());
    std::map<std::string, std::string> query = queryOf(*request.query);
    EXPECT_EQ(query["excn"], "std::runtime_error");
    EXPECT_EQ(query["excr"], "HRNSlot at # lost its ad");
    EXPECT_EQ(query["exclc"], "HRNDispatchToMainThread(std::function<void ()>)");
    EXPECT_EQ(query["id"], "gmob-apps-report-exception");
    EXPECT_EQ(query["js"], HRNRequest::sdkVersion());
    EXPECT_EQ(query["os"], "8.4");
    EXPECT_EQ(query["device"], "iPhone");
    EXPECT_EQ(query["appid"], HRNApplication::sharedInstance()->mainBundleIdentifier());
    // The stack starts where the program threw, in the program's own image.
    const std::string& stack = query["excst"];
    EXPECT_EQ(stack.rfind("app,failInApp(", 0), 0u) << stack;
    EXPECT_NE(stack.find("\napp,HRNDispatchToMainThread(std::function<void ()>)\n"),
              std::string::npos)
        << stack;
    EXPECT_NE(stack.find("\napp,main\n"), std::string::npos) << stack;
    EXPECT_LT(stack.size(), 600u);
    EXPECT_EQ(storedReports(), stored);

    platform::Clock::advance(5);
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return storedReports().empty(); }, kCap));
}

TEST_F(CrashInAChild, ReportsFiledOnCrashingThreadsSurviveConcurrentRetryPasses) {
    // The peer holds every answer, so no report leaves the store by succeeding.
    auto reporter = HRNCrashReporter::sharedInstance();
    auto pinger = HRNPinger::sharedInstance();
    std::vector<std::thread> crashing;
    for (int i = 0; i < 8; ++i)
        crashing.emplace_back([&, i] {
            reporter->reportUncaughtException({"e", "HRN report " + std::to_string(i), {}});
        });
    for (int pass = 0; pass < 20; ++pass)
        pinger->pingRetryURLs();
    for (auto& t : crashing)
        t.join();
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return server_->requestCount("/adpage/gen_204") >= 8; }, kCap));
    std::set<std::string> reasons;
    for (const std::string& text : storedReports())
        reasons.insert(queryOf(*platform::net::URL::parse(text))["excr"]);
    EXPECT_EQ(reasons.size(), 8u);
    EXPECT_EQ(*reasons.begin(), "HRN report 0");
}

TEST_F(CrashInAChild, NothingIsStoredWithoutTheSDKOrWithReportingOff) {
    struct Case {
        std::vector<std::string> arguments;
    };
    for (const Case& c : {Case{{HRN_CRASH_CHILD, "app", "index out of range"}},
                          Case{{HRN_CRASH_CHILD, "sdk", "HRNSlot failed", "off"}}}) {
        SCOPED_TRACE(c.arguments[1]);
        ChildRun child = runChild(c.arguments);
        EXPECT_EQ(child.signal, SIGABRT) << child.errors;
        EXPECT_NE(child.errors.find("terminate called after throwing"), std::string::npos)
            << child.errors;
    }
    EXPECT_EQ(server_->requestCount("/adpage/gen_204"), 0u);
    EXPECT_TRUE(storedReports().empty());
}

}  // namespace

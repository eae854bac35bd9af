#include "ads/foundation/HRNCSI.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "ads/foundation/HRNCSIHMSGHandler.h"
#include "ads/foundation/HRNCSIReporter.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/HRNRequest.h"
#include "peers/adserver/AdServer.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"

namespace {

using platform::net::URL;

// The query of a report URL as a dictionary of texts.
platform::Dictionary query(const std::optional<URL>& url) {
    return url ? hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url, false)
               : platform::Dictionary{};
}

std::multiset<std::string> listed(const platform::Dictionary& q, const char* key) {
    std::multiset<std::string> items;
    auto it = q.find(key);
    if (it == q.end()) return items;
    const std::string text = it->second.asString();
    size_t start = 0;
    while (!text.empty() && start <= text.size()) {
        const size_t comma = text.find(',', start);
        items.insert(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

void setProbability(double probability) {
    platform::UserDefaults::standard().set("/heron/ads/csi_reporting_probability", probability);
}

TEST(HRNCSIConfigurationTest, SamplingDrawAgainstProbability) {
    struct Case {
        float probability;
        uint32_t draw;
        bool enabled;
    };
    const Case cases[] = {
        {0.05f, 0, true}, {0.05f, 49, true},     {0.05f, 50, false},    {0.05f, 999, false},
        {0.0f, 0, false}, {1.0f, 999, true},     {2.5f, 999, true},     {-0.5f, 0, false},
        {NAN, 0, false},  {INFINITY, 999, true}, {-INFINITY, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HRNCSIConfiguration::reportingEnabledForProbabilityDraw(c.probability, c.draw),
                  c.enabled)
            << c.probability << " draw " << c.draw;
}

TEST(HRNCSIConfigurationTest, DefaultsFromSettings) {
    auto plain = HRNCSIConfiguration::defaultConfiguration();
    EXPECT_EQ(plain->serviceName(), "rodi_rar");
    EXPECT_EQ(plain->version(), 3);
    EXPECT_EQ(plain->server(), kHRNCSIDefaultServer);

    platform::UserDefaults::standard().set("/heron/ads/csi_reporting_url",
                                           std::string("http://127.0.0.1:1/csi"));
    setProbability(1);
    auto always = HRNCSIConfiguration::defaultConfiguration();
    EXPECT_EQ(always->server(), "http://127.0.0.1:1/csi");
    EXPECT_TRUE(always->reportingEnabled());
    platform::UserDefaults::standard().set("/heron/ads/csi_reporting_probability",
                                           std::string("0"));
    EXPECT_FALSE(HRNCSIConfiguration::defaultConfiguration()->reportingEnabled());
}

TEST(HRNCSIConfigurationTest, UserAgentFromDeviceFacts) {
    platform::device::setHardwareMachine(std::string("iPhone8,1"));
    platform::device::setPreferredLanguages(std::vector<std::string>{"zh_CN"});
    EXPECT_EQ(HRNCSIConfiguration::deviceVersionString(), "iPhone/8.1");
    HRNCSIConfiguration configuration("s");
    std::string version = platform::device::systemVersion();
    for (char& c : version)
        if (c == '.') c = '_';
    const std::string agent = configuration.userAgent();
    EXPECT_EQ(agent.rfind("VodiroViv/1.0 (iPhone/8.1; U; CPU " + platform::device::systemName() +
                              " " + version + "; zh-CN) ",
                          0),
              0u)
        << agent;
    platform::device::setHardwareMachine(std::string("Watch"));
    EXPECT_EQ(configuration.userAgent(), agent);  // built once
    EXPECT_EQ(HRNCSIConfiguration::deviceVersionString(), "Watch");
}

class HRNCSITimeRecorderTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::Clock::useVirtual(); }
    std::shared_ptr<HRNCSITimeRecorder> recorder_ = HRNCSITimeRecorder::create(std::string("a"));
    HRNCSIReporter reporter_{std::make_shared<HRNCSIConfiguration>("svc")};
};

TEST_F(HRNCSITimeRecorderTest, VariablesAreTimedOnTheClock) {
    EXPECT_FALSE(HRNCSITimeRecorder::create(std::nullopt));
    recorder_->startTimingVariableWithName(std::string("load"));
    // Rounded to the nearest millisecond (not cut): clear of .5, which the clock's doubles
    // cannot hold exactly.
    platform::Clock::advance(0.2507);
    EXPECT_EQ(recorder_->durationAfterEndTimingVariableWithName(std::string("load")), 251);
    // Ending again: nothing runs under that key.
    EXPECT_EQ(recorder_->durationAfterEndTimingVariableWithName(std::string("load")), 0);
    EXPECT_EQ(recorder_->durationAfterEndTimingVariableWithName(std::nullopt), 0);

    // Missing names and keys start nothing; a cancelled variable never completes.
    recorder_->startTimingVariableWithNameKey(std::string(""), std::string("k"));
    recorder_->startTimingVariableWithNameKey(std::string("n"), std::nullopt);
    recorder_->startTimingVariableWithName(std::string("gone"));
    recorder_->cancelTimingVariableWithName(std::string("gone"));
    EXPECT_TRUE(recorder_->ongoingVariables().empty());
    EXPECT_EQ(recorder_->completedVariables().size(), 1u);
}

TEST_F(HRNCSITimeRecorderTest, TwoCompletionsUnderOneKeyAreBothReported) {
    recorder_->startTimingVariableWithNameKey(std::string("render"), std::string("k"));
    platform::Clock::advance(0.1);
    recorder_->endTimingVariableWithNameKey(std::string("render"), std::string("k"));
    recorder_->startTimingVariableWithNameKey(std::string("render"), std::string("k"));
    platform::Clock::advance(0.3);
    recorder_->endTimingVariableWithNameKey(std::string("render"), std::string("k"));
    auto completed = recorder_->completedVariables();
    ASSERT_EQ(completed.size(), 2u);
    EXPECT_TRUE(completed.count("k"));

    auto q = query(reporter_.URLForTimeRecorder(recorder_));
    EXPECT_EQ(listed(q, "it"), (std::multiset<std::string>{"render.100", "render.300"}));
    EXPECT_FALSE(q.count("irt"));
    // Reported variables leave the recorder.
    EXPECT_TRUE(recorder_->completedVariables().empty());
    EXPECT_FALSE(reporter_.URLForTimeRecorder(recorder_));
}

TEST_F(HRNCSITimeRecorderTest, ReportCarriesActionExperimentsParametersAndRelativeTimes) {
    recorder_->startTimeRecorder();
    platform::Clock::advance(1);
    recorder_->startTimingVariableWithName(std::string("fetch"));
    platform::Clock::advance(0.5);
    recorder_->endTimingVariableWithName(std::string("fetch"));
    recorder_->setReportIRT(true);
    recorder_->addExperimentID(std::string("e1"));
    recorder_->addExperimentID(std::string("e2"));
    recorder_->addExperimentID(std::string("e1"));
    recorder_->addExperimentID(std::string("e3"));
    recorder_->removeExperimentID(std::string("e1"));
    recorder_->setCustomizedParameterValueForKey(platform::Value(std::string("x")),
                                                 std::string("extra"));
    recorder_->setCustomizedParameterValueForKey(platform::Value(std::string("y")),
                                                 std::string("extra"));
    recorder_->setCustomizedParameterValueForKey(platform::Value(std::string("z")),
                                                 std::string(""));
    recorder_->setCustomizedParameterValueForKey(std::nullopt, std::string("none"));
    // A customized parameter replaces a standard one of the same name.
    recorder_->setCustomizedParameterValueForKey(platform::Value(std::string("evil")),
                                                 std::string("s"));

    auto url = reporter_.URLForTimeRecorder(recorder_);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString().rfind(kHRNCSIDefaultServer, 0), 0u);
    auto q = query(url);
    EXPECT_EQ(q, (platform::Dictionary{{"s", std::string("evil")},
                                       {"v", std::string("3")},
                                       {"action", std::string("a")},
                                       {"extra", std::string("y")},
                                       {"e", std::string("e2,e3")},
                                       {"it", std::string("fetch.500")},
                                       {"irt", std::string("fetch.1500")}}));
}

TEST_F(HRNCSITimeRecorderTest, InvalidVariablesStayAndReportAnEmptyList) {
    // A page tick of zero length and a variable spoilt by a trip to the background.
    auto zero = HRNCSIVariableTiming::create(std::string("tick0"), 100);
    zero->setLength(0);
    recorder_->addCompletedVariable(zero);
    recorder_->startTimingVariableWithName(std::string("bg"));
    platform::NotificationCenter::defaultCenter().post(
        platform::ui::kApplicationWillResignActiveNotification);
    platform::Clock::advance(2);
    recorder_->endTimingVariableWithName(std::string("bg"));

    auto url = reporter_.URLForTimeRecorder(recorder_);
    ASSERT_TRUE(url);
    // An empty value: the key stands alone in the query.
    const std::string text = "&" + url->query().value_or("") + "&";
    EXPECT_NE(text.find("&it&"), std::string::npos) << text;
    EXPECT_EQ(recorder_->completedVariables().size(), 2u);
    EXPECT_EQ(recorder_->completedVariables().at("bg")->start(), -1.0);
}

TEST(HRNCSIReporterTest, MillisecondsClampBeforeTheyBecomeUnsigned) {
    EXPECT_EQ(HRNCSIReporter::reportMilliseconds(0.0125), 13u);
    EXPECT_EQ(HRNCSIReporter::reportMilliseconds(-3), 0u);
    EXPECT_EQ(HRNCSIReporter::reportMilliseconds(NAN), 0u);
    EXPECT_EQ(HRNCSIReporter::reportMilliseconds(1e30), UINT64_MAX);
}

TEST(HRNCSITest, RegistryHandsOutRecordersOnlyWhenThisLaunchReports) {
    setProbability(0);
    auto off = std::make_shared<HRNCSI>();
    EXPECT_FALSE(off->timeRecorderForAction(std::string("make_wv")));

    setProbability(1);
    auto csi = std::make_shared<HRNCSI>();
    EXPECT_FALSE(csi->timeRecorderForAction(std::nullopt));
    auto recorder = csi->timeRecorderForAction(std::string("make_wv"));
    ASSERT_TRUE(recorder);
    EXPECT_EQ(recorder->experimentIDs(), std::vector<std::string>{HRNRequest::sdkVersion()});
    EXPECT_EQ(recorder->customizedParameters(),
              (platform::Dictionary{{"sdkVersion", HRNRequest::sdkVersion()}}));

    csi->setHWSQueryID(std::string("q-1"));
    EXPECT_EQ(csi->timeRecorderForAction(std::string("make_wv")), recorder);
    EXPECT_EQ(recorder->customizedParameters().at("gqi").asString(), "q-1");
    EXPECT_NE(csi->timeRecorderForAction(std::string("other")), recorder);
}

TEST(HRNCSITest, Timestamps) {
    platform::Clock::useVirtual(1700000000.25);
    setProbability(1);
    auto csi = std::make_shared<HRNCSI>();
    csi->recordTimestampForLabel(std::string("native:view_load"));
    csi->setTimestampForLabel(42, std::string("page"));
    csi->setTimestampForLabel(43, std::nullopt);
    EXPECT_EQ(csi->timestampForLabel(std::string("native:view_load")), 1700000000250);
    EXPECT_EQ(csi->timestampForLabel(std::string("page")), 42);
    EXPECT_EQ(csi->timestampForLabel(std::string("absent")), 0);
    EXPECT_EQ(csi->timestampForLabel(std::nullopt), 0);
}

TEST(HRNCSITest, SendReportSendsEveryRecorderToTheServer) {
    platform::Clock::useVirtual();
    peers::AdServer server;
    ASSERT_GT(server.start(0), 0);
    platform::UserDefaults::standard().set("/heron/ads/csi_reporting_url",
                                           server.URLString("/csi"));
    setProbability(1);
    auto csi = std::make_shared<HRNCSI>();
    for (const char* action : {"make_wv", "fetch_ad", "idle"}) {
        auto recorder = csi->timeRecorderForAction(std::string(action));
        if (std::string(action) == "idle") continue;  // nothing completed: no report
        recorder->startTimingVariableWithName(std::string("step"));
        platform::Clock::advance(0.04);
        recorder->endTimingVariableWithName(std::string("step"));
    }
    csi->setTimestampForLabel(5, std::string("l"));
    csi->sendReport();
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return server.requestCount("/csi") == 2; }, 20));
    EXPECT_EQ(csi->timestampForLabel(std::string("l")), 0);

    std::set<std::string> actions;
    for (const auto& request : server.requests("/csi")) {
        auto q = query(URL::parse(server.URLString("/csi?" + request.query.value_or(""))));
        actions.insert(q.at("action").asString());
        EXPECT_EQ(q.at("it").asString(), "step.40");
        EXPECT_EQ(q.at("s").asString(), "rodi_rar");
        EXPECT_EQ(request.header("User-Agent"), csi->configuration()->userAgent());
    }
    EXPECT_EQ(actions, (std::set<std::string>{"make_wv", "fetch_ad"}));
    platform::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(server.requestCount("/csi"), 2u);
}

TEST(HRNCSIReporterTest, CompletionRunsOnTheMainQueueAndNothingIsSentWhenOff) {
    platform::Clock::useVirtual();
    peers::AdServer server;
    ASSERT_GT(server.start(0), 0);
    auto configuration = std::make_shared<HRNCSIConfiguration>("svc");
    configuration->setServer(server.URLString("/csi"));
    auto recorder = HRNCSITimeRecorder::create(std::string("a"));
    auto variable = HRNCSIVariableTiming::create(std::string("v"), 1);
    variable->setLength(0.002);
    recorder->addCompletedVariable(variable);

    configuration->setReportingEnabled(false);
    HRNCSIReporter(configuration).reportTimeRecorderCompletionBlock(recorder, nullptr);
    configuration->setReportingEnabled(true);
    std::optional<int64_t> status;
    HRNCSIReporter(configuration)
        .reportTimeRecorderCompletionBlock(recorder, [&](const auto& response, const auto& error) {
            EXPECT_TRUE(platform::Queue::main()->isCurrent());
            EXPECT_FALSE(error);
            status = response ? response->statusCode() : -1;
        });
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return status.has_value(); }, 20));
    EXPECT_EQ(server.requestCount("/csi"), 1u);
}

// The "instrument" page message, through the handler as an ad view's chain offers it.
class HRNCSIHMSGHandlerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setProbability(1);
        csi_ = HRNCSI::sharedInstance();
        recorder_ = csi_->timeRecorderForAction(std::string("make_wv"));
        ASSERT_TRUE(recorder_);
    }
    bool send(const std::string& query) {
        auto message =
            HRNNotification::initWithNotificationURL(URL::parse("hmsg://h/instrument?" + query));
        return message && handler_.handleNotificationAdView(*message, nullptr);
    }
    std::shared_ptr<HRNCSI> csi_;
    std::shared_ptr<HRNCSITimeRecorder> recorder_;
    HRNCSIHMSGHandler handler_;
};

TEST_F(HRNCSIHMSGHandlerTest, TickTimesFromItsStartLabel) {
    csi_->setTimestampForLabel(1000, std::string("native:view_load"));
    EXPECT_TRUE(send("action=tick&label=ready&timestamp=1250"));
    // From an explicit start label; equal to the start is kept but never valid.
    csi_->setTimestampForLabel(2000, std::string("s"));
    EXPECT_TRUE(send("action=tick&label=same&timestamp=2000&start_label=s"));
    // Before its start, or without a recorded start: only the timestamp is kept.
    EXPECT_TRUE(send("action=tick&label=early&timestamp=1500&start_label=s"));
    EXPECT_TRUE(send("action=tick&label=orphan&timestamp=7&start_label=nothing"));
    // No label or no usable timestamp: nothing at all.
    EXPECT_TRUE(send("action=tick&timestamp=9"));
    EXPECT_TRUE(send("action=tick&label=bad&timestamp=soon"));

    auto completed = recorder_->completedVariables();
    EXPECT_EQ(completed.size(), 2u);
    ASSERT_TRUE(completed.count("ready"));
    EXPECT_EQ(completed.at("ready")->start(), 1000);
    EXPECT_EQ(completed.at("ready")->length(), 250);
    EXPECT_EQ(csi_->timestampForLabel(std::string("orphan")), 7);
    EXPECT_EQ(csi_->timestampForLabel(std::string("bad")), 0);

    auto q = query(HRNCSIReporter(csi_->configuration()).URLForTimeRecorder(recorder_));
    EXPECT_EQ(q.at("it").asString(), "ready.250000");
}

TEST_F(HRNCSIHMSGHandlerTest, ExperimentExtraAndUnknownActions) {
    EXPECT_TRUE(send("action=experiment&value=exp9"));
    EXPECT_TRUE(send("action=experiment"));
    EXPECT_TRUE(send("action=extra&name=fmt&value=html"));
    EXPECT_TRUE(send("action=extra&name=only"));
    EXPECT_TRUE(send("action=dance&value=1"));
    EXPECT_TRUE(send("value=1"));
    EXPECT_EQ(recorder_->experimentIDs(),
              (std::vector<std::string>{HRNRequest::sdkVersion(), "exp9"}));
    EXPECT_EQ(recorder_->customizedParameters().at("fmt").asString(), "html");
    EXPECT_FALSE(recorder_->customizedParameters().count("only"));

    auto other = HRNNotification::initWithNameParameters("log", {});
    ASSERT_TRUE(other);
    EXPECT_FALSE(handler_.handleNotificationAdView(*other, nullptr));
}

}  // namespace

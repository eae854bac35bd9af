#include "platform/runtime/Runtime.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace platform::runtime {
namespace {

// A small library of its own, registering its names the way every library does.
namespace sample {

class Banner : public Object {
  public:
    std::string className() const override { return "SampleBanner"; }
};

void registerClasses() {
    registerClass("SampleBanner", [] { return std::make_shared<Banner>(); },
                  {"SampleAdapter", "SampleDelegate"});
    registerFramework("SampleKit",
                      {{"SampleAnswer", std::function<int(int)>([](int x) { return x * 2; })},
                       {"SampleVersion", std::string("1.0")}});
}

}  // namespace sample

TEST(Runtime, ClassRegisteredByALibraryIsFoundAndMakesObjects) {
    EXPECT_FALSE(classNamed("SampleBanner"));
    sample::registerClasses();

    auto cls = classNamed("SampleBanner");
    ASSERT_TRUE(cls);
    EXPECT_EQ(cls->name, "SampleBanner");
    auto object = cls->factory();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->className(), "SampleBanner");
    EXPECT_NE(std::dynamic_pointer_cast<sample::Banner>(object), nullptr);
    EXPECT_NE(cls->factory(), object) << "each call makes a new object";

    EXPECT_FALSE(classNamed("SampleInterstitial"));
    EXPECT_FALSE(classNamed(""));
}

TEST(Runtime, ConformanceNeedsBothTheClassAndTheProtocol) {
    sample::registerClasses();
    EXPECT_TRUE(conformsTo("SampleBanner", "SampleAdapter"));
    EXPECT_TRUE(conformsTo("SampleBanner", "SampleDelegate"));
    EXPECT_FALSE(conformsTo("SampleBanner", "SampleRenderer"));
    EXPECT_FALSE(conformsTo("Unknown", "SampleAdapter"));
}

TEST(Runtime, RegisteringANameAgainReplacesIt) {
    sample::registerClasses();
    registerClass("SampleBanner", [] { return nullptr; });
    auto cls = classNamed("SampleBanner");
    ASSERT_TRUE(cls);
    EXPECT_EQ(cls->factory(), nullptr);
    EXPECT_FALSE(conformsTo("SampleBanner", "SampleAdapter"));
}

TEST(Runtime, FrameworkSymbolsAreReadBackByType) {
    EXPECT_EQ(frameworkNamed("SampleKit"), nullptr);
    sample::registerClasses();
    auto kit = frameworkNamed("SampleKit");
    ASSERT_NE(kit, nullptr);
    EXPECT_EQ(kit->name, "SampleKit");

    auto answer = kit->symbol<std::function<int(int)>>("SampleAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ((*answer)(21), 42);
    ASSERT_NE(kit->symbol<std::string>("SampleVersion"), nullptr);
    EXPECT_EQ(*kit->symbol<std::string>("SampleVersion"), "1.0");

    EXPECT_EQ(kit->symbol<int>("SampleVersion"), nullptr) << "wrong type";
    EXPECT_EQ(kit->symbol<std::string>("SampleMissing"), nullptr);
}

TEST(Runtime, AFrameworkMarkedAbsentStaysAbsent) {
    sample::registerClasses();
    auto held = frameworkNamed("SampleKit");
    markFrameworkAbsent("SampleKit");
    EXPECT_EQ(frameworkNamed("SampleKit"), nullptr);
    sample::registerClasses();  // a later registration of every library
    EXPECT_EQ(frameworkNamed("SampleKit"), nullptr);
    ASSERT_NE(held, nullptr) << "a framework already loaded stays usable by its holder";
    EXPECT_NE(held->symbol<std::string>("SampleVersion"), nullptr);
    EXPECT_TRUE(classNamed("SampleBanner")) << "classes are untouched";
}

TEST(Runtime, RegistrationAndLookupFromManyThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                const std::string name = "Class" + std::to_string(t) + "_" + std::to_string(i);
                registerClass(name, [] { return nullptr; }, {"P" + std::to_string(t)});
                EXPECT_TRUE(classNamed(name));
                EXPECT_TRUE(conformsTo(name, "P" + std::to_string(t)));
                registerFramework("F" + std::to_string(t), {{"n", i}});
                EXPECT_NE(frameworkNamed("F" + std::to_string(t)), nullptr);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 8; ++t) {
        EXPECT_TRUE(classNamed("Class" + std::to_string(t) + "_199"));
        EXPECT_EQ(*frameworkNamed("F" + std::to_string(t))->symbol<int>("n"), 199);
    }
}

// A base class and a subclass that adds nothing: what the subclass inherits is found through
// the base, and what the base lacks stays missing.
class SampleBase : public Object {
  public:
    std::string className() const override { return "SampleBase"; }
};

TEST(Runtime, SubclassesInheritProtocolsAndOperations) {
    registerClass(Class{"SampleBase",
                        [] { return std::make_shared<SampleBase>(); },
                        {"SampleAdapter"},
                        "",
                        {"getBanner:"},
                        {{"version", std::function<std::string()>([] { return "2.1"; })}}});
    registerClass(Class{"SampleChild", nullptr, {"SampleDelegate"}, "SampleBase", {"present"}, {}});
    registerClass(Class{"SampleLoopA", nullptr, {}, "SampleLoopB", {}, {}});
    registerClass(Class{"SampleLoopB", nullptr, {}, "SampleLoopA", {}, {}});

    EXPECT_TRUE(conformsTo("SampleChild", "SampleAdapter"));
    EXPECT_TRUE(conformsTo("SampleChild", "SampleDelegate"));
    EXPECT_FALSE(conformsTo("SampleBase", "SampleDelegate"));
    EXPECT_EQ(protocolsOf("SampleChild"),
              (std::set<std::string, std::less<>>{"SampleAdapter", "SampleDelegate"}));
    EXPECT_TRUE(protocolsOf("Unknown").empty());

    EXPECT_TRUE(instancesRespondTo("SampleChild", "getBanner:"));
    EXPECT_TRUE(instancesRespondTo("SampleChild", "present"));
    EXPECT_FALSE(instancesRespondTo("SampleBase", "present"));
    EXPECT_FALSE(instancesRespondTo("Unknown", "present"));
    EXPECT_TRUE(classRespondsTo("SampleChild", "version"));
    EXPECT_FALSE(classRespondsTo("SampleChild", "getBanner:"));
    EXPECT_EQ(classOperation<std::function<std::string()>>("SampleChild", "version").value()(),
              "2.1");
    EXPECT_FALSE(classOperation<int>("SampleChild", "version")) << "another type";

    EXPECT_FALSE(conformsTo("SampleLoopA", "SampleAdapter")) << "a looping chain ends";
    EXPECT_FALSE(instancesRespondTo("SampleLoopB", "present"));

    auto object = createInstance("SampleBase");
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(respondsTo(*object, "getBanner:")) << "by the object's class name";
    EXPECT_EQ(createInstance("SampleChild"), nullptr) << "no factory";
    EXPECT_EQ(createInstance("Unknown"), nullptr);
}

}  // namespace
}  // namespace platform::runtime

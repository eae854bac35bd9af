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
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) {
        EXPECT_TRUE(classNamed("Class" + std::to_string(t) + "_199"));
        EXPECT_EQ(*frameworkNamed("F" + std::to_string(t))->symbol<int>("n"), 199);
    }
}

}  // namespace
}  // namespace platform::runtime

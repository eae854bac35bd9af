#include "platform/runtime/Runtime.h"

#include <mutex>

namespace platform::runtime {
namespace {

struct Table {
    std::mutex mutex;
    std::map<std::string, Class, std::less<>> classes;
    std::map<std::string, std::shared_ptr<const Framework>, std::less<>> frameworks;
    std::set<std::string, std::less<>> absentFrameworks;
};

Table& table() {
    static Table* t = new Table;  // never destroyed: lookups may run during exit
    return *t;
}

}  // namespace

void registerClass(const std::string& name, Factory factory,
                   std::set<std::string, std::less<>> protocols) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.classes[name] = Class{name, std::move(factory), std::move(protocols)};
}

std::optional<Class> classNamed(std::string_view name) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.classes.find(name);
    if (it == t.classes.end()) return std::nullopt;
    return it->second;
}

bool conformsTo(std::string_view className, std::string_view protocolName) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.classes.find(className);
    return it != t.classes.end() && it->second.protocols.contains(protocolName);
}

void registerFramework(const std::string& name,
                       std::map<std::string, std::any, std::less<>> symbols) {
    auto framework = std::make_shared<Framework>(Framework{name, std::move(symbols)});
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.absentFrameworks.contains(name)) return;
    t.frameworks[name] = std::move(framework);
}

std::shared_ptr<const Framework> frameworkNamed(std::string_view name) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.frameworks.find(name);
    return it == t.frameworks.end() ? nullptr : it->second;
}

void markFrameworkAbsent(const std::string& name) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.absentFrameworks.insert(name);
    t.frameworks.erase(name);
}

}  // namespace platform::runtime

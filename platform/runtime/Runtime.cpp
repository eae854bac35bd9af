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

// Calls `visit` with the class and then each superclass until it answers true; answers
// whether one did. The caller holds the lock. A chain that loops or names an unknown class
// ends there.
template <typename Visit>
bool walkChain(const Table& t, std::string_view className, Visit visit) {
    std::set<std::string, std::less<>> seen;
    auto it = t.classes.find(className);
    while (it != t.classes.end() && seen.insert(it->first).second) {
        if (visit(it->second)) return true;
        if (it->second.superclass.empty()) break;
        it = t.classes.find(it->second.superclass);
    }
    return false;
}

}  // namespace

void registerClass(const std::string& name,
                   Factory factory,
                   std::set<std::string, std::less<>> protocols) {
    registerClass(Class{name, std::move(factory), std::move(protocols), {}, {}, {}});
}

void registerClass(Class cls) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    std::string name = cls.name;
    t.classes[name] = std::move(cls);
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
    return walkChain(t, className,
                     [&](const Class& cls) { return cls.protocols.contains(protocolName); });
}

std::set<std::string, std::less<>> protocolsOf(std::string_view className) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    std::set<std::string, std::less<>> protocols;
    walkChain(t, className, [&](const Class& cls) {
        protocols.insert(cls.protocols.begin(), cls.protocols.end());
        return false;
    });
    return protocols;
}

bool instancesRespondTo(std::string_view className, std::string_view operation) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return walkChain(t, className,
                     [&](const Class& cls) { return cls.instanceOperations.contains(operation); });
}

bool classRespondsTo(std::string_view className, std::string_view operation) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return walkChain(t, className,
                     [&](const Class& cls) { return cls.classOperations.contains(operation); });
}

namespace detail {
std::optional<std::any> classOperationValue(std::string_view className,
                                            std::string_view operation) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    std::optional<std::any> value;
    walkChain(t, className, [&](const Class& cls) {
        auto found = cls.classOperations.find(operation);
        if (found == cls.classOperations.end()) return false;
        value = found->second;
        return true;
    });
    return value;
}
}  // namespace detail

std::shared_ptr<Object> createInstance(std::string_view className) {
    std::optional<Class> cls = classNamed(className);
    if (!cls || !cls->factory) return nullptr;
    return cls->factory();
}

bool respondsTo(const Object& object, std::string_view operation) {
    return instancesRespondTo(object.className(), operation);
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

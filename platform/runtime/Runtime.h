#pragma once
// The table of classes looked up by name at run time (storyboard controllers, mediation
// adapters, optional collaborators) and of the "system frameworks" that code loads by name.
//
// Nothing registers itself: each library has one explicit registerClasses() that the app and
// every test main call, because a static link drops objects nobody references. Registering a
// name again replaces the earlier entry. Every call is thread-safe; factories and framework
// functions are called by the caller, never under the table's lock.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace platform::runtime {

// Base of every object made by name.
class Object {
  public:
    virtual ~Object() = default;
    virtual std::string className() const = 0;
};

using Factory = std::function<std::shared_ptr<Object>()>;

// A registered class: its name, how to make one, the protocols it conforms to, and what code
// that finds it by name may ask of it without making one: its superclass (whose protocols and
// operations it inherits), the operations its instances answer and its class operations.
// Operation names are texts of the caller's choosing ("getInterstitial", "setUpWithUserID:");
// a class operation is stored as a std::function (or any value) and read back by its type.
struct Class {
    std::string name;
    Factory factory;
    std::set<std::string, std::less<>> protocols;
    std::string superclass;  // empty for a root class
    std::set<std::string, std::less<>> instanceOperations;
    std::map<std::string, std::any, std::less<>> classOperations;
};

void registerClass(const std::string& name,
                   Factory factory,
                   std::set<std::string, std::less<>> protocols = {});
void registerClass(Class cls);
// The class of that name; std::nullopt when no library registered it.
std::optional<Class> classNamed(std::string_view name);
// Whether the named class is registered and it, or one of its superclasses, conforms to the
// protocol.
bool conformsTo(std::string_view className, std::string_view protocolName);
// Every protocol the class conforms to, its superclasses' included; empty when unknown.
std::set<std::string, std::less<>> protocolsOf(std::string_view className);
// Whether instances of the class (or of a superclass) answer the operation.
bool instancesRespondTo(std::string_view className, std::string_view operation);
// Whether the class (or a superclass) has the class operation.
bool classRespondsTo(std::string_view className, std::string_view operation);
// The class operation as stored by the nearest class of the chain that has it; std::nullopt
// when none has it or it is not a T.
template <typename T>
std::optional<T> classOperation(std::string_view className, std::string_view operation);
// A new object of the named class; nullptr when the class is unknown or has no factory.
std::shared_ptr<Object> createInstance(std::string_view className);
// Whether the object's class answers the operation (instancesRespondTo of its className()).
bool respondsTo(const Object& object, std::string_view operation);

// A framework: a named table of symbols. Functions are stored as std::function values,
// classes as Class, constants as their own type; symbol<T>() reads one back by its type.
struct Framework {
    std::string name;
    std::map<std::string, std::any, std::less<>> symbols;

    // The symbol of that name when it holds a T; nullptr otherwise.
    template <typename T>
    const T* symbol(std::string_view symbolName) const {
        auto it = symbols.find(symbolName);
        return it == symbols.end() ? nullptr : std::any_cast<T>(&it->second);
    }
};

namespace detail {
std::optional<std::any> classOperationValue(std::string_view className, std::string_view operation);
}

template <typename T>
std::optional<T> classOperation(std::string_view className, std::string_view operation) {
    std::optional<std::any> value = detail::classOperationValue(className, operation);
    if (!value) return std::nullopt;
    if (const T* typed = std::any_cast<T>(&*value)) return *typed;
    return std::nullopt;
}

void registerFramework(const std::string& name,
                       std::map<std::string, std::any, std::less<>> symbols);
// The framework of that name; nullptr when it is not registered or marked absent.
std::shared_ptr<const Framework> frameworkNamed(std::string_view name);
// Makes the framework absent for the rest of the process, as on a device that lacks it (tests).
// Later registrations of that name are ignored.
void markFrameworkAbsent(const std::string& name);

}  // namespace platform::runtime

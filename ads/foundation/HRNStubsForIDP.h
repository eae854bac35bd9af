#pragma once
// What the ad SDK asks of the identity provider's sign-in library, which is not linked: the
// library's classes are found by name in platform/runtime ("IDPSignIn", "IDPUser",
// "IDPAuthentication") and used only through these operations. Nothing here is registered by
// the SDK; without the library there are no signed-in users.
//
// A class answers these operations when it is registered conforming to the protocol of the same
// name and the objects it hands out derive from the class below. The sign-in class's factory is
// its shared instance (every call answers the same object).
//
// Threading: the SDK calls the sign-in library on the main thread only. A key-path observer may
// be called on any thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/Runtime.h"

inline constexpr const char* kHRNIDPSignInClassName = "IDPSignIn";
inline constexpr const char* kHRNIDPUserClassName = "IDPUser";
inline constexpr const char* kHRNIDPAuthenticationClassName = "IDPAuthentication";

// The signed-in user's authentication ("IDPAuthentication").
class HRNStubsForGTMOAuth2Authentication : public virtual platform::runtime::Object {
  public:
    virtual std::optional<std::string> idToken() const = 0;
    virtual std::optional<std::string> refreshToken() const = 0;
};

// A signed-in user ("IDPUser").
class HRNStubsForIDPUser : public virtual platform::runtime::Object {
  public:
    virtual std::shared_ptr<HRNStubsForGTMOAuth2Authentication> authentication() const = 0;
};

// The sign-in object ("IDPSignIn").
class HRNStubsForIDP : public virtual platform::runtime::Object {
  public:
    // Whether the library reports changes of "currentUser" to key-path observers.
    virtual bool supportsCurrentUserKVO() const = 0;
    virtual std::optional<std::string> clientID() const = 0;
    virtual std::shared_ptr<HRNStubsForIDPUser> currentUser() const = 0;
    // Calls `changed` after every change of the key path ("currentUser", "clientID") until the
    // observer is removed. Answers the observer's id.
    virtual uint64_t addObserverForKeyPath(const std::string& keyPath,
                                           std::function<void()> changed) = 0;
    virtual void removeObserver(uint64_t observerID) = 0;
};

// The sign-in library's shared sign-in object, or null when the library is absent or lacks an
// operation the SDK needs. The classes are looked up on the first call only.
std::shared_ptr<HRNStubsForIDP> HRNIdentitySignInSharedInstance();

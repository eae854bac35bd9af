#include "ads/foundation/HRNStubsForIDP.h"

#include <mutex>

namespace {

// The sign-in class when the library is present and answers everything the SDK asks of it.
std::optional<platform::runtime::Class> acceptedSignInClass() {
    using platform::runtime::classNamed;
    using platform::runtime::conformsTo;
    auto signIn = classNamed(kHRNIDPSignInClassName);
    if (!signIn || !signIn->factory) return std::nullopt;
    if (!conformsTo(kHRNIDPSignInClassName, "HRNStubsForIDP") ||
        !conformsTo(kHRNIDPUserClassName, "HRNStubsForIDPUser") ||
        !conformsTo(kHRNIDPAuthenticationClassName, "HRNStubsForGTMOAuth2Authentication"))
        return std::nullopt;
    auto shared = std::dynamic_pointer_cast<HRNStubsForIDP>(signIn->factory());
    if (!shared || !shared->supportsCurrentUserKVO()) return std::nullopt;
    return signIn;
}

}  // namespace

std::shared_ptr<HRNStubsForIDP> HRNIdentitySignInSharedInstance() {
    static std::once_flag once;
    static std::optional<platform::runtime::Class>* accepted = nullptr;
    std::call_once(once, [] {
        accepted = new std::optional<platform::runtime::Class>(acceptedSignInClass());
    });
    if (!*accepted) return nullptr;
    return std::dynamic_pointer_cast<HRNStubsForIDP>((*accepted)->factory());
}

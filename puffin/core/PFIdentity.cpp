#include "puffin/core/PFIdentity.h"

#include <net/if.h>

#include <cctype>
#include <cstdlib>
#include <memory>

#include "platform/device/Device.h"
#include "platform/device/SystemVersion.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFUtilities.h"
#include "puffin/networking/PFCrypto.h"

using platform::Data;
using platform::Value;

namespace {

std::shared_ptr<PFAdvertisingIdentifierManager> advertisingManager() {
    auto cls =
        PFDynamicallyLoadedDependencies::loadClassWithFramework("ASIdentifierManager", "AdSupport");
    if (!cls && PFCompareVersions(platform::device::systemVersion(), "6.0") >= 0)
        PFLogWarn(
            "WARNING: It looks like you've forgotten to link to the AdSupport framework.\n"
            "The Puffin SDK reads the advertising identifier through it; see the Puffin "
            "integration guide, section \"AdSupport framework\".");
    if (!cls || !cls->factory) return nullptr;
    return std::dynamic_pointer_cast<PFAdvertisingIdentifierManager>(cls->factory());
}

// The 16 bytes of a UUID text ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), or std::nullopt.
std::optional<Data> uuidBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == '-') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        const int nibble = std::isdigit(static_cast<unsigned char>(c))
                               ? c - '0'
                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    if (bytes.size() != 16 || high >= 0) return std::nullopt;
    return Data(std::move(bytes));
}

Value orNull(const std::optional<std::string>& text) {
    return text ? Value(*text) : Value();
}

}  // namespace

std::string PFIdentity::hexIdentifier() {
    return combinedIdentifier();
}

std::string PFIdentity::combinedIdentifier() {
    const platform::Dictionary identity{
        {"uuid", orNull(pfui())},
        {"macid", orNull(pfhhna())},
        {"ifa", orNull(pfuia())},
        {"ifv", orNull(pfuiv())},
    };
    return *PFUtilities::base64Encode(platform::json::serialize(identity, true).value_or("{}"));
}

std::optional<Data> PFIdentity::pfma() {
    if (if_nametoindex("en0") == 0) return std::nullopt;
    auto text = platform::files::readText("/sys/class/net/en0/address");
    if (!text) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text->size() && bytes.size() < 6; i += 3) {
        const std::string pair = text->substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])))
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(std::strtol(pair.c_str(), nullptr, 16)));
    }
    if (bytes.size() != 6) return std::nullopt;
    return Data(std::move(bytes));
}

std::optional<std::string> PFIdentity::pfhhna() {
    auto address = pfma();
    if (!address) return std::nullopt;
    return PFCrypto::hexRepresentationOfData(PFCrypto::SHA1DataWithData(address));
}

std::optional<std::string> PFIdentity::pfui() {
    return std::nullopt;
}

std::optional<std::string> PFIdentity::pfuia() {
    auto manager = advertisingManager();
    if (!manager) return std::nullopt;
    return PFCrypto::hexRepresentationOfData(uuidBytes(manager->advertisingIdentifier()));
}

std::optional<std::string> PFIdentity::pfuiv() {
    return PFCrypto::hexRepresentationOfData(uuidBytes(platform::device::identifierForVendor()));
}

bool PFIdentity::advertisingTrackingEnabled() {
    auto manager = advertisingManager();
    return manager ? manager->isAdvertisingTrackingEnabled() : true;
}

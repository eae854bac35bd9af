// Web-ad templates as the video network's server sends them: the ad's values for a template's
// placeholders (a JSON object, placeholder text to value, with the reward's two among them) and
// the template's HTML page, filled in the way the web video view asks for its page.
//
// Input: the JSON object, the separator "\n--page--\n", then the HTML.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "platform/foundation/PropertyList.h"
#include "puffin/core/PFAdUnitData.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto parts = qen::fuzz::split(input, "\n--page--\n", 2);
    const std::string html = parts.size() > 1 ? std::string(parts[1]) : std::string();
    auto values = platform::json::parse(std::string(parts[0]));

    auto source = PFAdUnitData::initWithResponse(platform::Dictionary{{"template", "endcard"}});
    if (values && values->isDictionary()) source->setInjectionData(*values->dictionary());
    auto record = PFAdUnitData::initWithTemplate(source);
    record->setID("endcard_ad");
    record->setPropertiesFromInjection();
    const std::string page = record->injectHtml(html);
    // A page is given whole or not at all: nothing of a placeholder is left in it.
    if (!page.empty() && page.find("{{") != std::string::npos) __builtin_trap();
    return 0;
}

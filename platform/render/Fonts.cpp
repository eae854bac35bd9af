#include "platform/render/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <cmath>

namespace platform::render {
namespace {

bool sameName(const FcChar8* a, const std::string& b) {
    return a && ::strcasecmp(reinterpret_cast<const char*>(a), b.c_str()) == 0;
}

// Whether the best match for the family carries that family among its names.
bool familyMatches(const std::string& name, double size) {
    FcPattern* pattern = FcPatternBuild(nullptr, FC_FAMILY, FcTypeString,
                                        reinterpret_cast<const FcChar8*>(name.c_str()), FC_SIZE,
                                        FcTypeDouble, size, static_cast<char*>(nullptr));
    if (!pattern) return false;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    bool found = false;
    FcChar8* family = nullptr;
    for (int i = 0; !found && FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch;
         ++i) {
        found = sameName(family, name);
    }
    FcPatternDestroy(match);
    return found;
}

// Whether some installed face has this full name ("Noto Sans CJK SC Bold").
bool fullNameListed(const std::string& name) {
    FcPattern* pattern =
        FcPatternBuild(nullptr, FC_FULLNAME, FcTypeString,
                       reinterpret_cast<const FcChar8*>(name.c_str()), static_cast<char*>(nullptr));
    if (!pattern) return false;
    FcObjectSet* objects = FcObjectSetBuild(FC_FULLNAME, static_cast<char*>(nullptr));
    FcFontSet* fonts = objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    bool found = false;
    for (int i = 0; fonts && !found && i < fonts->nfont; ++i) {
        FcChar8* fullName = nullptr;
        for (int j = 0; !found && FcPatternGetString(fonts->fonts[i], FC_FULLNAME, j, &fullName) ==
                                      FcResultMatch;
             ++j) {
            found = sameName(fullName, name);
        }
    }
    if (fonts) FcFontSetDestroy(fonts);
    if (objects) FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace

bool fontExists(const std::string& name, double size) {
    if (name.empty() || !std::isfinite(size) || size <= 0) return false;
    if (!FcInit()) return false;
    return familyMatches(name, size) || fullNameListed(name);
}

}  // namespace platform::render

#include "platform/ui/StoryboardFormat.h"

#include <cstdlib>
#include <set>

#include "platform/foundation/Log.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

namespace platform::ui::detail {

void fatal(const std::string& message) {
    log(message);
    std::abort();
}

namespace {

using Setter = std::function<void(View&)>;

// The view types of the format and the keys each takes besides the common ones.
const std::set<std::string, std::less<>> kCommonKeys = {"type",
                                                        "class",
                                                        "frame",
                                                        "name",
                                                        "outlet",
                                                        "tag",
                                                        "hidden",
                                                        "alpha",
                                                        "opaque",
                                                        "clipsToBounds",
                                                        "userInteractionEnabled",
                                                        "backgroundColor",
                                                        "subviews"};
const std::set<std::string, std::less<>> kControlKeys = {"enabled", "selected", "actions", "segue"};
const std::map<std::string, std::set<std::string, std::less<>>, std::less<>> kTypeKeys = {
    {"view", {}},
    {"label", {"text", "font", "textColor", "textAlignment", "numberOfLines", "lineBreakMode"}},
    {"button", {"titles", "titleColors", "images", "backgroundImages", "font"}},
    {"imageView", {"image", "highlightedImage", "contentMode"}},
    {"textField",
     {"text", "placeholder", "font", "textColor", "textAlignment", "keyboardType", "borderStyle",
      "delegate"}},
    {"tableView", {"rowHeight", "separatorStyle", "dataSource", "delegate", "prototypes"}},
    {"tableViewCell", {"reuseIdentifier", "accessoryType", "selectionStyle"}},
};

bool isControlType(std::string_view type) {
    return type == "button" || type == "textField";
}

template <typename E>
std::optional<E> lookupName(const std::map<std::string, E, std::less<>>& names,
                            const Value& value) {
    if (!value.string()) return std::nullopt;
    auto it = names.find(*value.string());
    if (it == names.end()) return std::nullopt;
    return it->second;
}

const std::map<std::string, ControlState, std::less<>> kStates = {
    {"normal", ControlState::Normal},
    {"highlighted", ControlState::Highlighted},
    {"disabled", ControlState::Disabled},
    {"selected", ControlState::Selected}};
const std::map<std::string, ControlEvent, std::less<>> kEvents = {
    {"touchDown", ControlEvent::TouchDown},
    {"touchDragInside", ControlEvent::TouchDragInside},
    {"touchDragOutside", ControlEvent::TouchDragOutside},
    {"touchUpInside", ControlEvent::TouchUpInside},
    {"touchUpOutside", ControlEvent::TouchUpOutside},
    {"touchCancel", ControlEvent::TouchCancel},
    {"valueChanged", ControlEvent::ValueChanged},
    {"editingDidBegin", ControlEvent::EditingDidBegin},
    {"editingChanged", ControlEvent::EditingChanged},
    {"editingDidEnd", ControlEvent::EditingDidEnd},
    {"editingDidEndOnExit", ControlEvent::EditingDidEndOnExit}};
const std::map<std::string, TextAlignment, std::less<>> kAlignments = {
    {"left", TextAlignment::Left},
    {"center", TextAlignment::Center},
    {"right", TextAlignment::Right}};
const std::map<std::string, LineBreak, std::less<>> kLineBreaks = {
    {"wordWrap", LineBreak::WordWrap},
    {"charWrap", LineBreak::CharWrap},
    {"truncateTail", LineBreak::TruncateTail}};
const std::map<std::string, ContentMode, std::less<>> kContentModes = {
    {"scaleToFill", ContentMode::ScaleToFill},
    {"aspectFit", ContentMode::AspectFit},
    {"aspectFill", ContentMode::AspectFill},
    {"center", ContentMode::Center}};
const std::map<std::string, KeyboardType, std::less<>> kKeyboards = {
    {"default", KeyboardType::Default},
    {"numberPad", KeyboardType::NumberPad},
    {"decimalPad", KeyboardType::DecimalPad}};
const std::map<std::string, TextBorderStyle, std::less<>> kBorders = {
    {"none", TextBorderStyle::None},
    {"line", TextBorderStyle::Line},
    {"roundedRect", TextBorderStyle::RoundedRect}};
const std::map<std::string, TableViewCellSeparatorStyle, std::less<>> kSeparators = {
    {"none", TableViewCellSeparatorStyle::None},
    {"singleLine", TableViewCellSeparatorStyle::SingleLine}};
const std::map<std::string, TableViewCellAccessoryType, std::less<>> kAccessories = {
    {"none", TableViewCellAccessoryType::None},
    {"checkmark", TableViewCellAccessoryType::Checkmark}};
const std::map<std::string, TableViewCellSelectionStyle, std::less<>> kSelectionStyles = {
    {"none", TableViewCellSelectionStyle::None},
    {"default", TableViewCellSelectionStyle::Default}};

std::string names(const auto& table) {
    std::string out;
    for (const auto& [name, value] : table)
        out += (out.empty() ? "" : ", ") + name;
    return out;
}

// A picture of the bundle by name; a missing one is logged where the view is made.
ImageRef pictureNamed(const std::string& name, const std::string& path) {
    auto image = imageNamed(name);
    if (!image) log(path + ": no picture named \"" + name + "\" in the bundle");
    return image;
}

class Parser {
  public:
    std::string error;

    bool fail(const std::string& path, const std::string& message) {
        if (error.empty()) error = path + ": " + message;
        return false;
    }

    std::optional<double> number(const Value& v, const std::string& path) {
        if (!v.isNumber()) {
            fail(path, "expected a number");
            return std::nullopt;
        }
        return v.asReal();
    }

    std::optional<std::string> text(const Value& v, const std::string& path) {
        if (!v.string()) {
            fail(path, "expected a text");
            return std::nullopt;
        }
        return *v.string();
    }

    std::optional<bool> boolean(const Value& v, const std::string& path) {
        if (!v.isBool()) {
            fail(path, "expected true or false");
            return std::nullopt;
        }
        return v.asBool();
    }

    template <typename E>
    std::optional<E> oneOf(const std::map<std::string, E, std::less<>>& table,
                           const Value& v,
                           const std::string& path) {
        auto e = lookupName(table, v);
        if (!e) fail(path, "expected one of " + names(table));
        return e;
    }

    std::optional<Rect> rect(const Value& v, const std::string& path) {
        const Array* a = v.array();
        if (!a || a->size() != 4 ||
            !std::all_of(a->begin(), a->end(), [](const Value& n) { return n.isNumber(); })) {
            fail(path, "expected [x, y, width, height]");
            return std::nullopt;
        }
        return Rect((*a)[0].asReal(), (*a)[1].asReal(), (*a)[2].asReal(), (*a)[3].asReal());
    }

    // "#rrggbb", "#rgb", "clear", or [r, g, b] / [r, g, b, alpha] with r, g, b 0..255 and
    // alpha 0..1.
    std::optional<Color> color(const Value& v, const std::string& path) {
        if (const std::string* s = v.string()) {
            if (*s == "clear") return Color::clear();
            if (auto c = Color::fromHex(*s)) return c;
        } else if (const Array* a = v.array()) {
            bool numbers =
                std::all_of(a->begin(), a->end(), [](const Value& n) { return n.isNumber(); });
            if (numbers && (a->size() == 3 || a->size() == 4)) {
                return Color::fromRGB255(
                    static_cast<int>((*a)[0].asInteger()), static_cast<int>((*a)[1].asInteger()),
                    static_cast<int>((*a)[2].asInteger()), a->size() == 4 ? (*a)[3].asReal() : 1.0);
            }
        }
        fail(path, "expected \"#rrggbb\", \"clear\" or [r, g, b(, alpha)]");
        return std::nullopt;
    }

    // {"family": text (optional), "size": number, "bold": bool (optional)}
    std::optional<render::Font> font(const Value& v, const std::string& path) {
        if (!v.dictionary()) {
            fail(path, "expected {\"family\", \"size\", \"bold\"}");
            return std::nullopt;
        }
        render::Font f;
        bool hasSize = false;
        for (const auto& [key, value] : *v.dictionary()) {
            std::string at = path + "." + key;
            if (key == "family") {
                auto t = text(value, at);
                if (!t) return std::nullopt;
                f.family = *t;
            } else if (key == "size") {
                auto n = number(value, at);
                if (!n) return std::nullopt;
                f.size = *n;
                hasSize = true;
            } else if (key == "bold") {
                auto b = boolean(value, at);
                if (!b) return std::nullopt;
                f.bold = *b;
            } else {
                fail(at, "unknown key");
                return std::nullopt;
            }
        }
        if (!hasSize) {
            fail(path, "a font needs a size");
            return std::nullopt;
        }
        return f;
    }

    // {"normal": x, "highlighted": x, ...} read with `item`, each made into a setter.
    template <typename Item>
    bool perState(const Value& v, const std::string& path, Item item, ViewSpec& spec) {
        if (!v.dictionary()) return fail(path, "expected {\"normal\": ..., ...}");
        for (const auto& [key, value] : *v.dictionary()) {
            auto state = lookupName(kStates, Value(key));
            if (!state) return fail(path + "." + key, "expected one of " + names(kStates));
            if (!item(value, path + "." + key, *state, spec)) return false;
        }
        return true;
    }

    bool actions(const Value& v, const std::string& path, ViewSpec& spec) {
        if (!v.dictionary()) return fail(path, "expected {\"event\": \"action:\", ...}");
        for (const auto& [key, value] : *v.dictionary()) {
            std::string at = path + "." + key;
            auto event = lookupName(kEvents, Value(key));
            if (!event) return fail(at, "expected one of " + names(kEvents));
            std::vector<const Value*> list;
            if (const Array* a = value.array()) {
                for (const Value& item : *a)
                    list.push_back(&item);
            } else {
                list.push_back(&value);
            }
            for (const Value* item : list) {
                if (!item->string() || item->string()->empty()) {
                    return fail(at, "expected an action name or a list of them");
                }
                spec.actions.emplace_back(*event, *item->string());
            }
        }
        return true;
    }

    bool owner(const Value& v, const std::string& path, bool& flag) {
        if (!v.string() || *v.string() != "owner") return fail(path, "expected \"owner\"");
        flag = true;
        return true;
    }

    bool property(const std::string& key,
                  const Value& v,
                  const std::string& at,
                  ViewSpec& spec,
                  bool inScene);

    bool view(const Value& v, const std::string& path, bool topLevel, bool inScene, ViewSpec& spec);
};

bool Parser::property(const std::string& key,
                      const Value& v,
                      const std::string& at,
                      ViewSpec& spec,
                      bool inScene) {
    auto add = [&](Setter s) {
        spec.setters.push_back(std::move(s));
        return true;
    };
    const std::string& type = spec.type;
    // Common keys.
    if (key == "type" || key == "class" || key == "frame" || key == "subviews") return true;
    if (key == "name") {
        auto t = text(v, at);
        return t && add([t = *t](View& view) { view.setName(t); });
    }
    if (key == "outlet") {
        auto t = text(v, at);
        if (!t) return false;
        if (t->empty()) return fail(at, "an outlet needs a name");
        spec.outlet = *t;
        return true;
    }
    if (key == "tag") {
        if (!v.isInteger()) return fail(at, "expected an integer");
        return add([n = v.asInteger()](View& view) { view.setTag(n); });
    }
    if (key == "hidden" || key == "opaque" || key == "clipsToBounds" ||
        key == "userInteractionEnabled" || key == "enabled" || key == "selected") {
        auto b = boolean(v, at);
        if (!b) return false;
        if (key == "hidden") return add([b = *b](View& view) { view.setHidden(b); });
        if (key == "opaque") return add([b = *b](View& view) { view.setOpaque(b); });
        if (key == "clipsToBounds") return add([b = *b](View& view) { view.setClipsToBounds(b); });
        if (key == "userInteractionEnabled") {
            return add([b = *b](View& view) { view.setUserInteractionEnabled(b); });
        }
        if (key == "enabled") {
            return add([b = *b](View& view) { static_cast<Control&>(view).setEnabled(b); });
        }
        return add([b = *b](View& view) { static_cast<Control&>(view).setSelected(b); });
    }
    if (key == "alpha") {
        auto n = number(v, at);
        return n && add([n = *n](View& view) { view.setAlpha(n); });
    }
    if (key == "backgroundColor") {
        auto c = color(v, at);
        return c && add([c = *c](View& view) { view.setBackgroundColor(c); });
    }
    // Controls.
    if (key == "actions") return actions(v, at, spec);
    if (key == "segue") {
        if (!inScene) return fail(at, "segues belong to storyboard scenes");
        auto t = text(v, at);
        if (!t) return false;
        spec.segue = *t;
        return true;
    }
    // Text of labels and text fields.
    if (key == "text") {
        auto t = text(v, at);
        if (!t) return false;
        if (type == "label")
            return add([t = *t](View& view) { static_cast<Label&>(view).setText(t); });
        return add([t = *t](View& view) { static_cast<TextField&>(view).setText(t); });
    }
    if (key == "font") {
        auto f = font(v, at);
        if (!f) return false;
        if (type == "label")
            return add([f = *f](View& view) { static_cast<Label&>(view).setFont(f); });
        if (type == "button") {
            return add([f = *f](View& view) { static_cast<Button&>(view).setTitleFont(f); });
        }
        return add([f = *f](View& view) { static_cast<TextField&>(view).setFont(f); });
    }
    if (key == "textColor") {
        auto c = color(v, at);
        if (!c) return false;
        if (type == "label") {
            return add([c = *c](View& view) { static_cast<Label&>(view).setTextColor(c); });
        }
        return add([c = *c](View& view) { static_cast<TextField&>(view).setTextColor(c); });
    }
    if (key == "textAlignment") {
        auto a = oneOf(kAlignments, v, at);
        if (!a) return false;
        if (type == "label") {
            return add([a = *a](View& view) { static_cast<Label&>(view).setTextAlignment(a); });
        }
        return add([a = *a](View& view) { static_cast<TextField&>(view).setTextAlignment(a); });
    }
    if (key == "numberOfLines") {
        if (!v.isInteger() || v.asInteger() < 0) return fail(at, "expected an integer >= 0");
        return add([n = static_cast<int>(v.asInteger())](View& view) {
            static_cast<Label&>(view).setNumberOfLines(n);
        });
    }
    if (key == "lineBreakMode") {
        auto m = oneOf(kLineBreaks, v, at);
        return m && add([m = *m](View& view) { static_cast<Label&>(view).setLineBreakMode(m); });
    }
    // Buttons.
    if (key == "titles") {
        return perState(
            v, at,
            [&](const Value& item, const std::string& p, ControlState s, ViewSpec& sp) {
                auto t = text(item, p);
                if (!t) return false;
                sp.setters.push_back(
                    [t = *t, s](View& view) { static_cast<Button&>(view).setTitle(t, s); });
                return true;
            },
            spec);
    }
    if (key == "titleColors") {
        return perState(
            v, at,
            [&](const Value& item, const std::string& p, ControlState s, ViewSpec& sp) {
                auto c = color(item, p);
                if (!c) return false;
                sp.setters.push_back(
                    [c = *c, s](View& view) { static_cast<Button&>(view).setTitleColor(c, s); });
                return true;
            },
            spec);
    }
    if (key == "images" || key == "backgroundImages") {
        bool background = key == "backgroundImages";
        return perState(
            v, at,
            [&](const Value& item, const std::string& p, ControlState s, ViewSpec& sp) {
                auto t = text(item, p);
                if (!t) return false;
                sp.setters.push_back([t = *t, s, background, p](View& view) {
                    auto& button = static_cast<Button&>(view);
                    auto image = pictureNamed(t, p);
                    if (background) {
                        button.setBackgroundImage(image, s);
                    } else {
                        button.setImage(image, s);
                    }
                });
                return true;
            },
            spec);
    }
    // Image views.
    if (key == "image" || key == "highlightedImage") {
        auto t = text(v, at);
        if (!t) return false;
        bool highlighted = key == "highlightedImage";
        return add([t = *t, highlighted, at](View& view) {
            auto& imageView = static_cast<ImageView&>(view);
            auto image = pictureNamed(t, at);
            if (highlighted) {
                imageView.setHighlightedImage(image);
            } else {
                imageView.setImage(image);
            }
        });
    }
    if (key == "contentMode") {
        auto m = oneOf(kContentModes, v, at);
        return m && add([m = *m](View& view) { static_cast<ImageView&>(view).setContentMode(m); });
    }
    // Text fields.
    if (key == "placeholder") {
        auto t = text(v, at);
        return t && add([t = *t](View& view) { static_cast<TextField&>(view).setPlaceholder(t); });
    }
    if (key == "keyboardType") {
        auto k = oneOf(kKeyboards, v, at);
        return k && add([k = *k](View& view) { static_cast<TextField&>(view).setKeyboardType(k); });
    }
    if (key == "borderStyle") {
        auto b = oneOf(kBorders, v, at);
        return b && add([b = *b](View& view) { static_cast<TextField&>(view).setBorderStyle(b); });
    }
    if (key == "delegate") return owner(v, at, spec.delegateIsOwner);
    // Tables.
    if (key == "dataSource") return owner(v, at, spec.dataSourceIsOwner);
    if (key == "rowHeight") {
        auto n = number(v, at);
        return n && add([n = *n](View& view) { static_cast<TableView&>(view).setRowHeight(n); });
    }
    if (key == "separatorStyle") {
        auto s = oneOf(kSeparators, v, at);
        return s &&
               add([s = *s](View& view) { static_cast<TableView&>(view).setSeparatorStyle(s); });
    }
    if (key == "prototypes") {
        const Array* a = v.array();
        if (!a) return fail(at, "expected a list of cells");
        for (size_t i = 0; i < a->size(); ++i) {
            std::string p = at + "[" + std::to_string(i) + "]";
            ViewSpec cell;
            if (!view((*a)[i], p, true, inScene, cell)) return false;
            const Value* id = (*a)[i].find("reuseIdentifier");
            if (cell.type != "tableViewCell" || !id || !id->string() || id->string()->empty()) {
                return fail(p, "a prototype is a tableViewCell with a reuseIdentifier");
            }
            if (!cell.segue.empty()) return fail(p, "a prototype cell cannot trigger segues");
            spec.prototypes.emplace_back(*id->string(),
                                         std::make_shared<const ViewSpec>(std::move(cell)));
        }
        return true;
    }
    // Cells.
    if (key == "reuseIdentifier") {
        auto t = text(v, at);
        return t && add([t = *t](View& view) {
                   static_cast<TableViewCell&>(view).setReuseIdentifier(t);
               });
    }
    if (key == "accessoryType") {
        auto a = oneOf(kAccessories, v, at);
        return a &&
               add([a = *a](View& view) { static_cast<TableViewCell&>(view).setAccessoryType(a); });
    }
    if (key == "selectionStyle") {
        auto s = oneOf(kSelectionStyles, v, at);
        return s && add([s = *s](View& view) {
                   static_cast<TableViewCell&>(view).setSelectionStyle(s);
               });
    }
    return fail(at, "unknown key");
}

bool Parser::view(const Value& v,
                  const std::string& path,
                  bool topLevel,
                  bool inScene,
                  ViewSpec& spec) {
    if (!v.dictionary()) return fail(path, "expected a view description");
    spec.path = path;
    const Value* type = v.find("type");
    if (!type || !type->string()) return fail(path, "a view needs a \"type\"");
    auto keys = kTypeKeys.find(*type->string());
    if (keys == kTypeKeys.end()) return fail(path + ".type", "expected one of " + names(kTypeKeys));
    spec.type = *type->string();
    if (const Value* cls = v.find("class")) {
        auto t = text(*cls, path + ".class");
        if (!t) return false;
        spec.className = *t;
    }
    if (const Value* frame = v.find("frame")) {
        spec.frame = rect(*frame, path + ".frame");
        if (!spec.frame) return false;
    } else if (!topLevel) {
        return fail(path, "a subview needs a \"frame\"");
    }
    for (const auto& [key, value] : *v.dictionary()) {
        std::string at = path + "." + key;
        bool known = kCommonKeys.count(key) || keys->second.count(key) ||
                     (isControlType(spec.type) && kControlKeys.count(key));
        if (!known) return fail(at, "unknown key for a " + spec.type);
        if (!property(key, value, at, spec, inScene)) return false;
    }
    if (const Value* subviews = v.find("subviews")) {
        const Array* a = subviews->array();
        if (!a) return fail(path + ".subviews", "expected a list of views");
        for (size_t i = 0; i < a->size(); ++i) {
            ViewSpec child;
            if (!view((*a)[i], path + ".subviews[" + std::to_string(i) + "]", false, inScene,
                      child)) {
                return false;
            }
            spec.subviews.push_back(std::move(child));
        }
    }
    return true;
}

// Every control segue of the tree names a segue of the scene.
bool checkSegueTriggers(Parser& parser, const ViewSpec& spec, const Scene& scene) {
    if (!spec.segue.empty() && !scene.segues.count(spec.segue)) {
        return parser.fail(spec.path + ".segue", "the scene has no segue \"" + spec.segue + "\"");
    }
    for (const auto& child : spec.subviews) {
        if (!checkSegueTriggers(parser, child, scene)) return false;
    }
    return true;
}

// ---- Building ----

std::shared_ptr<View> makeView(const ViewSpec& spec, const std::string& where) {
    std::string at = where + ", " + spec.path;
    const std::string& t = spec.type;
    if (!spec.className.empty()) {
        if (t == "label") return makeRegistered<Label>(spec.className, at);
        if (t == "button") return makeRegistered<Button>(spec.className, at);
        if (t == "imageView") return makeRegistered<ImageView>(spec.className, at);
        if (t == "textField") return makeRegistered<TextField>(spec.className, at);
        if (t == "tableView") return makeRegistered<TableView>(spec.className, at);
        if (t == "tableViewCell") return makeRegistered<TableViewCell>(spec.className, at);
        return makeRegistered<View>(spec.className, at);
    }
    if (t == "label") return std::make_shared<Label>();
    if (t == "button") return std::make_shared<Button>();
    if (t == "imageView") return std::make_shared<ImageView>();
    if (t == "textField") return std::make_shared<TextField>();
    if (t == "tableView") return std::make_shared<TableView>();
    if (t == "tableViewCell") return std::make_shared<TableViewCell>();
    return std::make_shared<View>();
}

// What the tree asks of its owner, gathered while building and done once the tree exists.
struct Links {
    std::vector<std::pair<const ViewSpec*, std::shared_ptr<View>>> views;
};

std::shared_ptr<View> build(const ViewSpec& spec, const std::string& where, Links& links) {
    auto view = makeView(spec, where);
    if (spec.frame) view->setFrame(*spec.frame);
    for (const auto& set : spec.setters)
        set(*view);
    // Scripts tap views by name; an outlet names its view unless a name is given.
    if (view->name().empty() && !spec.outlet.empty()) view->setName(spec.outlet);
    if (auto table = std::dynamic_pointer_cast<TableView>(view)) {
        for (const auto& [reuseIdentifier, cell] : spec.prototypes) {
            table->registerNib(std::make_shared<const Nib>(where + ", " + cell->path, cell),
                               reuseIdentifier);
        }
    }
    auto cell = std::dynamic_pointer_cast<TableViewCell>(view);
    for (const auto& childSpec : spec.subviews) {
        auto child = build(childSpec, where, links);
        if (cell) {
            cell->contentView()->addSubview(child);
        } else {
            view->addSubview(child);
        }
    }
    links.views.emplace_back(&spec, view);
    return view;
}

template <typename T>
std::shared_ptr<T> ownerAs(const std::shared_ptr<OutletOwner>& owner,
                           const std::string& at,
                           const char* what) {
    auto typed = std::dynamic_pointer_cast<T>(owner);
    if (!typed) fatal(at + ": the owner is not a " + what);
    return typed;
}

}  // namespace

std::shared_ptr<const StoryboardData> parseStoryboard(const Value& root,
                                                      const std::string& name,
                                                      std::string* error) {
    Parser parser;
    auto data = std::make_shared<StoryboardData>();
    data->name = name;
    auto done = [&]() -> std::shared_ptr<const StoryboardData> {
        if (!parser.error.empty()) {
            if (error) *error = parser.error;
            return nullptr;
        }
        return data;
    };
    if (!root.dictionary()) {
        parser.fail("storyboard", "expected {\"initialScene\", \"scenes\"}");
        return done();
    }
    for (const auto& [key, value] : *root.dictionary()) {
        if (key != "initialScene" && key != "scenes") parser.fail(key, "unknown key");
    }
    const Value* initial = root.find("initialScene");
    const Value* scenes = root.find("scenes");
    if (!initial || !initial->string()) parser.fail("initialScene", "expected a scene identifier");
    if (!scenes || !scenes->array()) parser.fail("scenes", "expected a list of scenes");
    if (!parser.error.empty()) return done();
    data->initialScene = *initial->string();

    for (size_t i = 0; i < scenes->array()->size() && parser.error.empty(); ++i) {
        const Value& s = (*scenes->array())[i];
        std::string path = "scenes[" + std::to_string(i) + "]";
        if (!s.dictionary()) {
            parser.fail(path, "expected a scene");
            break;
        }
        auto scene = std::make_shared<Scene>();
        for (const auto& [key, value] : *s.dictionary()) {
            std::string at = path + "." + key;
            if (key == "id") {
                if (auto t = parser.text(value, at)) scene->identifier = *t;
            } else if (key == "class") {
                if (auto t = parser.text(value, at)) scene->className = *t;
            } else if (key == "view") {
                ViewSpec view;
                if (parser.view(value, at, true, true, view)) {
                    scene->view = std::make_shared<const ViewSpec>(std::move(view));
                }
            } else if (key == "segues") {
                const Array* list = value.array();
                if (!list) {
                    parser.fail(at, "expected a list of segues");
                    break;
                }
                for (size_t j = 0; j < list->size(); ++j) {
                    std::string sp = at + "[" + std::to_string(j) + "]";
                    const Value& g = (*list)[j];
                    if (!g.dictionary()) {
                        parser.fail(sp, "expected a segue");
                        break;
                    }
                    SegueSpec segue;
                    for (const auto& [gk, gv] : *g.dictionary()) {
                        std::string ga = sp + "." + gk;
                        std::string* field = gk == "id"            ? &segue.identifier
                                             : gk == "kind"        ? &segue.kind
                                             : gk == "destination" ? &segue.destination
                                             : gk == "action"      ? &segue.action
                                                                   : nullptr;
                        if (!field) {
                            parser.fail(ga, "unknown key");
                        } else if (auto t = parser.text(gv, ga)) {
                            *field = *t;
                        }
                    }
                    if (segue.identifier.empty()) parser.fail(sp, "a segue needs an \"id\"");
                    if (segue.kind == "unwind") {
                        if (segue.action.empty() || !segue.destination.empty()) {
                            parser.fail(sp, "an unwind segue has an \"action\" and no destination");
                        }
                    } else if (segue.kind == "modal" || segue.kind == "show") {
                        if (segue.destination.empty() || !segue.action.empty()) {
                            parser.fail(sp, "a " + segue.kind +
                                                " segue has a \"destination\" and no action");
                        }
                    } else {
                        parser.fail(sp + ".kind", "expected modal, show or unwind");
                    }
                    if (scene->segues.count(segue.identifier)) {
                        parser.fail(sp, "a second segue \"" + segue.identifier + "\"");
                    }
                    scene->segues[segue.identifier] = segue;
                }
            } else {
                parser.fail(at, "unknown key");
            }
        }
        if (!parser.error.empty()) break;
        if (scene->identifier.empty()) parser.fail(path, "a scene needs an \"id\"");
        if (!scene->view) parser.fail(path, "a scene needs a \"view\"");
        if (data->scenes.count(scene->identifier)) {
            parser.fail(path, "a second scene \"" + scene->identifier + "\"");
        }
        if (!parser.error.empty()) break;
        scene->where = "storyboard " + name + ", scene " + scene->identifier;
        checkSegueTriggers(parser, *scene->view, *scene);
        data->scenes[scene->identifier] = scene;
    }
    if (parser.error.empty()) {
        if (!data->scenes.count(data->initialScene)) {
            parser.fail("initialScene", "no scene \"" + data->initialScene + "\"");
        }
        for (const auto& [id, scene] : data->scenes) {
            for (const auto& [sid, segue] : scene->segues) {
                if (!segue.destination.empty() && !data->scenes.count(segue.destination)) {
                    parser.fail("scene " + id + ", segue " + sid,
                                "no scene \"" + segue.destination + "\"");
                }
            }
        }
    }
    return done();
}

std::shared_ptr<const ViewSpec> parseNib(const Value& root,
                                         const std::string& /*name*/,
                                         std::string* error) {
    Parser parser;
    ViewSpec view;
    if (!root.dictionary() || root.size() != 1 || !root.find("view")) {
        parser.fail("nib", "expected {\"view\": ...}");
    } else {
        parser.view(*root.find("view"), "view", true, false, view);
    }
    if (!parser.error.empty()) {
        if (error) *error = parser.error;
        return nullptr;
    }
    return std::make_shared<const ViewSpec>(std::move(view));
}

std::shared_ptr<View> buildViewTree(const ViewSpec& spec,
                                    const std::shared_ptr<OutletOwner>& givenOwner,
                                    const std::weak_ptr<ViewController>& controller,
                                    const std::string& where,
                                    std::optional<Rect> defaultFrame) {
    assertMainThread("loading a storyboard or nib");
    Links links;
    auto top = build(spec, where, links);
    if (!spec.frame && defaultFrame) top->setFrame(*defaultFrame);

    auto owner = givenOwner ? givenOwner : std::dynamic_pointer_cast<OutletOwner>(top);
    std::weak_ptr<OutletOwner> weakOwner = owner;
    for (const auto& [s, view] : links.views) {
        std::string at = where + ", " + s->path;
        bool needsOwner =
            !s->outlet.empty() || !s->actions.empty() || s->delegateIsOwner || s->dataSourceIsOwner;
        if (needsOwner && !owner) fatal(at + ": nothing owns its outlets and actions");
        if (!s->outlet.empty()) owner->connectOutlet(s->outlet, view, at);
        if (!s->actions.empty()) {
            auto& control = static_cast<Control&>(*view);
            for (const auto& [event, action] : s->actions) {
                owner->requireAction(action, at);
                control.addAction(action, event);
            }
            control.setActionSink([weakOwner](const std::string& action, Control& sender) {
                if (auto o = weakOwner.lock()) o->sendAction(action, &sender);
            });
        }
        if (!s->segue.empty()) {
            static_cast<Control&>(*view).addTarget(
                [controller, segue = s->segue](Control& sender, ControlEvent) {
                    if (auto c = controller.lock()) c->triggerSegue(segue, &sender);
                },
                ControlEvent::TouchUpInside);
        }
        if (auto table = std::dynamic_pointer_cast<TableView>(view)) {
            if (s->dataSourceIsOwner) {
                table->setDataSource(ownerAs<TableViewDataSource>(owner, at, "table data source"));
            }
            if (s->delegateIsOwner) {
                table->setDelegate(ownerAs<TableViewDelegate>(owner, at, "table delegate"));
            }
        } else if (auto field = std::dynamic_pointer_cast<TextField>(view)) {
            if (s->delegateIsOwner) {
                field->setDelegate(ownerAs<TextFieldDelegate>(owner, at, "text field delegate"));
            }
        }
    }
    if (!givenOwner && owner) owner->awakeFromNib();
    return top;
}

}  // namespace platform::ui::detail

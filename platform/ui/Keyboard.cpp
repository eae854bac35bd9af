#include "platform/ui/Keyboard.h"

#include <array>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/Window.h"

namespace platform::ui {

namespace {

constexpr double kRows = 4;
constexpr double kColumns = 3;

const Color kPadColor = Color::fromRGB255(188, 192, 198);      // the lines between keys
const Color kKeyColor = Color::fromRGB255(252, 252, 254);      // a digit key
const Color kDarkKeyColor = Color::fromRGB255(208, 212, 218);  // delete, the empty corner
const Color kPressedColor = Color::fromRGB255(170, 176, 184);
const Color kInkColor = Color::fromRGB255(20, 20, 22);

struct KeySpec {
    const char* name;
    const char* text;     // what the key types; empty for delete
    const char* label;    // what it shows
    const char* letters;  // the small letters under a digit
};

constexpr std::array<KeySpec, 10> kDigits = {{
    {"key1", "1", "1", ""},
    {"key2", "2", "2", "ABC"},
    {"key3", "3", "3", "DEF"},
    {"key4", "4", "4", "GHI"},
    {"key5", "5", "5", "JKL"},
    {"key6", "6", "6", "MNO"},
    {"key7", "7", "7", "PQRS"},
    {"key8", "8", "8", "TUV"},
    {"key9", "9", "9", "WXYZ"},
    {"key0", "0", "0", ""},
}};
constexpr KeySpec kDot{"keydot", ".", ".", ""};
constexpr KeySpec kDelete{"keydelete", "", "⌫", ""};

std::weak_ptr<KeyboardView>& shown() {
    static std::weak_ptr<KeyboardView> view;
    return view;
}

// One key: draws itself and types into the window's first responder when lifted inside.
class Key : public Control {
  public:
    Key(const KeySpec& spec, bool dark) : spec_(spec), dark_(dark) {
        setName(spec.name);
        addTarget([this](Control&, ControlEvent) { press(); }, ControlEvent::TouchUpInside);
    }
    std::string className() const override { return "KeyboardKey"; }

    void draw(render::Canvas& canvas, const Rect& rect) override {
        canvas.fillRect(rect, isHighlighted() ? kPressedColor : dark_ ? kDarkKeyColor : kKeyColor);
        render::TextOptions centred;
        centred.alignment = render::TextAlignment::Center;
        const bool letters = *spec_.letters != '\0';
        const render::Font digit = render::Font::system(25);
        const double top = rect.minY() + (rect.height() - (letters ? 40 : 30)) / 2;
        canvas.drawText(spec_.label, Rect(rect.minX(), top, rect.width(), 32), digit, kInkColor,
                        centred);
        if (letters) {
            canvas.drawText(spec_.letters, Rect(rect.minX(), top + 29, rect.width(), 12),
                            render::Font::system(9, true), kInkColor, centred);
        }
    }

  private:
    void press() {
        auto w = window();
        auto field = w ? std::dynamic_pointer_cast<TextField>(w->firstResponder()) : nullptr;
        if (!field) return;
        if (*spec_.text == '\0') {
            field->deleteBackward();
        } else {
            field->insertText(spec_.text);
        }
    }

    KeySpec spec_;
    bool dark_;
};

}  // namespace

KeyboardView::KeyboardView(KeyboardType type) : type_(type) {
    setName("keyboard");
    setBackgroundColor(kPadColor);
}

std::shared_ptr<KeyboardView> KeyboardView::create(KeyboardType type) {
    auto pad = std::make_shared<KeyboardView>(type);
    for (const auto& spec : kDigits)
        pad->addSubview(std::make_shared<Key>(spec, false));
    if (type == KeyboardType::DecimalPad) pad->addSubview(std::make_shared<Key>(kDot, true));
    pad->addSubview(std::make_shared<Key>(kDelete, true));
    return pad;
}

void KeyboardView::layoutSubviews() {
    // Three columns, four rows: 1 to 9, then the corner (the dot, or nothing), 0 and delete,
    // with a hair of the pad's colour between the keys.
    const Rect b = bounds();
    const double w = b.width() / kColumns;
    const double h = b.height() / kRows;
    auto cell = [&](int column, int row) {
        const double x = b.minX() + column * w;
        const double y = b.minY() + row * h;
        return Rect(x + (column > 0 ? 0.5 : 0), y + 0.5, w - (column > 0 ? 0.5 : 0), h - 0.5);
    };
    for (const auto& key : subviews()) {
        const std::string& name = key->name();
        if (name == "keydot") {
            key->setFrame(cell(0, 3));
        } else if (name == "keydelete") {
            key->setFrame(cell(2, 3));
        } else if (name == "key0") {
            key->setFrame(cell(1, 3));
        } else {
            const int digit = name.back() - '1';
            key->setFrame(cell(digit % 3, digit / 3));
        }
    }
}

void KeyboardView::draw(render::Canvas& canvas, const Rect& rect) {
    // The empty corner of a number pad is a dark key that does nothing.
    if (type_ == KeyboardType::DecimalPad) return;
    const double w = rect.width() / kColumns;
    const double h = rect.height() / kRows;
    canvas.fillRect(Rect(rect.minX(), rect.minY() + 3 * h + 0.5, w, h - 0.5), kDarkKeyColor);
}

std::shared_ptr<KeyboardView> KeyboardView::current() {
    auto view = shown().lock();
    return view && view->superview() ? view : nullptr;
}

void keyboardFieldBeganEditing(TextField& field) {
    auto w = field.window();
    const auto type = field.keyboardType();
    if (!w || type == KeyboardType::Default) return;
    auto pad = KeyboardView::current();
    if (!pad || pad->type() != type || pad->window() != w) {
        if (pad) pad->removeFromSuperview();
        pad = KeyboardView::create(type);
        shown() = pad;
    }
    const Rect b = w->bounds();
    pad->setFrame(
        Rect(b.minX(), b.maxY() - KeyboardView::kHeight, b.width(), KeyboardView::kHeight));
    pad->layoutIfNeeded();  // the keys take touches before the pad is first drawn
    w->addSubview(pad);     // at the front, also when it was there already
}

void keyboardFieldEndedEditing(TextField& field) {
    auto pad = KeyboardView::current();
    if (pad && pad->window() == field.window()) {
        pad->removeFromSuperview();
        shown().reset();
    }
}

}  // namespace platform::ui

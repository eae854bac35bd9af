#include "ads/rendering/presentation/HRNMRAIDResizeProperties.h"

#include <array>
#include <cstdlib>
#include <sstream>

#include "ads/foundation/HRNSettings.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Screen.h"

namespace {

int64_t positionFromName(const std::string& name) {
    static const std::array<std::pair<const char*, int64_t>, 7> table = {{
        {"top-right", 0},
        {"top-center", 1},
        {"top-left", 2},
        {"center", 3},
        {"bottom-right", 4},
        {"bottom-center", 5},
        {"bottom-left", 6},
    }};
    for (const auto& [text, value] : table)
        if (name == text) return value;
    return 0;
}

std::optional<double> number(const platform::Value& value) {
    if (value.isNumber()) return value.asReal();
    if (const std::string* text = value.string()) {
        char* end = nullptr;
        const double parsed = std::strtod(text->c_str(), &end);
        if (end != text->c_str()) return parsed;
    }
    return std::nullopt;
}

bool sameRect(const platform::ui::Rect& a, const platform::ui::Rect& b) {
    return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
           a.size.height == b.size.height;
}

}  // namespace

std::optional<HRNMRAIDResizeProperties>
HRNMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(
    const platform::Dictionary& dictionary) {
    for (const char* key :
         {"width", "height", "offsetX", "offsetY", "customClosePosition", "allowOffscreen"})
        if (dictionary.find(key) == dictionary.end()) return std::nullopt;
    HRNMRAIDResizeProperties properties;
    properties.size.width = number(dictionary.at("width")).value_or(0);
    properties.size.height = number(dictionary.at("height")).value_or(0);
    properties.offset.x = number(dictionary.at("offsetX")).value_or(0);
    properties.offset.y = number(dictionary.at("offsetY")).value_or(0);
    properties.allowOffscreen = HRNValueBoolValue(dictionary.at("allowOffscreen"));
    properties.customClosePosition =
        positionFromName(dictionary.at("customClosePosition").asString());
    return properties;
}

platform::ui::Rect HRNMRAIDResizeProperties::closeButtonRectForPositionContentFrame(
    int64_t position,
    const platform::ui::Rect& f) {
    constexpr double side = 50;
    const double midX = f.minX() + f.size.width / 2;
    const double midY = f.minY() + f.size.height / 2;
    double x = f.minX();
    double y = f.minY();
    switch (position) {
        case 0:
            x = f.maxX() - side;
            break;
        case 1:
            x = midX - side / 2;
            break;
        case 2:
            break;
        case 3:
            x = midX - side / 2;
            y = midY - side / 2;
            break;
        case 4:
            x = f.maxX() - side;
            y = f.maxY() - side;
            break;
        case 5:
            x = midX - side / 2;
            y = f.maxY() - side;
            break;
        case 6:
            y = f.maxY() - side;
            break;
        default:
            break;
    }
    return platform::ui::Rect(x, y, side, side);
}

uint64_t HRNMRAIDResizeProperties::autoresizingMaskForClosePosition(int64_t position) {
    static constexpr std::array<uint64_t, 7> masks = {33, 37, 36, 45, 9, 13, 12};
    return position >= 0 && position < 7 ? masks[static_cast<size_t>(position)] : 0;
}

bool HRNMRAIDResizeProperties::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
    const platform::ui::Rect& frame,
    const platform::ui::Rect& bounds,
    bool allowOffscreen,
    int64_t position) {
    const platform::ui::Rect inside =
        allowOffscreen ? closeButtonRectForPositionContentFrame(position, frame) : frame;
    return sameRect(inside.intersection(bounds), inside);
}

platform::ui::Rect HRNMRAIDResizeProperties::adjustedContentFrameInBounds(
    const platform::ui::Rect& frame,
    const platform::ui::Rect& bounds) {
    platform::ui::Rect moved = frame;
    if (moved.minX() < bounds.minX())
        moved.origin.x = bounds.minX();
    else if (moved.maxX() > bounds.maxX())
        moved.origin.x = bounds.maxX() - moved.size.width;
    if (moved.minY() < bounds.minY())
        moved.origin.y = bounds.minY();
    else if (moved.maxY() > bounds.maxY())
        moved.origin.y = bounds.maxY() - moved.size.height;
    return moved;
}

std::string HRNMRAIDResizeProperties::description() const {
    std::ostringstream out;
    out << "<HRNMRAIDResizeProperties: size {" << size.width << ", " << size.height << "}, offset {"
        << offset.x << ", " << offset.y << "}, customClosePosition " << customClosePosition
        << ", allowOffscreen " << (allowOffscreen ? "YES" : "NO") << ">";
    return out.str();
}

// ---- HRNMRAIDResizeOverlayPresenter ----

HRNMRAIDResizeOverlayPresenter::HRNMRAIDResizeOverlayPresenter(
    std::shared_ptr<platform::ui::View> referenceView)
    : referenceView_(std::move(referenceView)) {}

void HRNMRAIDResizeOverlayPresenter::reportError(const std::string& format,
                                                 const std::string& action) const {
    auto handler = MRAIDEventHandler_.lock();
    if (!handler) return;
    std::string message = format;
    if (auto at = message.find("%@"); at != std::string::npos && resizeProperties_)
        message.replace(at, 2, resizeProperties_->description());
    handler->handleErrorAction(message, action);
}

bool HRNMRAIDResizeOverlayPresenter::resizePropertiesAreValidRelativeToView(
    const HRNMRAIDResizeProperties& properties,
    const platform::ui::View& view) const {
    const platform::ui::Rect frame(properties.offset.x, properties.offset.y, properties.size.width,
                                   properties.size.height);
    // The screen's application frame in the view's coordinates (the window is the screen).
    const platform::ui::Rect bounds =
        view.convertRectFromView(platform::ui::Screen::main().applicationFrame(), nullptr);
    using P = HRNMRAIDResizeProperties;
    if (P::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
            frame, bounds, properties.allowOffscreen, properties.customClosePosition))
        return true;
    if (properties.allowOffscreen) return false;
    return P::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
        P::adjustedContentFrameInBounds(frame, bounds), bounds, false,
        properties.customClosePosition);
}

void HRNMRAIDResizeOverlayPresenter::setResizeProperties(
    const std::optional<HRNMRAIDResizeProperties>& properties) {
    if (!properties || !referenceView_) return;
    if (resizePropertiesAreValidRelativeToView(*properties, *referenceView_)) {
        resizeProperties_ = properties;
        return;
    }
    if (auto handler = MRAIDEventHandler_.lock())
        handler->handleErrorAction(
            "Received invalid resize properties " + properties->description(),
            "setResizeProperties");
}

bool HRNMRAIDResizeOverlayPresenter::isReadyToPresent() const {
    if (!resizeProperties_ || !referenceView_) return false;
    if (resizePropertiesAreValidRelativeToView(*resizeProperties_, *referenceView_))
        return HRNTransparentOverlayPresenter::isReadyToPresent();
    reportError("Tried to resize with invalid resize properties %@", "resize");
    return false;
}

platform::ui::Rect HRNMRAIDResizeOverlayPresenter::contentFrame() const {
    if (!resizeProperties_ || !referenceView_) return {};
    const auto& p = *resizeProperties_;
    platform::ui::Rect frame = referenceView_->convertRectToView(
        platform::ui::Rect(p.offset.x, p.offset.y, p.size.width, p.size.height), cropView().get());
    if (p.allowOffscreen) return frame;
    const platform::ui::Rect bounds = cropView()->bounds();
    if (!HRNMRAIDResizeProperties::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
            frame, bounds, false, p.customClosePosition))
        frame = HRNMRAIDResizeProperties::adjustedContentFrameInBounds(frame, bounds);
    return frame;
}

void HRNMRAIDResizeOverlayPresenter::composeTransparentInterstitialViewsForPresentation() {
    HRNTransparentOverlayPresenter::composeTransparentInterstitialViewsForPresentation();
    // The resized ad keeps the frame it asked for whatever the overlay's size.
    if (auto controller = presentedViewController()) {
        controller->view()->setAutoresizingMask(platform::ui::View::kAutoresizingNone);
        controller->view()->setFrame(contentFrame());
    }
}

void HRNMRAIDResizeOverlayPresenter::repositionContentIfNeeded() {
    auto controller = presentedViewController();
    if (!controller || !controller->isViewLoaded() || !resizeProperties_) return;
    const platform::ui::Rect wanted = contentFrame();
    if (!sameRect(controller->view()->frame(), wanted)) {
        controller->view()->setFrame(wanted);
        std::weak_ptr<HRNTransparentOverlayPresenter> weakSelf = weak_from_this();
        platform::Queue::main()->after(0.1, [weakSelf] {
            if (auto self =
                    std::static_pointer_cast<HRNMRAIDResizeOverlayPresenter>(weakSelf.lock()))
                self->repositionContentIfNeeded();
        });
        return;
    }
    if (HRNMRAIDResizeProperties::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
            wanted, cropView()->bounds(), resizeProperties_->allowOffscreen,
            resizeProperties_->customClosePosition))
        return;
    auto handler = MRAIDEventHandler_;
    std::weak_ptr<HRNViewController> weakController = controller;
    platform::Queue::main()->async([handler, weakController] {
        if (auto events = handler.lock())
            events->handleErrorAction("Resize properties became invalid after device rotation.",
                                      "resize");
        if (auto shown = weakController.lock()) shown->relinquishScreenWithCompletion(nullptr);
    });
}

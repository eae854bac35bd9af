#include "ads/pipeline/messages/HRNAdViewTouchGestureRecognizer.h"

#include <cmath>
#include <limits>

#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNSignals.h"

namespace {

int32_t saturated(double value) {
    if (std::isnan(value)) return 0;
    if (value >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace

void HRNAdViewTouchGestureRecognizer::touchesBegan(const platform::ui::Touches& touches) {
    platform::ui::GestureRecognizer::touchesBegan(touches);
    if (touchReceiver_) touchReceiver_();
    if (!touches.empty()) touchesBeganTimestamp_ = touches.front()->timestamp();
}

void HRNAdViewTouchGestureRecognizer::touchesEnded(const platform::ui::Touches& touches) {
    platform::ui::GestureRecognizer::touchesEnded(touches);
    // Never recognized: the page keeps every touch.
    setState(platform::ui::GestureState::Failed);
    int32_t duration = -1;
    if (touchesBeganTimestamp_ != 0 && !touches.empty())
        duration = saturated((touches.front()->timestamp() - touchesBeganTimestamp_) * 1000);
    touchesBeganTimestamp_ = 0;
    int32_t x = -1;
    int32_t y = -1;
    if (!touches.empty()) {
        auto view = this->view();
        const platform::ui::Point location = touches.front()->locationInView(view.get());
        x = saturated(location.x);
        y = saturated(location.y);
    }
    HRNDispatchToMainThread([x, y, duration] { HRNSignalsRecordTouch(x, y, duration); });
}

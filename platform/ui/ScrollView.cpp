#include "platform/ui/ScrollView.h"

namespace platform::ui {

void ScrollView::setContentSize(Size size) {
    assertMainThread("ScrollView::setContentSize");
    if (size == contentSize_) return;
    contentSize_ = size;
    // Taken first: an observer may remove itself or another.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers)
        if (observers_.count(id)) observer(size);
}

int ScrollView::addContentSizeObserver(ContentSizeObserver observer) {
    const int id = nextObserverID_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void ScrollView::removeContentSizeObserver(int id) {
    observers_.erase(id);
}

}  // namespace platform::ui

#pragma once
// A scroll view: a view whose content may be larger than itself. It keeps the content's size,
// the offset shown, and the switches a page's owner sets (scrolling, bouncing, scroll to top);
// observers hear each change of the content size. It does not scroll by touch: nothing in the
// system drags content yet.
//
// Main thread only. Observers are called synchronously inside setContentSize, in the order
// they were added.

#include <functional>
#include <map>

#include "platform/ui/View.h"

namespace platform::ui {

class ScrollView : public View {
  public:
    using ContentSizeObserver = std::function<void(Size)>;

    ScrollView() = default;
    explicit ScrollView(const Rect& frame) : View(frame) {}
    std::string className() const override { return "ScrollView"; }

    Size contentSize() const { return contentSize_; }
    // Tells the observers when the size differs from the one kept.
    void setContentSize(Size size);
    Point contentOffset() const { return contentOffset_; }
    void setContentOffset(Point offset) { contentOffset_ = offset; }

    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool bounces() const { return bounces_; }
    void setBounces(bool bounces) { bounces_ = bounces; }
    bool scrollsToTop() const { return scrollsToTop_; }
    void setScrollsToTop(bool scrollsToTop) { scrollsToTop_ = scrollsToTop; }

    // An identifier for removeContentSizeObserver.
    int addContentSizeObserver(ContentSizeObserver observer);
    void removeContentSizeObserver(int id);

  private:
    Size contentSize_;
    Point contentOffset_;
    bool scrollEnabled_ = true;
    bool bounces_ = true;
    bool scrollsToTop_ = true;
    int nextObserverID_ = 1;
    std::map<int, ContentSizeObserver> observers_;
};

}  // namespace platform::ui

#include "puffin/views/PFLoadingView.h"

#include "puffin/core/Puffin.h"
#include "puffin/views/PFDefaultViewController.h"

using platform::render::Color;
using platform::ui::Rect;

std::shared_ptr<PFLoadingView> PFLoadingView::create(const Rect& frame) {
    auto view = std::make_shared<PFLoadingView>(frame);
    view->setName("PFLoadingView");
    view->transparentView = std::make_shared<platform::ui::View>();
    view->transparentView->setBackgroundColor(Color{0, 0, 0, 0.75});
    view->label = std::make_shared<platform::ui::Label>(Rect{0, 0, 300, 300});
    view->label->setText("Loading...");
    view->label->setBackgroundColor(Color::clear());
    view->label->setTextColor(Color::fromRGB255(255, 255, 255));
    view->label->setFont(platform::render::Font::system(16, true));
    view->label->sizeToFit();
    view->progressBar = std::make_shared<PFUnderfinedProgressBar>(Rect{0, 60, 280, 30});
    view->closeButton = std::make_shared<PFCloseButton>(Rect{0, 0, 20, 20});
    view->closeButton->setName("PFLoadingClose");
    view->closeButton->setAlpha(0);
    view->closeButton->setUserInteractionEnabled(false);
    std::weak_ptr<PFLoadingView> weak = view;
    view->closeButtonTapRecognizer = std::make_shared<platform::ui::TapGestureRecognizer>(
        [weak](platform::ui::GestureRecognizer&) {
            if (auto self = weak.lock()) self->handleCloseButtonTap();
        });
    view->closeButton->addGestureRecognizer(view->closeButtonTapRecognizer);
    view->addSubview(view->transparentView);
    view->addSubview(view->label);
    view->addSubview(view->progressBar);
    view->addSubview(view->closeButton);
    return view;
}

void PFLoadingView::layoutSubviews() {
    const double w = bounds().size.width;
    const double h = bounds().size.height;
    label->setCenter({w / 2, h / 2});
    progressBar->setCenter({w / 2, h / 2});
    transparentView->setFrame({0, 0, w, h});
    const auto labelCenter = label->center();
    label->setCenter({labelCenter.x, labelCenter.y - (label->frame().size.height / 2 + 30)});
    const auto barCenter = progressBar->center();
    progressBar->setCenter({barCenter.x, barCenter.y + (progressBar->frame().size.height / 2 - 10)});
    const auto size = closeButton->frame().size;
    closeButton->setFrame({w - 25, 5, size.width, size.height});
}

void PFLoadingView::handleCloseButtonTap() {
    closeButton->setUserInteractionEnabled(false);
    PFDefaultViewController::shared()->dismissLoadingView();
    if (auto pf = Puffin::sharedPuffin()) pf->productViewControllerFinished();
}

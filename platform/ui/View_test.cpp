#include "platform/ui/View.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/render/PixelTestSupport.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

using render::testing::colorNear;
using render::testing::countPixels;
using render::testing::isDark;

std::shared_ptr<View> named(const std::string& name, const Rect& frame) {
    auto v = std::make_shared<View>(frame);
    v->setName(name);
    return v;
}

// One tree with every case that decides a hit: hidden, nearly transparent, interaction off,
// clipping, a subview sticking out of its parent, and a parent whose bounds origin is moved.
class HitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = named("root", Rect(0, 0, 320, 568));

        auto a = named("a", Rect(10, 10, 100, 100));
        a->addSubview(named("sticking", Rect(80, 80, 50, 50)));  // root 90..140
        root->addSubview(a);

        auto hidden = named("hidden", Rect(200, 10, 50, 50));
        hidden->setHidden(true);
        root->addSubview(hidden);

        auto faint = named("faint", Rect(200, 100, 50, 50));
        faint->setAlpha(0.005);
        root->addSubview(faint);

        auto visible = named("barelyVisible", Rect(260, 100, 50, 50));
        visible->setAlpha(0.02);
        root->addSubview(visible);

        auto off = named("off", Rect(200, 200, 50, 50));
        off->setUserInteractionEnabled(false);
        off->addSubview(named("offChild", Rect(0, 0, 50, 50)));
        root->addSubview(off);

        auto clipped = named("clipped", Rect(10, 300, 100, 100));
        clipped->setClipsToBounds(true);
        clipped->addSubview(named("clippedChild", Rect(50, 50, 100, 100)));
        root->addSubview(clipped);

        auto moved = named("moved", Rect(150, 300, 100, 100));
        moved->setBounds(Rect(50, 50, 100, 100));
        moved->addSubview(named("movedChild", Rect(50, 50, 20, 20)));  // root 150..170
        root->addSubview(moved);

        // Front-most of two overlapping siblings wins.
        root->addSubview(named("back", Rect(10, 450, 50, 50)));
        root->addSubview(named("front", Rect(30, 470, 50, 50)));
    }

    std::string hitName(Point p) {
        auto v = root->hitTest(p);
        return v ? v->name() : "(none)";
    }

    std::shared_ptr<View> root;
};

TEST_F(HitTest, DeepestViewThatTakesTouches) {
    struct Case {
        Point point;
        const char* expected;
    };
    const Case cases[] = {
        {{20, 20}, "a"},
        {{95, 95}, "sticking"},         // inside both
        {{120, 120}, "root"},           // inside the subview, outside its parent
        {{210, 20}, "root"},            // hidden
        {{210, 110}, "root"},           // alpha below 0.01
        {{270, 110}, "barelyVisible"},  // alpha 0.02 still takes touches
        {{210, 210}, "root"},           // interaction off, child included
        {{70, 360}, "clippedChild"},    // inside the clipping parent
        {{130, 380}, "root"},           // the child's part outside the clip
        {{155, 305}, "movedChild"},     // the parent's bounds origin shifts its child
        {{175, 325}, "moved"},          //
        {{40, 480}, "front"},           // overlap goes to the later sibling
        {{15, 455}, "back"},            //
        {{-1, 5}, "(none)"},            // outside the root
        {{320, 10}, "(none)"},          // the right edge is outside
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hitName(c.point), c.expected) << "at " << c.point.x << ", " << c.point.y;
    }
}

TEST(HitTestOverlay, AClearOverlayPassesTouchesWhereItDrawsNothing) {
    auto root = std::make_shared<View>(Rect(0, 0, 200, 200));
    auto game = std::make_shared<View>(Rect(0, 0, 200, 200));
    auto overlay = std::make_shared<View>(Rect(0, 0, 200, 200));  // clear background
    auto box = std::make_shared<View>(Rect(50, 50, 40, 40));
    box->setBackgroundColor(render::Color::fromRGB255(230, 57, 70));
    auto tinted = std::make_shared<View>(Rect(120, 120, 40, 40));
    tinted->setBackgroundColor(render::Color::fromRGB255(0, 0, 0, 0.3));
    auto inner = std::make_shared<View>(Rect(0, 0, 10, 10));  // draws nothing itself
    tinted->addSubview(inner);
    overlay->addSubview(box);
    overlay->addSubview(tinted);
    root->addSubview(game);
    root->addSubview(overlay);

    EXPECT_EQ(root->hitTest({10, 10}), overlay) << "an ordinary view takes every touch";
    overlay->setPassesTouchesWhereClear(true);
    EXPECT_EQ(root->hitTest({10, 10}), game) << "nothing drawn there: the game beneath";
    EXPECT_EQ(root->hitTest({60, 60}), box);
    EXPECT_EQ(root->hitTest({125, 125}), inner) << "drawn by its superview, translucent";
    EXPECT_EQ(root->hitTest({150, 150}), tinted);
    EXPECT_EQ(root->hitTest({199, 199}), game);
}

TEST(ViewGeometry, ConversionAcrossNestedViewsWithBoundsOrigins) {
    auto window = std::make_shared<Window>();
    auto parent = std::make_shared<View>(Rect(10, 20, 200, 200));
    parent->setBounds(Rect(5, 5, 200, 200));
    auto child = std::make_shared<View>(Rect(30, 40, 50, 50));
    child->setBounds(Rect(-10, 0, 50, 50));
    auto sibling = std::make_shared<View>(Rect(100, 100, 10, 10));
    window->addSubview(parent);
    parent->addSubview(child);
    window->addSubview(sibling);

    // child (0,0) -> parent (40,40) -> window (45,55).
    EXPECT_EQ(child->convertPointToView({0, 0}, parent.get()), (Point{40, 40}));
    EXPECT_EQ(child->convertPointToView({0, 0}, window.get()), (Point{45, 55}));
    EXPECT_EQ(child->convertPointToView({0, 0}, nullptr), (Point{45, 55}));
    EXPECT_EQ(child->convertPointToView({0, 0}, sibling.get()), (Point{-55, -45}));
    EXPECT_EQ(sibling->convertPointFromView({0, 0}, child.get()), (Point{-55, -45}));
    EXPECT_EQ(child->convertPointFromView({45, 55}, nullptr), (Point{0, 0}));
    EXPECT_EQ(parent->convertRectFromView(Rect(1, 2, 3, 4), child.get()), Rect(41, 42, 3, 4));
    EXPECT_EQ(parent->convertRectToView(Rect(41, 42, 3, 4), child.get()), Rect(1, 2, 3, 4));

    // A touch reads its location through the same conversion.
    Touch touch(window, child, {45, 55}, 0, 1);
    EXPECT_EQ(touch.locationInView(child.get()), (Point{0, 0}));
    EXPECT_EQ(touch.locationInView(nullptr), (Point{45, 55}));
}

TEST(ViewGeometry, FrameBoundsAndCenterShareOneSize) {
    View v(Rect(10, 20, 100, 50));
    v.setBounds(Rect(7, 8, 60, 30));  // keeps the centre (60, 45)
    EXPECT_EQ(v.frame(), Rect(30, 30, 60, 30));
    EXPECT_EQ(v.bounds(), Rect(7, 8, 60, 30));
    v.setFrame(Rect(0, 0, 10, 10));  // keeps the bounds origin
    EXPECT_EQ(v.bounds(), Rect(7, 8, 10, 10));
    v.setCenter({50, 50});
    EXPECT_EQ(v.frame(), Rect(45, 45, 10, 10));
}

// Records the hooks a view gets.
class HookView : public View {
  public:
    using View::View;
    void didMoveToSuperview() override { calls.push_back("superview"); }
    void didMoveToWindow() override { calls.push_back(window() ? "window" : "no window"); }
    void layoutSubviews() override { calls.push_back("layout"); }
    std::vector<std::string> calls;
};

TEST(ViewTree, MovesBetweenParentsAndWindowsWithHooks) {
    auto window = std::make_shared<Window>();
    auto a = std::make_shared<View>();
    auto b = std::make_shared<View>();
    auto inner = std::make_shared<HookView>();
    auto hooked = std::make_shared<HookView>();
    inner->setName("inner");
    hooked->addSubview(inner);
    inner->calls.clear();

    a->addSubview(hooked);  // no window yet
    EXPECT_EQ(hooked->calls, (std::vector<std::string>{"superview"}));
    EXPECT_TRUE(inner->calls.empty());

    window->addSubview(a);  // the window reaches the whole subtree
    EXPECT_EQ(hooked->window(), window);
    EXPECT_EQ(inner->calls, (std::vector<std::string>{"window"}));

    hooked->calls.clear();
    b->addSubview(hooked);  // moving takes it out of a and out of the window
    EXPECT_TRUE(a->subviews().empty());
    EXPECT_EQ(hooked->superview(), b);
    EXPECT_EQ(hooked->calls, (std::vector<std::string>{"superview", "no window"}));
    EXPECT_EQ(b->viewNamed("inner"), inner);
    EXPECT_EQ(a->viewNamed("inner"), nullptr);

    hooked->calls.clear();
    hooked->removeFromSuperview();
    EXPECT_EQ(hooked->superview(), nullptr);
    EXPECT_EQ(hooked->calls, (std::vector<std::string>{"superview"}));
}

TEST(ViewTree, ZOrderOperations) {
    auto root = std::make_shared<View>();
    auto a = named("a", {});
    auto b = named("b", {});
    auto c = named("c", {});
    auto d = named("d", {});
    auto order = [&] {
        std::string s;
        for (auto& v : root->subviews())
            s += v->name();
        return s;
    };
    root->addSubview(a);
    root->addSubview(b);
    root->addSubview(c);
    EXPECT_EQ(order(), "abc");
    root->insertSubviewBelowSubview(d, b);
    EXPECT_EQ(order(), "adbc");
    root->insertSubviewAboveSubview(d, c);
    EXPECT_EQ(order(), "abcd");
    root->insertSubviewAtIndex(d, 0);
    EXPECT_EQ(order(), "dabc");
    root->insertSubviewAtIndex(d, 99);
    EXPECT_EQ(order(), "abcd");
    root->bringSubviewToFront(a);
    EXPECT_EQ(order(), "bcda");
    root->sendSubviewToBack(d);
    EXPECT_EQ(order(), "dbca");
    root->addSubview(d);  // adding again brings it to the front
    EXPECT_EQ(order(), "bcad");
}

TEST(ViewTree, LookupByTagAndNameSearchesTheSubtree) {
    auto root = named("root", {});
    auto panel = named("panel", {});
    auto button = named("ok", {});
    button->setTag(7);
    panel->addSubview(button);
    root->addSubview(panel);
    root->setTag(1);
    EXPECT_EQ(root->viewWithTag(7), button);
    EXPECT_EQ(root->viewWithTag(1), root);
    EXPECT_EQ(root->viewWithTag(99), nullptr);
    EXPECT_EQ(root->viewNamed("ok"), button);
    EXPECT_EQ(panel->viewNamed("root"), nullptr);
    EXPECT_TRUE(button->isDescendantOfView(root.get()));
    EXPECT_FALSE(root->isDescendantOfView(button.get()));
}

TEST(ViewTree, LayoutRunsOnceWhenMarkedAndAfterResize) {
    auto v = std::make_shared<HookView>(Rect(0, 0, 10, 10));
    v->layoutIfNeeded();
    v->layoutIfNeeded();
    EXPECT_EQ(v->calls, (std::vector<std::string>{"layout"}));
    v->setFrame(Rect(5, 5, 10, 10));  // a move alone does not mark it
    v->layoutIfNeeded();
    EXPECT_EQ(v->calls.size(), 1u);
    v->setFrame(Rect(5, 5, 20, 10));
    v->layoutIfNeeded();
    EXPECT_EQ(v->calls.size(), 2u);
}

// A superview of 100 x 200 grows to 160 x 260; its subview at (10, 20, 30, 40) leaves margins
// of 60 (right) and 140 (bottom). The growth of 60 on each axis goes to the flexible parts in
// proportion to what they measured.
TEST(ViewTree, AutoresizingSharesASizeChangeAmongTheFlexibleParts) {
    using V = View;
    struct Case {
        uint64_t mask;
        Rect expected;
    };
    const Case cases[] = {
        {V::kAutoresizingNone, Rect(10, 20, 30, 40)},
        {V::kAutoresizingFlexibleWidth | V::kAutoresizingFlexibleHeight, Rect(10, 20, 90, 100)},
        // Pinned to the bottom-right corner (a close box): only the leading margins grow.
        {V::kAutoresizingFlexibleLeftMargin | V::kAutoresizingFlexibleTopMargin,
         Rect(70, 80, 30, 40)},
        // Pinned to the top-right corner.
        {V::kAutoresizingFlexibleLeftMargin | V::kAutoresizingFlexibleBottomMargin,
         Rect(70, 20, 30, 40)},
        // Centred horizontally: 60 shared by margins of 10 and 60, so 60/70 of it each way.
        {V::kAutoresizingFlexibleLeftMargin | V::kAutoresizingFlexibleRightMargin,
         Rect(10 + 60.0 * 10 / 70, 20, 30, 40)},
        // Width and right margin measured 30 and 60: the width takes a third.
        {V::kAutoresizingFlexibleWidth | V::kAutoresizingFlexibleRightMargin, Rect(10, 20, 50, 40)},
    };
    for (const auto& c : cases) {
        auto parent = std::make_shared<View>(Rect(0, 0, 100, 200));
        auto child = std::make_shared<View>(Rect(10, 20, 30, 40));
        child->setAutoresizingMask(c.mask);
        parent->addSubview(child);
        parent->setFrame(Rect(5, 5, 160, 260));
        const Rect f = child->frame();
        EXPECT_NEAR(f.origin.x, c.expected.origin.x, 1e-9) << c.mask;
        EXPECT_NEAR(f.origin.y, c.expected.origin.y, 1e-9) << c.mask;
        EXPECT_NEAR(f.size.width, c.expected.size.width, 1e-9) << c.mask;
        EXPECT_NEAR(f.size.height, c.expected.size.height, 1e-9) << c.mask;
        // Shrinking back restores the frame exactly where the shares are whole.
        parent->setBounds(Rect(0, 0, 100, 200));
        EXPECT_NEAR(child->frame().size.width, 30, 1e-9) << c.mask;
    }

    // Nested views follow in turn, a subview of zero margins shares the change equally, and a
    // parent that does not autoresize its subviews leaves them alone.
    auto outer = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto middle = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto inner = std::make_shared<View>(Rect(0, 0, 100, 100));
    middle->setAutoresizingMask(V::kAutoresizingFlexibleWidth | V::kAutoresizingFlexibleHeight);
    inner->setAutoresizingMask(V::kAutoresizingFlexibleLeftMargin |
                               V::kAutoresizingFlexibleRightMargin);
    outer->addSubview(middle);
    middle->addSubview(inner);
    outer->setFrame(Rect(0, 0, 200, 50));
    EXPECT_EQ(middle->frame(), Rect(0, 0, 200, 50));
    EXPECT_EQ(inner->frame(), Rect(50, 0, 100, 100));
    outer->setAutoresizesSubviews(false);
    outer->setFrame(Rect(0, 0, 300, 300));
    EXPECT_EQ(middle->frame(), Rect(0, 0, 200, 50));
}

// ---- Drawing ----

std::shared_ptr<View> box(const Rect& frame, const Color& color) {
    auto v = std::make_shared<View>(frame);
    v->setBackgroundColor(color);
    return v;
}

const Color kRed{1, 0, 0, 1};
const Color kGreen{0, 1, 0, 1};
const Color kBlue{0, 0, 1, 1};

TEST(Snapshot, AlphaHiddenClippingAndGroupOpacity) {
    auto root = box(Rect(0, 0, 200, 100), Color::white());
    auto faded = box(Rect(10, 10, 40, 40), kRed);
    faded->setAlpha(0.5);
    root->addSubview(faded);
    auto hidden = box(Rect(60, 10, 20, 20), kBlue);
    hidden->setHidden(true);
    hidden->addSubview(box(Rect(0, 0, 10, 10), kGreen));
    root->addSubview(hidden);
    auto clip = box(Rect(100, 10, 40, 40), Color::clear());
    clip->setClipsToBounds(true);
    clip->addSubview(box(Rect(20, 20, 60, 60), kGreen));
    root->addSubview(clip);
    // Two overlapping opaque children of a half-transparent parent: drawn as one piece, the
    // overlap shows only the front child.
    auto group = box(Rect(150, 10, 40, 40), Color::clear());
    group->setAlpha(0.5);
    group->addSubview(box(Rect(0, 0, 30, 30), kRed));
    group->addSubview(box(Rect(10, 10, 30, 30), kBlue));
    root->addSubview(group);

    render::Bitmap bitmap = snapshot(*root);
    ASSERT_EQ(bitmap.pixelWidth(), 400);  // the screen's scale
    auto at = [&](double x, double y) { return bitmap.pixelAt(int(x * 2), int(y * 2)); };
    EXPECT_TRUE(colorNear(at(30, 30), {1, 0.5, 0.5, 1}, 0.02));
    EXPECT_TRUE(colorNear(at(65, 15), Color::white()));  // hidden, subview too
    EXPECT_TRUE(colorNear(at(130, 40), kGreen));
    EXPECT_TRUE(colorNear(at(145, 40), Color::white()));  // outside the clip
    EXPECT_TRUE(colorNear(at(130, 55), Color::white()));
    EXPECT_TRUE(colorNear(at(175, 35), {0.5, 0.5, 1, 1}, 0.02));  // overlap: blue only
    EXPECT_TRUE(colorNear(at(155, 15), {1, 0.5, 0.5, 1}, 0.02));
}

TEST(Snapshot, BoundsOriginScrollsTheContent) {
    auto root = box(Rect(0, 0, 100, 100), Color::white());
    root->setBounds(Rect(0, 50, 100, 100));
    root->addSubview(box(Rect(0, 60, 10, 10), kRed));  // drawn at y 10
    render::Bitmap bitmap = snapshot(*root);
    EXPECT_TRUE(colorNear(bitmap.pixelAt(10, 30), kRed));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(10, 130), Color::white()));
}

TEST(Snapshot, ChineseLabelInkStaysInItsRectInThePNG) {
    auto window = std::make_shared<Window>();
    window->setBackgroundColor(Color::white());
    auto label = std::make_shared<Label>(Rect(20, 100, 280, 40));
    label->setText("提示：现金不足，确定");
    label->setFont({"NoSuchFamilyAnywhere", 20});  // falls back to the system font
    label->setTextColor(Color::fromRGB255(20, 20, 20));
    label->setTextAlignment(TextAlignment::Center);
    window->addSubview(label);
    window->makeKeyAndVisible();

    auto path = AppHome::temporary() / "label.png";
    ASSERT_TRUE(window->snapshotPNG(path));
    auto png = render::Image::fromFile(path, 2);
    ASSERT_TRUE(png);
    ASSERT_EQ(png->pixelWidth(), 640);
    ASSERT_EQ(png->pixelHeight(), 1136);
    render::Bitmap bitmap(png->size(), 2);
    render::Canvas(bitmap).drawImage(*png, Rect(Point{}, png->size()));

    Rect labelPixels(40, 200, 560, 80);
    int inside = countPixels(bitmap, labelPixels, isDark);
    EXPECT_GT(inside, 500);  // ten characters at 20 points
    EXPECT_EQ(countPixels(bitmap, labelPixels, isDark, false), 0);
}

TEST(Snapshot, LabelSizeToFitMeasuresItsText) {
    Label label(Rect(5, 5, 0, 0));
    label.setText("现金 12345");
    label.setFont(Font::system(17));
    label.sizeToFit();
    Size expected = render::measureText("现金 12345", Font::system(17));
    EXPECT_EQ(label.frame(), Rect(Point{5, 5}, expected));
    EXPECT_GT(expected.width, 40);
}

TEST(View, HitTestsAndConversionsFollowTheTransform) {
    auto root = std::make_shared<View>(Rect(0, 0, 300, 300));
    auto child = std::make_shared<View>(Rect(100, 100, 100, 50));
    root->addSubview(child);
    // A quarter turn about the centre (150, 125): drawn 50 wide and 100 high.
    child->setTransform(render::Transform3D::makeRotation(M_PI / 2, 0, 0, 1));
    EXPECT_EQ(child->frame(), Rect(100, 100, 100, 50)) << "the frame ignores the transform";
    EXPECT_EQ(root->hitTest({150, 80}), child);
    EXPECT_EQ(root->hitTest({110, 125}), root) << "inside the frame, outside what is drawn";

    Point corner = child->convertPointToView({0, 0}, root.get());
    EXPECT_NEAR(corner.x, 175, 1e-9);
    EXPECT_NEAR(corner.y, 75, 1e-9);
    Point back = child->convertPointFromView({175, 75}, root.get());
    EXPECT_NEAR(back.x, 0, 1e-9);
    EXPECT_NEAR(back.y, 0, 1e-9);
    Rect box = child->convertRectToView(child->bounds(), root.get());
    EXPECT_NEAR(box.minX(), 125, 1e-9);
    EXPECT_NEAR(box.width(), 50, 1e-9);
    EXPECT_NEAR(box.height(), 100, 1e-9);

    // Scaled to nothing: nothing to hit.
    child->setTransform(render::Transform3D::makeScale(0, 0, 1));
    EXPECT_EQ(root->hitTest({150, 125}), root);
}

TEST(View, HigherZPositionsAreDrawnOverLaterSiblings) {
    auto root = std::make_shared<View>(Rect(0, 0, 20, 10));
    auto back = std::make_shared<View>(Rect(0, 0, 20, 10));
    back->setBackgroundColor({1, 0, 0, 1});
    auto front = std::make_shared<View>(Rect(0, 0, 20, 10));
    front->setBackgroundColor({0, 0, 1, 1});
    root->addSubview(back);
    root->addSubview(front);
    back->setZPosition(110000);
    render::Bitmap b = snapshot(*root);
    EXPECT_TRUE(render::testing::colorNear(b.pixelAt(5, 5), {1, 0, 0, 1}));
    EXPECT_EQ(root->hitTest({5, 5}), front) << "touches keep the subview order";
    back->setZPosition(0);
    render::Bitmap again = snapshot(*root);
    EXPECT_TRUE(render::testing::colorNear(again.pixelAt(5, 5), {0, 0, 1, 1}));
}

}  // namespace
}  // namespace platform::ui

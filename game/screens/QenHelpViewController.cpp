#include "game/screens/QenHelpViewController.h"

#include "platform/ui/Bundle.h"

namespace {

using platform::ui::Button;
using platform::ui::ControlState;
using platform::ui::ImageView;
using platform::ui::Label;

std::string numbered(const char* prefix, int n) {
    return prefix + std::to_string(n);
}

void setText(const std::weak_ptr<Label>& outlet,
             const std::string& text,
             const std::string& fontname,
             double size) {
    if (auto label = outlet.lock()) {
        label->setText(text);
        label->setFont({fontname, size, false});
    }
}

void setPicture(const std::weak_ptr<Button>& outlet, const std::string& name) {
    if (auto button = outlet.lock())
        button->setBackgroundImage(platform::ui::imageNamed(name), ControlState::Normal);
}

template <typename T>
void setHidden(const std::weak_ptr<T>& outlet, bool hidden) {
    if (auto view = outlet.lock()) view->setHidden(hidden);
}

// A sample slot of the mock-up: its goods picture, price and (warehouse only) quantity.
struct SampleSlot {
    const char* image;
    const char* price;
    const char* quantity;
};

constexpr SampleSlot kMarket[5] = {{"btn_dgy_m", "397", nullptr},
                                   {"btn_slrj_m", "137", nullptr},
                                   {"btn_hjss_m", "3457", nullptr},
                                   {"btn_zjyd_m", "106", nullptr},
                                   {"btn_jknf_m", "674", nullptr}};
constexpr SampleSlot kWarehouse[2] = {{"btn_gcqc_w", "15023", "50"}, {"btn_hjss_w", "2065", "20"}};

}  // namespace

QenHelpViewController::QenHelpViewController() {
    bindOutlet("thouseprice", &thouseprice);
    bindOutlet("tdate", &tdate);
    bindOutlet("tcash", &tcash);
    bindOutlet("tdeposit", &tdeposit);
    bindOutlet("thealth", &thealth);
    bindOutlet("treputation", &treputation);
    for (int n = 1; n <= 5; ++n) {
        bindOutlet(numbered("bmslot", n), &bmslot[n - 1]);
        bindOutlet(numbered("tmslot", n), &tmslot[n - 1]);
        bindOutlet(numbered("bwslot", n), &bwslot[n - 1]);
        bindOutlet(numbered("twslot", n), &twslot[n - 1]);
        bindOutlet(numbered("tnwslot", n), &tnwslot[n - 1]);
    }
    bindOutlet("twstatus", &twstatus);
    bindOutlet("market1", &market1);
    bindOutlet("market2", &market2);
    bindOutlet("market3", &market3);
    bindOutlet("bbank", &bbank);
    bindOutlet("bhospital", &bhospital);
    bindOutlet("bagent", &bagent);
    bindOutlet("bhouseseller", &bhouseseller);
    bindOutlet("bhelp", &bhelp);
    bindOutlet("brecord", &brecord);
    bindOutlet("bnewgame", &bnewgame);
    bindOutlet("dialogfunc", &dialogfunc);
    bindOutlet("dialogbuy", &dialogbuy);
    bindOutlet("dialogbuy_nameimg", &dialogbuy_nameimg);
    bindOutlet("dialogbuy_nbr", &dialogbuy_nbr);
    bindOutlet("dialogbuy_note", &dialogbuy_note);
    bindOutlet("dialogsell", &dialogsell);
    bindOutlet("dialogsell_nameimg", &dialogsell_nameimg);
    bindOutlet("dialogsell_nbr", &dialogsell_nbr);
    bindOutlet("dialogsell_note", &dialogsell_note);
    bindOutlet("dialogevent", &dialogevent);
    bindOutlet("dialogevent_note", &dialogevent_note);
    bindOutlet("dialogbank", &dialogbank);
    bindOutlet("dialoghospital", &dialoghospital);
    bindOutlet("dialoghospital_ok", &dialoghospital_ok);
    bindOutlet("dialoghospital_note", &dialoghospital_note);
    bindOutlet("dialogagent", &dialogagent);
    bindOutlet("dialogagent_note", &dialogagent_note);
    bindOutlet("dialogagent_nbr", &dialogagent_nbr);
    bindOutlet("dialogagent_ok", &dialogagent_ok);
    bindOutlet("dialogdiary", &dialogdiary);
    bindOutlet("dialogdiary_note", &dialogdiary_note);
    bindOutlet("dialogdiary_moregame", &dialogdiary_moregame);
    bindOutlet("helpimg_top", &helpimg_top);
    bindOutlet("helpimg_bottom", &helpimg_bottom);
    bindOutlet("bnextstep", &bnextstep);

    bindAction("bNextStep:", [this](platform::runtime::Object*) { showStep(); });
    // The exit button leaves through its unwind segue; the action itself does nothing.
    bindAction("bExitHelp:", [](platform::runtime::Object*) {});
}

void QenHelpViewController::viewDidLoad() {
    mdata_ = std::make_shared<QenData>();
    step_ = 1;
    showBackground();
    showStep();
    mdata_->setHelpShow();
}

void QenHelpViewController::showBackground() {
    const std::string& font = mdata_ ? mdata_->fontname : std::string();
    setText(thouseprice, "259万", font, 24);
    setText(tdate, "28/52周", font, 24);
    setText(tcash, "0", font, 22);
    setText(tdeposit, "734738", font, 22);
    setText(thealth, "96", font, 22);
    setText(treputation, "98", font, 22);
    for (int i = 0; i < 5; ++i) {
        setPicture(bmslot[i], kMarket[i].image);
        setText(tmslot[i], kMarket[i].price, font, 16);
    }
    setPicture(bnewgame, "btn_jsyx");
    setText(twstatus, "30/100", font, 18);
    for (int i = 0; i < 2; ++i) {
        setPicture(bwslot[i], kWarehouse[i].image);
        setText(twslot[i], kWarehouse[i].price, font, 16);
        setText(tnwslot[i], kWarehouse[i].quantity, font, 16);
    }
    for (int i = 0; i < 5; ++i) {
        setHidden(bmslot[i], false);
        setHidden(tmslot[i], false);
    }
    for (int i = 2; i < 5; ++i) {
        setHidden(bwslot[i], true);
        setHidden(twslot[i], true);
        setHidden(tnwslot[i], true);
    }
    for (const auto* panel : {&dialogdiary, &dialogevent, &dialogfunc, &dialogbuy, &dialogsell,
                              &dialogbank, &dialoghospital, &dialogagent})
        setHidden(*panel, true);
}

void QenHelpViewController::showStep() {
    if (step_ < 1 || step_ > kStepCount) return;
    const bool top = step_ <= 5;
    auto shown = top ? helpimg_top.lock() : helpimg_bottom.lock();
    if (shown) {
        shown->setImage(platform::ui::imageNamed(numbered("help", step_)));
        shown->setHidden(false);
    }
    setHidden(top ? helpimg_bottom : helpimg_top, true);
    if (step_ == kStepCount) setHidden(bnextstep, true);
    ++step_;
}

// The main screen's construction: its outlets and actions bound by their storyboard names.

#include "game/screens/QenMainViewController.h"

#include <initializer_list>
#include <utility>

namespace {

std::string numbered(const char* prefix, int n) {
    return prefix + std::to_string(n);
}

}  // namespace

QenMainViewController::QenMainViewController() {
    bindOutlets();
    bindActions();
}

QenMainViewController::~QenMainViewController() {
    giftCancel_ = true;
    if (giftThread_.joinable()) giftThread_.join();
}

void QenMainViewController::bindOutlets() {
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
    bindOutlet("dialogdiary", &dialogdiary);
    bindOutlet("dialogdiary_note", &dialogdiary_note);
    bindOutlet("dialogdiary_moregame", &dialogdiary_moregame);
    bindOutlet("dialogbank", &dialogbank);
    bindOutlet("dialoghospital", &dialoghospital);
    bindOutlet("dialoghospital_ok", &dialoghospital_ok);
    bindOutlet("dialoghospital_note", &dialoghospital_note);
    bindOutlet("dialogagent", &dialogagent);
    bindOutlet("dialogagent_note", &dialogagent_note);
    bindOutlet("dialogagent_nbr", &dialogagent_nbr);
    bindOutlet("dialogagent_ok", &dialogagent_ok);

    bindOutlet("dialogstart", &dialogstart);
    bindOutlet("dialogstart_voucher", &dialogstart_voucher);
    bindOutlet("dialogstart_startcash", &dialogstart_startcash);
    bindOutlet("dialogstart_addvoucher", &dialogstart_addvoucher);
    bindOutlet("dialogstart_addstartcash", &dialogstart_addstartcash);
    bindOutlet("dialogstart_video", &dialogstart_video);
    bindOutlet("dialogstart_sound", &dialogstart_sound);
    bindOutlet("dialogstart_hint", &dialogstart_hint);
    bindOutlet("dialogstart_crazy", &dialogstart_crazy);
    bindOutlet("dialogend", &dialogend);
    bindOutlet("dialogend_note", &dialogend_note);
    bindOutlet("dialogend_sound", &dialogend_sound);

    bindOutlet("dialoggift", &dialoggift);
    for (int n = 1; n <= 10; ++n) {
        bindOutlet(numbered("dialoggift_d", n), &dialoggift_d[n - 1]);
        bindOutlet(numbered("dialoggift_g", n), &dialoggift_g[n - 1]);
    }
    bindOutlet("dialogcast", &dialogcast);
    bindOutlet("dialogcast_title", &dialogcast_title);
    bindOutlet("dialogcast_content", &dialogcast_content);

    bindOutlet("dialogmoretime", &dialogmoretime);
    bindOutlet("dialogmoretime_note", &dialogmoretime_note);
    bindOutlet("dialogmoretime_noteleft", &dialogmoretime_noteleft);
    bindOutlet("dialogmoretime_note1", &dialogmoretime_note1);
    bindOutlet("dialogmoretime_note2", &dialogmoretime_note2);
    bindOutlet("dialogmoretime_ok", &dialogmoretime_ok);
    bindOutlet("dialoghint", &dialoghint);
    bindOutlet("dialoghint_timeleft", &dialoghint_timeleft);
    bindOutlet("dialoghint_note", &dialoghint_note);
    bindOutlet("dialogaskhint", &dialogaskhint);
    bindOutlet("dialogaskhint_note", &dialogaskhint_note);
    bindOutlet("dialogaskhint_notev", &dialogaskhint_notev);
    bindOutlet("dialogaskcrazy", &dialogaskcrazy);
    bindOutlet("dialogaskcrazy_note", &dialogaskcrazy_note);

    bindOutlet("dialogbuyv", &dialogbuyv);
    bindOutlet("dialogbuyv_title", &dialogbuyv_title);
    bindOutlet("dialogbuyv_videonote", &dialogbuyv_videonote);
    bindOutlet("dialogbuyv_video", &dialogbuyv_video);
    bindOutlet("dialogbuyv_note", &dialogbuyv_note);
    bindOutlet("dialogbuyv_note1", &dialogbuyv_note1);
    bindOutlet("activityindicator", &activityindicator);
    bindOutlet("dialogad", &dialogad);
    bindOutlet("dialogad_content", &dialogad_content);
    bindOutlet("dialogad_btntolink", &dialogad_btntolink);
}

void QenMainViewController::bindActions() {
    // Unwind targets of screens that need nothing done on return.
    for (const char* name : {"backFromRecord:", "backFromHelp:"})
        bindAction(name, [](platform::runtime::Object*) {});

    for (int32_t n = 1; n <= 5; ++n) {
        bindAction(numbered("mslot", n) + ":",
                   [this, n](platform::runtime::Object*) { mslot(n - 1); });
        bindAction(numbered("wslot", n) + ":",
                   [this, n](platform::runtime::Object*) { wslot(n - 1); });
    }
    bindAction("dialogbuy_ok:",
               [this](platform::runtime::Object* sender) { dialogbuy_ok(sender); });
    bindAction("dialogbuy_cancel:",
               [this](platform::runtime::Object* sender) { dialogbuy_cancel(sender); });
    bindAction("dialogsell_ok:",
               [this](platform::runtime::Object* sender) { dialogsell_ok(sender); });
    bindAction("dialogsell_cancel:",
               [this](platform::runtime::Object* sender) { dialogsell_cancel(sender); });
    const std::initializer_list<
        std::pair<const char*, void (QenMainViewController::*)(platform::runtime::Object*)>>
        serviceActions = {{"bBank:", &QenMainViewController::bBank},
                          {"dialogbank_save:", &QenMainViewController::dialogbank_save},
                          {"dialogbank_get:", &QenMainViewController::dialogbank_get},
                          {"dialogbank_leave:", &QenMainViewController::dialogbank_leave},
                          {"bHospital:", &QenMainViewController::bHospital},
                          {"dialoghospital_ok:", &QenMainViewController::dialoghospital_okTapped},
                          {"dialoghospital_cancel:", &QenMainViewController::dialoghospital_cancel},
                          {"bAgent:", &QenMainViewController::bAgent},
                          {"dialogagent_ok:", &QenMainViewController::dialogagent_okTapped},
                          {"dialogagent_cancel:", &QenMainViewController::dialogagent_cancel},
                          {"bsound:", &QenMainViewController::bsound},
                          {"bVideo:", &QenMainViewController::bVideo}};
    for (const auto& [name, handler] : serviceActions)
        bindAction(name, [this, handler = handler](platform::runtime::Object* sender) {
            (this->*handler)(sender);
        });
    // More time, hint and crazy mode.
    const std::initializer_list<
        std::pair<const char*, void (QenMainViewController::*)(platform::runtime::Object*)>>
        helpActions = {
            {"dialogmoretime_ok:", &QenMainViewController::dialogmoretime_okTapped},
            {"dialogmoretime_close:", &QenMainViewController::dialogmoretime_close},
            {"dialogmoretime_addvoucher:", &QenMainViewController::dialogmoretime_addvoucher},
            {"dialogmoretime_hide:", &QenMainViewController::dialogmoretime_hide},
            {"dialogmoretime_show:", &QenMainViewController::dialogmoretime_show},
            {"dialoghint_close:", &QenMainViewController::dialoghint_close},
            {"bHint:", &QenMainViewController::bHint},
            {"dialogaskhint_ok:", &QenMainViewController::dialogaskhint_ok},
            {"dialogaskhint_cancel:", &QenMainViewController::dialogaskhint_cancel},
            {"bCrazy:", &QenMainViewController::bCrazy},
            {"dialogaskcrazy_ok:", &QenMainViewController::dialogaskcrazy_ok},
            {"dialogaskcrazy_cancel:", &QenMainViewController::dialogaskcrazy_cancel}};
    for (const auto& [name, handler] : helpActions)
        bindAction(name, [this, handler = handler](platform::runtime::Object* sender) {
            (this->*handler)(sender);
        });
    // The storyboard's segues open the house shop, the tutorial and the records screen.
    for (const char* name : {"bHouseSeller:", "bHelp:", "bRecrod:"})
        bindAction(name, [this](platform::runtime::Object*) { playSound(qend_->sid_button); });
    bindAction("backFromHouseSeller:", [this](platform::runtime::Object*) { refreshData(); });

    // The event dialog's second button does nothing by design.
    bindAction("dialogevent_moregame:", [](platform::runtime::Object*) {});
    bindAction("changeMarket1:", [this](platform::runtime::Object*) { changeMarket(1); });
    bindAction("changeMarket2:", [this](platform::runtime::Object*) { changeMarket(2); });
    bindAction("changeMarket3:", [this](platform::runtime::Object*) { changeMarket(3); });
    bindAction("dialogevent_cancel:",
               [this](platform::runtime::Object* sender) { dialogevent_cancel(sender); });
    bindAction("dialoggift_close:",
               [this](platform::runtime::Object* sender) { dialoggift_close(sender); });
    bindAction("dialogcast_ok:",
               [this](platform::runtime::Object* sender) { dialogcast_ok(sender); });
    bindAction("dialogcast_close:",
               [this](platform::runtime::Object* sender) { dialogcast_close(sender); });
    bindAction("clickFakead:", [this](platform::runtime::Object* sender) { clickFakead(sender); });
    bindAction("dismissFakead:",
               [this](platform::runtime::Object* sender) { dismissFakead(sender); });
    // The start and end dialogs.
    const std::initializer_list<
        std::pair<const char*, void (QenMainViewController::*)(platform::runtime::Object*)>>
        startActions = {{"newGame:", &QenMainViewController::newGame},
                        {"getVoucher:", &QenMainViewController::getVoucher},
                        {"dialogstart_incdown:", &QenMainViewController::dialogstart_incdown},
                        {"dialogstart_inc:", &QenMainViewController::dialogstart_inc},
                        {"dialogstart_decdown:", &QenMainViewController::dialogstart_decdown},
                        {"dialogstart_dec:", &QenMainViewController::dialogstart_dec},
                        {"dialogstart_ok:", &QenMainViewController::dialogstart_ok},
                        {"dialogstart_cancel:", &QenMainViewController::dialogstart_cancel},
                        {"dialogend_ok:", &QenMainViewController::dialogend_ok},
                        {"dialogend_cancel:", &QenMainViewController::dialogend_cancel},
                        {"dialogbuyv_video:", &QenMainViewController::dialogbuyv_videoTapped},
                        {"dialogbuyv_close:", &QenMainViewController::dialogbuyv_close}};
    for (const auto& [name, handler] : startActions)
        bindAction(name, [this, handler = handler](platform::runtime::Object* sender) {
            (this->*handler)(sender);
        });
    // The voucher shop's four packs, in the order of the product list.
    const char* const packs[] = {
        "dialogbuyv_v10:", "dialogbuyv_v140:", "dialogbuyv_v800:", "dialogbuyv_v1500:"};
    for (size_t position = 0; position < 4; ++position)
        bindAction(packs[position],
                   [this, position](platform::runtime::Object*) { buyVoucherPack(position); });
    // The story does not open again in this run once it has come back.
    bindAction("backFromGameStory:", [this](platform::runtime::Object*) { gamestoryshown = true; });
}

// Buying from the market's slots and selling from the warehouse's: the dialogs propose a
// quantity, and the model's result codes become notes, sounds and diaries.

#include <string>

#include "game/screens/QenMainViewController.h"
#include "platform/ui/Bundle.h"

namespace {

void setHidden(const std::weak_ptr<platform::ui::View>& outlet, bool hidden) {
    if (auto view = outlet.lock()) view->setHidden(hidden);
}

}  // namespace

void QenMainViewController::setTradeNote(const std::weak_ptr<Label>& note,
                                         const std::string& text) {
    if (auto label = note.lock()) {
        label->setText(text);
        label->setFont({qend_->fontname, 13, false});
    }
}

void QenMainViewController::setTradeNumber(const std::weak_ptr<TextField>& field,
                                           const std::string& text) {
    if (auto textField = field.lock()) {
        textField->setText(text);
        textField->setFont({qend_->fontname, 18, false});
    }
}

void QenMainViewController::openTradeDialog(bool buying) {
    setHidden(dialogfunc, false);
    setHidden(dialogbuy, !buying);
    setHidden(dialogsell, buying);
    for (const auto* panel : {&dialogevent, &dialogbank, &dialoghospital, &dialogagent})
        setHidden(*panel, true);
}

void QenMainViewController::mslot(int32_t slot) {
    QenData& d = *qend_;
    openTradeDialog(true);
    d.selgoodsm = slot;
    const int64_t most = d.buyGoodsLimit();
    setTradeNote(dialogbuy_note,
                 "你最多可以购买" + std::to_string(most) + "个" + d.goodsnamem.at(slot));
    setTradeNumber(dialogbuy_nbr, std::to_string(most));
    if (auto picture = dialogbuy_nameimg.lock())
        picture->setImage(platform::ui::imageNamed(d.goodsimgm.at(slot) + "_m"));
    playSound(d.sid_selgoods);
}

void QenMainViewController::dialogbuy_ok(platform::runtime::Object*) {
    QenData& d = *qend_;
    const int32_t n = enteredNumber(dialogbuy_nbr);
    if (n <= 0) {
        playSound(d.sid_error);
        setTradeNumber(dialogbuy_nbr, "");
        setTradeNote(dialogbuy_note, "请输入大于0的数字");
        return;
    }
    switch (d.buyGoods(n)) {
        case 1:
            playSound(d.sid_money);
            setHidden(dialogbuy, true);
            refreshData();
            break;
        case 2: {
            playSound(d.sid_error);
            const int64_t most = d.buyGoodsLimit();
            setTradeNote(dialogbuy_note,
                         "你的资金不足， 最多只能购买" + std::to_string(most) + "个");
            setTradeNumber(dialogbuy_nbr, std::to_string(most));
            break;
        }
        case 3: {
            playSound(d.sid_error);
            const int32_t space = QenData::readInt(d.wavailable);
            setTradeNote(dialogbuy_note,
                         "仓库空间不足， 仓库最多还能存放" + std::to_string(space) + "个货物");
            setTradeNumber(dialogbuy_nbr, std::to_string(space));
            break;
        }
        case 4:
            playSound(d.sid_error);
            setTradeNote(dialogbuy_note, "仓库最多只能存放5种货物");
            break;
        case 5:
            playSound(d.sid_error);
            setTradeNote(dialogbuy_note, "请选择你要购买的货物");
            break;
        default:
            break;
    }
}

void QenMainViewController::dialogbuy_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialogbuy, true);
    setHidden(dialogfunc, true);
}

void QenMainViewController::wslot(int32_t slot) {
    QenData& d = *qend_;
    openTradeDialog(false);
    d.selgoodsw = slot;
    const int32_t held = QenData::readInt(d.goodsnbrw.at(slot));
    setTradeNumber(dialogsell_nbr, std::to_string(held));
    if (auto picture = dialogsell_nameimg.lock())
        picture->setImage(platform::ui::imageNamed(d.goodsimgw.at(slot) + "_w"));
    const int32_t market = d.sellGoodsHave(d.goodsnamew.at(slot));
    if (market < 0) {
        setTradeNote(dialogsell_note, "市场中没有这种货物， 你无法出售");
        setTradeNumber(dialogsell_nbr, "0");
    } else {
        setTradeNote(dialogsell_note, d.countProfit(market));
    }
    playSound(d.sid_selgoods);
}

void QenMainViewController::dialogsell_ok(platform::runtime::Object*) {
    QenData& d = *qend_;
    const int32_t n = enteredNumber(dialogsell_nbr);
    const bool slotSelected = d.selgoodsw >= 0 && d.selgoodsw < 5;
    if (n <= 0) {
        playSound(d.sid_error);
        if (slotSelected && d.sellGoodsHave(d.goodsnamew.at(d.selgoodsw)) < 0) {
            setTradeNote(dialogsell_note, "市场中没有这种货物， 你无法出售");
            setTradeNumber(dialogsell_nbr, "0");
        } else {
            setTradeNote(dialogsell_note, "请输入大于0的数字");
            setTradeNumber(dialogsell_nbr, "");
        }
        return;
    }
    switch (d.sellGoods(n)) {
        case 1:
            playSound(d.sid_money);
            refreshData();
            break;
        case 2:
            playSound(d.sid_error);
            setTradeNote(dialogsell_note, "你的库存不足， 请正确填写要出售的数量");
            if (slotSelected)
                setTradeNumber(dialogsell_nbr,
                               std::to_string(QenData::readInt(d.goodsnbrw.at(d.selgoodsw))));
            break;
        case 4:
            playSound(d.sid_money);
            d.curevent = 3;
            showDiary("    倒卖地沟油毒害无辜群众健康， 我的名声变差了!");
            break;
        case 5:
            playSound(d.sid_money);
            d.curevent = 3;
            showDiary("    销售肾牌手机蛊惑屌丝卖肾， 我的名声变差了!");
            break;
        case 6:
            playSound(d.sid_error);
            setTradeNote(dialogsell_note, "市场中没有这种货物， 你无法出售！");
            setTradeNumber(dialogsell_nbr, "0");
            break;
        default:  // 3: no slot selected
            break;
    }
}

void QenMainViewController::dialogsell_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialogsell, true);
    setHidden(dialogfunc, true);
}

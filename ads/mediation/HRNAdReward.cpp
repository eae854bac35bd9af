#include "ads/mediation/HRNAdReward.h"

std::shared_ptr<HRNAdReward> HRNAdReward::createWithRewardType(
    const std::optional<std::string>& type,
    const std::optional<double>& amount) {
    if (!type || !amount) return nullptr;
    return std::make_shared<HRNAdReward>(*type, *amount);
}

std::shared_ptr<HRNAdReward> HRNAdReward::createWithRewardDictionary(
    const platform::Value* dictionary) {
    if (!dictionary || !dictionary->isDictionary()) return nullptr;
    std::optional<std::string> type;
    std::optional<double> amount;
    if (const platform::Value* value = dictionary->find("rb_type"); value && value->isString())
        type = *value->string();
    // A JSON boolean counts as the number 0 or 1.
    if (const platform::Value* value = dictionary->find("rb_amount");
        value && (value->isNumber() || value->isBool()))
        amount = value->asReal();
    return createWithRewardType(type, amount);
}

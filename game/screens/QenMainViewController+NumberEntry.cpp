// The three number fields (buy, sell, agent): digits only, the screen lifted while the keyboard
// is up, and the agent's cost line kept in step with its field.

#include <string>

#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"

namespace {

constexpr double kLiftSeconds = 0.3;
constexpr double kLiftY = -150;

}  // namespace

bool QenMainViewController::validateNumber(const std::string& text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int32_t QenMainViewController::enteredNumber(const std::weak_ptr<TextField>& field) {
    // An empty field is 0 and a long digit string stops at the 32-bit bound.
    auto textField = field.lock();
    return textField ? qen::intValue(textField->text()) : 0;
}

void QenMainViewController::updateAgentNote() {
    if (auto note = dialogagent_note.lock())
        note->setText("共需要花费" + std::to_string(enteredNumber(dialogagent_nbr)) + "万元");
}

void QenMainViewController::textFieldDidBeginEditing(TextField& textField) {
    if (auto root = view()) {
        const auto size = root->frame().size;
        View::animate(kLiftSeconds, [&] { root->setFrame({{0, kLiftY}, size}); });
    }
    textField.setText("");
}

void QenMainViewController::textFieldDidEndEditing(TextField&) {
    if (auto root = view()) root->setFrame({{0, 0}, root->frame().size});
    if (auto agent = dialogagent.lock(); agent && !agent->isHidden()) updateAgentNote();
}

bool QenMainViewController::textFieldShouldChangeCharactersInRangeReplacementString(
    TextField&,
    platform::ui::TextRange,
    const std::string& replacement) {
    return validateNumber(replacement);
}

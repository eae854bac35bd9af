#pragma once
// Typed text for both front ends: the keyboard (or a script's `type` line) writes into the text
// field that is first responder, one character at a time as a phone keyboard sends it. Main
// thread only.

#include <memory>
#include <string_view>

#include "platform/ui/TextField.h"

namespace qen::app {

// The field being edited: the key window's first responder, else that of the front-most
// visible window that has one; null when no text field is first responder.
std::shared_ptr<platform::ui::TextField> focusedTextField();

// Sends `text` to the field character by character (UTF-8 sequences kept whole).
void typeInto(platform::ui::TextField& field, std::string_view text);

}  // namespace qen::app

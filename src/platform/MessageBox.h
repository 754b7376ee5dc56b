// The modal message box: the host installs a handler; without one the text
// goes to standard error.
#pragma once

#include "platform/Text.h"

namespace vantrel {

using MessageBoxHandler = void (*)(const char16_t *text, void *context);

void SetMessageBoxHandler(MessageBoxHandler handler, void *context);
// Shows the text and returns when the handler returns.
void ShowMessageBox(const String &text);

}  // namespace vantrel

#pragma once
// A plain modal message with one OK button, shown when a display exists; the
// text also goes to stderr, always.

namespace ModalMessage {

void show(const char *text, const char *caption);

} // namespace ModalMessage

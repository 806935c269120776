#pragma once

#include <functional>

namespace tillory::app {

/// Runs `save` once, on whichever thread says it, when Qt reports that the process is about to end without
/// unwinding: a fatal message, or its Wayland plugin's notice that the compositor connection broke (the plugin
/// then ends the process at once, so neither the event loop nor any exit handler runs again). Every message still
/// reaches the handler that was installed before. Replaces an earlier `save`.
void saveOnLastWords(std::function<void()> save);

/// Whether a message of `type` with `text` is such a last word.
bool isLastWords(int type, const char* text);

} // namespace tillory::app

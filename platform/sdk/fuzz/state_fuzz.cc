// The stand-in's state and script files as an engineer may have edited
// them: parsed without harm, and what parses comes back the same once
// written out again.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "display_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    displaysdk::DisplayState state;
    if (displaysdk::parse_state(text, state, error)) {
        std::string once = displaysdk::format_state(state);
        displaysdk::DisplayState again;
        if (!displaysdk::parse_state(once, again, error) || displaysdk::format_state(again) != once) abort();
    }
    displaysdk::Script script;
    if (displaysdk::parse_script(text, script, error)) {
        std::string once = displaysdk::format_script(script);
        displaysdk::Script again;
        if (!displaysdk::parse_script(once, again, error) || displaysdk::format_script(again) != once) abort();
    }
    return 0;
}

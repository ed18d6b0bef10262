// rastrel-print's page description text, and the page macros of its texts.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "rastrel_print/page_description.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    rastrel_print::ParseResult result = rastrel_print::parsePageDescription(text, "fuzz");
    if (result.errors.size() > rastrel_print::kMaxErrors + 1) __builtin_trap();
    for (const auto& page : result.description.pages)
        for (const auto& located : page)
            if (const auto* command = std::get_if<rastrel_print::TextCommand>(&located.command))
                (void)rastrel_print::expandMacros(command->text, 1, 2);
    return 0;
}

// libFuzzer target for the hive file parser: any text must parse or be
// refused without a crash, and what parses must come back unchanged from
// the writer's text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<regfile::Key> keys, again;
    if (regfile::Parse(text, &keys) &&
        !(regfile::Parse(regfile::Format(keys), &again) && again == keys))
        __builtin_trap();
    return 0;
}

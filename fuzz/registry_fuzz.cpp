// libFuzzer target for the hive file parser and the merge of a save. Any text
// must parse or be refused without a crash, and what parses must come back
// unchanged from the writer's text. The input is also read as UTF-16LE text
// (each byte one character), so that the version 5 files' path is explored.
// A form feed splits the input into two hives a and b: applying the changes
// from a to b onto a must give b, up to order and the case of names.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "platform/common/regfile.h"
#include "platform/files.h"

namespace {

void CheckRoundTrip(const std::string& text) {
    regfile::Keys keys, again;
    if (regfile::Parse(text, &keys) &&
        !(regfile::Parse(regfile::Format(keys), &again) && again == keys))
        __builtin_trap();
}

// The keys and values by folded names, with each value's type and bytes.
std::map<std::string, std::map<std::string, std::string>> Canonical(const regfile::Keys& keys) {
    std::map<std::string, std::map<std::string, std::string>> out;
    for (const auto& k : keys.list()) {
        auto& values = out[FoldCase(k.path)];
        for (const auto& v : k.values())
            values[FoldCase(v.name)] = std::to_string(v.type) + ":" + v.data;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    CheckRoundTrip(text);

    std::string wide = "\xFF\xFE";
    for (char c : text) wide += std::string{c, '\0'};
    CheckRoundTrip(wide);

    std::size_t split = text.find('\f');
    regfile::Keys a, b;
    if (split != std::string::npos && regfile::Parse(text.substr(0, split), &a) &&
        regfile::Parse(text.substr(split + 1), &b)) {
        regfile::Apply(regfile::Diff(a, b), &a);
        if (Canonical(a) != Canonical(b)) __builtin_trap();
    }
    return 0;
}

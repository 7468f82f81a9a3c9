// insmod's parameter handling on arbitrary argument lines: any outcome is
// fine but a crash, an access outside a parameter's variable, or an s
// parameter pointing at anything but a kept string.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\n')) ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\n') ++j;
        if (j > i) args.push_back(line.substr(i, j - i));
        i = j;
    }

    // Exactly the size each declaration needs, so that ASan sees any overrun.
    auto ival = std::make_unique<int>(0);
    auto bval = std::make_unique<unsigned char>(0);
    auto list = std::make_unique<unsigned short[]>(48);
    auto lval = std::make_unique<long[]>(3);
    auto sval = std::make_unique<char*>(nullptr);
    auto cval = std::make_unique<char[]>(2 * 8);
    std::vector<kplat::detail::ParamSpec> specs = {
        {"ival", "i", ival.get(), sizeof(int)},
        {"bval", "b", bval.get(), 1},
        {"probe", "1-48h", list.get(), 48 * sizeof(unsigned short)},
        {"lval", "2-3l", lval.get(), 3 * sizeof(long)},
        {"sval", "s", sval.get(), sizeof(char*)},
        {"cval", "1-2c8", cval.get(), 16},
    };
    std::vector<std::unique_ptr<char[]>> strings;
    kplat::detail::apply_params(args, specs, strings);
    if (*sval) {
        bool kept = false;
        for (auto& s : strings) kept = kept || s.get() == *sval;
        if (!kept) __builtin_trap();
        (void)std::strlen(*sval);
    }
    if (cval[7] != '\0' || cval[15] != '\0') __builtin_trap();
    return 0;
}

// Module parameters as insmod sets them: "name=v1,v2,..." against the
// MODULE_PARM declarations of the module, types "[min[-max]]{b,h,i,l,s,cN}".
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kplat::detail {

struct ParamSpec {
    std::string name;
    std::string type;  // as declared: "i", "1-48h", "c16"
    void* addr;        // the module's variable
    unsigned long size;
};

struct ParamType {
    unsigned long min = 1, max = 1;  // value count
    char kind = 'i';                 // b h i l s c
    unsigned long elem = 0;          // bytes per value
};

// Reads a declared type; false when it is malformed.
bool parse_param_type(std::string_view type, ParamType& out);

// Checks every declaration against its variable, then applies the
// arguments in order. Values are integers in C notation (0x.., 0..) within
// the type's range, or text for s and cN; an empty value between commas
// leaves that element as it was. Returns "" on success, else why not; on
// failure nothing of the failing argument is written. Strings given to s
// parameters are kept in `strings`, which must live as long as the module.
std::string apply_params(const std::vector<std::string>& args, const std::vector<ParamSpec>& specs,
                         std::vector<std::unique_ptr<char[]>>& strings);

}  // namespace kplat::detail

// insmod's parameter handling.
#include "params.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace kplat::detail {

namespace {

bool parse_count(std::string_view& s, unsigned long& out) {
    size_t i = 0;
    unsigned long v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        v = v * 10 + static_cast<unsigned long>(s[i] - '0');
        if (v > 1000000) return false;
        ++i;
    }
    if (i == 0) return false;
    out = v;
    s.remove_prefix(i);
    return true;
}

// One integer value; range is the union of the type's signed and unsigned
// ranges, so "-1" and "0xffff" both fit an "h".
bool parse_int(const std::string& text, char kind, unsigned long long& out) {
    if (text.empty()) return false;
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long lo;
    unsigned long long hi;
    switch (kind) {
    case 'b':
        lo = -128;
        hi = 255;
        break;
    case 'h':
        lo = -32768;
        hi = 65535;
        break;
    case 'i':
        lo = INT_MIN;
        hi = UINT_MAX;
        break;
    default:
        lo = LONG_MIN;
        hi = ULONG_MAX;
        break;
    }
    if (s[0] == '-') {
        long long v = std::strtoll(s, &end, 0);
        if (errno || *end || end == s || v < lo) return false;
        out = static_cast<unsigned long long>(v);
    } else {
        if (s[0] == '+' || s[0] == ' ') return false;
        unsigned long long v = std::strtoull(s, &end, 0);
        if (errno || *end || end == s || v > hi) return false;
        out = v;
    }
    return true;
}

void store(void* at, unsigned long elem, unsigned long long v) {
    switch (elem) {
    case 1: {
        auto x = static_cast<unsigned char>(v);
        std::memcpy(at, &x, 1);
        break;
    }
    case 2: {
        auto x = static_cast<unsigned short>(v);
        std::memcpy(at, &x, 2);
        break;
    }
    case 4: {
        auto x = static_cast<unsigned int>(v);
        std::memcpy(at, &x, 4);
        break;
    }
    default: {
        auto x = static_cast<unsigned long long>(v);
        std::memcpy(at, &x, 8);
        break;
    }
    }
}

std::vector<std::string> split_values(std::string_view s) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t comma = s.find(',', start);
        out.emplace_back(s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return out;
}

}  // namespace

bool parse_param_type(std::string_view type, ParamType& out) {
    ParamType t;
    if (!type.empty() && type[0] >= '0' && type[0] <= '9') {
        if (!parse_count(type, t.min)) return false;
        t.max = t.min;
        if (!type.empty() && type[0] == '-') {
            type.remove_prefix(1);
            if (!parse_count(type, t.max)) return false;
        }
    }
    if (type.empty() || t.max < 1 || t.min > t.max) return false;
    t.kind = type[0];
    type.remove_prefix(1);
    switch (t.kind) {
    case 'b': t.elem = 1; break;
    case 'h': t.elem = sizeof(short); break;
    case 'i': t.elem = sizeof(int); break;
    case 'l': t.elem = sizeof(long); break;
    case 's': t.elem = sizeof(char*); break;
    case 'c':
        if (!parse_count(type, t.elem) || t.elem < 2) return false;
        break;
    default: return false;
    }
    if (!type.empty()) return false;
    out = t;
    return true;
}

std::string apply_params(const std::vector<std::string>& args, const std::vector<ParamSpec>& specs,
                         std::vector<std::unique_ptr<char[]>>& strings) {
    std::vector<ParamType> types(specs.size());
    for (size_t i = 0; i < specs.size(); i++) {
        if (!parse_param_type(specs[i].type, types[i]))
            return "parameter " + specs[i].name + " has a bad type '" + specs[i].type + "'";
        if (types[i].max > specs[i].size / types[i].elem)
            return "parameter " + specs[i].name + " is smaller than its type '" + specs[i].type + "'";
    }

    for (const std::string& arg : args) {
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        size_t k = 0;
        while (k < specs.size() && specs[k].name != name) ++k;
        if (name.empty() || k == specs.size()) return "unknown parameter '" + name + "'";
        if (eq == std::string::npos || eq + 1 == arg.size()) return "parameter " + name + " has no value";
        const ParamSpec& spec = specs[k];
        const ParamType& type = types[k];
        std::vector<std::string> values = split_values(std::string_view(arg).substr(eq + 1));
        if (values.size() > type.max)
            return "too many values for parameter " + name + " (at most " + std::to_string(type.max) + ")";
        if (values.size() < type.min)
            return "too few values for parameter " + name + " (at least " + std::to_string(type.min) + ")";

        // Check every value first, so that a bad one writes nothing.
        std::vector<unsigned long long> ints(values.size());
        for (size_t i = 0; i < values.size(); i++) {
            const std::string& v = values[i];
            if (v.empty()) continue;
            if (type.kind == 's') continue;
            if (type.kind == 'c') {
                if (v.size() >= type.elem) return "value '" + v + "' too long for parameter " + name;
                continue;
            }
            if (!parse_int(v, type.kind, ints[i])) return "bad value '" + v + "' for parameter " + name;
        }
        auto* base = static_cast<unsigned char*>(spec.addr);
        for (size_t i = 0; i < values.size(); i++) {
            const std::string& v = values[i];
            unsigned char* at = base + i * type.elem;
            if (v.empty()) continue;
            if (type.kind == 's') {
                auto copy = std::make_unique<char[]>(v.size() + 1);
                std::memcpy(copy.get(), v.c_str(), v.size() + 1);
                char* p = copy.get();
                std::memcpy(at, &p, sizeof(p));
                strings.push_back(std::move(copy));
            } else if (type.kind == 'c') {
                std::memset(at, 0, type.elem);
                std::memcpy(at, v.data(), v.size());
            } else {
                store(at, type.elem, ints[i]);
            }
        }
    }
    return "";
}

}  // namespace kplat::detail

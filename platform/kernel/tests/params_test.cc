// insmod's parameter parser on its own: declared types and the checks made
// against the variables behind them.
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "params.h"

namespace {

using kplat::detail::apply_params;
using kplat::detail::parse_param_type;
using kplat::detail::ParamSpec;
using kplat::detail::ParamType;

TEST(ParamType, Declarations) {
    struct Case {
        const char* text;
        bool ok;
        unsigned long min, max;
        char kind;
        unsigned long elem;
    };
    const Case cases[] = {
        {"i", true, 1, 1, 'i', sizeof(int)},
        {"b", true, 1, 1, 'b', 1},
        {"h", true, 1, 1, 'h', sizeof(short)},
        {"l", true, 1, 1, 'l', sizeof(long)},
        {"s", true, 1, 1, 's', sizeof(char*)},
        {"1-48h", true, 1, 48, 'h', sizeof(short)},
        {"3i", true, 3, 3, 'i', sizeof(int)},
        {"0-2l", true, 0, 2, 'l', sizeof(long)},
        {"c16", true, 1, 1, 'c', 16},
        {"2-4c8", true, 2, 4, 'c', 8},
        {"", false, 0, 0, 0, 0},
        {"x", false, 0, 0, 0, 0},
        {"ii", false, 0, 0, 0, 0},
        {"4-2i", false, 0, 0, 0, 0},
        {"0i", false, 0, 0, 0, 0},
        {"1-", false, 0, 0, 0, 0},
        {"1-i", false, 0, 0, 0, 0},
        {"c", false, 0, 0, 0, 0},
        {"c1", false, 0, 0, 0, 0},
        {"-1i", false, 0, 0, 0, 0},
        {"99999999i", false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        ParamType t;
        ASSERT_EQ(c.ok, parse_param_type(c.text, t)) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(c.min, t.min) << c.text;
        EXPECT_EQ(c.max, t.max) << c.text;
        EXPECT_EQ(c.kind, t.kind) << c.text;
        EXPECT_EQ(c.elem, t.elem) << c.text;
    }
}

TEST(ApplyParams, DeclarationsMustFitTheirVariables) {
    short list[4] = {};
    std::vector<std::unique_ptr<char[]>> strings;
    EXPECT_EQ("parameter list is smaller than its type '1-5h'",
              apply_params({}, {{"list", "1-5h", list, sizeof(list)}}, strings));
    EXPECT_EQ("parameter list has a bad type 'q'", apply_params({}, {{"list", "q", list, sizeof(list)}}, strings));
    EXPECT_EQ("", apply_params({"list=1,2,3,4"}, {{"list", "1-4h", list, sizeof(list)}}, strings));
    EXPECT_EQ(4, list[3]);
}

TEST(ApplyParams, AFailingArgumentWritesNothing) {
    int arr[3] = {7, 8, 9};
    std::vector<std::unique_ptr<char[]>> strings;
    std::vector<ParamSpec> specs = {{"arr", "1-3i", arr, sizeof(arr)}};
    EXPECT_NE("", apply_params({"arr=1,2,z"}, specs, strings));
    EXPECT_EQ(7, arr[0]);
    EXPECT_EQ(8, arr[1]);
}

TEST(ApplyParams, StringsAreKept) {
    char* s = nullptr;
    char fixed[4] = "old";
    std::vector<std::unique_ptr<char[]>> strings;
    std::vector<ParamSpec> specs = {{"s", "s", &s, sizeof(s)}, {"c", "c4", fixed, sizeof(fixed)}};
    EXPECT_EQ("too many values for parameter s (at most 1)", apply_params({"s=a,b"}, specs, strings));
    EXPECT_EQ("", apply_params({"s=hello", "c=xy"}, specs, strings));
    ASSERT_NE(nullptr, s);
    EXPECT_STREQ("hello", s);
    EXPECT_STREQ("xy", fixed);
    EXPECT_EQ(1u, strings.size());
}

}  // namespace

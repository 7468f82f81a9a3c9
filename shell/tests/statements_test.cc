// Statements through the real program: what each prints on standard output
// and reports on standard error. Script lines are numbered from 1, so file
// messages carry the line; a line read interactively (on a pipe here) gives
// the forms without a number.
#include <gtest/gtest.h>

#include <string>

#include "vreg_run.h"

namespace {

using vregtest::run_script;
using vregtest::run_stdin;

struct Case {
    const char* script;
    const char* out;
    const char* err;
};

void check(const Case* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const Case& c = cases[i];
        auto r = run_script(c.script);
        EXPECT_EQ(r.status, 0) << c.script;
        EXPECT_EQ(r.out, c.out) << c.script;
        EXPECT_EQ(r.err, c.err) << c.script;
    }
}

TEST(Statements, PrintAndHex) {
    const Case cases[] = {
        {"print 10\n", "10\n", ""},
        {"hex 255\n", "0x000000FF\n", ""},
        {"print 0x10 | 1\n", "17\n", ""},
        {"print\n", "0\n", ""},
        {"hex\n", "0x00000000\n", ""},
        {"print 101b + 012 + 019 + 0x1f\n", "65\n", ""},
        {"print 99999999999\n", "4294967295\n", ""},
        {"hex 0xFFFFFFFF\n", "0xFFFFFFFF\n", ""},
        {"print 1 // the rest is a comment: print 2\n", "1\n", ""},
        {"  print\t1 \n", "1\n", ""},
        {"print 1\nhex 2\nprint 3", "1\n0x00000002\n3\n", ""},
        {"\n\n", "", ""},
    };
    check(cases, std::size(cases));
}

TEST(Statements, ArithmeticIs32BitUnsigned) {
    const Case cases[] = {
        {"print 1 + 2 * 3\n", "9\n", ""},  // one level, to the left
        {"print 8 >> 1 + 1\n", "5\n", ""},
        {"print ~1 + 1\n", "4294967293\n", ""},  // NOT takes all to its right: ~2
        {"print 1 + ~1\n", "4294967295\n", ""},
        {"print 2 * (3 + 4)\n", "14\n", ""},
        {"print ((1))\n", "1\n", ""},
        {"print 1 << 33\n", "2\n", ""},  // shift count modulo 32
        {"print 0x80000000 >> 63\n", "1\n", ""},
        {"print 1 << 32\n", "1\n", ""},
        {"print 0 - 1\n", "4294967295\n", ""},
        {"print 0xFFFFFFFF + 2\n", "1\n", ""},
        {"print 0x10000 * 0x10000\n", "0\n", ""},
        {"print 7 / 2\n", "3\n", ""},
        {"print 0xFFFFFFFF / 2\n", "2147483647\n", ""},
        {"print 7 % 4\n", "3\n", ""},
        {"print 6 & 3\n", "2\n", ""},
        {"print 6 ^ 3\n", "5\n", ""},
        {"print 6 | 3 - 1\n", "6\n", ""},
        {"hex ~0\n", "0xFFFFFFFF\n", ""},
    };
    check(cases, std::size(cases));
}

TEST(Statements, DivisionByZeroAndTextsAsNumbersFailTheStatement) {
    const Case cases[] = {
        {"print 1 / 0\n", "", "division by zero\n"},
        {"print 5 % 0\n", "", "division by zero\n"},
        {"hex (1 / 0) + 1 / 0\n", "", "division by zero\n"},  // reported once
        {"print ~(1 % 0)\n", "", "division by zero\n"},
        {"gl(1 / 0)\n", "", "division by zero\n"},  // not called
        {"print gl(0x1000, 1 / 0) + 1\n", "", "division by zero\n"},
        {"print \"abc\"\n", "", "string used as a number\n"},
        {"hex \"abc\"\n", "", "string used as a number\n"},
        {"print \"a\" + \"b\"\n", "", "string used as a number\n"},
        {"print ~\"a\"\n", "", "string used as a number\n"},
        {"print (\"a\") * 2 / 0\n", "", "string used as a number\n"},
        {"nosuch(\"a\" + 1)\n", "", "string used as a number\n"},
        {"print 1 / 0\nprint 2\n", "2\n", "division by zero\n"},
    };
    check(cases, std::size(cases));
}

TEST(Statements, SyntaxErrorsNameTheLineAndTheRestOfIt) {
    const Case cases[] = {
        {"print 1 2\n", "", "Parser:1: syntax error near token '2\n'\n"},
        {"print 1 ; print 2\n", "2\n", "Parser:1: syntax error near token '; print 2\n'\n"},
        // A bare expression is no statement: every token starts a new one.
        {"1+2\n", "",
         "Parser:1: syntax error near token '1+2\n'\n"
         "Parser:1: syntax error near token '+2\n'\n"
         "Parser:1: syntax error near token '2\n'\n"},
        {"print 1 - -1\n", "",
         "Parser:1: syntax error near token '-1\n'\n"
         "Parser:1: syntax error near token '1\n'\n"},
        // At the end of input the newline has been counted already.
        {"print 1 +\n", "", "Parser:2: syntax error near token ''\n"},
        {"print_x\n", "", "Parser:2: syntax error near token ''\n"},
        {"\nprint (1\n", "", "Parser:3: syntax error near token ''\n"},
        {"print 1.5\n", "", "Parser:1: syntax error near token '5\n'\n"},
        {"print 1 ) print 2\n", "2\n", "Parser:1: syntax error near token ') print 2\n'\n"},
        {"print 2 print 3 print 4\n", "4\n",
         "Parser:1: syntax error near token 'print 3 print 4\n'\n"
         "Parser:1: syntax error near token '3 print 4\n'\n"},
        {"gl(0x1000) gl(0x1004)\n", "",
         "address 0x1000 isn't mapped\n"
         "Parser:1: syntax error near token 'gl(0x1004)\n'\n"
         "Parser:1: syntax error near token '(0x1004)\n'\n"
         "Parser:1: syntax error near token '0x1004)\n'\n"
         "Parser:1: syntax error near token ')\n'\n"},
        {"print \"a\" \"b\"\n", "", "string used as a number\n"},  // one text: a" "b
        {"print 1\nprint 1 2\nprint 3\n", "1\n3\n", "Parser:2: syntax error near token '2\n'\n"},
    };
    check(cases, std::size(cases));
}

TEST(Statements, InteractiveLinesGiveMessagesWithoutANumber) {
    auto r = run_stdin("gl(\nprint 1 2\nprint 4\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "4\n");
    EXPECT_EQ(r.err,
              "Parser: syntax error near token ''\n"
              "Parser: syntax error near token '2'\n");
}

TEST(Statements, ArgumentsAreCountedWithOneOmittedAsNone) {
    const Case cases[] = {
        {"mmap()\n", "", "invalid number of arguments (required 3)\n"},   // f() has none
        {"mmap(,)\n", "", "invalid number of arguments (required 3)\n"},  // two NONE
        {"mmap(,,)\n", "", "argument 1 wrong type, expected STRING\n"},   // three NONE
        {"gl()\n", "", "invalid number of arguments (required at least 1)\n"},
        {"gl(,)\n", "", "argument 1 wrong type, expected LONG\n"},
        {"munmap(1,)\n", "", "invalid number of arguments (required 1)\n"},  // LONG and NONE
        {"gl(1,)\n", "", "argument 2 wrong type, expected LONG\n"},
        {"nosuch(1, \"x\", gl)\n", "", "Parser:1: syntax error near token ')\n'\n"},
        {"Maplist()\n", "", "unknown function 'Maplist'\n"},  // names are case-sensitive
        {"maplist(1, \"x\", (2))\n", "empty map list\n", ""},
    };
    check(cases, std::size(cases));
}

// The stack holds 100 entries: "print", 96 parentheses, the number and a
// closing parenthesis fill it.
TEST(Statements, NinetySixNestedParenthesesFitNinetySevenOverflow) {
    auto nest = [](int n) { return "print " + std::string(n, '(') + "7" + std::string(n, ')') + "\n"; };
    auto r = run_script(nest(96));
    EXPECT_EQ(r.out, "7\n");
    EXPECT_EQ(r.err, "");

    r = run_script(nest(97));
    EXPECT_EQ(r.out, "");
    auto errs = hostns::lines(r.err);
    ASSERT_FALSE(errs.empty());
    EXPECT_EQ(errs[0], "Parser:1: Giving up. Stack overflow.");
    // The closing parentheses left over each start a statement and fail.
    EXPECT_EQ(errs.size(), 1u + 96u * 2u) << r.err;  // each message carries the line's newline
    EXPECT_EQ(r.status, 0);

    r = run_stdin(nest(97) + "print 5\n");
    EXPECT_EQ(hostns::lines(r.err).at(0), "Parser: Giving up. Stack overflow.");
    EXPECT_EQ(hostns::lines(r.err).size(), 97u);
    EXPECT_EQ(r.out, "5\n");
}

}  // namespace

// The lexer on its own: token codes, values and the record's bookkeeping.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "vreg.h"

namespace {

// One token as "NAME" or "NAME(value)".
std::string show(int code, const TokenValue& v) {
    std::string s = yy_symbol_name[code];
    if (code == INT || code == OCT || code == HEX || code == BIN) s += "(" + std::to_string(v.num) + ")";
    if (code == FUNCTION || code == STRING) {
        s += "(" + std::string(v.text ? v.text : "<null>") + ")";
        free(v.text);
    }
    return s;
}

// Cuts text as the line handler does, keeping every token.
std::vector<std::string> tokens(const std::string& text, bool keep_blanks = false) {
    Lexer lx = {};
    lx.tok = text.c_str();
    lx.lim = text.c_str() + text.size();
    std::vector<std::string> out;
    do {
        TokenValue v;
        v.num = 0;
        int code = lex_next(&lx, &v);
        if (keep_blanks || code != UNK || *lx.tok != ' ') out.push_back(show(code, v));
        lx.tok = lx.cur;
    } while (lx.cur < lx.lim);
    return out;
}

using V = std::vector<std::string>;

struct Case {
    const char* text;
    V want;
};

TEST(Lexer, CutsTokens) {
    const Case cases[] = {
        {"gl(0x1000)", {"FUNCTION(gl)", "LPAR", "HEX(4096)", "RPAR"}},
        {"print", {"PRINT"}},
        {"hex", {"PRT_HEX"}},
        {"print_x printf hexa _a1", {"FUNCTION(print_x)", "FUNCTION(printf)", "FUNCTION(hexa)", "FUNCTION(_a1)"}},
        {"Print HEX", {"FUNCTION(Print)", "FUNCTION(HEX)"}},
        {"1.5", {"INT(1)", "UNK", "INT(5)"}},
        {"a<b", {"FUNCTION(a)", "UNK", "FUNCTION(b)"}},
        {"a>b", {"FUNCTION(a)", "UNK", "FUNCTION(b)"}},
        {"1<<2>>3", {"INT(1)", "LSHIFT", "INT(2)", "RSHIFT", "INT(3)"}},
        {"(),;~+-*|&^%/",
         {"LPAR", "RPAR", "COMMA", "CDOT", "NOT", "PLUS", "MINUS", "MULT", "OR", "AND", "XOR", "MODULE", "DIV"}},
        {"print 1 // hex 2", {"PRINT", "INT(1)", "COMMENT"}},
        {"//", {"COMMENT"}},
        {"\"abc\"", {"STRING(abc)"}},
        {"mmap(\"a\", 1, \"b\")", {"FUNCTION(mmap)", "LPAR", "STRING(a\", 1, \"b)", "RPAR"}},
        {"\"\"", {"STRING()"}},
        {"x\"y", {"FUNCTION(x)", "UNK", "FUNCTION(y)"}},
        {"\"a // b\" + 1", {"STRING(a // b)", "PLUS", "INT(1)"}},
        {"=#!:[]{}'`@?\\\t",
         {"UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK", "UNK"}},
        {"\xc3\xa8", {"UNK", "UNK"}},
        {"a\nb\rc", {"FUNCTION(a)", "NEWLINE", "FUNCTION(b)", "NEWLINE", "FUNCTION(c)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(tokens(c.text), c.want) << c.text;
}

TEST(Lexer, NumberForms) {
    const Case cases[] = {
        {"101b", {"BIN(5)"}},
        {"0101b", {"BIN(5)"}},
        {"0b", {"BIN(0)"}},
        {"1b", {"BIN(1)"}},
        {"11111111111111111111111111111111b", {"BIN(4294967295)"}},
        {"111111111111111111111111111111111b", {"BIN(4294967295)"}},
        {"12b", {"INT(12)", "FUNCTION(b)"}},
        {"0127b", {"OCT(87)", "FUNCTION(b)"}},
        {"0128b", {"INT(128)", "FUNCTION(b)"}},
        {"012", {"OCT(10)"}},
        {"0101", {"OCT(65)"}},
        {"00", {"OCT(0)"}},
        {"019", {"INT(19)"}},
        {"08", {"INT(8)"}},
        {"0128", {"INT(128)"}},
        {"0", {"INT(0)"}},
        {"0+", {"INT(0)", "PLUS"}},
        {"0x", {"INT(0)", "FUNCTION(x)"}},
        {"0xg", {"INT(0)", "FUNCTION(xg)"}},
        {"0x1F", {"HEX(31)"}},
        {"0xabcDEF", {"HEX(11259375)"}},
        {"0x1b", {"HEX(27)"}},
        {"0xFFFFFFFF", {"HEX(4294967295)"}},
        {"0x100000000", {"HEX(4294967295)"}},
        {"0X1F", {"INT(0)", "FUNCTION(X1F)"}},
        {"0B", {"INT(0)", "FUNCTION(B)"}},
        {"4294967295", {"INT(4294967295)"}},
        {"4294967296", {"INT(4294967295)"}},
        {"99999999999999999999", {"INT(4294967295)"}},
        {"037777777777", {"OCT(4294967295)"}},
        {"040000000000", {"OCT(4294967295)"}},
        {"10", {"INT(10)"}},
        {"123abc", {"INT(123)", "FUNCTION(abc)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(tokens(c.text), c.want) << c.text;
}

TEST(Lexer, EmptyTextGivesOneUnknownPastTheZero) {
    const char* text = "";
    Lexer lx = {};
    lx.tok = text;
    lx.lim = text;
    TokenValue v;
    EXPECT_EQ(lex_next(&lx, &v), UNK);
    EXPECT_EQ(lx.cur, text + 1);
}

TEST(Lexer, NewlinesCountLinesAndMarkTheirEnd) {
    std::string text = "a\nb\r\nc";
    Lexer lx = {};
    lx.line = 7;
    lx.tok = text.c_str();
    lx.lim = text.c_str() + text.size();
    do {
        TokenValue v;
        v.text = nullptr;
        int code = lex_next(&lx, &v);
        if (code == FUNCTION) free(v.text);
        lx.tok = lx.cur;
    } while (lx.cur < lx.lim);
    EXPECT_EQ(lx.line, 10);
    EXPECT_STREQ(lx.bof, "c");
}

TEST(Lexer, DumpPrintsTheRecord) {
    std::string text = "gl(1)\nx";
    Lexer lx = {};
    lx.tok = text.c_str();
    lx.lim = text.c_str() + text.size();
    TokenValue v;
    ASSERT_EQ(lex_next(&lx, &v), FUNCTION);
    free(v.text);
    testing::internal::CaptureStdout();
    lex_dump(&lx);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "-- lexer{ line:0, tok:'gl(1)\nx', cur:'(1)\nx', bof:'(null)', lim:'', ptr:'(null)' }\n");
}

}  // namespace

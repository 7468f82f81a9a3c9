// The parser tables are the generator's output for vreg.grammar, and the
// generator settles what the shell's behaviour depends on.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/process.h"
#include "testsupport/tempdir.h"

namespace {

using testsupport::read_file;
using testsupport::run;
using testsupport::TempDir;

struct Generated {
    int status;
    std::string err, h, cc;
};

Generated generate(const std::string& grammar_path) {
    TempDir d;
    auto r = run({LALRGEN_BIN, grammar_path, d.file("parse_tables.h"), d.file("parse_tables.cc")});
    return {r.status, r.err, d.read("parse_tables.h"), d.read("parse_tables.cc")};
}

TEST(Tables, RegeneratingGivesTheCheckedInFiles) {
    Generated g = generate(VREG_GRAMMAR);
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(g.h, read_file(std::string(VREG_TABLES_DIR) + "/parse_tables.h"));
    EXPECT_EQ(g.cc, read_file(std::string(VREG_TABLES_DIR) + "/parse_tables.cc"));
    EXPECT_NE(g.h.find("YYNSTATE = 48,"), std::string::npos);
    EXPECT_NE(g.h.find("YYNRULE = 30,"), std::string::npos);
}

// A reduction that only one look-ahead selects does not become the
// state's default; two or more do.
TEST(Tables, DefaultReductionNeedsTwoLookaheads) {
    TempDir d;
    std::string grammar = d.write("g.y",
                                  "%token A B C.\n"
                                  "s ::= x A.\n"
                                  "s ::= y B.\n"
                                  "s ::= y C.\n"
                                  "x ::= A.\n"   // reduced before A only
                                  "y ::= B.\n");  // reduced before B and C
    Generated g = generate(grammar);
    ASSERT_EQ(g.status, 0) << g.err;
    // Rules 3 (x ::= A) and 4 (y ::= B): reduce codes YYNSTATE + 3 / + 4.
    auto at = g.h.find("YYNSTATE = ");
    ASSERT_NE(at, std::string::npos);
    int nstate = std::stoi(g.h.substr(at + 11));
    auto dflt = g.cc.substr(g.cc.find("yy_default"));
    EXPECT_EQ(dflt.find(" " + std::to_string(nstate + 3) + ","), std::string::npos) << g.cc;
    EXPECT_NE(dflt.find(" " + std::to_string(nstate + 4) + ","), std::string::npos) << g.cc;
}

TEST(Tables, ConflictsAndBadGrammarsAreRefused) {
    TempDir d;
    struct Case {
        const char* grammar;
        const char* message;
    } cases[] = {
        {"%token A PLUS.\ne ::= e PLUS e.\ne ::= A.\n", "shift/reduce conflict on PLUS"},
        {"%token A.\ns ::= x.\ns ::= y.\nx ::= A.\ny ::= A.\n", "reduce/reduce conflict on $"},
        {"%token A.\ns ::= B.\n", "undeclared terminal B"},
        {"%token A.\ns ::= t.\n", "no rule for t"},
        {"%token A.\ns ::= A\n", "missing '.'"},
    };
    for (const Case& c : cases) {
        Generated g = generate(d.write("bad.y", c.grammar));
        EXPECT_EQ(g.status, 1) << c.grammar;
        EXPECT_NE(g.err.find(c.message), std::string::npos) << c.grammar << "\n" << g.err;
    }
}

TEST(Tables, PrecedenceSettlesTheOperatorConflicts) {
    TempDir d;
    Generated g = generate(d.write("ok.y", "%token A PLUS NOT.\n%right NOT.\n%left PLUS.\n"
                                           "e ::= e PLUS e.\ne ::= NOT e.\ne ::= A.\n"));
    EXPECT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(g.err, "");
}

}  // namespace

// The parser tables are the generator's output for vreg.grammar, and the
// generator settles what the shell's behaviour depends on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace {

using hostns::read_file;
using hostns::run;
using hostns::TempDir;

struct Generated {
    int status;
    std::string err, h, cc;
};

Generated generate(const std::string& grammar_path, bool verbose = false) {
    TempDir d;
    std::vector<std::string> argv = {LALRGEN_BIN, grammar_path, d.file("parse_tables.h"), d.file("parse_tables.cc")};
    if (verbose) argv.insert(argv.begin() + 1, "-v");
    auto r = run(argv);
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
                                  "x ::= A.\n"    // reduced before A only
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

// The levels and associativity decide each conflict: a left operator
// reduces before itself, a right one shifts, a lower one shifts before a
// higher one and the higher one reduces before the lower.
TEST(Tables, PrecedenceSettlesTheOperatorConflicts) {
    TempDir d;
    struct Case {
        const char* levels;
        std::vector<std::string> settled;
    } cases[] = {
        {"%right NOT.\n%left PLUS.\n", {"reduce on PLUS after e ::= e PLUS e", "shift on PLUS after e ::= NOT e"}},
        {"%right NOT.\n%right PLUS.\n", {"shift on PLUS after e ::= e PLUS e", "shift on PLUS after e ::= NOT e"}},
        {"%left PLUS.\n%right NOT.\n", {"reduce on PLUS after e ::= e PLUS e", "reduce on PLUS after e ::= NOT e"}},
        {"%right NOT.\n%nonassoc PLUS.\n", {"error on PLUS after e ::= e PLUS e", "shift on PLUS after e ::= NOT e"}},
    };
    for (const Case& c : cases) {
        std::string grammar =
            std::string("%token A PLUS NOT.\n") + c.levels + "e ::= e PLUS e.\ne ::= NOT e.\ne ::= A.\n";
        Generated g = generate(d.write("ok.y", grammar), true);
        ASSERT_EQ(g.status, 0) << g.err;
        for (const std::string& line : c.settled)
            EXPECT_NE(g.err.find(line + "\n"), std::string::npos) << c.levels << "\n" << g.err;
        EXPECT_EQ(g.cc, generate(d.file("ok.y")).cc);  // -v reports, the tables stay
    }
}

// The reduce actions are chosen by rule identifiers, which follow the rules
// wherever they stand in the grammar.
TEST(Tables, RuleIdentifiersFollowTheirRules) {
    TempDir d;
    Generated a = generate(d.write("a.y", "%token A B.\ns ::= x B.\ns ::= .\nx ::= A.\n"));
    Generated b = generate(d.write("b.y", "%token A B.\ns ::= .\ns ::= x B.\nx ::= A.\n"));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_NE(a.h.find("    RULE_s__x_B = 0,\n    RULE_s__empty = 1,\n    RULE_x__A = 2,\n"), std::string::npos) << a.h;
    EXPECT_NE(b.h.find("    RULE_s__empty = 0,\n    RULE_s__x_B = 1,\n"), std::string::npos) << b.h;
    Generated clash = generate(d.write("c.y", "%token A.\ns ::= a_b.\ns ::= a b.\na_b ::= A.\na ::= A.\nb ::= A.\n"));
    EXPECT_EQ(clash.status, 1);
    EXPECT_NE(clash.err.find("lines 2 and 3: two rules named RULE_s__a_b"), std::string::npos) << clash.err;
}

}  // namespace

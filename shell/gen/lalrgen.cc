// lalrgen: builds the LALR(1) tables of vreg's statement parser from its
// grammar file and writes them as a C++ header and source.
//
//   lalrgen [-v] GRAMMAR OUT.h OUT.cc
//
// -v reports on standard error how precedence settled each shift/reduce
// conflict.
//
// Grammar file: "//" comments; "%token A B C." lists the terminals in code
// order (code 0 is "$", the end of input, and `error` follows the listed
// ones); "%left", "%right" and "%nonassoc" give precedence levels, lowest
// first; every other statement is a rule "lhs ::= sym ... ." with an
// optional "[TERMINAL]" after the dot naming the rule's precedence. The
// first rule's left side is the start symbol.
//
// Construction: LR(0) item sets, look-aheads by propagation (LALR(1)),
// shift/reduce conflicts settled by precedence, then the table shape the
// shell's driver reads: per state a shift offset, a goto offset and a
// default action over one packed action table with a look-ahead check. A
// state's most frequent reduction becomes its default only when it covers
// at least two look-ahead tokens; otherwise the default is the error
// action, so a statement fails before the reductions that would print.
// Each rule gets an identifier made of its symbols (RULE_expr__expr_PLUS_expr,
// RULE_input__empty) for the parser's reduce actions, so that reordering
// the grammar cannot move an action to another rule.
// This is a host tool, so it uses the standard library freely.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Set = uint64_t;  // a set of terminals; the grammar has at most 64

enum Assoc { NONE_ASSOC, LEFT, RIGHT, NONASSOC };

struct Rule {
    int lhs = 0;
    std::vector<int> rhs;
    int precsym = -1;
    int line = 0;
};

struct Grammar {
    std::vector<std::string> names;  // terminals (incl. $ and error), then non-terminals
    int nterminal = 0;               // number of terminals including $ and error
    std::vector<int> prec;           // -1 = none
    std::vector<Assoc> assoc;
    std::vector<Rule> rules;
    int start = -1;
    int error_sym = -1;
};

bool verbose = false;

std::string rule_text(const Grammar& g, const Rule& r);

[[noreturn]] void die(const std::string& msg) {
    std::fprintf(stderr, "lalrgen: %s\n", msg.c_str());
    std::exit(1);
}

bool is_terminal_name(const std::string& s) { return !s.empty() && std::isupper((unsigned char)s[0]); }

// Splits the grammar text into words; "::=", "." and "[X]" are words of their own.
std::vector<std::pair<std::string, int>> tokenize(const std::string& text) {
    std::vector<std::pair<std::string, int>> out;
    int line = 1;
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (std::isspace((unsigned char)c)) {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        if (text.compare(i, 3, "::=") == 0) {
            out.push_back({"::=", line});
            i += 3;
            continue;
        }
        if (c == '.' || c == '[' || c == ']') {
            out.push_back({std::string(1, c), line});
            ++i;
            continue;
        }
        size_t j = i;
        if (c == '%') ++j;
        while (j < text.size() && (std::isalnum((unsigned char)text[j]) || text[j] == '_')) ++j;
        if (j == i || (c == '%' && j == i + 1))
            die("line " + std::to_string(line) + ": unexpected character '" + std::string(1, c) + "'");
        out.push_back({text.substr(i, j - i), line});
        i = j;
    }
    return out;
}

using Words = std::vector<std::pair<std::string, int>>;  // (word, line)
using Index = std::map<std::string, int>;                // symbol name -> code

// A rule as written: symbol names, not yet codes.
struct RawRule {
    std::string lhs;
    std::vector<std::string> rhs;
    std::string prec;
    int line;
};

// The grammar's statements sorted by kind, in the order they were written.
struct Statements {
    std::vector<std::string> terms = {"$"};
    std::vector<std::pair<std::vector<std::string>, Assoc>> levels;
    std::vector<RawRule> raw;
};

// "%token ..." or a precedence level, from the word after the directive up
// to and including its dot.
void read_directive(const Words& words, size_t& i, const std::string& w, Statements& out) {
    std::vector<std::pair<std::string, int>> st;
    while (i < words.size() && words[i].first != ".") st.push_back(words[i++]);
    if (i == words.size()) die("missing '.' at the end of the grammar");
    ++i;
    std::vector<std::string> names;
    for (auto& s : st) {
        if (!is_terminal_name(s.first))
            die("line " + std::to_string(s.second) + ": '" + s.first + "' is not a terminal");
        names.push_back(s.first);
    }
    if (w == "%token") out.terms.insert(out.terms.end(), names.begin(), names.end());
    else out.levels.push_back({names, w == "%left" ? LEFT : w == "%right" ? RIGHT : NONASSOC});
}

// "lhs ::= sym ... ." with its optional "[PREC]", from the left side on.
RawRule read_rule(const Words& words, size_t& i) {
    int line = words[i].second;
    const std::string w = words[i].first;
    RawRule r;
    r.line = line;
    r.lhs = w;
    if (is_terminal_name(w)) die("line " + std::to_string(line) + ": rule for terminal " + w);
    ++i;
    if (i >= words.size() || words[i].first != "::=") die("line " + std::to_string(line) + ": expected ::=");
    ++i;
    while (i < words.size() && words[i].first != ".") r.rhs.push_back(words[i++].first);
    if (i == words.size()) die("line " + std::to_string(line) + ": missing '.'");
    ++i;
    if (i < words.size() && words[i].first == "[") {
        if (i + 2 >= words.size() || words[i + 2].first != "]") die("line " + std::to_string(line) + ": bad [PREC]");
        r.prec = words[i + 1].first;
        i += 3;
    }
    return r;
}

Statements read_statements(const Words& words) {
    Statements out;
    for (size_t i = 0; i < words.size();) {
        int line = words[i].second;
        const std::string w = words[i].first;
        if (w == "%token" || w == "%left" || w == "%right" || w == "%nonassoc") {
            ++i;
            read_directive(words, i, w, out);
            continue;
        }
        if (w[0] == '%') die("line " + std::to_string(line) + ": unknown directive " + w);
        out.raw.push_back(read_rule(words, i));
    }
    if (out.raw.empty()) die("no rules");
    return out;
}

// Codes 0.. for the declared terminals, then `error`.
void declare_terminals(Grammar& g, Index& index, const std::vector<std::string>& terms) {
    for (auto& t : terms) {
        if (index.count(t)) die("terminal " + t + " declared twice");
        index[t] = (int)g.names.size();
        g.names.push_back(t);
    }
    g.error_sym = (int)g.names.size();
    index["error"] = g.error_sym;
    g.names.push_back("error");
    g.nterminal = (int)g.names.size();
    if (g.nterminal > 64) die("more than 64 terminals");
}

// The code of a non-terminal, a new one at its first mention.
int nonterminal(Grammar& g, Index& index, const std::string& s) {
    auto it = index.find(s);
    if (it != index.end()) return it->second;
    int k = (int)g.names.size();
    index[s] = k;
    g.names.push_back(s);
    return k;
}

void add_rules(Grammar& g, Index& index, const std::vector<RawRule>& raw) {
    for (auto& r : raw) {
        Rule rule;
        rule.line = r.line;
        rule.lhs = nonterminal(g, index, r.lhs);
        for (auto& s : r.rhs) {
            if (is_terminal_name(s) || s == "error") {
                auto it = index.find(s);
                if (it == index.end()) die("line " + std::to_string(r.line) + ": undeclared terminal " + s);
                rule.rhs.push_back(it->second);
            } else {
                rule.rhs.push_back(nonterminal(g, index, s));
            }
        }
        if (!r.prec.empty()) {
            auto it = index.find(r.prec);
            if (it == index.end() || it->second >= g.nterminal)
                die("line " + std::to_string(r.line) + ": bad precedence " + r.prec);
            rule.precsym = it->second;
        }
        g.rules.push_back(rule);
    }
    g.start = g.rules[0].lhs;
}

// The terminals' levels and associativity; a rule without "[PREC]" takes
// its first terminal that has a level.
void apply_precedence(Grammar& g, const Index& index,
                      const std::vector<std::pair<std::vector<std::string>, Assoc>>& levels) {
    g.prec.assign(g.names.size(), -1);
    g.assoc.assign(g.names.size(), NONE_ASSOC);
    for (size_t l = 0; l < levels.size(); ++l)
        for (auto& s : levels[l].first) {
            auto it = index.find(s);
            if (it == index.end()) die("precedence for undeclared terminal " + s);
            g.prec[it->second] = (int)l;
            g.assoc[it->second] = levels[l].second;
        }
    for (auto& r : g.rules) {
        if (r.precsym >= 0) continue;
        for (int s : r.rhs)  // the first terminal with a precedence gives the rule's
            if (s < g.nterminal && g.prec[s] >= 0) {
                r.precsym = s;
                break;
            }
    }
}

void check_every_nonterminal_has_a_rule(const Grammar& g) {
    for (int s = g.nterminal; s < (int)g.names.size(); ++s) {
        bool has = false;
        for (auto& r : g.rules) has |= r.lhs == s;
        if (!has) die("no rule for " + g.names[s]);
    }
}

Grammar read_grammar(const std::string& text) {
    Statements st = read_statements(tokenize(text));
    Grammar g;
    Index index;
    declare_terminals(g, index, st.terms);
    add_rules(g, index, st.raw);
    apply_precedence(g, index, st.levels);
    check_every_nonterminal_has_a_rule(g);
    return g;
}

struct Config {
    int rule, dot;
    Set follow = 0;
    std::vector<std::pair<int, int>> links;  // (state, config) that inherit our follow set
};

struct State {
    std::vector<std::pair<int, int>> basis;  // sorted (rule, dot)
    std::vector<Config> configs;
    std::map<int, int> go;  // symbol -> state
};

struct Action {
    int code;
};

struct Tables {
    int nstate, nrule, nsymbol;
    std::vector<int> action, lookahead;
    std::vector<int> shift_ofst, reduce_ofst, dflt;
    int shift_dflt, reduce_dflt;
};

class Builder {
public:
    explicit Builder(const Grammar& g) : g_(g) {}

    Tables build() {
        first_sets();
        states();
        propagate();
        return tables();
    }

private:
    const Grammar& g_;
    std::vector<bool> nullable_;
    std::vector<Set> first_;
    std::vector<State> st_;
    std::map<std::vector<std::pair<int, int>>, int> by_basis_;

    bool term(int s) const { return s < g_.nterminal; }

    void first_sets() {
        size_t n = g_.names.size();
        nullable_.assign(n, false);
        first_.assign(n, 0);
        for (int s = 0; s < g_.nterminal; ++s) first_[s] = Set(1) << s;
        for (bool changed = true; changed;) {
            changed = false;
            for (auto& r : g_.rules) {
                bool all = true;
                Set f = first_[r.lhs];
                for (int s : r.rhs) {
                    f |= first_[s];
                    if (!nullable_[s]) {
                        all = false;
                        break;
                    }
                }
                if (f != first_[r.lhs]) {
                    first_[r.lhs] = f;
                    changed = true;
                }
                if (all && !nullable_[r.lhs]) {
                    nullable_[r.lhs] = true;
                    changed = true;
                }
            }
        }
    }

    int config_in(State& s, int rule, int dot) {
        for (size_t i = 0; i < s.configs.size(); ++i)
            if (s.configs[i].rule == rule && s.configs[i].dot == dot) return (int)i;
        s.configs.push_back(Config{rule, dot, 0, {}});
        return (int)s.configs.size() - 1;
    }

    int state_for(const std::vector<std::pair<int, int>>& basis) {
        auto it = by_basis_.find(basis);
        if (it != by_basis_.end()) return it->second;
        int id = (int)st_.size();
        st_.push_back(State{});
        st_[id].basis = basis;
        by_basis_[basis] = id;
        for (auto& b : basis) config_in(st_[id], b.first, b.second);
        // Closure, with the spontaneous look-aheads and the propagation links.
        for (size_t i = 0; i < st_[id].configs.size(); ++i) {
            Config c = st_[id].configs[i];
            const Rule& r = g_.rules[c.rule];
            if (c.dot >= (int)r.rhs.size() || term(r.rhs[c.dot])) continue;
            int b = r.rhs[c.dot];
            Set f = 0;
            bool rest_nullable = true;
            for (size_t k = c.dot + 1; k < r.rhs.size(); ++k) {
                f |= first_[r.rhs[k]];
                if (!nullable_[r.rhs[k]]) {
                    rest_nullable = false;
                    break;
                }
            }
            for (size_t rn = 0; rn < g_.rules.size(); ++rn) {
                if (g_.rules[rn].lhs != b) continue;
                int k = config_in(st_[id], (int)rn, 0);
                st_[id].configs[k].follow |= f;
                if (rest_nullable) st_[id].configs[i].links.push_back({id, k});
            }
        }
        return id;
    }

    void states() {
        std::vector<std::pair<int, int>> basis;
        for (size_t rn = 0; rn < g_.rules.size(); ++rn)
            if (g_.rules[rn].lhs == g_.start) basis.push_back({(int)rn, 0});
        int s0 = state_for(basis);
        for (auto& c : st_[s0].configs)
            if (g_.rules[c.rule].lhs == g_.start && c.dot == 0) c.follow |= 1;  // "$"
        for (size_t id = 0; id < st_.size(); ++id) {
            // Successors in the order their symbols first follow a dot.
            std::vector<int> syms;
            for (auto& c : st_[id].configs) {
                const Rule& r = g_.rules[c.rule];
                if (c.dot < (int)r.rhs.size() && std::find(syms.begin(), syms.end(), r.rhs[c.dot]) == syms.end())
                    syms.push_back(r.rhs[c.dot]);
            }
            for (int x : syms) {
                std::vector<std::pair<int, int>> nb;
                for (auto& c : st_[id].configs) {
                    const Rule& r = g_.rules[c.rule];
                    if (c.dot < (int)r.rhs.size() && r.rhs[c.dot] == x) nb.push_back({c.rule, c.dot + 1});
                }
                std::sort(nb.begin(), nb.end());
                int to = state_for(nb);
                st_[id].go[x] = to;
                for (size_t ci = 0; ci < st_[id].configs.size(); ++ci) {
                    const Config& c = st_[id].configs[ci];
                    const Rule& r = g_.rules[c.rule];
                    if (c.dot < (int)r.rhs.size() && r.rhs[c.dot] == x)
                        st_[id].configs[ci].links.push_back({to, config_in(st_[to], c.rule, c.dot + 1)});
                }
            }
        }
    }

    void propagate() {
        for (bool changed = true; changed;) {
            changed = false;
            for (auto& s : st_)
                for (auto& c : s.configs)
                    for (auto& l : c.links) {
                        Set& t = st_[l.first].configs[l.second].follow;
                        if ((t | c.follow) != t) {
                            t |= c.follow;
                            changed = true;
                        }
                    }
        }
    }

    // Action codes: 0..nstate-1 shift, then one reduction per rule, then
    // error, accept and "no action".
    int error_code() const { return (int)st_.size() + (int)g_.rules.size(); }

    // A reduction by rule r on look-ahead la where act already holds an
    // action for la: precedence settles a shift/reduce conflict, the
    // earlier rule wins a reduce/reduce one. Unsettled conflicts are
    // reported and counted.
    void settle(int id, int la, const Rule& r, int rule, int& code, int& conflicts) const {
        const int nstate = (int)st_.size(), err = error_code();
        int red = nstate + rule;
        int old = code;
        if (old < nstate) {  // shift/reduce
            int sp = g_.prec[la], rp = r.precsym >= 0 ? g_.prec[r.precsym] : -1;
            if (sp < 0 || rp < 0) {
                std::fprintf(stderr, "lalrgen: state %d: shift/reduce conflict on %s (rule at line %d)\n", id,
                             g_.names[la].c_str(), r.line);
                ++conflicts;
            } else {
                const char* how = "shift";
                if (rp > sp || (rp == sp && g_.assoc[la] == LEFT)) {
                    code = red;
                    how = "reduce";
                } else if (rp == sp && g_.assoc[la] == NONASSOC) {
                    code = err;
                    how = "error";
                }
                if (verbose)
                    std::fprintf(stderr, "lalrgen: state %d: %s on %s after %s\n", id, how, g_.names[la].c_str(),
                                 rule_text(g_, r).c_str());
            }
        } else if (old < err) {  // reduce/reduce: the earlier rule wins
            std::fprintf(stderr, "lalrgen: state %d: reduce/reduce conflict on %s (rules %d and %d)\n", id,
                         g_.names[la].c_str(), old - nstate, rule);
            ++conflicts;
            code = std::min(old, red);
        }
    }

    // A state's actions: on terminals (shifts and reductions) into act, on
    // non-terminals (gotos) into nt.
    void actions_of(int id, std::map<int, int>& act, std::map<int, int>& nt, int& conflicts) const {
        const int nstate = (int)st_.size();
        const State& s = st_[id];
        for (auto& [sym, to] : s.go) {
            if (term(sym)) act[sym] = to;
            else nt[sym] = to;
        }
        if (id == 0) nt[g_.start] = error_code() + 1;  // accept
        for (auto& c : s.configs) {
            const Rule& r = g_.rules[c.rule];
            if (c.dot != (int)r.rhs.size()) continue;
            for (int la = 0; la < g_.nterminal; ++la) {
                if (!(c.follow >> la & 1)) continue;
                int red = nstate + c.rule;
                auto it = act.find(la);
                if (it == act.end()) {
                    act[la] = red;
                    continue;
                }
                settle(id, la, r, c.rule, it->second, conflicts);
            }
        }
    }

    // The default reduction: the most frequent one, if it covers at least
    // two look-aheads (ties go to the one seen first); it leaves act.
    // Returns the state's default action.
    int take_default(std::map<int, int>& act) const {
        const int nstate = (int)st_.size(), err = error_code();
        int best = -1, nbest = 0;
        for (auto& [la, code] : act) {
            if (code < nstate || code >= err || code == best) continue;
            int n = 0;
            for (auto& [la2, code2] : act) n += code2 == code;
            if (n > nbest) {
                nbest = n;
                best = code;
            }
        }
        if (nbest < 2) return err;
        for (auto it = act.begin(); it != act.end();) it = it->second == best ? act.erase(it) : std::next(it);
        return best;
    }

    static constexpr int NOOFS = 1 << 30;  // a state without actions of that kind

    // Packs every state's terminal and non-terminal actions into one table:
    // bigger sets first, each at the lowest offset where it neither collides
    // with nor is shadowed by what is already there.
    void pack(const std::vector<std::map<int, int>>& tkn, const std::vector<std::map<int, int>>& nt, Tables& t,
              std::vector<int>& la_tab, std::vector<int>& act_tab) const {
        const int nstate = (int)st_.size();
        struct Set_ {
            int state;
            bool isnt;
            const std::map<int, int>* a;
        };
        std::vector<Set_> sets;
        for (int id = 0; id < nstate; ++id) {
            sets.push_back({id, false, &tkn[id]});
            sets.push_back({id, true, &nt[id]});
        }
        std::stable_sort(sets.begin(), sets.end(),
                         [](const Set_& x, const Set_& y) { return x.a->size() > y.a->size(); });
        t.shift_ofst.assign(nstate, NOOFS);
        t.reduce_ofst.assign(nstate, NOOFS);
        for (auto& s : sets) {  // -1 = free slot
            if (s.a->empty()) continue;
            int mn = s.a->begin()->first;
            int ofs = -mn;
            for (;; ++ofs) {
                bool ok = true;
                for (auto& [la, code] : *s.a) {
                    int k = ofs + la;
                    if (k < (int)la_tab.size() && la_tab[k] >= 0 && (la_tab[k] != la || act_tab[k] != code)) {
                        ok = false;
                        break;
                    }
                }
                for (int j = 0; ok && j < (int)la_tab.size(); ++j) {
                    int l = la_tab[j];
                    if (l >= 0 && l == j - ofs && !s.a->count(l)) ok = false;
                }
                if (ok) break;
            }
            for (auto& [la, code] : *s.a) {
                int k = ofs + la;
                if (k >= (int)la_tab.size()) {
                    la_tab.resize(k + 1, -1);
                    act_tab.resize(k + 1, -1);
                }
                la_tab[k] = la;
                act_tab[k] = code;
            }
            (s.isnt ? t.reduce_ofst : t.shift_ofst)[s.state] = ofs;
        }
    }

    // A state without actions of a kind gets that kind's default offset,
    // below every real one; every offset must fit a signed byte.
    void default_offsets(Tables& t) const {
        const int nstate = (int)st_.size();
        int mns = 0, mnr = 0;
        for (int id = 0; id < nstate; ++id) {
            if (t.shift_ofst[id] != NOOFS) mns = std::min(mns, t.shift_ofst[id]);
            if (t.reduce_ofst[id] != NOOFS) mnr = std::min(mnr, t.reduce_ofst[id]);
        }
        t.shift_dflt = mns - 1;
        t.reduce_dflt = mnr - 1;
        for (int id = 0; id < nstate; ++id) {
            if (t.shift_ofst[id] == NOOFS) t.shift_ofst[id] = t.shift_dflt;
            if (t.reduce_ofst[id] == NOOFS) t.reduce_ofst[id] = t.reduce_dflt;
            for (int o : {t.shift_ofst[id], t.reduce_ofst[id]})
                if (o < -128 || o > 127) die("offset out of signed-byte range");
        }
    }

    Tables tables() {
        const int nstate = (int)st_.size(), nrule = (int)g_.rules.size();
        const int nsym = (int)g_.names.size();
        const int err = error_code(), noact = err + 2;
        Tables t;
        t.nstate = nstate;
        t.nrule = nrule;
        t.nsymbol = nsym;
        std::vector<std::map<int, int>> tkn(nstate), nt(nstate);
        t.dflt.assign(nstate, err);
        int conflicts = 0;
        for (int id = 0; id < nstate; ++id) {
            std::map<int, int> act;  // terminal -> code
            actions_of(id, act, nt[id], conflicts);
            t.dflt[id] = take_default(act);
            tkn[id] = act;
        }
        if (conflicts) die(std::to_string(conflicts) + " conflict(s)");

        std::vector<int> la_tab, act_tab;
        pack(tkn, nt, t, la_tab, act_tab);
        default_offsets(t);
        if (noact > 255 || nsym > 255) die("codes don't fit a byte");
        for (size_t k = 0; k < la_tab.size(); ++k) {
            t.lookahead.push_back(la_tab[k] < 0 ? nsym : la_tab[k]);
            t.action.push_back(act_tab[k] < 0 ? noact : act_tab[k]);
        }
        return t;
    }
};

std::string rule_text(const Grammar& g, const Rule& r) {
    std::string s = g.names[r.lhs] + " ::=";
    for (int x : r.rhs) s += " " + g.names[x];
    return s;
}

// The rule's identifier: its left side, then its right side's symbols.
std::string rule_name(const Grammar& g, const Rule& r) {
    std::string s = "RULE_" + g.names[r.lhs] + "_";
    for (int x : r.rhs) s += "_" + g.names[x];
    return r.rhs.empty() ? s + "_empty" : s;
}

template <class V>
std::string row(const V& v, size_t per_line = 12) {
    std::ostringstream o;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i % per_line == 0) o << (i ? "\n    " : "    ");
        else o << ' ';
        o << v[i] << ',';
    }
    return o.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    if (!f) die("can't write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "-v") {
        verbose = true;
        ++argv;
        --argc;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: lalrgen [-v] GRAMMAR OUT.h OUT.cc\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) die(std::string("can't read ") + argv[1]);
    std::stringstream ss;
    ss << in.rdbuf();
    Grammar g = read_grammar(ss.str());
    std::vector<std::string> rule_names;
    std::map<std::string, int> line_of;
    for (const Rule& r : g.rules) {
        rule_names.push_back(rule_name(g, r));
        auto [it, fresh] = line_of.emplace(rule_names.back(), r.line);
        if (!fresh)
            die("lines " + std::to_string(it->second) + " and " + std::to_string(r.line) + ": two rules named " +
                rule_names.back());
    }
    Tables t = Builder(g).build();

    std::string hname = argv[2];
    hname = hname.substr(hname.find_last_of('/') + 1);
    const char* banner =
        "// Generated by shell/gen/lalrgen from shell/vreg.grammar. Do not edit:\n"
        "// change the grammar and rebuild the target vreg-tables.\n";
    std::ostringstream h;
    h << banner << "#pragma once\n\n";
    h << "// Terminal codes; the lexer returns them.\nenum TokenCode {\n";
    for (int s = 0; s < g.nterminal; ++s)
        h << "    "
          << (s == 0             ? std::string("TK_END")
              : s == g.error_sym ? std::string("TK_ERROR")
                                 : g.names[s])
          << " = " << s << ",\n";
    h << "};\n\n// Non-terminal codes.\nenum SymbolCode {\n";
    for (int s = g.nterminal; s < t.nsymbol; ++s) h << "    SYM_" << g.names[s] << " = " << s << ",\n";
    h << "};\n\n// Rules, named by their symbols: the parser's reduce actions use these\n"
      << "// names, so a reordered grammar keeps each action on its rule.\nenum RuleCode {\n";
    for (size_t r = 0; r < g.rules.size(); ++r) h << "    " << rule_names[r] << " = " << r << ",\n";
    h << "};\n\nenum {\n"
      << "    YYNSTATE = " << t.nstate << ",\n"
      << "    YYNRULE = " << t.nrule << ",\n"
      << "    YYNSYMBOL = " << t.nsymbol << ",\n"
      << "    YYNOCODE = " << t.nsymbol + 1 << ",\n"
      << "    YY_ERROR_ACTION = " << t.nstate + t.nrule << ",\n"
      << "    YY_ACCEPT_ACTION = " << t.nstate + t.nrule + 1 << ",\n"
      << "    YY_NO_ACTION = " << t.nstate + t.nrule + 2 << ",\n"
      << "    YY_SZ_ACTTAB = " << t.action.size() << ",\n"
      << "    YY_SHIFT_USE_DFLT = " << t.shift_dflt << ",\n"
      << "    YY_REDUCE_USE_DFLT = " << t.reduce_dflt << ",\n"
      << "};\n\n"
      << "extern const unsigned char yy_action[YY_SZ_ACTTAB];\n"
      << "extern const unsigned char yy_lookahead[YY_SZ_ACTTAB];\n"
      << "extern const signed char yy_shift_ofst[YYNSTATE];\n"
      << "extern const signed char yy_reduce_ofst[YYNSTATE];\n"
      << "extern const unsigned char yy_default[YYNSTATE];\n"
      << "// Per rule: its left side and the length of its right side.\n"
      << "extern const unsigned char yy_rule_lhs[YYNRULE];\n"
      << "extern const unsigned char yy_rule_nrhs[YYNRULE];\n"
      << "// Symbol names, for messages and tests.\n"
      << "extern const char* const yy_symbol_name[YYNSYMBOL];\n";

    std::ostringstream c;
    c << banner << "#include \"" << hname << "\"\n\n";
    c << "// Rules:\n";
    for (size_t r = 0; r < g.rules.size(); ++r) c << "// " << r << ": " << rule_text(g, g.rules[r]) << "\n";
    c << "\n// Action codes: 0.." << t.nstate - 1 << " shift, " << t.nstate << ".." << t.nstate + t.nrule - 1
      << " reduce by (code - " << t.nstate << "), " << t.nstate + t.nrule << " error, " << t.nstate + t.nrule + 1
      << " accept, " << t.nstate + t.nrule + 2 << " none.\n";
    c << "const unsigned char yy_action[YY_SZ_ACTTAB] = {\n" << row(t.action) << "\n};\n";
    c << "const unsigned char yy_lookahead[YY_SZ_ACTTAB] = {\n" << row(t.lookahead) << "\n};\n";
    c << "const signed char yy_shift_ofst[YYNSTATE] = {\n" << row(t.shift_ofst) << "\n};\n";
    c << "const signed char yy_reduce_ofst[YYNSTATE] = {\n" << row(t.reduce_ofst) << "\n};\n";
    c << "const unsigned char yy_default[YYNSTATE] = {\n" << row(t.dflt) << "\n};\n";
    std::vector<int> lhs, nrhs;
    for (auto& r : g.rules) {
        lhs.push_back(r.lhs);
        nrhs.push_back((int)r.rhs.size());
    }
    c << "const unsigned char yy_rule_lhs[YYNRULE] = {\n" << row(lhs) << "\n};\n";
    c << "const unsigned char yy_rule_nrhs[YYNRULE] = {\n" << row(nrhs) << "\n};\n";
    std::vector<std::string> names;
    for (auto& n : g.names) names.push_back("\"" + n + "\"");
    c << "const char* const yy_symbol_name[YYNSYMBOL] = {\n" << row(names, 8) << "\n};\n";

    write_file(argv[2], h.str());
    write_file(argv[3], c.str());
    return 0;
}

#include "engine/TTransStepMath.h"

#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"
#include "engine/Variables.h"
#include "foundation/VException.h"
#include "foundation/VStringList.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <vector>

namespace {

using Entry = Tr::TTransStepMathEntry;
using Tr::TTransStepMath;
using Tr::VarOrNumber;
using Vorn::VString;

std::vector<std::string> lines(const Vorn::VStringList& list) {
    std::vector<std::string> result;
    for (const VString& line : list)
        result.emplace_back(line.c_str());
    return result;
}

std::string stored(const Entry& entry) {
    VString text;
    entry.appendStored(text);
    return text.c_str();
}

std::vector<std::string> displayTexts(const TTransStepMath& rules) {
    std::vector<std::string> result;
    for (int i = 0; i < rules.count(); ++i)
        result.emplace_back(rules.entry(i).getDisplayText().c_str());
    return result;
}

// Erroneous lines are part of the program like any other.
TTransStepMath program(const char* code) {
    TTransStepMath rules;
    Vorn::VStringList errors;
    rules.parseCode(code, errors);
    return rules;
}

TEST(RuleVariablesTest, NamesAndIndexes) {
    struct Case {
        const char* name;
        int index;
    };
    const Case cases[] = {{"oo", 0},  {"XX", 9},  {"ga", 10},  {"Gz", 35},  {"g0", 36},
                          {"g9", 45}, {"ha", 46}, {"n9", 297}, {"ya", 298}, {"z9", 369},
                          {"oa", -1}, {"ab", -1}, {"yy", 322}, {"g-", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Tr::variableIndex(c.name[0], c.name[1]), c.index);
    }
    for (int index = 0; index < Tr::kVariableIndexCount; ++index) {
        const VString name = Tr::variableName(index);
        ASSERT_EQ(name.length(), 2);
        EXPECT_EQ(Tr::variableIndex(name.charAt(0), name.charAt(1)), index) << name.c_str();
        EXPECT_FALSE(name.charAt(0) >= 'A' && name.charAt(0) <= 'Z');
    }
    EXPECT_TRUE(Tr::variableName(370).isEmpty());
    EXPECT_TRUE(Tr::variableName(-1).isEmpty());
}

TEST(TTransStepMathEntryTest, ParsesEveryLineForm) {
    struct Case {
        const char* line;
        int kind;
        const char* display; // for an erroneous line: its error text
    };
    const Case cases[] = {
        {"GA = 5", Entry::kAssign, "ga=5"},
        {"if = 3", Entry::kAssign, "if=3"}, // the global variable "if", not a condition
        {"pp=qq-5", Entry::kSubtract, "pp=qq-5"},
        {"pp=qq--5", Entry::kSubtract, "pp=qq--5"},
        {"pp=-5", Entry::kAssign, "pp=-5"},
        {"pp=0x10", Entry::kAssign, "pp=16"},
        {"pp=0xFFFFFFFF", Entry::kAssign, "pp=-1"},
        {"  pp = qq << 2  ", Entry::kShiftLeft, "pp=qq<<2"},
        {"pp=qq+1", Entry::kAdd, "pp=qq+1"},
        {"pp=qq*gz", Entry::kMultiply, "pp=qq*gz"},
        {"pp=qq/2", Entry::kDivide, "pp=qq/2"},
        {"pp=qq|2", Entry::kOr, "pp=qq|2"},
        {"pp=qq&2", Entry::kAnd, "pp=qq&2"},
        {"pp=qq^2", Entry::kXor, "pp=qq^2"},
        {"pp=qq%2", Entry::kModulo, "pp=qq%2"},
        {"pp=qq>>2", Entry::kShiftRight, "pp=qq>>2"},
        {"if pp==10 then qq=pp+1", Entry::kAdd, "if pp==10 then qq=pp+1"},
        {"IF pp <= -1 THEN qq=1", Entry::kAssign, "if pp<=-1 then qq=1"},
        {"if pp!=1 then qq=1", Entry::kAssign, "if pp!=1 then qq=1"},
        {"if pp>=1 then qq=1", Entry::kAssign, "if pp>=1 then qq=1"},
        {"if pp<1 then qq=1", Entry::kAssign, "if pp<1 then qq=1"},
        {"ifpp>z9then qq=1", Entry::kAssign, "if pp>z9 then qq=1"},
        {"goto \"a\"", Entry::kGoto, "Goto \"a\""},
        {"Label \"x y\"", Entry::kLabel, "Label \"x y\""},
        {"label \"a\\\"b\"", Entry::kLabel, "Label \"a\\\"b\""}, // the escaped quote stays
        {"if pp==1 then goto \"end\"", Entry::kGoto, "if pp==1 then Goto \"end\""},
        {"// note", Entry::kComment, "// note"},
        {"   // indented", Entry::kComment, "// indented"},
        {"if pp==1 then // kept whole", Entry::kComment, "if pp==1 then // kept whole"},
        {"", Entry::kComment, ""},
        {"  \t ", Entry::kComment, ""},
        {"skip next rule", Entry::kSkipNext, "skip next rule"},
        {"SKIP NEXT 2 RULES", Entry::kSkipNext2, "skip next 2 rules"},
        {"exit rules, execute Outgoing Action", Entry::kExitExecute,
         "exit rules, execute Outgoing Action"},
        {"if pp>0 then exit rules, skip outgoing action", Entry::kExitSkip,
         "if pp>0 then exit rules, skip Outgoing Action"},
        // errors
        {"if pp=1 then qq=2", Entry::kErroneous, "condition expected"},
        {"goto \"a", Entry::kErroneous, "unterminated string"},
        {"label \"a\\\"", Entry::kErroneous, "unterminated string"},
        {"goto a", Entry::kErroneous, "double quote expected"},
        {"pp=qq+", Entry::kErroneous, "second operand expected"},
        {"pp=1 junk", Entry::kErroneous, "unknown text at end of line"},
        {"goto \"a\" b", Entry::kErroneous, "unknown text at end of line"},
        {"5=3", Entry::kErroneous, "variable expected"},
        {"pp=", Entry::kErroneous, "variable or number expected"},
        {"pp=ab", Entry::kErroneous, "variable or number expected"},
        {"if ab==1 then qq=1", Entry::kErroneous, "variable or number expected"},
        {"if pp==1 qq=2", Entry::kErroneous, "erroneous 'if' statement."},
        {"if pp==1 then", Entry::kErroneous, "syntax error"},
        {"oa=1", Entry::kErroneous, "syntax error"},
        {"pp 5", Entry::kErroneous, "syntax error"},
        {"exit rules", Entry::kErroneous, "syntax error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Entry entry(c.line, 7);
        EXPECT_EQ(entry.kind(), c.kind);
        EXPECT_EQ(entry.index(), 7);
        if (c.kind == Entry::kErroneous) {
            EXPECT_STREQ(entry.errorText().c_str(), c.display);
            EXPECT_STREQ(entry.getDisplayText().c_str(), c.line); // shown as written
        } else {
            EXPECT_TRUE(entry.errorText().isEmpty());
            EXPECT_STREQ(entry.getDisplayText().c_str(), c.display);
        }
    }
}

TEST(TTransStepMathEntryTest, OperandsAndTextsAreWhatTheLineSays) {
    const Entry subtract("pp=qq--5", 0);
    EXPECT_EQ(subtract.operand(0), VarOrNumber::variable(1));
    EXPECT_EQ(subtract.operand(1), VarOrNumber::variable(2));
    EXPECT_EQ(subtract.operand(2), VarOrNumber::number(-5));
    const Entry label("label \"  a\\\"b \"", 0);
    EXPECT_STREQ(label.text().c_str(), "a\\\"b "); // blanks after the opening quote are skipped
    const Entry condition("if ga>=0x10 then skip next rule", 0);
    EXPECT_EQ(condition.condOp(), Entry::kGreaterOrEqual);
    EXPECT_EQ(condition.condOperand(0), VarOrNumber::variable(10));
    EXPECT_EQ(condition.condOperand(1), VarOrNumber::number(16));
    EXPECT_STREQ(condition.getStatementText().c_str(), "skip next rule");
    // A rule made without text, and one that becomes valid again after an error.
    Entry entry;
    EXPECT_EQ(entry.index(), -1);
    EXPECT_STREQ(entry.getDisplayText().c_str(), "pp=0");
    EXPECT_FALSE(entry.parseLine("pp=+"));
    EXPECT_TRUE(entry.parseLine("qq=1"));
    EXPECT_TRUE(entry.errorText().isEmpty());
    EXPECT_STREQ(entry.getDisplayText().c_str(), "qq=1");
}

TEST(TTransStepMathTest, ParseCodeKeepsEveryLineAndReportsBadOnes) {
    TTransStepMath rules;
    Vorn::VStringList errors;
    EXPECT_FALSE(rules.parseCode("pp=1\r\npp=\rgoto \"x\"\n\n", errors));
    EXPECT_EQ(lines(errors),
              std::vector<std::string>{"Line 2: parse error: variable or number expected"});
    EXPECT_EQ(displayTexts(rules), (std::vector<std::string>{"pp=1", "pp=", "Goto \"x\"", ""}));
    for (int i = 0; i < rules.count(); ++i)
        EXPECT_EQ(rules.entry(i).index(), i);
    EXPECT_EQ(rules.entry(1).kind(), Entry::kErroneous);

    errors.clear();
    EXPECT_TRUE(rules.parseCode("qq=2", errors));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(displayTexts(rules), std::vector<std::string>{"qq=2"});
    EXPECT_TRUE(rules.parseCode("", errors));
    EXPECT_FALSE(rules.hasRules());
}

TEST(TTransStepMathTest, ReadsStoredForms) {
    struct Case {
        const char* text;
        int consumed; // 0: "corrupt rule"
        std::vector<std::string> display;
        const char* description;
    };
    const Case cases[] = {
        {"StMa00000000", 12, {}, ""},
        {"stma0003Bas0001pp=1", 19, {"pp=1"}, "Bas"},
        {"StMa00000001if(pp==10)qq=pp+1", 29, {"if pp==10 then qq=pp+1"}, ""},
        {"StMa00000001pp=1Actv00", 16, {"pp=1"}, ""}, // only the counted rules
        {"StMa00000004pp=qq--5rr=-2147483648ss=0xx=tt<<1",
         46,
         {"pp=qq--5", "rr=-2147483648", "ss=0", "xx=tt<<1"},
         ""},
        {"StMa00000002if=5if(if<=-1)if=if+1", 33, {"if=5", "if if<=-1 then if=if+1"}, ""},
        // the older conditional form
        {"StMa00000003ifpp==1snifqq!=-2exifrr>ssno",
         40,
         {"if pp==1 then skip next rule", "if qq!=-2 then exit rules, execute Outgoing Action",
          "if rr>ss then exit rules, skip Outgoing Action"},
         ""},
        {"StMa00000004skipsk2ipexecutenoexecute",
         37,
         {"skip next rule", "skip next 2 rules", "exit rules, execute Outgoing Action",
          "exit rules, skip Outgoing Action"},
         ""},
        {"StMa00000003goto0001alabel0002a\"label0000",
         41,
         {"Goto \"a\"", "Label \"a\"\"", "Label \"\""},
         ""},
        {"StMa00000002label000B__cmt>// hilabel000A__err>pp=1", 51, {"// hi", "pp=1"}, ""},
        {"StMa00000001label000B__err>pp=1+", 32, {"pp=1+"}, ""},
        // a target that is no variable is kept as written and never executed
        {"StMa000000015=3", 15, {"5=3"}, ""},
        {"StMa00000002if(pp==1)7=qq+1pp=2", 31, {"if(pp==1)7=qq+1", "pp=2"}, ""},
        {"StMa0000zzzz", 12, {}, ""}, // a count that is no number is 0
        {"StMa000", 0, {}, ""},
        {"StMb00000000", 0, {}, ""},
        {"StMa0000", 0, {}, ""},
        {"StMa0009abc", 0, {}, ""},
        {"StMa00000002pp=1", 0, {}, ""},
        {"StMa00000001Goto0001a", 0, {}, ""}, // stored words are case-sensitive
        {"StMa00000001pp=1+", 0, {}, ""},
        {"StMa00000001if(pp=1)qq=1", 0, {}, ""},
        {"StMa00000001goto0005ab", 0, {}, ""},
        {"StMa00000001ifpp==1qq=1", 0, {}, ""},
        // written back, "pp=0" and what follows would read as the hexadecimal number 0x5
        {"StMa00000001pp=00x5", 0, {}, ""},
        {"StMa00000001pp=qq-0x0X5", 0, {}, ""},
        {"StMa00000001pp=10x5", 17, {"pp=10"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TTransStepMath rules = program("pp=9");
        const VString text = VString("prefix") + c.text;
        if (c.consumed == 0) {
            try {
                rules.fromStored(text, 6);
                ADD_FAILURE() << "no exception";
            } catch (const Vorn::VException& exception) {
                EXPECT_STREQ(exception.message().c_str(), "corrupt rule");
            }
            EXPECT_EQ(displayTexts(rules), std::vector<std::string>{"pp=9"});
            continue;
        }
        EXPECT_EQ(rules.fromStored(text, 6), c.consumed);
        EXPECT_EQ(displayTexts(rules), c.display);
        EXPECT_STREQ(rules.description().c_str(), c.description);
    }
}

TEST(TTransStepMathTest, StoredErroneousRulesExplainThemselves) {
    TTransStepMath rules;
    rules.fromStored("StMa00000002label000B__err>pp=1+3=4", 0);
    EXPECT_EQ(rules.entry(0).kind(), Entry::kErroneous);
    EXPECT_STREQ(rules.entry(0).errorText().c_str(), "second operand expected");
    EXPECT_EQ(rules.entry(1).kind(), Entry::kErroneous);
    EXPECT_STREQ(rules.entry(1).errorText().c_str(), "variable expected");
    EXPECT_STREQ(rules.toStored().c_str(), "StMa00000002label000B__err>pp=1+label0009__err>3=4");
}

TEST(TTransStepMathTest, EveryKindSurvivesStoredFormAndDisplayText) {
    const char* code = "pp=qq\n"
                       "if pp==1 then qq=rr+-1\n"
                       "rr=ss-0x7FFFFFFF\n"
                       "ss=tt*-2147483648\n"
                       "tt=uu/vv\n"
                       "uu=vv|ga\n"
                       "vv=ww&z9\n"
                       "ww=xx^n9\n"
                       "if ga<=gb then xx=oo%3\n"
                       "if=oo<<1\n"
                       "if gc>=-5 then oo=oo>>31\n"
                       "if pp<qq then goto \"La\\\"bel\"\n"
                       "label \"LA\\\"BEL\"\n"
                       "// a comment, with \"quotes\"\n"
                       "pp=qq+ junk\n"
                       "if pp>qq then skip next rule\n"
                       "if pp!=0 then skip next 2 rules\n"
                       "exit rules, execute Outgoing Action\n"
                       "exit rules, skip Outgoing Action\n"
                       "\n";
    TTransStepMath rules;
    Vorn::VStringList errors;
    rules.parseCode(code, errors);
    rules.setDescription("all kinds");
    ASSERT_EQ(rules.count(), 20);
    std::vector<int> kinds;
    for (int i = 0; i < rules.count(); ++i)
        kinds.push_back(rules.entry(i).kind());
    EXPECT_EQ(kinds, (std::vector<int>{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                       10, 11, 12, 13, 14, 15, 16, 17, 18, 13}));

    const VString storedForm = rules.toStored();
    TTransStepMath copy;
    EXPECT_EQ(copy.fromStored(storedForm + "Tail", 0), storedForm.length());
    EXPECT_STREQ(copy.toStored().c_str(), storedForm.c_str());
    EXPECT_EQ(displayTexts(copy), displayTexts(rules));
    EXPECT_STREQ(copy.description().c_str(), "all kinds");
    EXPECT_STREQ(copy.entry(14).errorText().c_str(), "unknown text at end of line");

    for (int i = 0; i < rules.count(); ++i) {
        const Entry& original = rules.entry(i);
        SCOPED_TRACE(original.getDisplayText().c_str());
        const Entry reparsed(original.getDisplayText(), i);
        EXPECT_EQ(stored(reparsed), stored(original));
    }

    TTransStepMath assigned;
    assigned.assign(rules);
    EXPECT_STREQ(assigned.toStored().c_str(), storedForm.c_str());
}

TEST(TTransStepMathTest, StoredFormOfSmallPrograms) {
    TTransStepMath empty;
    EXPECT_STREQ(empty.toStored().c_str(), "StMa00000000");
    EXPECT_STREQ(program("if pp==10 then qq=pp+1").toStored().c_str(),
                 "StMa00000001if(pp==10)qq=pp+1");
    EXPECT_STREQ(program("// hi\ngoto \"a\"").toStored().c_str(),
                 "StMa00000002label000B__cmt>// higoto0001a");
}

TEST(TTransStepMathTest, EditsThatTheStoredFormCannotExpressAreKeptAsErroneous) {
    struct Case {
        const char* line;
        void (*edit)(Entry&);
        const char* stored;
    };
    const Case cases[] = {
        {"pp=1", [](Entry& e) { e.setOperand(0, VarOrNumber::number(3)); },
         "StMa00000001label0009__err>3=1"},
        {"pp=qq+1", [](Entry& e) { e.setOperand(2, VarOrNumber::variable(400)); },
         "StMa00000001label000C__err>pp=qq+"},
        {"if pp==1 then qq=1",
         [](Entry& e) { e.setCondition(9, e.condOperand(0), e.condOperand(1)); },
         "StMa00000001label0016__err>if pp1 then qq=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TTransStepMath rules = program(c.line);
        rules.updateEntry(0, c.edit);
        EXPECT_STREQ(rules.toStored().c_str(), c.stored);
        TTransStepMath reloaded;
        reloaded.fromStored(rules.toStored(), 0);
        EXPECT_EQ(reloaded.entry(0).kind(), Entry::kErroneous);
    }
}

TEST(TTransStepMathTest, LabelsNamedLikeMarkersStayLabels) {
    TTransStepMath rules = program("label \"__err>pp=1\"\nif pp==1 then label \"__cmt>x\"");
    const VString storedForm = rules.toStored();
    EXPECT_STREQ(storedForm.c_str(), "StMa00000002label0018__err>Label \"__err>pp=1\""
                                     "label0023__err>if pp==1 then Label \"__cmt>x\"");
    TTransStepMath reloaded;
    reloaded.fromStored(storedForm, 0);
    EXPECT_EQ(displayTexts(reloaded), displayTexts(rules));
    EXPECT_EQ(reloaded.entry(0).kind(), Entry::kLabel);
    EXPECT_STREQ(reloaded.toStored().c_str(), storedForm.c_str());
}

TEST(TTransStepMathTest, DescriptionsAndListing) {
    struct Case {
        const char* code;
        const char* description;
        const char* shortText;
        std::vector<std::string> listing;
        std::vector<std::string> oneLine;
    };
    const Case cases[] = {
        {"pp=1", "", "pp=1", {"Rules: 'pp=1'"}, {"Rules: pp=1"}},
        {"pp=1\nqq=2", "", "2 rules", {"Rules:", "  pp=1", "  qq=2"}, {"Rules: 2 rules"}},
        {"pp=1\nqq=2", "Bass", "Bass", {"Rules:", "  pp=1", "  qq=2"}, {"Rules: Bass"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        TTransStepMath rules = program(c.code);
        rules.setDescription(c.description);
        EXPECT_STREQ(rules.getShortDescription().c_str(), c.shortText);
        Vorn::VStringList listing;
        rules.appendListing(listing, false);
        EXPECT_EQ(lines(listing), c.listing);
        Vorn::VStringList oneLine;
        rules.appendListing(oneLine, true);
        EXPECT_EQ(lines(oneLine), c.oneLine);
    }
}

// Runs programs against a fresh event whose pp..rr start as given.
class RulesExecution : public ::testing::Test {
protected:
    Tr::TTransEvent event(int32_t pp = 0, int32_t qq = 0, int32_t rr = 0) {
        Tr::TTransEvent e;
        e.clear();
        e.globals = &globals;
        e.presetIndex = 3;
        e.translatorIndex = 4;
        e.locals[1] = pp;
        e.locals[2] = qq;
        e.locals[3] = rr;
        return e;
    }
    Tr::TGlobalTranslateParams globals;
};

TEST_F(RulesExecution, ComputesAndJumpsAsWritten) {
    struct Case {
        const char* code;
        std::array<int32_t, 3> start; // pp, qq, rr
        std::array<int32_t, 4> end;   // pp, qq, rr, ss
        int result;
    };
    const Case cases[] = {
        {"pp=10/0", {5, 0, 0}, {0, 0, 0, 0}, 0},
        {"pp=7%0", {5, 0, 0}, {0, 0, 0, 0}, 0},
        {"pp=-7%2", {}, {-1, 0, 0, 0}, 0},
        {"pp=-7/2", {}, {-3, 0, 0, 0}, 0},
        {"pp=-8>>1", {}, {-4, 0, 0, 0}, 0},
        {"pp=1<<33", {}, {2, 0, 0, 0}, 0},
        {"pp=1<<31", {}, {INT32_MIN, 0, 0, 0}, 0},
        {"pp=1<<-1", {}, {INT32_MIN, 0, 0, 0}, 0},
        {"pp=-1>>40", {}, {-1, 0, 0, 0}, 0},
        {"pp=2147483647+1", {}, {INT32_MIN, 0, 0, 0}, 0},
        {"pp=-2147483648-1", {}, {INT32_MAX, 0, 0, 0}, 0},
        {"pp=65536*65536", {}, {0, 0, 0, 0}, 0},
        {"pp=-2147483648/-1", {}, {INT32_MIN, 0, 0, 0}, 0},
        {"pp=-2147483648%-1", {}, {0, 0, 0, 0}, 0},
        {"pp=qq/rr\nss=qq%rr", {0, INT32_MIN, -1}, {INT32_MIN, INT32_MIN, -1, 0}, 0},
        {"pp=0xF0|0x0F\nqq=0xFF&0x3C\nrr=5^3", {}, {255, 0x3C, 6, 0}, 0},
        {"pp=qq\nqq=rr\nrr=pp", {1, 2, 3}, {2, 3, 2, 0}, 0},
        // conditions, signed
        {"if qq<=rr then pp=1", {0, 2, 2}, {1, 2, 2, 0}, 0},
        {"if qq<rr then pp=1", {0, 2, 2}, {0, 2, 2, 0}, 0},
        {"if qq>rr then pp=1", {0, 0, -1}, {1, 0, -1, 0}, 0},
        {"if qq>=rr then pp=1", {0, -2, -1}, {0, -2, -1, 0}, 0},
        {"if qq==rr then pp=1", {0, 7, 7}, {1, 7, 7, 0}, 0},
        {"if qq!=rr then pp=1", {0, 7, 7}, {0, 7, 7, 0}, 0},
        // jumps
        {"goto \"b\"\npp=1\nlabel \"b\"\nqq=2", {}, {0, 2, 0, 0}, 0},
        {"pp=1\ngoto \"nowhere\"\nqq=1", {}, {1, 0, 0, 0}, 0},
        {"goto \"L\"\nlabel \"l\"\npp=1\nlabel \"L\"\nqq=1", {}, {0, 1, 0, 0}, 0},
        {"label \"top\"\npp=pp+1\nif pp<5 then goto \"TOP\"", {}, {5, 0, 0, 0}, 0},
        {"label \"a\"\npp=pp+1\ngoto \"a\"\nqq=1", {}, {100001, 0, 0, 0}, 0},
        {"label \"a\"\nlabel \"A\"\npp=pp+1\ngoto \"a\"", {}, {50001, 0, 0, 0}, 0},
        // skips pass over comments, and an erroneous rule is a rule
        {"skip next rule\n// c\n\npp=1\nqq=1", {}, {0, 1, 0, 0}, 0},
        {"skip next 2 rules\n// a\npp=1\n// b\nqq=1\nrr=1", {}, {0, 0, 1, 0}, 0},
        {"skip next rule\nbad line\npp=1", {}, {1, 0, 0, 0}, 0},
        {"if pp==0 then skip next rule\nqq=1\nrr=1", {}, {0, 0, 1, 0}, 0},
        {"skip next rule", {}, {0, 0, 0, 0}, 0},
        // exits
        {"exit rules, execute Outgoing Action\npp=1", {}, {0, 0, 0, 0}, 0},
        {"if pp==1 then exit rules, skip Outgoing Action\nqq=1", {1, 0, 0}, {1, 0, 0, 0}, 1},
        {"if pp==1 then exit rules, skip Outgoing Action\nqq=1", {}, {0, 1, 0, 0}, 0},
        {"exit rules, skip Outgoing Action\nexit rules, execute Outgoing Action", {}, {}, 1},
        // globals
        {"ga=5\npp=ga+1\nz9=-1\nqq=z9", {}, {6, -1, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        globals.clearGlobalVariables();
        const TTransStepMath rules = program(c.code);
        Tr::TTransEvent e = event(c.start[0], c.start[1], c.start[2]);
        EXPECT_EQ(rules.execute(e), c.result);
        EXPECT_EQ((std::array<int32_t, 4>{e.locals[1], e.locals[2], e.locals[3], e.locals[4]}),
                  c.end);
    }
    EXPECT_EQ(globals.getVariable(Tr::variableIndex('g', 'a'), nullptr), 5);
}

TEST_F(RulesExecution, TargetsThatAreNoVariableWriteNothing) {
    for (const VarOrNumber target : {VarOrNumber::number(3), VarOrNumber::variable(370),
                                     VarOrNumber::variable(-1), VarOrNumber::variable(1000)}) {
        SCOPED_TRACE(target.value);
        TTransStepMath rules = program("pp=7");
        rules.updateEntry(0, [&](Entry& e) { e.setOperand(0, target); });
        Tr::TTransEvent e = event();
        EXPECT_EQ(rules.execute(e), 0);
        for (int32_t local : e.locals)
            EXPECT_EQ(local, 0);
        for (int i = 0; i < Tr::TGlobalTranslateParams::kGlobalVariableCount; ++i)
            EXPECT_EQ(globals.globalVariable(i), 0);
    }
}

TEST_F(RulesExecution, EditsMoveJumpDestinations) {
    TTransStepMath rules = program("goto \"x\"\npp=1\nlabel \"y\"\nqq=1");
    Tr::TTransEvent e = event();
    rules.execute(e);
    EXPECT_EQ(e.locals[2], 0); // no label "x": the rules end
    rules.updateEntry(2, [](Entry& label) { label.setText("X"); });
    e = event();
    rules.execute(e);
    EXPECT_EQ(e.locals[1], 0);
    EXPECT_EQ(e.locals[2], 1);
    rules.addEntry(std::make_unique<Entry>("label \"x\"", 4));
    rules.addEntry(std::make_unique<Entry>("rr=1", 5));
    e = event();
    rules.execute(e);
    EXPECT_EQ((std::array<int32_t, 3>{e.locals[1], e.locals[2], e.locals[3]}),
              (std::array<int32_t, 3>{0, 0, 1}));
}

class RecordingLog : public Tr::TLogListener {
public:
    void logMessage(const VString&) override {}
    void logIncoming(const VString&, int, int, int) override {}
    void logOutgoing(const VString&, int, int, int) override {}
    void logRule(const VString& text, int rule, int preset, int translator) override {
        lines.push_back(std::string(text.c_str()) + " #" + std::to_string(rule) + " " +
                        std::to_string(preset) + "." + std::to_string(translator));
    }
    std::vector<std::string> lines;
};

TEST_F(RulesExecution, TraceLinesWhileRuleLoggingIsOn) {
    RecordingLog log;
    globals.setLogListener(&log);
    const TTransStepMath rules = program("if pp==0 then qq=5\n"
                                         "rr=qq*2\n"
                                         "// quiet\n"
                                         "if rr==10 then skip next rule\n"
                                         "bad line\n"
                                         "skip next rule\n"
                                         "ss=1\n"
                                         "goto \"missing\"");
    Tr::TTransEvent e = event();
    rules.execute(e);
    EXPECT_TRUE(log.lines.empty()); // the switch is off

    globals.setLogSwitch(Tr::TGlobalTranslateParams::kLogRules, 1);
    e = event();
    rules.execute(e);
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "condition satisfied: if pp==0 then qq=5 #0 3.4",
                             "assignment: (if pp==0 then qq=5) = 5 #0 3.4",
                             "expression: (rr=qq*2) = 10 #1 3.4",
                             "condition satisfied: if rr==10 then skip next rule #3 3.4",
                             "skip next rule #-1 3.4",
                             "Goto \"missing\" #-1 3.4",
                             "Error: Cannot find jump destination: \"missing\" #-1 3.4",
                         }));

    log.lines.clear();
    const TTransStepMath exits = program("exit rules, skip Outgoing Action");
    e = event();
    EXPECT_EQ(exits.execute(e), 1);
    EXPECT_EQ(log.lines, std::vector<std::string>{"exit rules, skip Outgoing Action #-1 3.4"});
    globals.setLogListener(nullptr);
}

TEST_F(RulesExecution, InfiniteLoopIsCutAndReported) {
    RecordingLog log;
    globals.setLogListener(&log);
    globals.setLogSwitch(Tr::TGlobalTranslateParams::kLogRules, 1);
    const TTransStepMath rules = program("label \"a\"\nlabel \"A\"\ngoto \"a\"\npp=1");
    Tr::TTransEvent e = event();
    EXPECT_EQ(rules.execute(e), 0);
    EXPECT_EQ(e.locals[1], 0);
    // Two labels of the name: each goto counts two jumps, the limit is reached after 50000.
    ASSERT_EQ(log.lines.size(), 50001u + 3u);
    EXPECT_EQ(std::vector<std::string>(log.lines.end() - 4, log.lines.end()),
              (std::vector<std::string>{
                  "Goto \"a\" #-1 3.4",
                  "Infinite Loop detected! #-1 3.4",
                  "Infinite Loop detected! #-1 3.4",
                  "Error: Cannot find jump destination: \"a\" #-1 3.4",
              }));
    globals.setLogListener(nullptr);
}

} // namespace

// The command helpers objects use in parse(): cmdCheck, cmdHelp, the recorded
// command information and its usage answer, Tcl_VaSetResult and number parsing.
#include "ScriptTestSupport.h"

#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

// An object with two commands of its own, written the way package classes write
// theirs.
class CmdProbe : public HxObject {
    MC_HEADER(CmdProbe)

public:
    int scale = 1;
    int parse(Tcl_Interp* interp, int argc, char** argv) override {
        const char* word = argc > 1 ? argv[1] : "help";
        if (cmdCheck(word, "setScale", "setScale n: sets the scale")) {
            if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
            scale = std::atoi(argv[2]);
            return TCL_OK;
        }
        if (cmdCheck(word, "getScale", "returns the scale")) {
            if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
            Tcl_VaSetResult(interp, "%d", scale);
            return TCL_OK;
        }
        return HxObject::parse(interp, argc, argv);
    }
};
MC_INIT_CLASS(CmdProbe, HxObject::getClassTypeId())

namespace {

Tcl_Interp* interp() { return theInterpreter->interp(); }

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

class HxCmdHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        getCmdInfo().clear();
        Tcl_ResetResult(interp());
        theMsg->clear();
    }
    void TearDown() override { getCmdInfo().clear(); }
};

// ---------------------------------------------------------------------------
// cmdCheck

TEST_F(HxCmdHelpers, cmdCheckMatchesOnlyItsName) {
    EXPECT_TRUE(cmdCheck("setScale", "setScale", "sets the scale"));
    EXPECT_FALSE(cmdCheck("setScal", "setScale", "sets the scale"));
    EXPECT_FALSE(cmdCheck("setScaleX", "setScale", "sets the scale"));
    EXPECT_FALSE(cmdCheck("SETSCALE", "setScale", "sets the scale"));
    EXPECT_EQ(getCmdInfo().size(), 0) << "a match or a miss records nothing";
}

TEST_F(HxCmdHelpers, cmdCheckRefusesNull) {
    EXPECT_FALSE(cmdCheck(nullptr, "setScale", "d"));
    EXPECT_FALSE(cmdCheck("setScale", nullptr, "d"));
    EXPECT_FALSE(cmdCheck("help", nullptr, "d"));
    EXPECT_EQ(getCmdInfo().size(), 0);
}

TEST_F(HxCmdHelpers, helpRecordsEveryNameInsteadOfMatching) {
    EXPECT_FALSE(cmdCheck("help", "first", "the first command"));
    EXPECT_FALSE(cmdCheck("help", "second", nullptr));
    ASSERT_EQ(getCmdInfo().size(), 2);
    EXPECT_EQ(getCmdInfo()[0].name, "first");
    EXPECT_EQ(getCmdInfo()[0].description, "the first command");
    EXPECT_EQ(getCmdInfo()[1].name, "second");
    EXPECT_EQ(getCmdInfo()[1].description, "");
}

TEST_F(HxCmdHelpers, releaseEmptiesARecord) {
    CmdInfo info{"name", "description"};
    info.release();
    EXPECT_TRUE(info.name.empty());
    EXPECT_TRUE(info.description.empty());
}

// ---------------------------------------------------------------------------
// cmdHelp

TEST_F(HxCmdHelpers, cmdHelpLetsAFittingCommandRun) {
    ASSERT_TRUE(cmdCheck("setScale", "setScale", "sets the scale"));
    const char* argv[] = {"obj", "setScale", "3", nullptr};
    EXPECT_EQ(cmdHelp(interp(), "setScale", true, 3, const_cast<char**>(argv)), 4);
    EXPECT_EQ(theMsg->text(), "");
}

TEST_F(HxCmdHelpers, cmdHelpAnswersCommandHelpWithTheDescription) {
    ASSERT_TRUE(cmdCheck("setScale", "setScale", "sets the scale"));
    const char* argv[] = {"obj", "setScale", "help", nullptr};
    // "help" answers even when the count would not fit the command.
    EXPECT_EQ(cmdHelp(interp(), "setScale", false, 3, const_cast<char**>(argv)), TCL_OK);
    EXPECT_STREQ(Tcl_GetStringResult(interp()), "setScale: sets the scale");
}

TEST_F(HxCmdHelpers, cmdHelpDescribesTheCommandCheckedLast) {
    ASSERT_TRUE(cmdCheck("first", "first", "the first command"));
    ASSERT_TRUE(cmdCheck("second", "second", "the second command"));
    const char* argv[] = {"obj", "second", "help", nullptr};
    EXPECT_EQ(cmdHelp(interp(), "second", true, 3, const_cast<char**>(argv)), TCL_OK);
    EXPECT_STREQ(Tcl_GetStringResult(interp()), "second: the second command");
}

TEST_F(HxCmdHelpers, cmdHelpRefusesAWrongCount) {
    ASSERT_TRUE(cmdCheck("setScale", "setScale", "sets the scale"));
    const char* argv[] = {"myObject", "setScale", "1", "2", nullptr};
    EXPECT_EQ(cmdHelp(interp(), "setScale", false, 4, const_cast<char**>(argv)), TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(interp()), "myObject setScale: wrong number of arguments");
    EXPECT_EQ(theMsg->text(), "myObject setScale: wrong number of arguments\n");
}

// ---------------------------------------------------------------------------
// CmdInfo::usage

TEST_F(HxCmdHelpers, usageForHelpListsTheRecordedNames) {
    cmdCheck("help", "alpha", "a");
    cmdCheck("help", "beta", "b");
    getCmdInfo().append(CmdInfo{"", "a record without a name is left out"});
    cmdCheck("help", "gamma", "c");
    EXPECT_EQ(CmdInfo::usage(interp(), "help"), TCL_OK);
    EXPECT_STREQ(Tcl_GetStringResult(interp()), "alpha beta gamma");
}

TEST_F(HxCmdHelpers, usageWithoutAWordIsHelp) {
    cmdCheck("help", "alpha", "a");
    EXPECT_EQ(CmdInfo::usage(interp(), nullptr), TCL_OK);
    EXPECT_STREQ(Tcl_GetStringResult(interp()), "alpha");
}

TEST_F(HxCmdHelpers, usageForAnUnknownWordIsAnError) {
    EXPECT_EQ(CmdInfo::usage(interp(), "frobnicate"), TCL_ERROR);
    const std::string message = Tcl_GetStringResult(interp());
    EXPECT_EQ(message.rfind("unknown command \"frobnicate\"", 0), 0u) << message;
}

// ---------------------------------------------------------------------------
// Tcl_VaSetResult

TEST_F(HxCmdHelpers, vaSetResultFormats) {
    Tcl_VaSetResult(interp(), "%s has %d keys at %.2f", "path", 3, 1.5);
    EXPECT_STREQ(Tcl_GetStringResult(interp()), "path has 3 keys at 1.50");
    Tcl_VaSetResult(interp(), "%s", "");
    EXPECT_STREQ(Tcl_GetStringResult(interp()), "");
}

TEST_F(HxCmdHelpers, vaSetResultKeepsLongTextWhole) {
    const std::string longText(100000, 'x');
    Tcl_VaSetResult(interp(), "<%s>", longText.c_str());
    EXPECT_EQ(std::string(Tcl_GetStringResult(interp())), "<" + longText + ">");
}

// ---------------------------------------------------------------------------
// The pattern end to end: an object's command reached through the interpreter

class HxCmdThroughObject : public ::testing::Test {
protected:
    void SetUp() override {
        probe = new CmdProbe;
        name = theObjectPool->add(probe, "probe");
        theMsg->clear();
    }
    void TearDown() override { theObjectPool->remove(probe); }

    McHandle<CmdProbe> probe;
    std::string name;
};

TEST_F(HxCmdThroughObject, helpListsOwnAndInheritedCommands) {
    const auto names = words(evalOk(name + " help"));
    for (const char* expected :
         {"setScale", "getScale", "info", "getLabel", "setLabel", "fire", "getViewerMask", "setViewerMask"}) {
        EXPECT_EQ(std::count(names.begin(), names.end(), expected), 1) << expected;
    }
}

TEST_F(HxCmdThroughObject, theListIsEmptiedBeforeEachCommand) {
    const std::string first = evalOk(name + " help");
    const std::string second = evalOk(name + " help");
    EXPECT_EQ(first, second);
    evalOk(name + " getScale");
    EXPECT_EQ(evalOk(name + " help"), first);
}

TEST_F(HxCmdThroughObject, commandHelpAnswersWithoutRunningTheCommand) {
    EXPECT_EQ(evalOk(name + " setScale help"), "setScale: setScale n: sets the scale");
    EXPECT_EQ(probe->scale, 1);
    EXPECT_EQ(evalOk(name + " getScale help"), "getScale: returns the scale");
}

TEST_F(HxCmdThroughObject, wrongCountIsAnErrorAndChangesNothing) {
    EXPECT_EQ(evalError(name + " setScale"), name + " setScale: wrong number of arguments");
    EXPECT_EQ(evalError(name + " setScale 4 5"), name + " setScale: wrong number of arguments");
    EXPECT_EQ(evalError(name + " getScale 4"), name + " getScale: wrong number of arguments");
    EXPECT_EQ(probe->scale, 1);
    EXPECT_NE(theMsg->text().find(name + " setScale: wrong number of arguments"), std::string::npos);
}

TEST_F(HxCmdThroughObject, fittingCommandRuns) {
    evalOk(name + " setScale 4");
    EXPECT_EQ(probe->scale, 4);
    EXPECT_EQ(evalOk(name + " getScale"), "4");
}

TEST_F(HxCmdThroughObject, unknownWordIsAnError) {
    const std::string message = evalError(name + " frobnicate 1 2");
    EXPECT_EQ(message.rfind("unknown command \"frobnicate\"", 0), 0u) << message;
}

TEST_F(HxCmdThroughObject, noWordAnswersLikeHelp) { EXPECT_EQ(evalOk(name), evalOk(name + " help")); }

// ---------------------------------------------------------------------------
// Number parsing

struct LongCase {
    const char* word;
    bool ok;
    long value;
};

class ParseLongCases : public ::testing::TestWithParam<LongCase> {};

TEST_P(ParseLongCases, wholeWordMustBeAnInteger) {
    const LongCase& c = GetParam();
    long value = -777;
    EXPECT_EQ(parseLong(c.word, value), c.ok) << (c.word ? c.word : "(null)");
    EXPECT_EQ(value, c.ok ? c.value : -777) << "a refused word leaves the value alone";
}

INSTANTIATE_TEST_SUITE_P(Words, ParseLongCases,
                         ::testing::Values(LongCase{"0", true, 0}, LongCase{"42", true, 42}, LongCase{"-17", true, -17},
                                           LongCase{"+5", true, 5}, LongCase{"", false, 0}, LongCase{nullptr, false, 0},
                                           LongCase{"12x", false, 0}, LongCase{"1.5", false, 0},
                                           LongCase{"abc", false, 0}, LongCase{"1 2", false, 0},
                                           LongCase{"99999999999999999999999", false, 0}));

struct FloatCase {
    const char* word;
    bool ok;
    float value;
};

class ParseFloatCases : public ::testing::TestWithParam<FloatCase> {};

TEST_P(ParseFloatCases, wholeWordMustBeAFiniteFloat) {
    const FloatCase& c = GetParam();
    float value = -777.0f;
    EXPECT_EQ(parseFloat(c.word, value), c.ok) << (c.word ? c.word : "(null)");
    EXPECT_EQ(value, c.ok ? c.value : -777.0f);
}

INSTANTIATE_TEST_SUITE_P(Words, ParseFloatCases,
                         ::testing::Values(FloatCase{"0", true, 0.0f}, FloatCase{"2.5", true, 2.5f},
                                           FloatCase{"-1e3", true, -1000.0f}, FloatCase{"3e38", true, 3e38f},
                                           FloatCase{".5", true, 0.5f}, FloatCase{"", false, 0},
                                           FloatCase{nullptr, false, 0}, FloatCase{"1.5.2", false, 0},
                                           FloatCase{"2,5", false, 0}, FloatCase{"nan", false, 0},
                                           FloatCase{"inf", false, 0}, FloatCase{"-infinity", false, 0},
                                           FloatCase{"1e39", false, 0}, FloatCase{"-1e39", false, 0},
                                           FloatCase{"1e999", false, 0}, FloatCase{"x", false, 0}));

}  // namespace

// The command helpers objects use in parse(): cmdCheck, cmdHelp, CmdInfo::usage,
// Tcl_VaSetResult, number parsing and number text.
#include "ScriptTestSupport.h"

#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>

#include <algorithm>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>

// Two commands written the way package classes write theirs.
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
std::string result() { return Tcl_GetStringResult(interp()); }

class HxCmdHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        getCmdInfo().clear();
        theMsg->clear();
    }
    void TearDown() override {
        getCmdInfo().clear();
        theMsg->clear();
    }
};

TEST_F(HxCmdHelpers, cmdCheckMatchesItsNameAndHelpRecordsEveryName) {
    EXPECT_TRUE(cmdCheck("setScale", "setScale", "d"));
    for (const char* miss : {"setScal", "setScaleX", "SETSCALE", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(cmdCheck(miss, "setScale", "d"));
    EXPECT_FALSE(cmdCheck("setScale", nullptr, "d"));
    EXPECT_FALSE(cmdCheck("help", nullptr, "d"));
    EXPECT_EQ(getCmdInfo().size(), 0) << "a match or a miss records nothing";

    EXPECT_FALSE(cmdCheck("help", "first", "the first command"));
    EXPECT_FALSE(cmdCheck("help", "second", nullptr));
    ASSERT_EQ(getCmdInfo().size(), 2);
    EXPECT_EQ(getCmdInfo()[0].description, "the first command");
    EXPECT_EQ(getCmdInfo()[1].name, "second");
    EXPECT_EQ(getCmdInfo()[1].description, "");
}

TEST_F(HxCmdHelpers, cmdHelpRunsAnswersHelpOrRefuses) {
    ASSERT_TRUE(cmdCheck("first", "first", "the first command"));
    ASSERT_TRUE(cmdCheck("setScale", "setScale", "sets the scale"));
    const char* run[] = {"obj", "setScale", "3", nullptr};
    EXPECT_EQ(cmdHelp(interp(), "setScale", true, 3, const_cast<char**>(run)), 4);
    // "help" answers with the command checked last, even when the count does not fit.
    const char* help[] = {"obj", "setScale", "help", nullptr};
    EXPECT_EQ(cmdHelp(interp(), "setScale", false, 3, const_cast<char**>(help)), TCL_OK);
    EXPECT_EQ(result(), "setScale: sets the scale");
    EXPECT_EQ(theMsg->text(), "");
    const char* wrong[] = {"myObject", "setScale", "1", "2", nullptr};
    EXPECT_EQ(cmdHelp(interp(), "setScale", false, 4, const_cast<char**>(wrong)), TCL_ERROR);
    EXPECT_EQ(result(), "myObject setScale: wrong number of arguments");
    EXPECT_EQ(theMsg->text(), "myObject setScale: wrong number of arguments\n");
}

TEST_F(HxCmdHelpers, usageListsNamesOrRefusesAnUnknownWord) {
    cmdCheck("help", "alpha", "a");
    getCmdInfo().append(CmdInfo{"", "a record without a name is left out"});
    cmdCheck("help", "beta", "b");
    EXPECT_EQ(CmdInfo::usage(interp(), "help"), TCL_OK);
    EXPECT_EQ(result(), "alpha beta");
    EXPECT_EQ(CmdInfo::usage(interp(), nullptr), TCL_OK);
    EXPECT_EQ(result(), "alpha beta");
    EXPECT_EQ(CmdInfo::usage(interp(), "frobnicate"), TCL_ERROR);
    EXPECT_EQ(result().rfind("unknown command \"frobnicate\"", 0), 0u) << result();
}

TEST_F(HxCmdHelpers, vaSetResultFormatsAndKeepsLongTextWhole) {
    Tcl_VaSetResult(interp(), "%s has %d keys at %.2f", "path", 3, 1.5);
    EXPECT_EQ(result(), "path has 3 keys at 1.50");
    const std::string longText(100000, 'x');
    Tcl_VaSetResult(interp(), "<%s>", longText.c_str());
    EXPECT_EQ(result(), "<" + longText + ">");
}

TEST(HxCmdThroughObject, ownCommandsHelpAndCountsThroughTheInterpreter) {
    McHandle<CmdProbe> probe = new CmdProbe;
    const std::string name = theObjectPool->add(probe, "probe");
    theMsg->clear();
    const std::string help = evalOk(name + " help");
    const auto names = words(help);
    for (const char* expected : {"setScale", "getScale", "info", "fire", "setViewerMask"})
        EXPECT_EQ(std::count(names.begin(), names.end(), expected), 1) << expected;
    evalOk(name + " getScale");
    EXPECT_EQ(evalOk(name + " help"), help) << "the list is emptied before each command";
    EXPECT_EQ(evalOk(name), help);

    EXPECT_EQ(evalOk(name + " setScale help"), "setScale: setScale n: sets the scale");
    EXPECT_EQ(evalError(name + " setScale 4 5"), name + " setScale: wrong number of arguments");
    EXPECT_EQ(evalError(name + " getScale 4"), name + " getScale: wrong number of arguments");
    EXPECT_EQ(probe->scale, 1);
    EXPECT_NE(theMsg->text().find(name + " setScale: wrong number of arguments"), std::string::npos);
    evalOk(name + " setScale 4");
    EXPECT_EQ(evalOk(name + " getScale"), "4");
    EXPECT_EQ(evalError(name + " frobnicate 1").rfind("unknown command \"frobnicate\"", 0), 0u);
    theObjectPool->clear();
    theMsg->clear();
}

TEST(HxCmdParse, wholeWordMustBeANumber) {
    const struct {
        const char* word;
        bool ok;
        long value;
    } longs[] = {{"-17", true, -17}, {"+5", true, 5},   {"", false, 0},    {nullptr, false, 0},
                 {"12x", false, 0},  {"1.5", false, 0}, {"1 2", false, 0}, {"99999999999999999999999", false, 0}};
    for (const auto& c : longs) {
        long value = -777;
        EXPECT_EQ(parseLong(c.word, value), c.ok) << (c.word ? c.word : "(null)");
        EXPECT_EQ(value, c.ok ? c.value : -777) << "a refused word leaves the value alone";
    }
    const struct {
        const char* word;
        bool ok;
        float value;
    } floats[] = {
        {"-1e3", true, -1000.0f}, {"3e38", true, 3e38f},     {".5", true, 0.5f},    {"", false, 0},
        {nullptr, false, 0},      {"1.5.2", false, 0},       {"2,5", false, 0},     {"nan", false, 0},
        {"-infinity", false, 0},  {"1e39", false, 0},        {"1e999", false, 0},   {"x", false, 0},
        {"+0.25", true, 0.25f},   {"-0x1.8p1", true, -3.0f}, {"1e-50", true, 0.0f}, {"3.4028235e38", true, FLT_MAX},
        {"+-1", false, 0}};
    for (const auto& c : floats) {
        float value = -777.0f;
        EXPECT_EQ(parseFloat(c.word, value), c.ok) << (c.word ? c.word : "(null)");
        EXPECT_EQ(value, c.ok ? c.value : -777.0f);
    }
}

TEST(HxCmdFloatText, shortestTextThatReadsBackExactly) {
    const std::pair<float, const char*> exact[] = {
        {0.1f, "0.1"},          {6.25f, "6.25"},           {-3.0f, "-3"},        {100.0001f, "100.0001"},
        {1e7f + 1, "10000001"}, {16777216.0f, "16777216"}, {2.5e-7f, "2.5e-07"}, {1.0f / 3, "0.33333334"}};
    for (const auto& [value, text] : exact) EXPECT_EQ(cmdFloatText(value), text);
    for (float value : {0.7f, std::nextafter(1.0f, 2.0f), FLT_MAX, -FLT_MIN, FLT_TRUE_MIN, 123456.79f}) {
        const std::string text = cmdFloatText(value);
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
    }
    // "%f" where six decimals read back, more where they do not.
    const std::pair<float, const char*> fixed[] = {{20.0f, "20.000000"},
                                                   {-0.5f, "-0.500000"},
                                                   {6.6666665f, "6.6666665"},
                                                   {1e-7f, "0.0000001"},
                                                   {3e9f, "3000000000.000000"}};
    for (const auto& [value, text] : fixed) EXPECT_EQ(cmdFixedText(value), text);
}

// Qt sets the C library's locale from the environment; a comma locale must not
// change how numbers are read or written.
TEST(HxCmdNumbers, ignoreACommaLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "scripts/install-deps.sh generates this locale";
    float value = 0;
    const bool pointRead = parseFloat("0.5", value);
    const bool commaRead = parseFloat("0,5", value);
    const std::string texts[] = {cmdFloatText(0.5f), cmdFixedText(-2.25f)};
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_TRUE(pointRead);
    EXPECT_EQ(value, 0.5f);
    EXPECT_FALSE(commaRead);
    EXPECT_EQ(texts[0], "0.5");
    EXPECT_EQ(texts[1], "-2.250000");
}

}  // namespace

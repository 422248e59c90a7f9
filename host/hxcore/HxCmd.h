// Helpers for objects' script commands.
//
// A parse() compares its command word with each command name through
// cmdCheck(). When the word is "help", every cmdCheck() records its name in the
// command-information list instead of matching, so the base class can answer
// "help" with the list of all commands the object understands.
#pragma once
#include <mc/McDArray.h>

#include <charconv>
#include <string>

struct Tcl_Interp;

struct CmdInfo {
    std::string name;
    std::string description;

    // Frees both strings.
    void release() {
        std::string().swap(name);
        std::string().swap(description);
    }

    // Answers a word that matched no command: for "help" the result becomes the
    // recorded command names (TCL_OK); otherwise the error
    // `unknown command "word"` (TCL_ERROR).
    static int usage(Tcl_Interp* interp, const char* word);
};

// The host's list of recorded commands. It is emptied before each command an
// object receives from the interpreter.
McDArray<CmdInfo>& getCmdInfo();

// True when `word` names the command `name`. For the word "help" it records
// (name, description) and returns false.
bool cmdCheck(const char* word, const char* name, const char* description);

// Call after cmdCheck() matched: answers "obj cmd help" (result: the command's
// description, returns TCL_OK) and a wrong argument count (a usage message on the
// console, returns TCL_ERROR). Returns 4 when the command is to run.
int cmdHelp(Tcl_Interp* interp, const char* word, bool countFits, int argc, char** argv);

// Sets the interpreter's result from a printf-style format.
void Tcl_VaSetResult(Tcl_Interp* interp, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Sets `message` as the interpreter's result and returns TCL_ERROR.
int cmdFail(Tcl_Interp* interp, const std::string& message);
// Sets `text` as the interpreter's result and returns TCL_OK.
int cmdTextResult(Tcl_Interp* interp, const std::string& text);

// Number text for scripts, results, saved networks and files. None of these
// functions depends on the process locale: the decimal separator is always a point.

// The shortest text that reads back as exactly `value`: "%g"'s text wherever six
// significant digits read back, otherwise seven, eight or nine.
std::string cmdFloatText(float value);
// "%f"'s text (six decimals) wherever it reads back as exactly `value`,
// otherwise the shortest fixed-point text that does.
std::string cmdFixedText(float value);

// Reads the number at `begin` (optional sign, digits with an optional point, an
// optional exponent, or hexadecimal after "0x"; "inf" and "nan" too) as a float. ec is invalid_argument when
// no number starts there and result_out_of_range when its magnitude is beyond the
// float range; numbers too small for a float read as zero. ptr: where the number ends.
std::from_chars_result cmdReadFloat(const char* begin, const char* end, float& value);

// Strict number parsing for commands: the whole word must be a number, and a
// float must be finite. A refused word leaves `value` alone.
bool parseLong(const char* word, long& value);
bool parseFloat(const char* word, float& value);

#pragma once
// The engine's exceptions. Everything it raises derives from EScriptError,
// so a host can catch one type and show the message.

#include "runtime/script/script_value.h"

#include <stdexcept>
#include <string>

namespace telvo {

class EScriptError : public std::runtime_error {
public:
    explicit EScriptError(const std::string& message) : std::runtime_error(message) {}
};

// A script that cannot be compiled. Line counts from 1; Position is one more
// than the zero-based column of the token at fault, i.e. 1 for a token at the
// start of its line.
class EScriptCompileError : public EScriptError {
public:
    EScriptCompileError(int number, int line, int position, std::string scriptName, std::string extra);
    int Number() const noexcept { return number_; }
    int Line() const noexcept { return line_; }
    int Position() const noexcept { return position_; }
    const std::string& ScriptName() const noexcept { return scriptName_; }
    const std::string& Extra() const noexcept { return extra_; }
    // The text of the error number alone ("Syntax Error").
    static const char* NumberText(int number) noexcept;

private:
    int number_;
    int line_;
    int position_;
    std::string scriptName_;
    std::string extra_;
};

// `raise value`: carries the raised value; the message is the value as text.
class EVariantException : public EScriptError {
public:
    explicit EVariantException(TVariant value);
    const TVariant& Value() const noexcept { return value_; }

private:
    TVariant value_;
};

// Ends a run regardless of the script's own try blocks: a run that was asked
// to stop ("Process terminated by user") or ran out of its instruction
// budget must not be kept alive by an except part inside an endless loop.
class EScriptAbort : public EScriptError {
public:
    using EScriptError::EScriptError;
};

// Compile error numbers.
enum : int {
    sceParserInternal = 1001,
    sceSyntax = 1002,
    sceRedeclared = 1003,
    sceUnexpectedEnd = 1004,
    sceNumberFormat = 1005,
    sceUnterminatedString = 1006,
    sceConstantExpected = 1007,
    sceLabelRedeclared = 1008,
    sceAssignableExpected = 1009,
    sceAssignmentInExpression = 1010,
    sceMethodCallForm = 1011,
    sceInvalidParameter = 1012,
    sceToDowntoExpected = 1013,
    sceLoopVariable = 1014,
    sceLabelNotFound = 1015,
    sceNotAssignable = 1016,
};

} // namespace telvo

#include "runtime/script/script_errors.h"

namespace telvo {

namespace {
std::string compileMessage(int number, int line, int position, const std::string& scriptName, const std::string& extra)
{
    std::string text = EScriptCompileError::NumberText(number);
    if (!extra.empty())
        text += ": " + extra;
    return "Error compiling " + scriptName + ". " + text + " at line " + std::to_string(line) + ", pos " +
           std::to_string(position);
}

TVariant plainValue(TVariant value)
{
    if (value.IsReference())
        return TVariant(value.Deref());
    return value;
}
} // namespace

EScriptCompileError::EScriptCompileError(int number, int line, int position, std::string scriptName, std::string extra)
    : EScriptError(compileMessage(number, line, position, scriptName, extra)), number_(number), line_(line),
      position_(position), scriptName_(std::move(scriptName)), extra_(std::move(extra))
{
}

const char* EScriptCompileError::NumberText(int number) noexcept
{
    switch (number) {
    case 1001: return "Parser internal error";
    case 1002: return "Syntax Error";
    case 1003: return "Identifier redeclared";
    case 1004: return "Unexpected end of script";
    case 1005: return "Invalid number format";
    case 1006: return "Unterminated string";
    case 1007: return "Constant expected";
    case 1008: return "Label redeclared";
    case 1009: return "Assignable expression expected to the left of ':='";
    case 1010: return "Assignment in expressions is not supported";
    case 1011: return "This form of method call is not allowed";
    case 1012: return "Invalid parameter";
    case 1013: return "To or downto keywords expected";
    case 1014: return "Loop variable must be a local variable or an input parameter";
    case 1015: return "Label not found";
    case 1016: return "Variable not found or cannot be assigned to";
    default: return "Unknown error";
    }
}

EVariantException::EVariantException(TVariant value)
    : EScriptError(value.ToText()), value_(plainValue(std::move(value)))
{
}

} // namespace telvo

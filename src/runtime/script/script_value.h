#pragma once
// The values of the script engine: a small tagged variant. Integers, floats,
// Booleans and references live inline (no heap); only texts and object
// references own something.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace telvo {

class TScriptObject;

// Order matters: everything from Text on owns a resource, so copies of the
// lighter kinds are a plain copy of the bits.
enum class TVariantKind : uint8_t { Empty, Null, Boolean, Integer, Float, Reference, Text, Object };

class TVariant {
public:
    TVariant() noexcept { u_.bits = 0; }
    TVariant(bool value) noexcept : kind_(TVariantKind::Boolean) { u_.bits = value ? 1 : 0; }
    TVariant(int32_t value) noexcept : kind_(TVariantKind::Integer) { u_.bits = integerBits(value); }
    TVariant(double value) noexcept : kind_(TVariantKind::Float) { u_.f = value; }
    TVariant(const char* text) : TVariant(std::string_view(text)) {}
    TVariant(std::string_view text) : kind_(TVariantKind::Text) { u_.text = new std::string(text); }
    TVariant(std::string&& text) : kind_(TVariantKind::Text) { u_.text = new std::string(std::move(text)); }
    TVariant(const std::string& text) : TVariant(std::string_view(text)) {}
    // Adds a reference to the object (nullptr gives a nil object reference).
    explicit TVariant(TScriptObject* object) noexcept;

    static TVariant Null() noexcept { TVariant v; v.kind_ = TVariantKind::Null; return v; }
    // A reference to a value cell the caller keeps alive (var and out
    // parameters, "@" in a script).
    static TVariant Reference(TVariant* cell) noexcept { TVariant v; v.kind_ = TVariantKind::Reference; v.u_.ref = cell; return v; }
    // Takes over the creator's reference of a freshly made object.
    static TVariant AdoptObject(TScriptObject* object) noexcept;

    TVariant(const TVariant& other) : kind_(other.kind_) { u_.bits = other.u_.bits; if (kind_ >= TVariantKind::Text) copyResource(); }
    TVariant(TVariant&& other) noexcept : kind_(other.kind_) { u_.bits = other.u_.bits; other.kind_ = TVariantKind::Empty; }
    TVariant& operator=(const TVariant& other)
    {
        if (kind_ < TVariantKind::Text && other.kind_ < TVariantKind::Text) {
            kind_ = other.kind_;
            u_.bits = other.u_.bits;
        } else if (this != &other) {
            assignSlow(other);
        }
        return *this;
    }
    TVariant& operator=(TVariant&& other) noexcept
    {
        if (this != &other) {
            if (kind_ >= TVariantKind::Text) release();
            kind_ = other.kind_;
            u_.bits = other.u_.bits;
            other.kind_ = TVariantKind::Empty;
        }
        return *this;
    }
    ~TVariant() { if (kind_ >= TVariantKind::Text) release(); }

    void Clear() noexcept { if (kind_ >= TVariantKind::Text) release(); kind_ = TVariantKind::Empty; }

    TVariantKind Kind() const noexcept { return kind_; }
    bool IsEmpty() const noexcept { return kind_ == TVariantKind::Empty; }
    bool IsNull() const noexcept { return kind_ == TVariantKind::Null; }
    bool IsReference() const noexcept { return kind_ == TVariantKind::Reference; }
    bool IsNumber() const noexcept { return kind_ == TVariantKind::Integer || kind_ == TVariantKind::Float; }

    // Unchecked access; the caller has looked at Kind().
    bool AsBoolean() const noexcept { return u_.b; }
    int32_t AsInteger() const noexcept { return u_.i; }
    double AsFloat() const noexcept { return u_.f; }
    const std::string& AsText() const noexcept { return *u_.text; }
    std::string& MutableText() noexcept { return *u_.text; }
    TScriptObject* AsObject() const noexcept { return u_.obj; }
    TVariant* AsReference() const noexcept { return u_.ref; }

    // The value itself, or the cell a reference points to.
    const TVariant& Deref() const noexcept { return kind_ == TVariantKind::Reference ? *u_.ref : *this; }
    TVariant& Deref() noexcept { return kind_ == TVariantKind::Reference ? *u_.ref : *this; }

    // Conversions (see script_value.cpp for the rules); throw EScriptError.
    bool ToBoolean() const;
    int32_t ToInteger() const;
    double ToFloat() const;
    std::string ToText() const;

    // Sets integer or float directly; used by the runner's fast paths.
    void SetInteger(int32_t value) noexcept { if (kind_ >= TVariantKind::Text) release(); kind_ = TVariantKind::Integer; u_.bits = integerBits(value); }
    void SetFloat(double value) noexcept { if (kind_ >= TVariantKind::Text) release(); kind_ = TVariantKind::Float; u_.f = value; }
    void SetBoolean(bool value) noexcept { if (kind_ >= TVariantKind::Text) release(); kind_ = TVariantKind::Boolean; u_.bits = value ? 1 : 0; }

private:
    // Every small value is written as one 64-bit word: a narrower store
    // followed by a copy of the whole word would stall the store buffer,
    // and copies are what the runner does most.
    static uint64_t integerBits(int32_t value) noexcept { return static_cast<uint32_t>(value); }

    void copyResource();
    void assignSlow(const TVariant& other);
    void release() noexcept;

    TVariantKind kind_ = TVariantKind::Empty;
    union {
        bool b;
        int32_t i;
        double f;
        TVariant* ref;
        std::string* text;
        TScriptObject* obj;
        uint64_t bits;
    } u_;
};

// The operators of the language on two values. maxTextLength bounds the
// length of a joined text.
enum class TScriptOp : uint8_t { Plus, Minus, Mul, Div, IDiv, Mod, Eq, Ne, Lt, Gt, Le, Ge, And, Or, Xor };

TVariant ScriptBinary(TScriptOp op, const TVariant& left, const TVariant& right, size_t maxTextLength);
TVariant ScriptNegate(const TVariant& value);
TVariant ScriptNot(const TVariant& value);
// The short-circuit rule of "and"/"or": true when the left operand alone
// decides (False for "and", True for "or").
inline bool ScriptShortCircuits(TScriptOp op, const TVariant& left) noexcept
{
    const TVariant& l = left.Deref();
    return l.Kind() == TVariantKind::Boolean && l.AsBoolean() == (op == TScriptOp::Or);
}

// Floats as the engine writes them: up to 15 significant digits, "." as
// separator whatever the locale ("2.5", "3", "0.333333333333333", "1E20").
std::string FormatScriptFloat(double value);
// A value for people: decimal integers, floats as above, True/False, texts
// as they are, <empty>, <null>, <object ClassName>, <nil>.
std::string DescribeScriptValue(const TVariant& value);

// ASCII case-insensitive equality, the rule for every name in the language.
bool SameScriptName(std::string_view a, std::string_view b) noexcept;

} // namespace telvo

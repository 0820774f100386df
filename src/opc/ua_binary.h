#pragma once
// The OPC UA binary encoding of the built-in types this client needs:
// little-endian numbers, length-prefixed strings, NodeIds, Variants,
// DataValues and the rest. The reader checks every length against what is
// left, so a message from the network can never read past its end or make
// us allocate more than it carries.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace telvo::opc {

// A message that does not follow the encoding.
class EUaDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Identifier kinds of a NodeId as the text form names them.
enum class TNodeIdKind : uint8_t { Numeric, String, Guid, Opaque };

struct TNodeId {
    uint16_t Namespace = 0;
    TNodeIdKind Kind = TNodeIdKind::Numeric;
    uint32_t Numeric = 0;
    std::string Text; // String identifier, or the 16 bytes of a Guid, or opaque bytes

    static TNodeId Num(uint32_t id, uint16_t ns = 0) { return {ns, TNodeIdKind::Numeric, id, {}}; }
    static TNodeId Str(std::string id, uint16_t ns) { return {ns, TNodeIdKind::String, 0, std::move(id)}; }
    bool IsNull() const { return Namespace == 0 && Kind == TNodeIdKind::Numeric && Numeric == 0; }
    bool operator==(const TNodeId&) const = default;

    // "ns=1;s=Tank.Level", "i=85", "ns=2;g=…", "ns=3;b=…" (base64).
    std::string ToText() const;
    // Parses the text form; false when it is not one.
    static bool FromText(std::string_view text, TNodeId& out);
};

struct TExpandedNodeId {
    TNodeId Node;
    std::string NamespaceUri;
    uint32_t ServerIndex = 0;
};

struct TQualifiedName {
    uint16_t Namespace = 0;
    std::string Name;
};

struct TLocalizedText {
    std::string Locale;
    std::string Text;
};

// Built-in type numbers as a Variant names them.
enum class TUaType : uint8_t {
    Null = 0, Boolean = 1, SByte, Byte, Int16, UInt16, Int32, UInt32, Int64, UInt64,
    Float, Double, String, DateTime, Guid, ByteString, XmlElement, NodeId, ExpandedNodeId,
    StatusCode, QualifiedName, LocalizedText, ExtensionObject, DataValue, Variant, DiagnosticInfo
};

const char* UaTypeName(TUaType type);

// A scalar Variant keeps its value; an array keeps its element type and
// length only (this client reads and writes scalars; arrays are shown).
struct TVariant {
    TUaType Type = TUaType::Null;
    bool IsArray = false;
    uint32_t ArrayLength = 0;
    bool Bool = false;
    int64_t Int = 0;    // every signed type and DateTime
    uint64_t UInt = 0;  // every unsigned type and StatusCode
    double Real = 0;    // Float and Double
    std::string Text;   // String, ByteString, XmlElement, Guid bytes, texts of names

    static TVariant Boolean(bool v) { TVariant x; x.Type = TUaType::Boolean; x.Bool = v; return x; }
    static TVariant Int32(int32_t v) { TVariant x; x.Type = TUaType::Int32; x.Int = v; return x; }
    static TVariant Double(double v) { TVariant x; x.Type = TUaType::Double; x.Real = v; return x; }
    static TVariant String(std::string v) { TVariant x; x.Type = TUaType::String; x.Text = std::move(v); return x; }

    // The value as text: "true"/"false", decimal numbers, the string itself.
    std::string ToText() const;
};

struct TDataValue {
    bool HasValue = false;
    TVariant Value;
    uint32_t Status = 0; // Good when absent
    int64_t SourceTimestamp = 0;
    int64_t ServerTimestamp = 0;
};

class TUaWriter {
public:
    std::string Buffer;

    void Byte(uint8_t v) { Buffer.push_back(static_cast<char>(v)); }
    void Boolean(bool v) { Byte(v ? 1 : 0); }
    void UInt16(uint16_t v);
    void UInt32(uint32_t v);
    void Int32(int32_t v) { UInt32(static_cast<uint32_t>(v)); }
    void UInt64(uint64_t v);
    void Int64(int64_t v) { UInt64(static_cast<uint64_t>(v)); }
    void Double(double v);
    void Float(float v);
    void String(std::string_view v);
    void NullString() { Int32(-1); }
    void ByteString(std::string_view v) { String(v); }
    void NodeId(const TNodeId& id);
    void ExpandedNodeId(const TExpandedNodeId& id);
    void QualifiedName(const TQualifiedName& q);
    void LocalizedText(const TLocalizedText& t);
    void Variant(const TVariant& v);
    void DataValue(const TDataValue& v);
    void StringArray(const std::vector<std::string>& list);
    // An ExtensionObject with no body.
    void EmptyExtensionObject();
    // Overwrites 4 bytes at pos (for sizes known only at the end).
    void PatchUInt32(size_t pos, uint32_t v);
};

class TUaReader {
public:
    explicit TUaReader(std::string_view data) : data_(data) {}

    uint8_t Byte();
    bool Boolean() { return Byte() != 0; }
    uint16_t UInt16();
    uint32_t UInt32();
    int32_t Int32() { return static_cast<int32_t>(UInt32()); }
    uint64_t UInt64();
    int64_t Int64() { return static_cast<int64_t>(UInt64()); }
    double Double();
    float Float();
    std::string String();
    std::string ByteString() { return String(); }
    TNodeId NodeId();
    TExpandedNodeId ExpandedNodeId();
    TQualifiedName QualifiedName();
    TLocalizedText LocalizedText();
    TVariant Variant();
    TDataValue DataValue();
    std::vector<std::string> StringArray();
    // Steps over an array of strings without keeping them.
    void SkipStringArray();
    void SkipDiagnosticInfo();
    void SkipDiagnosticInfos();
    // Skips an ExtensionObject, returning its type id.
    TNodeId SkipExtensionObject();
    // The element count of an array; -1 (null) counts as 0. Refuses counts
    // that could not fit in what is left, taking each element as at least
    // minElementSize bytes.
    uint32_t ArrayLength(size_t minElementSize = 1);
    void Skip(size_t n);

    size_t Remaining() const { return data_.size() - pos_; }
    size_t Position() const { return pos_; }

private:
    void need(size_t n) const;
    void skipVariantValue(TUaType type, TVariant* into);
    std::string_view data_;
    size_t pos_ = 0;
    int depth_ = 0; // nesting of Variants, DataValues and DiagnosticInfos
};

// 100 ns intervals since 1601-01-01 UTC, as OPC UA counts time.
int64_t UaNow();

} // namespace telvo::opc

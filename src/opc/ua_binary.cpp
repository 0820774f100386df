#include "opc/ua_binary.h"

#include <bit>
#include <charconv>
#include <chrono>
#include <cstring>

namespace telvo::opc {

namespace {

// Deeper nesting than this is not something a server sends on purpose; it
// would only exhaust our stack.
constexpr int MaxDepth = 32;

const char* const Base64Chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(std::string_view in)
{
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const uint32_t n = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        for (int s = 18; s >= 0; s -= 6)
            out.push_back(Base64Chars[(n >> s) & 63]);
    }
    if (i < in.size()) {
        uint32_t n = uint8_t(in[i]) << 16;
        if (i + 1 < in.size())
            n |= uint8_t(in[i + 1]) << 8;
        out.push_back(Base64Chars[(n >> 18) & 63]);
        out.push_back(Base64Chars[(n >> 12) & 63]);
        out.push_back(i + 1 < in.size() ? Base64Chars[(n >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

bool fromBase64(std::string_view in, std::string& out)
{
    out.clear();
    uint32_t acc = 0;
    int bits = 0;
    for (char c : in) {
        if (c == '=')
            break;
        const char* p = std::strchr(Base64Chars, c);
        if (!p || c == 0)
            return false;
        acc = (acc << 6) | uint32_t(p - Base64Chars);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return true;
}

std::string guidText(const std::string& b)
{
    if (b.size() != 16)
        return {};
    auto u8 = [&](int i) { return uint8_t(b[i]); };
    const uint32_t d1 = u8(0) | (u8(1) << 8) | (u8(2) << 16) | (uint32_t(u8(3)) << 24);
    const uint16_t d2 = uint16_t(u8(4) | (u8(5) << 8));
    const uint16_t d3 = uint16_t(u8(6) | (u8(7) << 8));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", d1, d2, d3, u8(8), u8(9),
                  u8(10), u8(11), u8(12), u8(13), u8(14), u8(15));
    return buf;
}

bool guidFromText(std::string_view t, std::string& out)
{
    if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-')
        return false;
    std::string hex;
    for (char c : t)
        if (c != '-')
            hex.push_back(c);
    if (hex.size() != 32)
        return false;
    uint8_t raw[16];
    for (int i = 0; i < 16; ++i) {
        unsigned v = 0;
        auto r = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, v, 16);
        if (r.ec != std::errc() || r.ptr != hex.data() + 2 * i + 2)
            return false;
        raw[i] = uint8_t(v);
    }
    // Data1..Data3 are little-endian on the wire, written big-endian in text.
    const uint8_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    out.assign(16, '\0');
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<char>(raw[order[i]]);
    return true;
}

} // namespace

// ---- TNodeId text form ----

std::string TNodeId::ToText() const
{
    std::string s;
    if (Namespace != 0)
        s = "ns=" + std::to_string(Namespace) + ";";
    switch (Kind) {
    case TNodeIdKind::Numeric: return s + "i=" + std::to_string(Numeric);
    case TNodeIdKind::String: return s + "s=" + Text;
    case TNodeIdKind::Guid: return s + "g=" + guidText(Text);
    case TNodeIdKind::Opaque: return s + "b=" + toBase64(Text);
    }
    return s;
}

bool TNodeId::FromText(std::string_view text, TNodeId& out)
{
    TNodeId id;
    if (text.starts_with("ns=")) {
        const size_t semi = text.find(';');
        if (semi == std::string_view::npos)
            return false;
        unsigned ns = 0;
        auto r = std::from_chars(text.data() + 3, text.data() + semi, ns);
        if (r.ec != std::errc() || r.ptr != text.data() + semi || ns > 0xFFFF)
            return false;
        id.Namespace = uint16_t(ns);
        text.remove_prefix(semi + 1);
    }
    if (text.size() < 2 || text[1] != '=')
        return false;
    const std::string_view v = text.substr(2);
    switch (text[0]) {
    case 'i': {
        auto r = std::from_chars(v.data(), v.data() + v.size(), id.Numeric);
        if (v.empty() || r.ec != std::errc() || r.ptr != v.data() + v.size())
            return false;
        id.Kind = TNodeIdKind::Numeric;
        break;
    }
    case 's':
        id.Kind = TNodeIdKind::String;
        id.Text = std::string(v);
        break;
    case 'g':
        id.Kind = TNodeIdKind::Guid;
        if (!guidFromText(v, id.Text))
            return false;
        break;
    case 'b':
        id.Kind = TNodeIdKind::Opaque;
        if (!fromBase64(v, id.Text))
            return false;
        break;
    default: return false;
    }
    out = std::move(id);
    return true;
}

const char* UaTypeName(TUaType type)
{
    static const char* const names[] = {"Null", "Boolean", "SByte", "Byte", "Int16", "UInt16", "Int32", "UInt32",
        "Int64", "UInt64", "Float", "Double", "String", "DateTime", "Guid", "ByteString", "XmlElement", "NodeId",
        "ExpandedNodeId", "StatusCode", "QualifiedName", "LocalizedText", "ExtensionObject", "DataValue",
        "Variant", "DiagnosticInfo"};
    const auto i = static_cast<size_t>(type);
    return i < std::size(names) ? names[i] : "Unknown";
}

std::string TVariant::ToText() const
{
    if (IsArray)
        return std::string(UaTypeName(Type)) + "[" + std::to_string(ArrayLength) + "]";
    switch (Type) {
    case TUaType::Null: return "";
    case TUaType::Boolean: return Bool ? "true" : "false";
    case TUaType::SByte: case TUaType::Int16: case TUaType::Int32: case TUaType::Int64: case TUaType::DateTime:
        return std::to_string(Int);
    case TUaType::Byte: case TUaType::UInt16: case TUaType::UInt32: case TUaType::UInt64:
    case TUaType::StatusCode:
        return std::to_string(UInt);
    case TUaType::Float: case TUaType::Double: {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, Real);
        return std::string(buf, r.ptr);
    }
    case TUaType::Guid: return guidText(Text);
    case TUaType::ByteString: return toBase64(Text);
    default: return Text;
    }
}

// ---- TUaWriter ----

void TUaWriter::UInt16(uint16_t v)
{
    Byte(uint8_t(v));
    Byte(uint8_t(v >> 8));
}

void TUaWriter::UInt32(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        Byte(uint8_t(v >> (8 * i)));
}

void TUaWriter::UInt64(uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        Byte(uint8_t(v >> (8 * i)));
}

void TUaWriter::Double(double v) { UInt64(std::bit_cast<uint64_t>(v)); }
void TUaWriter::Float(float v) { UInt32(std::bit_cast<uint32_t>(v)); }

void TUaWriter::String(std::string_view v)
{
    Int32(static_cast<int32_t>(v.size()));
    Buffer.append(v);
}

void TUaWriter::NodeId(const TNodeId& id)
{
    switch (id.Kind) {
    case TNodeIdKind::Numeric:
        if (id.Namespace == 0 && id.Numeric <= 0xFF) {
            Byte(0x00);
            Byte(uint8_t(id.Numeric));
        } else if (id.Namespace <= 0xFF && id.Numeric <= 0xFFFF) {
            Byte(0x01);
            Byte(uint8_t(id.Namespace));
            UInt16(uint16_t(id.Numeric));
        } else {
            Byte(0x02);
            UInt16(id.Namespace);
            UInt32(id.Numeric);
        }
        return;
    case TNodeIdKind::String: Byte(0x03); UInt16(id.Namespace); String(id.Text); return;
    case TNodeIdKind::Guid:
        Byte(0x04);
        UInt16(id.Namespace);
        Buffer.append(id.Text.size() == 16 ? id.Text : std::string(16, '\0'));
        return;
    case TNodeIdKind::Opaque: Byte(0x05); UInt16(id.Namespace); ByteString(id.Text); return;
    }
}

void TUaWriter::ExpandedNodeId(const TExpandedNodeId& id)
{
    const size_t flagPos = Buffer.size();
    NodeId(id.Node);
    if (!id.NamespaceUri.empty()) {
        Buffer[flagPos] = static_cast<char>(Buffer[flagPos] | 0x80);
        String(id.NamespaceUri);
    }
    if (id.ServerIndex != 0) {
        Buffer[flagPos] = static_cast<char>(Buffer[flagPos] | 0x40);
        UInt32(id.ServerIndex);
    }
}

void TUaWriter::QualifiedName(const TQualifiedName& q)
{
    UInt16(q.Namespace);
    String(q.Name);
}

void TUaWriter::LocalizedText(const TLocalizedText& t)
{
    Byte(uint8_t((t.Locale.empty() ? 0 : 1) | (t.Text.empty() ? 0 : 2)));
    if (!t.Locale.empty())
        String(t.Locale);
    if (!t.Text.empty())
        String(t.Text);
}

void TUaWriter::Variant(const TVariant& v)
{
    if (v.IsArray)
        throw std::invalid_argument("writing arrays is not supported");
    Byte(static_cast<uint8_t>(v.Type));
    switch (v.Type) {
    case TUaType::Null: return;
    case TUaType::Boolean: Boolean(v.Bool); return;
    case TUaType::SByte: Byte(uint8_t(int8_t(v.Int))); return;
    case TUaType::Byte: Byte(uint8_t(v.UInt)); return;
    case TUaType::Int16: UInt16(uint16_t(int16_t(v.Int))); return;
    case TUaType::UInt16: UInt16(uint16_t(v.UInt)); return;
    case TUaType::Int32: Int32(int32_t(v.Int)); return;
    case TUaType::UInt32: case TUaType::StatusCode: UInt32(uint32_t(v.UInt)); return;
    case TUaType::Int64: case TUaType::DateTime: Int64(v.Int); return;
    case TUaType::UInt64: UInt64(v.UInt); return;
    case TUaType::Float: Float(static_cast<float>(v.Real)); return;
    case TUaType::Double: Double(v.Real); return;
    case TUaType::String: case TUaType::ByteString: case TUaType::XmlElement: String(v.Text); return;
    default: throw std::invalid_argument(std::string("writing a ") + UaTypeName(v.Type) + " is not supported");
    }
}

void TUaWriter::DataValue(const TDataValue& v)
{
    Byte(uint8_t((v.HasValue ? 0x01 : 0) | (v.Status ? 0x02 : 0)));
    if (v.HasValue)
        Variant(v.Value);
    if (v.Status)
        UInt32(v.Status);
}

void TUaWriter::StringArray(const std::vector<std::string>& list)
{
    Int32(static_cast<int32_t>(list.size()));
    for (const auto& s : list)
        String(s);
}

void TUaWriter::EmptyExtensionObject()
{
    NodeId(TNodeId{});
    Byte(0);
}

void TUaWriter::PatchUInt32(size_t pos, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        Buffer[pos + i] = static_cast<char>(uint8_t(v >> (8 * i)));
}

// ---- TUaReader ----

void TUaReader::need(size_t n) const
{
    if (n > data_.size() - pos_)
        throw EUaDecodeError("message ends early (at byte " + std::to_string(pos_) + ", " + std::to_string(n) +
                             " more needed)");
}

void TUaReader::Skip(size_t n)
{
    need(n);
    pos_ += n;
}

uint8_t TUaReader::Byte()
{
    need(1);
    return uint8_t(data_[pos_++]);
}

uint16_t TUaReader::UInt16()
{
    need(2);
    const uint16_t v = uint16_t(uint8_t(data_[pos_]) | (uint8_t(data_[pos_ + 1]) << 8));
    pos_ += 2;
    return v;
}

uint32_t TUaReader::UInt32()
{
    need(4);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(data_[pos_ + i]);
    pos_ += 4;
    return v;
}

uint64_t TUaReader::UInt64()
{
    need(8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | uint8_t(data_[pos_ + i]);
    pos_ += 8;
    return v;
}

double TUaReader::Double() { return std::bit_cast<double>(UInt64()); }
float TUaReader::Float() { return std::bit_cast<float>(UInt32()); }

std::string TUaReader::String()
{
    const int32_t n = Int32();
    if (n < 0)
        return {};
    need(size_t(n));
    std::string s(data_.substr(pos_, size_t(n)));
    pos_ += size_t(n);
    return s;
}

uint32_t TUaReader::ArrayLength(size_t minElementSize)
{
    const int32_t n = Int32();
    if (n < 0)
        return 0;
    if (minElementSize && size_t(n) > Remaining() / minElementSize)
        throw EUaDecodeError("array of " + std::to_string(n) + " elements longer than the message");
    return uint32_t(n);
}

TNodeId TUaReader::NodeId()
{
    TNodeId id;
    const uint8_t encoding = Byte() & 0x3F; // the two high bits belong to ExpandedNodeId
    switch (encoding) {
    case 0x00: id.Numeric = Byte(); break;
    case 0x01: id.Namespace = Byte(); id.Numeric = UInt16(); break;
    case 0x02: id.Namespace = UInt16(); id.Numeric = UInt32(); break;
    case 0x03: id.Namespace = UInt16(); id.Kind = TNodeIdKind::String; id.Text = String(); break;
    case 0x04:
        id.Namespace = UInt16();
        id.Kind = TNodeIdKind::Guid;
        need(16);
        id.Text = std::string(data_.substr(pos_, 16));
        pos_ += 16;
        break;
    case 0x05: id.Namespace = UInt16(); id.Kind = TNodeIdKind::Opaque; id.Text = ByteString(); break;
    default: throw EUaDecodeError("unknown NodeId encoding " + std::to_string(encoding));
    }
    return id;
}

TExpandedNodeId TUaReader::ExpandedNodeId()
{
    need(1);
    const uint8_t flags = uint8_t(data_[pos_]);
    TExpandedNodeId e;
    e.Node = NodeId();
    if (flags & 0x80)
        e.NamespaceUri = String();
    if (flags & 0x40)
        e.ServerIndex = UInt32();
    return e;
}

TQualifiedName TUaReader::QualifiedName()
{
    TQualifiedName q;
    q.Namespace = UInt16();
    q.Name = String();
    return q;
}

TLocalizedText TUaReader::LocalizedText()
{
    TLocalizedText t;
    const uint8_t mask = Byte();
    if (mask & 0x01)
        t.Locale = String();
    if (mask & 0x02)
        t.Text = String();
    return t;
}

void TUaReader::skipVariantValue(TUaType type, TVariant* into)
{
    TVariant scratch;
    TVariant& v = into ? *into : scratch;
    switch (type) {
    case TUaType::Null: return;
    case TUaType::Boolean: v.Bool = Boolean(); return;
    case TUaType::SByte: v.Int = int8_t(Byte()); return;
    case TUaType::Byte: v.UInt = Byte(); return;
    case TUaType::Int16: v.Int = int16_t(UInt16()); return;
    case TUaType::UInt16: v.UInt = UInt16(); return;
    case TUaType::Int32: v.Int = Int32(); return;
    case TUaType::UInt32: case TUaType::StatusCode: v.UInt = UInt32(); return;
    case TUaType::Int64: case TUaType::DateTime: v.Int = Int64(); return;
    case TUaType::UInt64: v.UInt = UInt64(); return;
    case TUaType::Float: v.Real = Float(); return;
    case TUaType::Double: v.Real = Double(); return;
    case TUaType::String: case TUaType::ByteString: case TUaType::XmlElement: v.Text = String(); return;
    case TUaType::Guid:
        need(16);
        v.Text = std::string(data_.substr(pos_, 16));
        pos_ += 16;
        return;
    case TUaType::NodeId: v.Text = NodeId().ToText(); return;
    case TUaType::ExpandedNodeId: v.Text = ExpandedNodeId().Node.ToText(); return;
    case TUaType::QualifiedName: v.Text = QualifiedName().Name; return;
    case TUaType::LocalizedText: v.Text = LocalizedText().Text; return;
    case TUaType::ExtensionObject: v.Text = SkipExtensionObject().ToText(); return;
    case TUaType::DataValue: {
        TDataValue inner = DataValue();
        v.Text = inner.Value.ToText();
        return;
    }
    case TUaType::Variant: v.Text = Variant().ToText(); return;
    case TUaType::DiagnosticInfo: SkipDiagnosticInfo(); return;
    }
    throw EUaDecodeError("unknown Variant type " + std::to_string(int(type)));
}

TVariant TUaReader::Variant()
{
    if (++depth_ > MaxDepth)
        throw EUaDecodeError("values nested too deeply");
    TVariant v;
    const uint8_t mask = Byte();
    const uint8_t t = mask & 0x3F;
    if (t > static_cast<uint8_t>(TUaType::DiagnosticInfo))
        throw EUaDecodeError("unknown Variant type " + std::to_string(t));
    v.Type = static_cast<TUaType>(t);
    if (mask & 0x80) {
        v.IsArray = true;
        v.ArrayLength = ArrayLength(v.Type == TUaType::Null ? 0 : 1);
        if (v.Type == TUaType::Null && v.ArrayLength > 0)
            throw EUaDecodeError("array of Null values");
        for (uint32_t i = 0; i < v.ArrayLength; ++i)
            skipVariantValue(v.Type, nullptr);
        if (mask & 0x40) {
            const uint32_t dims = ArrayLength(4);
            for (uint32_t i = 0; i < dims; ++i)
                UInt32();
        }
    } else {
        skipVariantValue(v.Type, &v);
    }
    --depth_;
    return v;
}

TDataValue TUaReader::DataValue()
{
    if (++depth_ > MaxDepth)
        throw EUaDecodeError("values nested too deeply");
    TDataValue d;
    const uint8_t mask = Byte();
    if (mask & 0x01) {
        d.HasValue = true;
        d.Value = Variant();
    }
    if (mask & 0x02)
        d.Status = UInt32();
    if (mask & 0x04)
        d.SourceTimestamp = Int64();
    if (mask & 0x10)
        UInt16();
    if (mask & 0x08)
        d.ServerTimestamp = Int64();
    if (mask & 0x20)
        UInt16();
    --depth_;
    return d;
}

std::vector<std::string> TUaReader::StringArray()
{
    const uint32_t n = ArrayLength(4);
    std::vector<std::string> list;
    list.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        list.push_back(String());
    return list;
}

void TUaReader::SkipStringArray()
{
    const uint32_t n = ArrayLength(4);
    for (uint32_t i = 0; i < n; ++i) {
        const int32_t length = Int32();
        if (length > 0)
            Skip(size_t(length));
    }
}

void TUaReader::SkipDiagnosticInfo()
{
    if (++depth_ > MaxDepth)
        throw EUaDecodeError("values nested too deeply");
    const uint8_t mask = Byte();
    if (mask & 0x01) Int32();
    if (mask & 0x02) Int32();
    if (mask & 0x08) Int32();
    if (mask & 0x04) Int32();
    if (mask & 0x10) String();
    if (mask & 0x20) UInt32();
    if (mask & 0x40) SkipDiagnosticInfo();
    --depth_;
}

void TUaReader::SkipDiagnosticInfos()
{
    const uint32_t n = ArrayLength(1);
    for (uint32_t i = 0; i < n; ++i)
        SkipDiagnosticInfo();
}

TNodeId TUaReader::SkipExtensionObject()
{
    TNodeId type = NodeId();
    const uint8_t encoding = Byte();
    if (encoding == 1 || encoding == 2)
        String();
    else if (encoding != 0)
        throw EUaDecodeError("unknown ExtensionObject encoding " + std::to_string(encoding));
    return type;
}

int64_t UaNow()
{
    using namespace std::chrono;
    // 11644473600 s lie between 1601-01-01 and 1970-01-01.
    const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return since1970 / 100 + int64_t(11644473600) * 10000000;
}

} // namespace telvo::opc

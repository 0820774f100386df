#pragma once
// The bytes a document is parsed from. pugixml parses in place, and the
// readers parse many small files one after another (the library loads every
// type it needs, a project reads one network file per diagram): a buffer
// kept per thread saves the allocation of a fresh copy for every file.
//
// A document parsed into a buffer points into it, so the buffer must outlive
// the document: declare the buffer first. Buffers nest (a composite type's
// inner types are read while its own document is still open), each reader
// holding its own.

#include <pugixml.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace telvo {

class TXmlParseBuffer {
public:
    TXmlParseBuffer();
    ~TXmlParseBuffer();
    TXmlParseBuffer(const TXmlParseBuffer&) = delete;
    TXmlParseBuffer& operator=(const TXmlParseBuffer&) = delete;

    // Copies the text and parses the copy in place; the text itself stays
    // as it was (error messages count its lines). Parses as pugixml's
    // load_buffer does, which a text holding a NUL byte goes through.
    pugi::xml_parse_result Parse(pugi::xml_document& doc, std::string_view text, unsigned options);

    // Reads the whole file into the buffer. Throws std::runtime_error naming
    // the file when it cannot be read.
    void ReadFile(const std::string& fileName);
    // The bytes read by ReadFile, before they are parsed.
    std::string_view Text() const { return {data_.get(), size_}; }
    // Parses what ReadFile read, in place (a text holding a NUL byte from a
    // copy, as Parse does): Text() is no longer the file's text afterwards.
    pugi::xml_parse_result ParseInPlace(pugi::xml_document& doc, unsigned options);

private:
    void reserve(size_t size);

    std::unique_ptr<char[]> data_;
    size_t capacity_ = 0;
    size_t size_ = 0;
};

} // namespace telvo

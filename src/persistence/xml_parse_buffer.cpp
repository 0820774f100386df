#include "persistence/xml_parse_buffer.h"

#include "model/file_util.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>
#include <utility>
#include <vector>

namespace telvo {

namespace {

// A buffer larger than this goes back to the system when its reader is done:
// one huge file must not keep its size for the rest of the thread's life.
constexpr size_t kKeptCapacity = size_t(4) << 20;
constexpr size_t kKeptBuffers = 4;

struct TSpare {
    std::unique_ptr<char[]> Data;
    size_t Capacity = 0;
};

std::vector<TSpare>& spares()
{
    thread_local std::vector<TSpare> list;
    return list;
}

} // namespace

TXmlParseBuffer::TXmlParseBuffer()
{
    auto& list = spares();
    if (!list.empty()) {
        data_ = std::move(list.back().Data);
        capacity_ = list.back().Capacity;
        list.pop_back();
    }
}

TXmlParseBuffer::~TXmlParseBuffer()
{
    if (!data_ || capacity_ > kKeptCapacity)
        return;
    auto& list = spares();
    if (list.size() < kKeptBuffers)
        list.push_back({std::move(data_), capacity_});
}

void TXmlParseBuffer::reserve(size_t size)
{
    if (size <= capacity_ && data_)
        return;
    size_t capacity = 4096;
    while (capacity < size)
        capacity *= 2;
    data_.reset(new char[capacity]);
    capacity_ = capacity;
}

pugi::xml_parse_result TXmlParseBuffer::Parse(pugi::xml_document& doc, std::string_view text, unsigned options)
{
    // Parsed in place, a text reads as far as its first NUL byte, and pugixml
    // takes a NUL before the last character for the end of the text (a
    // broken end tag there would pass). A text holding one is parsed from
    // pugixml's own copy instead, as a rewrite parses its base file, so that
    // both read it alike.
    if (std::memchr(text.data(), 0, text.size()))
        return doc.load_buffer(text.data(), text.size(), options, pugi::encoding_auto);
    reserve(text.size());
    if (!text.empty())
        std::memcpy(data_.get(), text.data(), text.size());
    size_ = text.size();
    return doc.load_buffer_inplace(data_.get(), size_, options, pugi::encoding_auto);
}

pugi::xml_parse_result TXmlParseBuffer::ParseInPlace(pugi::xml_document& doc, unsigned options)
{
    // A file read holding a NUL byte: read as Parse reads it.
    if (size_ && std::memchr(data_.get(), 0, size_))
        return doc.load_buffer(data_.get(), size_, options, pugi::encoding_auto);
    return doc.load_buffer_inplace(data_.get(), size_, options, pugi::encoding_auto);
}

void TXmlParseBuffer::ReadFile(const std::string& fileName)
{
    size_ = 0;
    size_t expected = 0;
    int fd = OpenFileToRead(fileName, expected);
    // The size may change while the file is read: read until the end
    // whatever fstat said, but not past the limit.
    reserve(expected + 1);
    while (true) {
        if (size_ == capacity_) {
            if (size_ > kMaxReadFileSize) {
                ::close(fd);
                size_ = 0;
                throw FileTooLargeError(fileName);
            }
            std::unique_ptr<char[]> old = std::move(data_);
            size_t oldCapacity = capacity_;
            capacity_ = 0;
            reserve(oldCapacity * 2);
            std::memcpy(data_.get(), old.get(), size_);
        }
        ssize_t n = ::read(fd, data_.get() + size_, capacity_ - size_);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            size_ = 0;
            throw std::runtime_error("Cannot read file " + fileName + ": " + std::strerror(err));
        }
        if (n == 0)
            break;
        size_ += static_cast<size_t>(n);
    }
    ::close(fd);
    if (size_ > kMaxReadFileSize) {
        size_ = 0;
        throw FileTooLargeError(fileName);
    }
}

} // namespace telvo

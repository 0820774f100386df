#pragma once
// Walking a parsed document the way the readers do. Types and networks are
// read often (the library loads every type it needs, a project reads every
// diagram), and every step through a pugixml document is a call into the
// library: these visit each element and attribute as few times as they can.

#include <pugixml.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace telvo::xmlwalk {

// Names compared by hand: element and attribute names are short, and a
// call into the C library per sibling costs more than the comparison.
inline bool same(const char* a, const char* b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The attributes of one element the reader wants, found in one pass over
// the element's attributes. A missing attribute reads as an empty text; of a
// repeated name the first counts.
template <size_t N>
class TAttrs {
public:
    TAttrs(pugi::xml_node node, const char* const (&names)[N])
    {
        values_.fill(nullptr);
        size_t found = 0;
        for (pugi::xml_attribute a = node.first_attribute(); a && found < N; a = a.next_attribute()) {
            const char* name = a.name();
            for (size_t i = 0; i < N; ++i)
                if (!values_[i] && name[0] == names[i][0] && same(name, names[i])) {
                    values_[i] = a.value();
                    ++found;
                    break;
                }
        }
    }
    const char* operator[](size_t i) const { return values_[i] ? values_[i] : ""; }
    // Null when the attribute is absent.
    const char* OrNull(size_t i) const { return values_[i]; }

private:
    std::array<const char*, N> values_;
};

// The first child element of each of several names, found in one pass.
template <size_t N>
class TFirstChildren {
public:
    TFirstChildren(pugi::xml_node parent, const char* const (&names)[N])
    {
        // Which names are found is kept aside: asking a node whether it is
        // empty is a call into pugixml too.
        static_assert(N <= 32);
        uint32_t found = 0;
        const uint32_t all = N == 32 ? ~uint32_t(0) : (uint32_t(1) << N) - 1;
        for (pugi::xml_node c = parent.first_child(); c && found != all; c = c.next_sibling()) {
            const char* name = c.name();
            for (size_t i = 0; i < N; ++i)
                if (!(found & (uint32_t(1) << i)) && name[0] == names[i][0] && same(name, names[i])) {
                    if (c.type() == pugi::node_element) {
                        nodes_[i] = c;
                        found |= uint32_t(1) << i;
                    }
                    break;
                }
        }
    }
    pugi::xml_node operator[](size_t i) const { return nodes_[i]; }

private:
    std::array<pugi::xml_node, N> nodes_{};
};

// The child elements of one name, gathered in one pass so that the list they
// are read into is sized before it is filled. The nodes wait on a stack per
// thread, shared by nested readers (a composite type's inner types are read
// while the outer document is open), each taking and giving back its top.
class TElements {
public:
    TElements(pugi::xml_node parent, const char* name)
    {
        for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
            const char* n = c.name();
            if (n[0] == name[0] && same(n, name) && c.type() == pugi::node_element) {
                if (!stack_) {
                    // Taken only when there is something to keep: most lists
                    // a reader asks for are empty or absent.
                    stack_ = &stack();
                    first_ = stack_->size();
                }
                stack_->push_back(c);
            }
        }
    }
    ~TElements()
    {
        if (stack_)
            stack_->resize(first_);
    }
    TElements(const TElements&) = delete;
    TElements& operator=(const TElements&) = delete;

    size_t size() const { return stack_ ? stack_->size() - first_ : 0; }

    // By position, not by pointer: a nested reader may grow the stack.
    struct Iterator {
        const std::vector<pugi::xml_node>* Stack;
        size_t At;
        pugi::xml_node operator*() const { return (*Stack)[At]; }
        Iterator& operator++()
        {
            ++At;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return At != other.At; }
    };
    Iterator begin() const { return {stack_, first_}; }
    Iterator end() const { return {stack_, first_ + size()}; }

private:
    static std::vector<pugi::xml_node>& stack()
    {
        thread_local std::vector<pugi::xml_node> nodes;
        return nodes;
    }

    std::vector<pugi::xml_node>* stack_ = nullptr;
    size_t first_ = 0;
};

} // namespace telvo::xmlwalk

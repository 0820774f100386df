#pragma once
// Walking a parsed document the way the readers do. Types and networks are
// read often (the library loads every type it needs, a project reads every
// diagram), and every step through a pugixml document is a call into the
// library: these visit each element and attribute as few times as they can,
// and read the document's records directly where that is known to be sound.

#include <pugixml.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// pugixml keeps every accessor out of line, so a step from a node to its
// sibling costs a call. Linked statically, the library in the program is the
// one the header describes, and its node records have had one layout for
// many releases: then the walkers read them directly. xml_walk_test checks
// the layout against pugixml's own accessors on every build.
#if defined(TELVO_PUGIXML_STATIC) && !defined(PUGIXML_COMPACT) && !defined(PUGIXML_WCHAR_MODE) && \
    PUGIXML_VERSION >= 190 && PUGIXML_VERSION < 1200
#define TELVO_XML_RECORDS 1
#else
#define TELVO_XML_RECORDS 0
#endif

namespace telvo::xmlwalk {

#if TELVO_XML_RECORDS
namespace records {
// As pugixml lays out an attribute and a node (xml_attribute_struct,
// xml_node_struct). The low four bits of a header are the node's type.
struct TAttribute {
    uintptr_t Header;
    char* Name;
    char* Value;
    TAttribute* PrevCyclic;
    TAttribute* Next;
};
struct TNode {
    uintptr_t Header;
    char* Name;
    char* Value;
    TNode* Parent;
    TNode* FirstChild;
    TNode* PrevCyclic;
    TNode* NextSibling;
    TAttribute* FirstAttribute;
};
constexpr uintptr_t kTypeMask = 15;
} // namespace records
#endif

class TNode;

// One attribute of a parsed document; a null attribute when there is none.
class TAttr {
public:
    TAttr() = default;
    explicit TAttr(pugi::xml_attribute a)
#if TELVO_XML_RECORDS
        : rec_(reinterpret_cast<const records::TAttribute*>(a.internal_object()))
#else
        : rec_(a)
#endif
    {
    }
#if TELVO_XML_RECORDS
    explicit operator bool() const { return rec_ != nullptr; }
    // Never null: an attribute without a name or value reads as "".
    const char* Name() const { return rec_->Name ? rec_->Name : ""; }
    const char* Value() const { return rec_->Value ? rec_->Value : ""; }
    TAttr Next() const { return TAttr(rec_->Next); }
#else
    explicit operator bool() const { return static_cast<bool>(rec_); }
    const char* Name() const { return rec_.name(); }
    const char* Value() const { return rec_.value(); }
    TAttr Next() const { return TAttr(rec_.next_attribute()); }
#endif

private:
    friend class TNode;
#if TELVO_XML_RECORDS
    explicit TAttr(const records::TAttribute* rec) : rec_(rec) {}
    const records::TAttribute* rec_ = nullptr;
#else
    pugi::xml_attribute rec_;
#endif
};

// One node of a parsed document, read as pugixml reads it: the null node
// has no name, value, children or attributes.
class TNode {
public:
    TNode() = default;
    explicit TNode(pugi::xml_node n)
#if TELVO_XML_RECORDS
        : rec_(reinterpret_cast<const records::TNode*>(n.internal_object()))
#else
        : rec_(n)
#endif
    {
    }
#if TELVO_XML_RECORDS
    explicit operator bool() const { return rec_ != nullptr; }
    bool operator==(const TNode& other) const { return rec_ == other.rec_; }
    pugi::xml_node_type Type() const
    {
        return rec_ ? static_cast<pugi::xml_node_type>(rec_->Header & records::kTypeMask) : pugi::node_null;
    }
    bool IsElement() const { return rec_ && (rec_->Header & records::kTypeMask) == pugi::node_element; }
    const char* Name() const { return rec_ && rec_->Name ? rec_->Name : ""; }
    const char* Value() const { return rec_ && rec_->Value ? rec_->Value : ""; }
    TNode FirstChild() const { return TNode(rec_ ? rec_->FirstChild : nullptr); }
    // Only on a node that is not null.
    TNode NextSibling() const { return TNode(rec_->NextSibling); }
    TAttr FirstAttribute() const { return TAttr(rec_ ? rec_->FirstAttribute : nullptr); }
    pugi::xml_node Pugi() const
    {
        return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(const_cast<records::TNode*>(rec_)));
    }
#else
    explicit operator bool() const { return static_cast<bool>(rec_); }
    bool operator==(const TNode& other) const { return rec_ == other.rec_; }
    pugi::xml_node_type Type() const { return rec_.type(); }
    bool IsElement() const { return rec_.type() == pugi::node_element; }
    const char* Name() const { return rec_.name(); }
    const char* Value() const { return rec_.value(); }
    TNode FirstChild() const { return TNode(rec_.first_child()); }
    TNode NextSibling() const { return TNode(rec_.next_sibling()); }
    TAttr FirstAttribute() const { return TAttr(rec_.first_attribute()); }
    pugi::xml_node Pugi() const { return rec_; }
#endif

private:
#if TELVO_XML_RECORDS
    explicit TNode(const records::TNode* rec) : rec_(rec) {}
    const records::TNode* rec_ = nullptr;
#else
    pugi::xml_node rec_;
#endif
};

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
    TAttrs(pugi::xml_node node, const char* const (&names)[N]) : TAttrs(TNode(node), names) {}
    TAttrs(TNode node, const char* const (&names)[N])
    {
        values_.fill(nullptr);
        if (!node)
            return;
        size_t found = 0;
        for (TAttr a = node.FirstAttribute(); a && found < N; a = a.Next()) {
            const char* name = a.Name();
            for (size_t i = 0; i < N; ++i)
                if (!values_[i] && name[0] == names[i][0] && same(name, names[i])) {
                    values_[i] = a.Value();
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

// Whether a node is an element of the name.
inline bool isElement(TNode node, const char* name)
{
    const char* n = node.Name();
    return n[0] == name[0] && same(n, name) && node.IsElement();
}

// The first child element of each of several names, found in one pass.
template <size_t N>
class TFirstChildren {
public:
    TFirstChildren(TNode parent, const char* const (&names)[N])
    {
        static_assert(N <= 32);
        uint32_t found = 0;
        const uint32_t all = N == 32 ? ~uint32_t(0) : (uint32_t(1) << N) - 1;
        for (TNode c = parent.FirstChild(); c && found != all; c = c.NextSibling()) {
            const char* name = c.Name();
            for (size_t i = 0; i < N; ++i)
                if (!(found & (uint32_t(1) << i)) && name[0] == names[i][0] && same(name, names[i])) {
                    if (c.IsElement()) {
                        nodes_[i] = c;
                        found |= uint32_t(1) << i;
                    }
                    break;
                }
        }
    }
    TNode operator[](size_t i) const { return nodes_[i]; }

private:
    std::array<TNode, N> nodes_{};
};

// The child elements of one name, in order, walked without gathering them.
class TElements {
public:
    TElements(TNode parent, const char* name) : first_(next(parent.FirstChild(), name)), name_(name) {}
    // The element `first`, which has the name, and its siblings of the name.
    static TElements From(TNode first, const char* name) { return TElements(first, name, 0); }

    // How many there are: the list they are read into is sized first.
    size_t size() const
    {
        size_t n = 0;
        for (TNode c = first_; c; c = next(c.NextSibling(), name_))
            ++n;
        return n;
    }
    bool empty() const { return !first_; }

    struct Iterator {
        TNode Node;
        const char* Name;
        TNode operator*() const { return Node; }
        Iterator& operator++()
        {
            Node = next(Node.NextSibling(), Name);
            return *this;
        }
        bool operator!=(const Iterator& other) const { return !(Node == other.Node); }
    };
    Iterator begin() const { return {first_, name_}; }
    Iterator end() const { return {TNode(), name_}; }

private:
    TElements(TNode first, const char* name, int) : first_(first), name_(name) {}

    // The node itself or the first sibling after it that is an element of
    // the name.
    static TNode next(TNode c, const char* name)
    {
        while (c && !isElement(c, name))
            c = c.NextSibling();
        return c;
    }

    TNode first_;
    const char* name_;
};

} // namespace telvo::xmlwalk

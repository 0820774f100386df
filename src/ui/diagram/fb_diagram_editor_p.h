#pragma once
// What the parts of the FB diagram editor (fb_diagram_*.cpp) share and no
// one else needs. Included only by those files.

#include <QString>

#include <algorithm>
#include <string>

namespace telvo {
namespace {

inline QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

template <typename List, typename T>
inline bool holds(const List& list, const T* item)
{
    return item && std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
}

} // namespace
} // namespace telvo

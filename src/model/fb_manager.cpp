#include "model/fb_manager.h"

#include <algorithm>

namespace telvo {

TFB_Manager::~TFB_Manager()
{
    // Diagrams reference types and records, so they go first.
    Diagrams.clear();
    Types.clear();
}

TFB_Type* TFB_Manager::FindType(const std::string& name) const
{
    for (const auto& t : Types)
        if (t && t->Name == name)
            return t.get();
    return nullptr;
}

TFB_Diagram* TFB_Manager::CreateDiagram(const std::string& name, double zoom)
{
    Diagrams.push_back(std::make_unique<TFB_Diagram>(name, zoom));
    return Diagrams.back().get();
}

void TFB_Manager::DeleteDiagram(TFB_Diagram* diagram)
{
    auto it = std::find_if(Diagrams.begin(), Diagrams.end(), [&](const auto& d) { return d.get() == diagram; });
    if (it != Diagrams.end())
        Diagrams.erase(it);
}

} // namespace telvo

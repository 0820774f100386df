#include "persistence/xml_walk.h"

namespace telvo::xmlwalk {

std::vector<pugi::xml_node>& TElements::stack()
{
    thread_local std::vector<pugi::xml_node> nodes;
    return nodes;
}

} // namespace telvo::xmlwalk

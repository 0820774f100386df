#include "persistence/network_clip.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/library_index.h"
#include "persistence/network_file.h"
#include "persistence/type_file.h"

#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

namespace telvo {

namespace {

// The instance part of a connection end: the text before the first ".".
std::string instanceOf(std::string_view end)
{
    const size_t dot = end.find('.');
    return std::string(dot == std::string_view::npos ? end : end.substr(0, dot));
}

std::string portOf(std::string_view end)
{
    const size_t dot = end.find('.');
    return dot == std::string_view::npos ? std::string() : std::string(end.substr(dot + 1));
}

// A constant is written with Source and Destination only; a connection
// between instances carries its comment and geometry too.
bool isConnectionForm(pugi::xml_node c)
{
    return c.attribute("Comment") || c.attribute("dx1");
}

void removeIf(pugi::xml_node parent, const char* name, const std::function<bool(pugi::xml_node)>& drop)
{
    std::vector<pugi::xml_node> gone;
    for (pugi::xml_node c : parent.children(name))
        if (drop(c))
            gone.push_back(c);
    for (pugi::xml_node c : gone)
        parent.remove_child(c);
}

// Containers the cut left empty go too: a file of three instances reads
// better without an empty EventConnections.
void removeEmpty(pugi::xml_node root)
{
    std::vector<pugi::xml_node> gone;
    for (pugi::xml_node c : root.children()) {
        const std::string_view name = c.name();
        if ((name == "EventConnections" || name == "DataConnections" || name == "NotesList" ||
             name == "FBIPPConnections" || name == "IPPtoIPPConnections") &&
            !c.first_child())
            gone.push_back(c);
    }
    for (pugi::xml_node c : gone)
        root.remove_child(c);
}

class TStringWriter : public pugi::xml_writer {
public:
    std::string Text;
    void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
};

std::string save(const pugi::xml_document& doc)
{
    TStringWriter out;
    doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return std::move(out.Text);
}

} // namespace

std::string SelectionToText(const TFB_Diagram& diagram, const std::vector<const TDrawObject*>& chosen)
{
    auto isChosen = [&](const TDrawObject* o) { return std::find(chosen.begin(), chosen.end(), o) != chosen.end(); };
    std::set<std::string> instances;
    for (const auto& drawn : diagram.DrawnInstances)
        if (drawn->Ref && isChosen(drawn.get()))
            instances.insert(drawn->Ref->Name);
    // The writer writes the notes and the pictures that show an IPP in list
    // order: the k-th element is the k-th of them.
    std::vector<bool> notes, pictures;
    for (const auto& n : diagram.Notes)
        notes.push_back(isChosen(n.get()));
    for (const auto& p : diagram.IPPPictures)
        if (p->Ipp)
            pictures.push_back(isChosen(p.get()));

    const std::string whole = NetworkToText(diagram);
    pugi::xml_document doc;
    doc.load_buffer(whole.data(), whole.size(), pugi::parse_default | pugi::parse_declaration);
    pugi::xml_node root = doc.document_element();
    auto in = [&](std::string_view end) { return instances.count(instanceOf(end)) != 0; };

    removeIf(root, "FB", [&](pugi::xml_node fb) { return !instances.count(fb.attribute("Name").value()); });
    for (pugi::xml_node list : root.children("DataConnections"))
        removeIf(list, "Connection", [&](pugi::xml_node c) {
            const bool toChosen = in(c.attribute("Destination").value());
            if (!isConnectionForm(c))
                return !toChosen;
            return !toChosen || !in(c.attribute("Source").value());
        });
    for (pugi::xml_node list : root.children("EventConnections"))
        removeIf(list, "Connection", [&](pugi::xml_node c) {
            return !in(c.attribute("Source").value()) || !in(c.attribute("Destination").value());
        });
    std::set<std::string> ippNames;
    {
        size_t k = 0;
        removeIf(root, "IPPDrawInstanceName", [&](pugi::xml_node p) {
            const bool keep = k < pictures.size() && pictures[k];
            ++k;
            if (keep)
                ippNames.insert(p.attribute("Name").value());
            return !keep;
        });
    }
    removeIf(root, "FBIPPConnections", [&](pugi::xml_node e) {
        pugi::xml_node c = e.child("Connection");
        return !ippNames.count(c.attribute("Source").value()) || !in(c.attribute("Destination").value());
    });
    removeIf(root, "IPPtoIPPConnections", [&](pugi::xml_node e) {
        pugi::xml_node c = e.child("Connection");
        return !ippNames.count(c.attribute("Source").value()) || !ippNames.count(c.attribute("Destination").value());
    });
    for (pugi::xml_node list : root.children("NotesList")) {
        size_t k = 0;
        removeIf(list, "Note", [&](pugi::xml_node) {
            const bool keep = k < notes.size() && notes[k];
            ++k;
            return !keep;
        });
    }
    removeEmpty(root);
    return save(doc);
}

bool TypeAvailable(const TFB_Manager& manager, const std::string& typeName)
{
    if (manager.FindType(typeName))
        return true;
    return manager.Context.Index && manager.Context.Index->FolderListing(typeName);
}

std::string FreshInstanceName(const std::string& name, const std::function<bool(const std::string&)>& taken)
{
    if (!taken(name))
        return name;
    for (unsigned long k = 1;; ++k) {
        std::string candidate = name + "_" + std::to_string(k);
        if (!taken(candidate))
            return candidate;
    }
}

TNetworkPaste PrepareNetworkPaste(const std::string& xmlText, const TFB_Diagram& target,
                                  const std::function<bool(const std::string&)>& typeAvailable)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(xmlText.data(), xmlText.size(), pugi::parse_default | pugi::parse_declaration);
    if (!parsed)
        throw EXmlParseError(std::string("Malformed XML: ") + parsed.description());
    pugi::xml_node root = doc.document_element();
    if (std::string_view(root.name()) != "FBNetwork")
        throw ENotANetworkFile("Not an FB network (the root element is not FBNetwork)");

    TNetworkPaste paste;
    std::map<std::string, std::string> renamed;
    std::set<std::string> made;
    auto taken = [&](const std::string& name) {
        return made.count(name) != 0 || (target.Manager && target.Manager->FindInstance(name) != nullptr);
    };
    removeIf(root, "FB", [&](pugi::xml_node fb) {
        const std::string name = fb.attribute("Name").value();
        const std::string type = fb.attribute("Type").value();
        // A name twice in the text is one instance drawn twice in a file;
        // a paste makes it once.
        if (renamed.count(name))
            return true;
        if (!typeAvailable(type)) {
            if (std::find(paste.MissingTypes.begin(), paste.MissingTypes.end(), type) == paste.MissingTypes.end())
                paste.MissingTypes.push_back(type);
            return true;
        }
        // A nameless instance would get a generated name the paste could not
        // follow: it is named after its type.
        const std::string fresh = FreshInstanceName(name.empty() ? type : name, taken);
        made.insert(fresh);
        renamed.emplace(name, fresh);
        paste.Names.emplace_back(name, fresh);
        fb.attribute("Name").set_value(fresh.c_str());
        return false;
    });
    auto rename = [&](pugi::xml_attribute end) {
        const std::string value = end.value();
        end.set_value((renamed.at(instanceOf(value)) + "." + portOf(value)).c_str());
    };
    auto pasted = [&](std::string_view end) { return renamed.count(instanceOf(end)) != 0; };
    for (pugi::xml_node list : root.children("EventConnections"))
        removeIf(list, "Connection", [&](pugi::xml_node c) {
            if (!pasted(c.attribute("Source").value()) || !pasted(c.attribute("Destination").value()))
                return true;
            rename(c.attribute("Source"));
            rename(c.attribute("Destination"));
            return false;
        });
    for (pugi::xml_node list : root.children("DataConnections"))
        removeIf(list, "Connection", [&](pugi::xml_node c) {
            const std::string_view source = c.attribute("Source").value();
            if (!pasted(c.attribute("Destination").value()))
                return true;
            if (std::string_view(source).find('.') != std::string_view::npos && pasted(source)) {
                rename(c.attribute("Source"));
                rename(c.attribute("Destination"));
                return false;
            }
            // From an instance that is not pasted: a connection that leaves
            // the text. Whatever else, read as a constant, would be taken for
            // a connection should its text name an instance of the project.
            const std::string from = instanceOf(source);
            if (isConnectionForm(c) ||
                (source.find('.') != std::string_view::npos && target.Manager && target.Manager->FindInstance(from)))
                return true;
            rename(c.attribute("Destination"));
            return false;
        });
    std::set<std::string> ippNames;
    for (pugi::xml_node p : root.children("IPPDrawInstanceName")) {
        ippNames.insert(p.attribute("Name").value());
        ++paste.IppPictures;
    }
    removeIf(root, "FBIPPConnections", [&](pugi::xml_node e) {
        pugi::xml_node c = e.child("Connection");
        if (!ippNames.count(c.attribute("Source").value()) || !pasted(c.attribute("Destination").value()))
            return true;
        rename(c.attribute("Destination"));
        return false;
    });
    removeIf(root, "IPPtoIPPConnections", [&](pugi::xml_node e) {
        pugi::xml_node c = e.child("Connection");
        return !ippNames.count(c.attribute("Source").value()) || !ippNames.count(c.attribute("Destination").value());
    });
    for (pugi::xml_node list : root.children("NotesList"))
        for (pugi::xml_node n : list.children("Note")) {
            (void)n;
            ++paste.Notes;
        }
    pugi::xml_attribute flag = root.attribute("IsInternalDeviceDiagram");
    if (!flag)
        flag = root.append_attribute("IsInternalDeviceDiagram");
    flag.set_value(target.IsInternalDeviceDiagram);
    removeEmpty(root);
    paste.Text = save(doc);
    return paste;
}

} // namespace telvo

#include "persistence/sys_file.h"

#include "model/value_text.h"
#include "persistence/xml_parse_buffer.h"

#include <pugixml.hpp>

#include <cstring>
#include <sstream>

namespace telvo {

namespace {

double number(pugi::xml_node node, const char* name)
{
    double v = 0;
    const char* text = node.attribute(name).value();
    if (*text && TryParseReal(std::string(text), v))
        return v;
    return 0;
}

std::string attr(pugi::xml_node node, const char* name)
{
    return node.attribute(name).value();
}

// Reads one system document; every element left behind is told once, with
// the path of elements that leads to it.
class TSystemReader {
public:
    TSystemReader(const std::string& fileName, std::vector<std::string>& notCarried)
        : file_(fileName), notCarried_(notCarried)
    {
    }

    TSystem Read(pugi::xml_node root)
    {
        TSystem s;
        s.Name = attr(root, "Name");
        if (s.Name.empty())
            throw ESystemFileError(file_ + ": the System element has no Name");
        s.Comment = attr(root, "Comment");
        for (pugi::xml_node e : root.children()) {
            if (e.type() != pugi::node_element)
                continue;
            const std::string_view n = e.name();
            if (n == "VersionInfo") {
                s.Organization = attr(e, "Organization");
                s.Version = attr(e, "Version");
                s.Author = attr(e, "Author");
                s.Date = attr(e, "Date");
                // Read for the writer's sake; a project has no place for it,
                // and its export writes a version of its own.
                leave(e, s.Name);
            } else if (n == "Application") {
                TSysApplication& a = s.Applications.emplace_back();
                a.Name = required(e, s.Name);
                a.Comment = attr(e, "Comment");
                const std::string where = s.Name + "." + a.Name;
                for (pugi::xml_node c : e.children()) {
                    if (c.type() != pugi::node_element)
                        continue;
                    if (std::string_view(c.name()) == "SubAppNetwork" || std::string_view(c.name()) == "FBNetwork")
                        readNetwork(c, a.Network, where);
                    else
                        leave(c, where);
                }
            } else if (n == "Device") {
                readDevice(e, s.Devices.emplace_back(), s.Name);
            } else if (n == "Segment") {
                TSysSegment& g = s.Segments.emplace_back();
                g.Name = required(e, s.Name);
                g.Type = attr(e, "Type");
                g.Comment = attr(e, "Comment");
                g.X = number(e, "x");
                g.Y = number(e, "y");
                g.Width = number(e, "dx1");
                leaveChildren(e, s.Name + "." + g.Name);
            } else if (n == "Mapping") {
                s.Mappings.push_back({attr(e, "From"), attr(e, "To")});
                leaveChildren(e, s.Name);
            } else if (n == "Link") {
                s.Links.push_back({attr(e, "SegmentName"), attr(e, "CommResource")});
                leaveChildren(e, s.Name);
            } else {
                leave(e, s.Name);
            }
        }
        return s;
    }

private:
    // What the element is called in a message: its tag and its name.
    static std::string label(pugi::xml_node e)
    {
        std::string l = e.name();
        if (const char* name = e.attribute("Name").value(); *name)
            l += std::string(" ") + name;
        return l;
    }

    void leave(pugi::xml_node e, const std::string& where)
    {
        notCarried_.push_back(file_ + ": " + label(e) + " in " + where + " is not carried over");
    }

    void leaveChildren(pugi::xml_node e, const std::string& where)
    {
        for (pugi::xml_node c : e.children())
            if (c.type() == pugi::node_element)
                leave(c, where);
    }

    std::string required(pugi::xml_node e, const std::string& where)
    {
        std::string name = attr(e, "Name");
        if (name.empty())
            throw ESystemFileError(file_ + ": a " + std::string(e.name()) + " in " + where + " has no Name");
        return name;
    }

    void parameters(pugi::xml_node e, std::vector<TSysParameter>& into, const std::string& where)
    {
        for (pugi::xml_node c : e.children()) {
            if (c.type() != pugi::node_element)
                continue;
            if (std::string_view(c.name()) == "Parameter")
                into.push_back({attr(c, "Name"), attr(c, "Value")});
            else
                leave(c, where);
        }
    }

    void readConnections(pugi::xml_node list, std::vector<TSysConnection>& into, const std::string& where)
    {
        for (pugi::xml_node c : list.children()) {
            if (c.type() != pugi::node_element)
                continue;
            if (std::string_view(c.name()) == "Connection") {
                into.push_back({attr(c, "Source"), attr(c, "Destination")});
                leaveChildren(c, where);
            } else {
                leave(c, where);
            }
        }
    }

    void readInterface(pugi::xml_node list, TSysSubApp& s, const std::string& where)
    {
        for (pugi::xml_node group : list.children()) {
            if (group.type() != pugi::node_element)
                continue;
            const std::string_view g = group.name();
            const bool event =
                g == "SubAppEventInputs" || g == "SubAppEventOutputs" || g == "EventInputs" || g == "EventOutputs";
            const bool input = g == "SubAppEventInputs" || g == "EventInputs" || g == "InputVars";
            if (!event && g != "InputVars" && g != "OutputVars") {
                leave(group, where); // adapters, in/out variables
                continue;
            }
            for (pugi::xml_node p : group.children()) {
                if (p.type() != pugi::node_element)
                    continue;
                s.Interface.push_back({attr(p, "Name"), attr(p, "Type"), input, event});
                leaveChildren(p, where + "." + attr(p, "Name"));
            }
        }
    }

    void readNetwork(pugi::xml_node net, TSysNetwork& into, const std::string& where)
    {
        if (++depth_ > MaxDepth)
            throw ESystemFileError(file_ + ": the subapps in " + where + " are nested deeper than " +
                                   std::to_string(MaxDepth) + " levels");
        for (pugi::xml_node e : net.children()) {
            if (e.type() != pugi::node_element)
                continue;
            const std::string_view n = e.name();
            if (n == "FB") {
                TSysFB& fb = into.FBs.emplace_back();
                fb.Name = required(e, where);
                fb.Type = attr(e, "Type");
                fb.Comment = attr(e, "Comment");
                fb.X = number(e, "x");
                fb.Y = number(e, "y");
                parameters(e, fb.Parameters, where + "." + fb.Name);
            } else if (n == "SubApp") {
                TSysSubApp& s = into.SubApps.emplace_back();
                s.Name = required(e, where);
                s.Type = attr(e, "Type");
                s.Comment = attr(e, "Comment");
                s.X = number(e, "x");
                s.Y = number(e, "y");
                const std::string inner = where + "." + s.Name;
                for (pugi::xml_node c : e.children()) {
                    if (c.type() != pugi::node_element)
                        continue;
                    const std::string_view cn = c.name();
                    if (cn == "Parameter") {
                        s.Parameters.push_back({attr(c, "Name"), attr(c, "Value")});
                    } else if (cn == "SubAppInterfaceList" && s.Type.empty()) {
                        readInterface(c, s, inner);
                    } else if (cn == "SubAppNetwork" && s.Type.empty()) {
                        s.Network = std::make_unique<TSysNetwork>();
                        readNetwork(c, *s.Network, inner);
                    } else if (cn == "SubAppInterfaceList" || cn == "SubAppNetwork") {
                        // A typed subapp's copy of its type: the type file is what counts.
                    } else if (cn == "Attribute" && std::string_view(c.attribute("Name").value()) == "Unfolded") {
                        // How 4diac showed it: flattened here anyway.
                    } else {
                        leave(c, inner);
                    }
                }
                if (s.Type.empty() && !s.Network)
                    s.Network = std::make_unique<TSysNetwork>();
            } else if (n == "EventConnections") {
                readConnections(e, into.Events, where);
            } else if (n == "DataConnections") {
                readConnections(e, into.Data, where);
            } else if (n == "AdapterConnections") {
                readConnections(e, into.Adapters, where);
            } else {
                leave(e, where);
            }
        }
        --depth_;
    }

    void readDevice(pugi::xml_node e, TSysDevice& d, const std::string& where)
    {
        d.Name = required(e, where);
        d.Type = attr(e, "Type");
        d.Comment = attr(e, "Comment");
        d.X = number(e, "x");
        d.Y = number(e, "y");
        const std::string inner = where + "." + d.Name;
        for (pugi::xml_node c : e.children()) {
            if (c.type() != pugi::node_element)
                continue;
            const std::string_view n = c.name();
            if (n == "Parameter") {
                d.Parameters.push_back({attr(c, "Name"), attr(c, "Value")});
            } else if (n == "Resource") {
                TSysResource& r = d.Resources.emplace_back();
                r.Name = required(c, inner);
                r.Type = attr(c, "Type");
                r.X = number(c, "x");
                r.Y = number(c, "y");
                const std::string res = inner + "." + r.Name;
                for (pugi::xml_node rc : c.children()) {
                    if (rc.type() != pugi::node_element)
                        continue;
                    const std::string_view rn = rc.name();
                    if (rn == "FBNetwork")
                        readNetwork(rc, r.Network, res);
                    else if (rn == "Parameter")
                        r.Parameters.push_back({attr(rc, "Name"), attr(rc, "Value")});
                    else
                        leave(rc, res);
                }
            } else {
                leave(c, inner);
            }
        }
    }

    static constexpr int MaxDepth = 64;
    const std::string& file_;
    std::vector<std::string>& notCarried_;
    int depth_ = 0;
};

// Writing -------------------------------------------------------------------

void set(pugi::xml_node n, const char* name, const std::string& value)
{
    n.append_attribute(name).set_value(value.c_str());
}

std::string coordinate(double v)
{
    return FormatShortReal(v);
}

void writeFB(pugi::xml_node parent, const TSysFB& fb)
{
    pugi::xml_node e = parent.append_child("FB");
    set(e, "Name", fb.Name);
    set(e, "Type", fb.Type);
    set(e, "Comment", fb.Comment);
    set(e, "x", coordinate(fb.X));
    set(e, "y", coordinate(fb.Y));
    for (const auto& p : fb.Parameters) {
        pugi::xml_node pe = e.append_child("Parameter");
        set(pe, "Name", p.Name);
        set(pe, "Value", p.Value);
    }
}

void writeConnections(pugi::xml_node parent, const char* list, const std::vector<TSysConnection>& conns)
{
    if (conns.empty())
        return;
    pugi::xml_node l = parent.append_child(list);
    for (const auto& c : conns) {
        pugi::xml_node e = l.append_child("Connection");
        set(e, "Source", c.Source);
        set(e, "Destination", c.Destination);
        set(e, "Comment", "");
    }
}

void writeNetwork(pugi::xml_node e, const TSysNetwork& net)
{
    for (const auto& fb : net.FBs)
        writeFB(e, fb);
    writeConnections(e, "EventConnections", net.Events);
    writeConnections(e, "DataConnections", net.Data);
    writeConnections(e, "AdapterConnections", net.Adapters);
}

class TStringWriter : public pugi::xml_writer {
public:
    std::string Text;
    void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
};

} // namespace

void SplitSysEnd(std::string_view end, std::string& instance, std::string& port)
{
    const size_t dot = end.rfind('.');
    if (dot == std::string_view::npos) {
        instance.clear();
        port = end;
        return;
    }
    instance = end.substr(0, dot);
    port = end.substr(dot + 1);
}

std::string UnquoteSysValue(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return std::string(value.substr(1, value.size() - 2));
    return std::string(value);
}

TSystem ReadSystemText(std::string_view text, const std::string& fileName, std::vector<std::string>& notCarried)
{
    TXmlParseBuffer buffer;
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = buffer.Parse(doc, text, pugi::parse_default);
    if (!parsed) {
        // The line of the offset, counted in the text as given.
        size_t line = 1;
        for (size_t i = 0; i < static_cast<size_t>(parsed.offset) && i < text.size(); ++i)
            line += text[i] == '\n';
        throw ESystemFileError(fileName + ": line " + std::to_string(line) + ": " + parsed.description());
    }
    pugi::xml_node root = doc.document_element();
    if (std::string_view(root.name()) != "System")
        throw ESystemFileError(fileName + ": not an IEC 61499 system file (the root element is not System)");
    return TSystemReader(fileName, notCarried).Read(root);
}

std::string SystemToText(const TSystem& s)
{
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("System");
    set(root, "Name", s.Name);
    set(root, "Comment", s.Comment);
    pugi::xml_node v = root.append_child("VersionInfo");
    if (!s.Organization.empty())
        set(v, "Organization", s.Organization);
    set(v, "Version", s.Version.empty() ? "1.0" : s.Version);
    set(v, "Author", s.Author.empty() ? "TELVO ZOZE" : s.Author);
    if (!s.Date.empty())
        set(v, "Date", s.Date);
    for (const auto& a : s.Applications) {
        pugi::xml_node e = root.append_child("Application");
        set(e, "Name", a.Name);
        set(e, "Comment", a.Comment);
        writeNetwork(e.append_child("SubAppNetwork"), a.Network);
    }
    for (const auto& d : s.Devices) {
        pugi::xml_node e = root.append_child("Device");
        set(e, "Name", d.Name);
        set(e, "Type", d.Type);
        set(e, "Comment", d.Comment);
        set(e, "x", coordinate(d.X));
        set(e, "y", coordinate(d.Y));
        for (const auto& p : d.Parameters) {
            pugi::xml_node pe = e.append_child("Parameter");
            set(pe, "Name", p.Name);
            set(pe, "Value", p.Value);
        }
        for (const auto& r : d.Resources) {
            pugi::xml_node re = e.append_child("Resource");
            set(re, "Name", r.Name);
            set(re, "Type", r.Type);
            set(re, "Comment", "");
            set(re, "x", coordinate(r.X));
            set(re, "y", coordinate(r.Y));
            writeNetwork(re.append_child("FBNetwork"), r.Network);
        }
    }
    for (const auto& g : s.Segments) {
        pugi::xml_node e = root.append_child("Segment");
        set(e, "Name", g.Name);
        set(e, "Type", g.Type);
        set(e, "Comment", g.Comment);
        set(e, "x", coordinate(g.X));
        set(e, "y", coordinate(g.Y));
        set(e, "dx1", coordinate(g.Width));
    }
    for (const auto& m : s.Mappings) {
        pugi::xml_node e = root.append_child("Mapping");
        set(e, "From", m.From);
        set(e, "To", m.To);
    }
    for (const auto& l : s.Links) {
        pugi::xml_node e = root.append_child("Link");
        set(e, "SegmentName", l.SegmentName);
        set(e, "CommResource", l.CommResource);
        set(e, "Comment", "");
    }
    TStringWriter out;
    out.Text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    doc.save(out, "\t", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(out.Text);
}

} // namespace telvo

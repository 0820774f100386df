#include "persistence/type_file_fixture.h"

#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"

#include <pugixml.hpp>

#include <cstring>
#include <initializer_list>
#include <sstream>

namespace telvo::test {

namespace {

std::string q(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out + "\"";
}

template <typename... T>
std::string fields(const T&... values)
{
    std::string out;
    ((out += q(values) + " "), ...);
    return out;
}

} // namespace

std::string DescribeType(const TFB_Type& t)
{
    std::ostringstream o;
    o << "type " << fields(t.Name, t.Comment, t.Standard, t.Description, t.CompilerHeader, t.CompilerClassDef)
      << " imported=" << t.Imported << " composite=" << t.Composite << "\n";
    for (const auto& v : t.Versions)
        o << "version " << fields(v->Organization, v->Version, v->Author, v->Date, v->Remarks) << "\n";
    for (const auto& c : t.Compilers)
        o << "compiler " << fields(c->Language, c->Vendor, c->Product, c->Version) << "\n";
    auto events = [&](const char* kind, const auto& list) {
        for (const auto& e : list) {
            o << kind << " " << fields(e->Name, e->Type, e->Comment) << "with";
            for (const auto* w : e->With)
                o << " " << w->Name;
            o << "\n";
        }
    };
    events("ei", t.EventInputs);
    events("eo", t.EventOutputs);
    for (const auto& d : t.DataInputs)
        o << "di " << fields(d->Name, d->Type, d->Comment, d->InitialValue, d->ArraySize) << "\n";
    for (const auto& d : t.DataOutputs)
        o << "do " << fields(d->Name, d->Type, d->Comment, d->InitialValue, d->ArraySize) << "\n";
    for (const auto& v : t.InternalVars)
        o << "iv " << fields(v->Name, v->Type, v->Comment, v->InitialValue, v->ArraySize) << "\n";
    for (const auto& p : t.Plugs)
        o << "plug " << fields(p->Name, p->Type, p->Comment) << "\n";
    for (const auto& s : t.Sockets)
        o << "socket " << fields(s->Name, s->Type, s->Comment) << "\n";
    for (const auto& s : t.States) {
        o << "state " << fields(s->Name, s->Comment) << s->X << "," << s->Y << "\n";
        for (const auto& a : s->Actions)
            o << "  action " << fields(a->Algorithm, a->Output) << "\n";
    }
    for (const auto& tr : t.Transitions)
        o << "transition " << fields(tr->Source, tr->Destination, tr->Condition) << tr->X << "," << tr->Y << "\n";
    for (const auto& a : t.Algorithms) {
        o << "algorithm " << fields(a->Name, a->Comment, a->Language) << "fbd=" << a->HasFBD << "\n";
        for (const auto& l : a->STText)
            o << "  st " << q(l) << "\n";
        for (const auto& l : a->OtherText)
            o << "  other " << q(l) << "\n";
        for (const auto& r : a->Rungs)
            o << "  rung " << fields(r->Output, r->Expression, r->Comment) << "\n";
    }
    for (const auto& s : t.Services) {
        o << "service " << fields(s->LeftInterface, s->RightInterface, s->Comment) << "\n";
        for (const auto& seq : s->Sequences) {
            o << "  sequence " << fields(seq->Name, seq->Comment) << "\n";
            for (const auto& p : seq->Primitives)
                o << "    " << (p->IsInput ? "in " : "out ") << fields(p->Interface, p->Event, p->Parameters) << "\n";
        }
    }
    return o.str();
}

std::unique_ptr<TFB_Type> ReadTypeText(const std::string& xml, const std::string& fileName)
{
    auto type = std::make_unique<TFB_Type>();
    bool ok = ReadFBType(xml, *type, nullptr, fileName);
    EXPECT_TRUE(ok) << "not read as a type: " << fileName;
    return type;
}

namespace {

void dropAttributes(pugi::xml_node n, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        while (pugi::xml_attribute a = n.attribute(name))
            n.remove_attribute(a);
}

void dropEmptyAttribute(pugi::xml_node n, const char* name)
{
    pugi::xml_attribute a = n.attribute(name);
    if (a && !*a.value())
        n.remove_attribute(a);
}

// Replaces an algorithm text by a marker of the forms it is held in.
void markBody(pugi::xml_node body)
{
    if (!body)
        return;
    bool attribute = *body.attribute("Text").value() != 0, cdata = false, text = false;
    for (pugi::xml_node c = body.first_child(); c;) {
        pugi::xml_node next = c.next_sibling();
        if (c.type() == pugi::node_cdata || c.type() == pugi::node_pcdata) {
            (c.type() == pugi::node_cdata ? cdata : text) = true;
            body.remove_child(c);
        }
        c = next;
    }
    std::string form;
    for (auto [present, name] : {std::pair{attribute, "attribute"}, {cdata, "cdata"}, {text, "text"}})
        if (present)
            form += (form.empty() ? "" : "+") + std::string(name);
    dropAttributes(body, {"Text", "Language"});
    if (!form.empty())
        body.append_attribute("form").set_value(form.c_str());
}

bool emptyElement(pugi::xml_node n) { return !n.first_attribute() && !n.first_child(); }

// Drops, bottom-up, the containers a writer may create empty.
void dropEmptyContainers(pugi::xml_node n)
{
    static const char* containers[] = {"Identification", "CompilerInfo", "InterfaceList", "InputVars",
                                       "OutputVars",     "EventInputs",  "EventOutputs",  "Plugs",
                                       "Sockets",        "InternalVars", "ECC",           "BasicFB",
                                       "Service",        "ST",           "Other",         "LD",
                                       "SimpleFB"};
    for (pugi::xml_node c = n.first_child(); c;) {
        pugi::xml_node next = c.next_sibling();
        if (c.type() == pugi::node_element) {
            dropEmptyContainers(c);
            for (const char* name : containers)
                if (std::strcmp(c.name(), name) == 0 && emptyElement(c)) {
                    n.remove_child(c);
                    break;
                }
        }
        c = next;
    }
}

} // namespace

std::string UnmodelledContent(const std::string& xml)
{
    auto type = std::make_unique<TFB_Type>();
    if (!ReadFBType(xml, *type, nullptr))
        return "<not a type>";
    pugi::xml_document doc;
    doc.load_buffer(xml.data(), xml.size(), pugi::parse_full);
    pugi::xml_node root = doc.document_element();
    dropAttributes(root, {"Name", "Comment"});
    dropAttributes(root.child("Identification"), {"Standard", "Description"});
    for (pugi::xml_node v : root.children("VersionInfo"))
        dropAttributes(v, {"Organization", "Version", "Author", "Date", "Remarks"});
    pugi::xml_node compilerInfo = root.child("CompilerInfo");
    dropAttributes(compilerInfo, {"header", "classdef"});
    for (pugi::xml_node c : compilerInfo.children("Compiler"))
        dropAttributes(c, {"Language", "Vendor", "Product", "Version"});

    pugi::xml_node il = root.child("InterfaceList");
    for (const char* list : {"InputVars", "OutputVars"})
        for (pugi::xml_node v : il.child(list).children("VarDeclaration")) {
            dropAttributes(v, {"Name", "Type", "Comment", "InitialValue"});
            // Interface array sizes are not in the model and must survive.
            dropEmptyAttribute(v, "ArraySize");
        }
    for (bool inputs : {true, false})
        for (pugi::xml_node e : il.child(inputs ? "EventInputs" : "EventOutputs").children("Event")) {
            dropAttributes(e, {"Name", "Type", "Comment"});
            for (pugi::xml_node w = e.child("With"); w;) {
                pugi::xml_node next = w.next_sibling("With");
                std::string var = w.attribute("Var").value();
                if (inputs ? type->FindDataInput(var) != nullptr : type->FindDataOutput(var) != nullptr)
                    e.remove_child(w);
                w = next;
            }
        }
    for (const char* list : {"Plugs", "Sockets"})
        for (pugi::xml_node a : il.child(list).children("AdapterDeclaration"))
            dropAttributes(a, {"Name", "Type", "Comment"});

    // A simple FB's variables and algorithms are modelled as a basic FB's.
    pugi::xml_node basic = root.child("BasicFB") ? root.child("BasicFB") : root.child("SimpleFB");
    for (pugi::xml_node v : basic.child("InternalVars").children("VarDeclaration"))
        dropAttributes(v, {"Name", "Type", "Comment", "InitialValue", "ArraySize"});
    pugi::xml_node ecc = basic.child("ECC");
    for (pugi::xml_node s : ecc.children("ECState")) {
        dropAttributes(s, {"Name", "Comment", "x", "y"});
        for (pugi::xml_node a : s.children("ECAction"))
            dropAttributes(a, {"Algorithm", "Output"});
    }
    for (pugi::xml_node t : ecc.children("ECTransition"))
        dropAttributes(t, {"Source", "Destination", "Condition", "x", "y"});
    for (pugi::xml_node a : basic.children("Algorithm")) {
        dropAttributes(a, {"Name", "Comment"});
        markBody(a.child("ST"));
        markBody(a.child("Other"));
        for (pugi::xml_node r : a.child("LD").children("Rung"))
            dropAttributes(r, {"Output", "Expression", "Comment"});
    }

    pugi::xml_node service = root.child("Service");
    dropAttributes(service, {"LeftInterface", "RightInterface", "Comment"});
    for (pugi::xml_node s : service.children("ServiceSequence")) {
        dropAttributes(s, {"Name", "Comment"});
        while (pugi::xml_node t = s.child("ServiceTransaction"))
            s.remove_child(t);
    }

    dropEmptyContainers(doc);
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_indent | pugi::format_no_declaration);
    return out.str();
}

::testing::AssertionResult RewriteKeepsEverything(const std::filesystem::path& in, const std::filesystem::path& out)
{
    std::string before = ReadFileText(in);
    std::string after = ReadFileText(out);
    TFB_Type a, b;
    if (!ReadFBType(before, a, nullptr) || !ReadFBType(after, b, nullptr))
        return ::testing::AssertionFailure() << in << " or its rewrite is no type";
    std::string modelA = DescribeType(a), modelB = DescribeType(b);
    if (modelA != modelB)
        return ::testing::AssertionFailure() << in << ": the model differs after the rewrite\n--- read from the file\n"
                                             << modelA << "--- read from the rewrite\n"
                                             << modelB;
    std::string restA = UnmodelledContent(before), restB = UnmodelledContent(after);
    if (restA != restB)
        return ::testing::AssertionFailure() << in << ": content the model does not hold differs\n--- file\n"
                                             << restA << "--- rewrite\n"
                                             << restB;
    return ::testing::AssertionSuccess();
}

} // namespace telvo::test

#include "umlimport/umbrello_tool.h"

#include "model/file_util.h"
#include "model/user_interface.h"

#include <pugixml.hpp>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace telvo::uml {

namespace {

const char* const kDiagramAttributes[][2] = {
    {"showopsig", "1"}, {"linecolor", "#ff0000"}, {"snapx", "25"}, {"showattribassocs", "1"}, {"snapy", "25"},
    {"linewidth", "0"}, {"showattsig", "1"}, {"textcolor", "#000000"}, {"isopen", "1"}, {"showpackage", "1"},
    {"showpubliconly", "0"}, {"showstereotype", "2"}, {"font", "Sans Serif,9,-1,0,50,0,0,0,0,0"},
    {"canvasheight", "400"}, {"canvaswidth", "700"}, {"localid", "-1"}, {"snapcsgrid", "0"}, {"showgrid", "0"},
    {"showops", "1"}, {"griddotcolor", "#d3d3d3"}, {"backgroundcolor", "#ffffff"}, {"showdocumentation", "0"},
    {"usefillcolor", "1"}, {"fillcolor", "#ffff00"}, {"zoom", "100"}, {"documentation", ""}, {"showscope", "1"},
    {"snapgrid", "0"}, {"showatts", "1"}};

std::string newId()
{
    static std::atomic<unsigned> counter{0};
    std::ostringstream s;
    s << "tz" << std::hex << ::getpid() << "x" << std::time(nullptr) << "n" << counter++;
    return s.str();
}

pugi::xml_node view(pugi::xml_document& doc, const char* name)
{
    for (pugi::xpath_node n : doc.select_nodes("//*[@name]"))
        if (std::string(n.node().attribute("name").value()) == name)
            return n.node();
    return {};
}

pugi::xml_node diagramsOf(pugi::xml_node owner)
{
    pugi::xml_node ext = owner.child("XMI.extension");
    if (!ext) {
        ext = owner.append_child("XMI.extension");
        ext.append_attribute("xmi.extender") = "umbrello";
    }
    pugi::xml_node diagrams = ext.child("diagrams");
    if (!diagrams)
        diagrams = ext.append_child("diagrams");
    return diagrams;
}

pugi::xml_node addDiagram(pugi::xml_node owner, const std::string& name, int type)
{
    pugi::xml_node d = diagramsOf(owner).append_child("diagram");
    for (const auto& a : kDiagramAttributes)
        d.append_attribute(a[0]) = a[1];
    d.append_attribute("name") = name.c_str();
    d.append_attribute("xmi.id") = newId().c_str();
    d.append_attribute("type") = type;
    d.append_child("widgets");
    d.append_child("messages");
    d.append_child("associations");
    return d;
}

// Loads the model, lets `change` edit it and saves it atomically.
template <typename Change> bool editModel(const fs::path& file, Change&& change)
{
    pugi::xml_document doc;
    if (!doc.load_file(file.c_str()) || std::string(doc.document_element().name()) != "XMI")
        return false;
    if (!change(doc))
        return false;
    std::ostringstream out;
    doc.save(out, " ", pugi::format_default, pugi::encoding_utf8);
    WriteFileAtomic(file, out.str());
    return true;
}

} // namespace

std::string NewModelText()
{
    // The layout Umbrello itself writes for a new model.
    std::string views;
    for (const char* v : {"Logical View", "Use Case View", "Component View", "Deployment View", "Entity Relationship Model"}) {
        views += std::string("    <UML:Model stereotype=\"folder\" visibility=\"public\" isSpecification=\"false\" "
                             "namespace=\"m1\" isAbstract=\"false\" isLeaf=\"false\" isRoot=\"false\" xmi.id=\"") +
                 v + "\" name=\"" + v + "\">\n     <UML:Namespace.ownedElement>\n";
        if (std::string(v) == "Logical View")
            views += "      <UML:Class stereotype=\"Actor\" visibility=\"public\" isSpecification=\"false\" namespace=\"Logical View\" "
                     "isAbstract=\"false\" isLeaf=\"false\" isRoot=\"false\" xmi.id=\"" +
                     newId() + "\" name=\"IndustrialProcessTerminator\"/>\n";
        views += "     </UML:Namespace.ownedElement>\n    </UML:Model>\n";
    }
    std::string stereotypes;
    for (const char* s : {"folder", "FunctionBlock", "IndustrialProcessTerminator", "Actor"})
        stereotypes += std::string("    <UML:Stereotype visibility=\"public\" isSpecification=\"false\" namespace=\"m1\" "
                                   "isAbstract=\"false\" isLeaf=\"false\" isRoot=\"false\" xmi.id=\"") +
                       s + "\" name=\"" + s + "\"/>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<XMI verified=\"false\" xmi.version=\"1.2\" xmlns:UML=\"http://schema.omg.org/spec/UML/1.4\">\n"
           " <XMI.header>\n  <XMI.documentation>\n"
           "   <XMI.exporter>umbrello uml modeller http://umbrello.kde.org</XMI.exporter>\n"
           "   <XMI.exporterVersion>2.36.3</XMI.exporterVersion>\n"
           "   <XMI.exporterEncoding>UnicodeUTF8</XMI.exporterEncoding>\n"
           "  </XMI.documentation>\n  <XMI.metamodel xmi.version=\"1.4\" href=\"UML.xml\" xmi.name=\"UML\"/>\n"
           " </XMI.header>\n <XMI.content>\n"
           "  <UML:Model isSpecification=\"false\" isAbstract=\"false\" isLeaf=\"false\" xmi.id=\"m1\" isRoot=\"false\" "
           "name=\"UML Model\">\n   <UML:Namespace.ownedElement>\n" +
           stereotypes + views +
           "   </UML:Namespace.ownedElement>\n  </UML:Model>\n </XMI.content>\n"
           " <XMI.extensions xmi.extender=\"umbrello\">\n  <docsettings viewid=\"\" uniqueid=\"" +
           newId() + "\" documentation=\"\"/>\n </XMI.extensions>\n</XMI>\n";
}

bool AddUseCaseDiagram(const fs::path& file, const std::string& name)
{
    return editModel(file, [&](pugi::xml_document& doc) {
        pugi::xml_node v = view(doc, "Use Case View");
        if (!v)
            return false;
        pugi::xml_node d = addDiagram(v, name, 2);
        // The note that tells the user how to get back to the workbench.
        pugi::xml_node note = d.child("widgets").append_child("notewidget");
        for (const auto& [k, val] :
             std::initializer_list<std::pair<const char*, std::string>>{
                 {"x", "600"}, {"y", "200"}, {"width", "300"}, {"height", "100"}, {"isinstance", "0"},
                 {"showstereotype", "2"}, {"usefillcolor", "1"}, {"fillcolor", "#ffff00"}, {"linecolor", "#ff0000"},
                 {"linewidth", "0"}, {"textcolor", "#000000"}, {"font", "Sans Serif,9,-1,0,50,0,0,0,0,0"},
                 {"noteType", "0"}, {"autoresize", "1"}, {"localid", newId()}, {"xmi.id", newId()},
                 {"text", "TELVO ZOZE notice:\r\nPlease minimize Rose after you finish drawing the Use Case diagram: " +
                              name}})
            note.append_attribute(k) = val.c_str();
        return true;
    });
}

bool AddInteractionDiagram(const fs::path& file, const std::string& name)
{
    return editModel(file, [&](pugi::xml_document& doc) {
        pugi::xml_node v = view(doc, "Logical View");
        if (!v)
            return false;
        addDiagram(v, name, 3).attribute("type"); // a sequence diagram
        return true;
    });
}

bool AddUseCase(const fs::path& file, const std::string& diagram, const std::string& name)
{
    return editModel(file, [&](pugi::xml_document& doc) {
        pugi::xml_node v = view(doc, "Use Case View");
        if (!v)
            return false;
        const std::string id = newId();
        pugi::xml_node owned = v.child("UML:Namespace.ownedElement");
        if (!owned)
            owned = v.prepend_child("UML:Namespace.ownedElement");
        pugi::xml_node uc = owned.append_child("UML:UseCase");
        for (const auto& [k, val] : std::initializer_list<std::pair<const char*, std::string>>{
                 {"visibility", "public"}, {"isSpecification", "false"}, {"namespace", "Use Case View"},
                 {"isAbstract", "false"}, {"isLeaf", "false"}, {"isRoot", "false"}, {"xmi.id", id}, {"name", name}})
            uc.append_attribute(k) = val.c_str();
        for (pugi::xml_node d : diagramsOf(v).children("diagram"))
            if (diagram == d.attribute("name").value()) {
                pugi::xml_node w = d.child("widgets").append_child("usecasewidget");
                for (const auto& [k, val] : std::initializer_list<std::pair<const char*, std::string>>{
                         {"x", "200"}, {"y", "40"}, {"width", "110"}, {"height", "48"}, {"isinstance", "0"},
                         {"showstereotype", "2"}, {"usefillcolor", "1"}, {"fillcolor", "#ffff00"},
                         {"linecolor", "#ff0000"}, {"linewidth", "0"}, {"textcolor", "#000000"},
                         {"font", "Sans Serif,9,-1,0,50,0,0,0,0,0"}, {"autoresize", "1"}, {"localid", newId()},
                         {"xmi.id", id}})
                    w.append_attribute(k) = val.c_str();
                break;
            }
        return true;
    });
}

TUmbrelloTool::TUmbrelloTool(TUserInterface& ui, std::string stereotypesPath)
    : StereotypesPath(std::move(stereotypesPath)), ui_(ui)
{
}

TUmbrelloTool::~TUmbrelloTool() { Shutdown(); }

void TUmbrelloTool::Connect()
{
    Connected = false;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::stringstream s(dirs);
    for (std::string dir; std::getline(s, dir, ':');)
        if (!dir.empty() && ::access((fs::path(dir) / Program).c_str(), X_OK) == 0)
            Connected = true;
    if (Program.find('/') != std::string::npos)
        Connected = ::access(Program.c_str(), X_OK) == 0;
    if (!Connected)
        ui_.ShowMessage("Umbrello not found...");
}

void TUmbrelloTool::read()
{
    try {
        Model = ReadUmlModelFile(ModelFile);
        std::error_code ec;
        readAt_ = fs::last_write_time(ModelFile, ec);
    } catch (const EXmiError& e) {
        Model = TUmlModel{};
        ui_.ShowMessage(e.what());
    }
}

void TUmbrelloTool::OpenModel(const std::string& file)
{
    ModelFile = file;
    read();
}

void TUmbrelloTool::NewModel(const std::string& file)
{
    WriteFileAtomic(file, NewModelText());
    ModelFile = file;
    read();
}

bool TUmbrelloTool::Refresh()
{
    if (ModelFile.empty())
        return false;
    std::error_code ec;
    const auto at = fs::last_write_time(ModelFile, ec);
    if (!ec && at == readAt_)
        return false;
    read();
    return true;
}

bool TUmbrelloTool::Showing()
{
    if (child_ <= 0)
        return false;
    int status = 0;
    if (::waitpid(child_, &status, WNOHANG) == child_) {
        child_ = -1;
        return false;
    }
    return true;
}

void TUmbrelloTool::Show(int left, int top, int width, int height)
{
    if (!Connected || ModelFile.empty() || Showing())
        return;
    const std::string geometry =
        std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(left) + "+" + std::to_string(top);
    std::vector<std::string> args{Program, "-qwindowgeometry", geometry, ModelFile};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    if (posix_spawnp(&pid, Program.c_str(), nullptr, &attr, argv.data(), environ) == 0)
        child_ = pid;
    else
        ui_.ShowMessage("Umbrello not found...");
    posix_spawnattr_destroy(&attr);
}

void TUmbrelloTool::Shutdown()
{
    // Umbrello belongs to the user once started: it is left running, only
    // reaped when it has ended.
    Showing();
}

void InstallUmbrelloTool(TProject_Manager& project, TUserInterface& ui)
{
    project.UmlToolFactory = [&ui](const std::string& stereotypesPath) -> std::unique_ptr<TUmlToolLink> {
        return std::make_unique<TUmbrelloTool>(ui, stereotypesPath);
    };
}

} // namespace telvo::uml

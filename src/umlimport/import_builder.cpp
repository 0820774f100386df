#include "umlimport/import_builder.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/field_escape.h"
#include "model/file_util.h"
#include "model/value_text.h"
#include "persistence/project_file.h"
#include "persistence/type_file.h"
#include "systemlayer/sl_ipp_picture.h"
#include "workbench/project_lifecycle.h"
#include "workbench/workbench.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

namespace telvo::uml {

namespace {

constexpr const char* ImportedFolder = "imported";

std::string now()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The longest file name the file systems we run on take, in bytes.
constexpr size_t MaxFileNameBytes = 255;

// A class name becomes a file name in library/imported, a diagram name one
// in the project folder: only a plain name of one folder entry will do.
// `extension` is what the file name adds. False, with the reason in `why`
// where the plain "cannot be a file name" does not say enough, when the
// name cannot.
bool usableFileName(const std::string& name, const char* extension, std::string& why)
{
    why.clear();
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos)
        return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n' || c == '\r') {
            why = "it holds a line break";
            return false;
        }
        if (u < 0x20 || u == 0x7F) {
            why = "it holds a control character";
            return false;
        }
    }
    if (name.size() + std::strlen(extension) > MaxFileNameBytes) {
        why = "it is longer than " + std::to_string(MaxFileNameBytes - std::strlen(extension)) + " bytes";
        return false;
    }
    return true;
}

bool usableFileName(const std::string& name, const char* extension)
{
    std::string why;
    return usableFileName(name, extension, why);
}

// A name as a message shows it: line breaks and other control characters
// written as \n, \r, \t or \xHH, so that the message stays one line.
std::string absoluteName(const fs::path& file) { return fs::absolute(file).lexically_normal().string(); }

std::string firstEntry(const TTransNode* property)
{
    return property && !property->Children.empty() ? property->Children.front()->Text : std::string();
}

std::string upTo(const std::string& text, char c)
{
    const size_t at = text.find(c);
    return at == std::string::npos ? text : text.substr(0, at);
}

// "<left>-><right>", split at the first "->".
bool splitArrow(const std::string& entry, std::string& left, std::string& right)
{
    const size_t at = entry.find("->");
    if (at == std::string::npos)
        return false;
    left = entry.substr(0, at);
    right = entry.substr(at + 2);
    return true;
}

// "<instance>.<rest>", split at the first ".".
bool splitEnd(const std::string& end, std::string& instance, std::string& rest)
{
    const size_t at = end.find('.');
    if (at == std::string::npos)
        return false;
    instance = end.substr(0, at);
    rest = end.substr(at + 1);
    return true;
}

template <typename T> void eraseOwned(std::vector<std::unique_ptr<T>>& list, const T* item)
{
    list.erase(std::remove_if(list.begin(), list.end(), [item](const auto& p) { return p.get() == item; }), list.end());
}

} // namespace

TDataEntryParts SplitDataEntry(const std::string& entry)
{
    TDataEntryParts parts;
    const size_t colon = entry.find(':');
    if (colon == std::string::npos) {
        parts.Name = entry;
        return parts;
    }
    parts.Name = entry.substr(0, colon);
    const size_t equals = entry.find('=', colon + 1);
    if (equals == std::string::npos) {
        parts.Type = entry.substr(colon + 1);
        return parts;
    }
    parts.Type = entry.substr(colon + 1, equals - colon - 1);
    parts.InitialValue = entry.substr(equals + 1);
    return parts;
}

void TUmlImportBuilder::message(const std::string& text) { wb_.UI().ShowMessage(text); }

TUmlImportBuilder::~TUmlImportBuilder()
{
    try {
        Rollback();
    } catch (...) {
    }
}

bool TUmlImportBuilder::Build(const TTransformation& t)
{
    Rollback();
    refused_.clear();
    diagramFiles_.clear();
    diagramFilesKnown_ = false;
    // What a killed import staged goes now, even when this one stages
    // nothing there.
    RemoveStaleStagingFolders(wb_.LibraryFolder() / ImportedFolder);
    if (const std::string& project = wb_.ProjectManager().FileName; !project.empty())
        RemoveStaleStagingFolders(fs::absolute(project).parent_path());
    try {
        for (const auto& root : t.Roots) {
            if (!t.IsClassRoot(root.get()))
                continue;
            const TTransNode* stereotype = root->Child("Stereotype");
            if (!stereotype || !stereotype->IsTicked())
                continue;
            const std::string kind = firstEntry(stereotype);
            if (kind == "FunctionBlock") {
                createType(*root);
                if (const TTransNode* instances = root->Child("Imported Instances"))
                    for (const auto& i : instances->Children)
                        createInstance(i->Text, root->Text);
            } else if (kind == "IndustrialProcessTerminator") {
                createIpts(*root);
            }
        }
        createConnections(t);
        if (const TTransNode* diagrams = t.Root("Diagrams"))
            for (const auto& d : diagrams->Children)
                createDiagram(*d);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return true;
}

bool TUmlImportBuilder::fail(const std::string& reason)
{
    Rollback();
    message("The UML import is taken back, nothing of it is kept: " + reason);
    return false;
}

bool TUmlImportBuilder::Commit()
{
    try {
        staging_.Commit();
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    undo_.clear();
    return true;
}

bool TUmlImportBuilder::SaveAndCommit()
{
    const std::string file = wb_.ProjectManager().FileName;
    if (file.empty())
        return fail("the project has no file to be saved to");
    std::error_code ec;
    const bool hadFile = fs::exists(file, ec);
    std::string previous;
    try {
        if (hadFile)
            previous = ReadFileText(file);
        WriteProjectFile(ProjectParts(wb_), file, &staging_);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    try {
        staging_.Commit();
    } catch (const std::exception& e) {
        // The project file must not name what did not come.
        try {
            if (hadFile)
                WriteFileAtomic(file, previous);
            else
                fs::remove(file);
        } catch (const std::exception& restore) {
            wb_.UI().Log(std::string("Taking back the UML import: ") + restore.what());
        }
        return fail(e.what());
    }
    undo_.clear();
    return true;
}

void TUmlImportBuilder::Rollback()
{
    staging_.Discard();
    // Last made, first undone: records go before the types they use, lines
    // and diagrams before the instances and IPPs they show.
    while (!undo_.empty()) {
        auto step = std::move(undo_.back());
        undo_.pop_back();
        try {
            step();
        } catch (const std::exception& e) {
            wb_.UI().Log(std::string("Taking back the UML import: ") + e.what());
        }
    }
    Diagrams.clear();
    TypeFiles.clear();
}

void TUmlImportBuilder::createType(const TTransNode& root)
{
    const std::string& c = root.Text;
    TFB_Manager& fbm = wb_.FBManager();
    if (std::string why; !usableFileName(c, ".fbt", why)) {
        message("The class " + FieldEscaped(c) + " is not imported: its name cannot be a type file name" +
                (why.empty() ? "" : " (" + why + ")"));
        return;
    }
    const fs::path file = wb_.LibraryFolder() / ImportedFolder / (c + ".fbt");
    TFB_Type* existing = fbm.FindType(c);
    const TLibraryFolder* listed = wb_.LibraryIndex.FolderListing(c);
    if ((existing && fs::path(existing->FileName) != file) || (listed && listed->Name != ImportedFolder)) {
        message("The class " + c + " is not imported: the library has a type " + c + " of its own");
        return;
    }

    TFB_Type type;
    type.Name = c;
    type.Imported = true;
    type.Comment = "!IMP! Imported class: [" + c + "] from ROSE at " + now();
    const std::string baseName = firstEntry(root.Child("BaseType"));
    const auto ticked = [&](const char* property, auto&& each) {
        if (const TTransNode* p = root.Child(property))
            for (const auto& e : p->Children)
                if (e->IsTicked()) {
                    if (upTo(e->Text, ':').empty())
                        message("The class " + c + " has an entry without a name under " + property + ": it is not imported");
                    else
                        each(e->Text);
                }
    };
    if (baseName == "NEWBASICFB")
        ticked("InternalVars", [&](const std::string& e) {
            const TDataEntryParts d = SplitDataEntry(e);
            type.AddInternalVar(d.Name, d.Type, "", "Imported data " + e, d.InitialValue);
        });
    ticked("DataInputs", [&](const std::string& e) {
        const TDataEntryParts d = SplitDataEntry(e);
        type.AddDataInput(d.Name, d.Type, "Imported data " + e, d.InitialValue, "");
    });
    ticked("DataOutputs", [&](const std::string& e) {
        const TDataEntryParts d = SplitDataEntry(e);
        type.AddDataOutput(d.Name, d.Type, "Imported data " + e, d.InitialValue, "");
    });
    const TTransNode* withs = root.Child("WITHs");
    const auto withsOf = [&](const std::string& event, auto&& add) {
        if (!withs)
            return;
        for (const auto& w : withs->Children) {
            const size_t mark = w->Text.find(" [W");
            const size_t data = w->Text.find("WITH] ");
            if (mark == std::string::npos || data == std::string::npos || w->Text.substr(0, mark) != event)
                continue;
            add(upTo(w->Text.substr(data + 6), ':'));
        }
    };
    ticked("EventInputs", [&](const std::string& e) {
        TFB_EventInput* event = type.AddEventInput(e, "EVENT", "Imported event");
        withsOf(e, [&](const std::string& data) {
            if (TFB_DataInput* d = type.FindDataInput(data))
                event->AddWith(d);
        });
    });
    ticked("EventOutputs", [&](const std::string& e) {
        TFB_EventOutput* event = type.AddEventOutput(e, "EVENT", "Imported event");
        withsOf(e, [&](const std::string& data) {
            if (TFB_DataOutput* d = type.FindDataOutput(data))
                event->AddWith(d);
        });
    });

    // The file takes what the base type's file holds beyond the interface.
    TFB_Type* base = baseName.empty() ? nullptr : fbm.FindType(baseName);
    if (!base && !baseName.empty() && fbm.LoadTypeFromLibrary("", baseName)) {
        base = fbm.FindType(baseName);
        undo_.push_back([this, base] { eraseOwned(wb_.FBManager().Types, base); });
    }

    // Staged: the file reaches library/imported only when the whole import
    // is written. The type is read back from the very text staged.
    const std::string text = FBTypeText(type, base, true, nullptr);
    staging_.Write(file, text);
    TypeFiles.push_back(file.string());

    // The library lists the type under "imported".
    TLibraryFolder* folder = wb_.LibraryIndex.FindFolder(ImportedFolder);
    if (!folder) {
        wb_.LibraryIndex.Folders.push_back(TLibraryFolder{ImportedFolder, {}});
        undo_.push_back([this] {
            auto& folders = wb_.LibraryIndex.Folders;
            folders.erase(std::remove_if(folders.begin(), folders.end(),
                                         [](const TLibraryFolder& f) { return f.Name == ImportedFolder; }),
                          folders.end());
        });
        folder = &wb_.LibraryIndex.Folders.back();
    }
    if (std::find(folder->TypeNames.begin(), folder->TypeNames.end(), c) == folder->TypeNames.end()) {
        folder->TypeNames.push_back(c);
        undo_.push_back([this, c] {
            if (TLibraryFolder* f = wb_.LibraryIndex.FindFolder(ImportedFolder))
                f->TypeNames.erase(std::remove(f->TypeNames.begin(), f->TypeNames.end(), c), f->TypeNames.end());
        });
    }

    if (existing) {
        // Imported before: the records of the type move over to the new
        // one; taken back, they move back to the file still in the library.
        fbm.ReloadTypeFromText(existing, text, file.string());
        undo_.push_back([this, c] {
            if (TFB_Type* now = wb_.FBManager().FindType(c))
                wb_.FBManager().ReloadType(now);
        });
        return;
    }
    if (!fbm.LoadTypeFromLines(SplitLines(text)) || !fbm.FindType(c))
        throw std::runtime_error("the FB type " + c + " written for " + file.string() + " does not load");
    TFB_Type* loaded = fbm.FindType(c);
    loaded->FileName = file.string();
    undo_.push_back([this, loaded] { eraseOwned(wb_.FBManager().Types, loaded); });
}

void TUmlImportBuilder::createInstance(const std::string& instance, const std::string& typeName)
{
    TFB_Manager& fbm = wb_.FBManager();
    if (!fbm.FindType(typeName) && usableFileName(typeName, ".fbt"))
        fbm.LoadTypeFromLibrary("", typeName);
    if (!fbm.FindType(typeName)) {
        message("Error 101: Cannot create FB instance " + instance + " from type " + typeName);
        refused_.insert(instance);
        return;
    }
    if (fbm.FindInstance(instance))
        return;
    TFB_InstanceRef* record = nullptr;
    try {
        record = fbm.CreateInstance(instance, typeName, true);
    } catch (const EConvertError& e) {
        message("The FB instance " + instance + " starts without its initial values: " + e.what());
        record = fbm.CreateInstance(instance, typeName, false);
    }
    if (record)
        undo_.push_back([this, instance] {
            if (TFB_InstanceRef* r = wb_.FBManager().FindInstance(instance))
                wb_.FBManager().DeleteInstance(r);
        });
}

void TUmlImportBuilder::createIpts(const TTransNode& root)
{
    const TTransNode* instances = root.Child("Imported Instances");
    if (!instances)
        return;
    TSystemLayerManager& layer = wb_.SystemLayer();
    int k = 0;
    for (const auto& entry : instances->Children) {
        const std::string& n = entry->Text;
        // Importing a model again reuses its IPTs instead of doubling them.
        auto* ipt = dynamic_cast<TslIPT*>(layer.FindByName(n));
        if (!ipt) {
            const std::string image = (wb_.ImagesFolder() / "aaa.bmp").string();
            ipt = dynamic_cast<TslIPT*>(layer.AddObject(n, slIPT, slCustomIptSubtype, image));
            if (!ipt)
                throw std::runtime_error("the IPT " + n + " could not be made");
            ipt->Left = k * 150 + 50;
            undo_.push_back([this, ipt] { wb_.SystemLayer().DeleteObject(ipt); });
        }
        ++k;
        const auto addIpps = [&](const char* property, uint8_t side, bool event) {
            const TTransNode* p = root.Child(property);
            if (!p)
                return;
            for (const auto& e : p->Children) {
                const std::string name = event ? e->Text : upTo(e->Text, ':');
                if (name.empty() || ipt->getIppByName(name))
                    continue;
                TslIPPRef* ipp = ipt->AddIpp(name, event ? "EVENT" : SplitDataEntry(e->Text).Type, side);
                ipp->IsEventIPP = event;
                undo_.push_back([this, ipt, ipp] { wb_.SystemLayer().DeleteIpp(ipt, ipp); });
            }
        };
        addIpps("EventIPPInputs", TslIPPRef::Sensor, true);
        addIpps("EventIPPOutputs", TslIPPRef::Actuator, true);
        addIpps("DataIPPInputs", TslIPPRef::Sensor, false);
        addIpps("DataIPPOutputs", TslIPPRef::Actuator, false);
    }
}

void TUmlImportBuilder::createConnections(const TTransformation& t)
{
    const TTransNode* connections = t.Root("Connections");
    if (!connections)
        return;
    TFB_Manager& fbm = wb_.FBManager();
    const auto group = [&](const char* name) -> const TTransNode* { return connections->Child(name); };
    const auto skipped = [&](const std::string& entry) {
        wb_.UI().Log("UML import: the connection " + entry + " joins nothing that exists; it is not made");
    };

    if (const TTransNode* events = group("Event"))
        for (const auto& e : events->Children) {
            std::string left, right, a, oe, b, ev;
            TFB_InstanceRef *ra = nullptr, *rb = nullptr;
            TFBEvent *out = nullptr, *in = nullptr;
            if (splitArrow(e->Text, left, right) && splitEnd(left, a, oe) && splitEnd(right, b, ev) &&
                (ra = fbm.FindInstance(a)) && (rb = fbm.FindInstance(b)) && (out = ra->FindEventOutput(oe)) &&
                (in = rb->FindEventInput(ev))) {
                if (fbm.FindEventConn(ev, oe, b, a))
                    continue;
                auto record = std::make_unique<TFB_EventAssocRef>();
                record->SourceInstance = ra;
                record->SourcePort = out;
                record->DestInstance = rb;
                record->DestPort = in;
                TFB_EventAssocRef* made = fbm.AddEventConn(std::move(record));
                undo_.push_back([this, made] { wb_.FBManager().RemoveEventConn(made); });
            } else {
                skipped(e->Text);
            }
        }

    if (const TTransNode* data = group("Data"))
        for (const auto& e : data->Children) {
            std::string left, right, a, ea, b, eb;
            TFB_InstanceRef *ra = nullptr, *rb = nullptr;
            TFBDataMember *out = nullptr, *in = nullptr;
            if (splitArrow(e->Text, left, right) && splitEnd(left, a, ea) && splitEnd(right, b, eb) &&
                (ra = fbm.FindInstance(a)) && (rb = fbm.FindInstance(b)) &&
                (out = ra->FindDataOutput(upTo(ea, ':'))) && (in = rb->FindDataInput(upTo(eb, ':')))) {
                if (fbm.FindDataConn(upTo(eb, ':'), upTo(ea, ':'), b, a))
                    continue;
                auto record = std::make_unique<TFB_DataAssocRef>();
                record->SourceInstance = ra;
                record->SourcePort = out;
                record->DestInstance = rb;
                record->DestPort = in;
                TFB_DataAssocRef* made = fbm.AddDataConn(std::move(record));
                undo_.push_back([this, made] { wb_.FBManager().RemoveDataConn(made); });
            } else {
                skipped(e->Text);
            }
        }

    for (const char* name : {"FB<->IPPEvent", "IPPEvent<->FB", "FB<->IPPData", "IPPData<->FB"}) {
        const TTransNode* g = group(name);
        if (!g)
            continue;
        for (const auto& e : g->Children) {
            std::string left, right, x1, y1, x2, y2;
            if (!splitArrow(e->Text, left, right) || !splitEnd(left, x1, y1) || !splitEnd(right, x2, y2)) {
                skipped(e->Text);
                continue;
            }
            // The IPT end and the FB end, whichever order the entry has.
            auto* ipt = dynamic_cast<TslIPT*>(wb_.SystemLayer().FindByName(x1));
            if (!ipt) {
                std::swap(x1, x2);
                std::swap(y1, y2);
                ipt = dynamic_cast<TslIPT*>(wb_.SystemLayer().FindByName(x1));
            }
            TslIPPRef* ipp = ipt ? ipt->getIppByName(upTo(y1, ':')) : nullptr;
            TFB_InstanceRef* record = fbm.FindInstance(x2);
            if (!ipp || !record) {
                skipped(e->Text);
                continue;
            }
            const std::string port = upTo(y2, ':');
            auto made = std::make_unique<TFB_IPPFBAssocsRef>();
            made->IPP = ipp;
            made->Instance = record;
            if (ipp->IsEventIPP)
                made->EventPort = ipp->IsActuator() ? record->FindEventOutput(port) : record->FindEventInput(port);
            else
                made->DataPort = ipp->IsActuator() ? record->FindDataOutput(port) : record->FindDataInput(port);
            if (!made->EventPort && !made->DataPort) {
                skipped(e->Text);
                continue;
            }
            if (fbm.FindIPPFBConn(ipt->Name, ipp->Name, record->Name, port))
                continue;
            TFB_IPPFBAssocsRef* added = fbm.AddIPPFBConn(std::move(made));
            undo_.push_back([this, added] { wb_.FBManager().RemoveIPPFBConn(added); });
        }
    }
}

// A file in the project folder named after the diagram that no diagram of
// the project saves to and that is not there yet: another diagram's network
// ("line" against the "Filling line" of line.fbn), or any other file, is
// never written over. Empty when no such name fits a file name.
std::string TUmlImportBuilder::diagramFileFor(const std::string& name, const std::string& projectFile)
{
    if (!diagramFilesKnown_) {
        for (const auto& d : wb_.FBManager().Diagrams)
            diagramFiles_.insert(absoluteName(ProjectDiagramFile(*d, projectFile)));
        diagramFilesKnown_ = true;
    }
    const fs::path folder = fs::absolute(projectFile).parent_path();
    for (int i = 1;; ++i) {
        const std::string fileName = (i == 1 ? name : name + "_" + std::to_string(i)) + ".fbn";
        if (fileName.size() > MaxFileNameBytes)
            return {};
        const fs::path file = folder / fileName;
        std::error_code ec;
        if (diagramFiles_.count(absoluteName(file)) || fs::exists(fs::symlink_status(file, ec)))
            continue;
        diagramFiles_.insert(absoluteName(file));
        return file.string();
    }
}

void TUmlImportBuilder::createDiagram(const TTransNode& node)
{
    TFB_Manager& fbm = wb_.FBManager();
    // The diagram's name becomes its network file's name.
    if (std::string why; !usableFileName(node.Text, ".fbn", why)) {
        message((node.Text.empty() ? std::string("A sequence diagram without a name")
                                   : "The sequence diagram " + FieldEscaped(node.Text)) +
                " is not imported: its name cannot be a file name" + (why.empty() ? "" : " (" + why + ")"));
        return;
    }
    // A diagram of that name may be there from an earlier import: the new
    // one gets a name of its own.
    std::string name = node.Text;
    const auto taken = [&](const std::string& n) {
        return std::any_of(fbm.Diagrams.begin(), fbm.Diagrams.end(), [&](const auto& d) { return d->Name == n; });
    };
    for (int i = 2; taken(name); ++i)
        name = node.Text + "_" + std::to_string(i);
    const std::string& projectFile = wb_.ProjectManager().FileName;
    std::string file;
    if (!projectFile.empty()) {
        file = diagramFileFor(name, projectFile);
        if (file.empty()) {
            message("The sequence diagram " + FieldEscaped(node.Text) +
                    " is not imported: its name cannot be a file name (it is too long)");
            return;
        }
    }
    TFB_Diagram* diagram = fbm.CreateDiagram(name, 1.0);
    if (!diagram)
        throw std::runtime_error("the diagram " + name + " could not be made");
    undo_.push_back([this, diagram] { wb_.FBManager().DeleteDiagram(diagram); });
    diagram->FileName = file;

    if (const TTransNode* instances = node.Child("Function Block Instances")) {
        int32_t x = 100, y = 10;
        for (size_t i = 0; i < instances->Children.size(); ++i) {
            const std::string& entry = instances->Children[i]->Text;
            const size_t colon = entry.rfind(':');
            const std::string instance = entry.substr(0, colon);
            const std::string type = colon == std::string::npos ? std::string() : entry.substr(colon + 1);
            // Only records the import made or found are drawn: a class left
            // unticked has none, and the diagram says so once.
            if (!fbm.FindInstance(instance)) {
                if (refused_.insert(instance).second)
                    message("Error 101: Cannot create FB instance " + instance + " from type " + type);
            } else if (TFB_Instance* drawn = diagram->AddInstance(instance, type, false, nullptr)) {
                drawn->PlaceAt(x, y);
            }
            x += 200;
            if (i % 3 == 0) {
                y += 250;
                x = 100;
            }
        }
    }
    if (const TTransNode* ipps = node.Child("IPPs")) {
        int32_t y = 10;
        for (const auto& e : ipps->Children) {
            std::string ipt, entry;
            splitEnd(e->Text, ipt, entry);
            const std::string ippName = upTo(entry, ':');
            auto* owner = dynamic_cast<TslIPT*>(wb_.SystemLayer().FindByName(ipt));
            TslIPPRef* ipp = owner ? owner->getIppByName(ippName) : nullptr;
            if (!ipp) {
                message("E20040911:An error occured on getIppByName(" + ippName + ")");
            } else {
                const int32_t x = ipp->IsActuator() ? DiagramWidth - 200 : 10;
                if (TslIPP* picture = diagram->AddIPPPicture(ipp, x, y)) {
                    picture->BaseX = x;
                    picture->BaseY = y;
                    picture->SetScale(diagram->Zoom);
                }
            }
            y += 40;
        }
    }
    diagram->RebuildLines();
    Diagrams.push_back(diagram);
}

} // namespace telvo::uml

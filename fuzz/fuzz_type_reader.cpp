// Feeds arbitrary bytes to the type file reader. Whatever reads as a type is
// written out (as a rewrite over the input itself, so the carry-over of
// unmodelled content runs too) and read back: the written file must parse,
// must be a type, and a second round must not change the model.

#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace telvo;

namespace {

// Files go to a memory-backed folder when there is one: every save syncs.
std::filesystem::path workDir()
{
    static const std::filesystem::path dir = [] {
        std::filesystem::path base = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                          : std::filesystem::temp_directory_path();
        auto d = base / ("telvo-fuzz-type-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

std::string describe(const TFB_Type& t)
{
    std::string s = t.Name + "|" + t.Comment + "|" + t.Standard + "|" + t.Description + "|" + t.CompilerHeader +
                    "|" + t.CompilerClassDef + "|" + std::to_string(t.Composite) + "\n";
    for (const auto& v : t.Versions)
        s += "V " + v->Organization + "|" + v->Version + "|" + v->Author + "|" + v->Date + "|" + v->Remarks + "\n";
    for (const auto& c : t.Compilers)
        s += "C " + c->Language + "|" + c->Vendor + "|" + c->Product + "|" + c->Version + "\n";
    for (const auto& e : t.EventInputs) {
        s += "EI " + e->Name + "|" + e->Type + "|" + e->Comment;
        for (auto* w : e->With)
            s += " " + w->Name;
        s += "\n";
    }
    for (const auto& e : t.EventOutputs) {
        s += "EO " + e->Name + "|" + e->Type + "|" + e->Comment;
        for (auto* w : e->With)
            s += " " + w->Name;
        s += "\n";
    }
    for (const auto& d : t.DataInputs)
        s += "DI " + d->Name + "|" + d->Type + "|" + d->Comment + "|" + d->InitialValue + "\n";
    for (const auto& d : t.DataOutputs)
        s += "DO " + d->Name + "|" + d->Type + "|" + d->Comment + "|" + d->InitialValue + "\n";
    for (const auto& v : t.InternalVars)
        s += "IV " + v->Name + "|" + v->Type + "|" + v->Comment + "|" + v->InitialValue + "|" + v->ArraySize + "\n";
    for (const auto& p : t.Plugs)
        s += "P " + p->Name + "|" + p->Type + "|" + p->Comment + "\n";
    for (const auto& p : t.Sockets)
        s += "S " + p->Name + "|" + p->Type + "|" + p->Comment + "\n";
    for (const auto& st : t.States) {
        s += "ST " + st->Name + "|" + st->Comment + "|" + std::to_string(st->X) + "|" + std::to_string(st->Y) + "\n";
        for (const auto& a : st->Actions)
            s += " A " + a->Algorithm + "|" + a->Output + "\n";
    }
    for (const auto& tr : t.Transitions)
        s += "TR " + tr->Source + "|" + tr->Destination + "|" + tr->Condition + "|" + std::to_string(tr->X) + "|" +
             std::to_string(tr->Y) + "\n";
    for (const auto& a : t.Algorithms) {
        s += "AL " + a->Name + "|" + a->Comment + "|" + a->Language + "|" + std::to_string(a->HasFBD) + "\n";
        s += " st " + JoinLines(a->STText) + "\n other " + JoinLines(a->OtherText) + "\n";
        for (const auto& r : a->Rungs)
            s += " R " + r->Output + "|" + r->Expression + "|" + r->Comment + "\n";
    }
    for (const auto& svc : t.Services) {
        s += "SV " + svc->LeftInterface + "|" + svc->RightInterface + "|" + svc->Comment + "\n";
        for (const auto& seq : svc->Sequences) {
            s += " SQ " + seq->Name + "|" + seq->Comment + "\n";
            for (const auto& p : seq->Primitives)
                s += "  " + std::to_string(p->IsInput) + p->Interface + "|" + p->Event + "|" + p->Parameters + "\n";
        }
    }
    return s;
}

// Rewrites `type` over its own file into `out` and reads the result back.
bool rewriteAndRead(TFB_Type& type, const std::filesystem::path& out, TFB_Type& back)
{
    if (!WriteFBType(out.string(), type, &type, true, type.Network.get()))
        return false;
    std::string written = ReadFileText(out);
    if (!ReadFBType(written, back, nullptr, out.string())) {
        std::fprintf(stderr, "the written file is no type:\n%s\n", written.c_str());
        std::abort();
    }
    back.FileName = out.string();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    TFB_Type type;
    try {
        if (!ReadFBType(text, type, nullptr, "input.fbt"))
            return 0;
    } catch (const EXmlParseError&) {
        return 0;
    }

    auto dir = workDir();
    auto base = dir / "base.fbt";
    WriteFileAtomic(base, text);
    type.FileName = base.string();

    // Parse errors of what the writer wrote are findings: let them escape.
    TFB_Type first, second;
    if (!rewriteAndRead(type, dir / "first.fbt", first))
        return 0;
    if (!rewriteAndRead(first, dir / "second.fbt", second))
        return 0;
    if (describe(first) != describe(second)) {
        std::fprintf(stderr, "the model changed on a second rewrite:\n%s---\n%s\n", describe(first).c_str(),
                     describe(second).c_str());
        std::abort();
    }
    return 0;
}

// telvo type new basic|composite NAME --out DIR

#include "cli.h"

#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>

namespace telvo::cli {

namespace {

namespace fs = std::filesystem;

// Writes a new type named NAME from the shipped template of its kind into
// DIR/NAME.fbt and prints the file's path. The template's file is the base,
// so the new file carries everything the template holds.
int typeNew(TCliContext& ctx)
{
    std::string kind, name, out;
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--out") {
            if (i + 1 >= ctx.Args.size())
                return UsageError(ctx, "type new: --out needs a folder");
            out = ctx.Args[++i];
        } else if (a.rfind("--", 0) == 0) {
            return UsageError(ctx, "type new: unknown option " + a);
        } else if (kind.empty()) {
            kind = a;
        } else if (name.empty()) {
            name = a;
        } else {
            return UsageError(ctx, "type new takes a kind and one NAME");
        }
    }
    if (kind != "basic" && kind != "composite")
        return UsageError(ctx, "type new needs the kind basic or composite");
    if (name.empty() || out.empty())
        return UsageError(ctx, "type new needs NAME and --out DIR");
    if (name == "." || name == ".." || name.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
        ctx.Err << "telvo: the FB type name " << name << " cannot be used: it contains \"/\" or \"\\\"\n";
        return 1;
    }
    ctx.Workbench.IndexLibrary();
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    const auto& names = ctx.Workbench.LibraryTypeNames;
    if (std::find(names.begin(), names.end(), upper) != names.end()) {
        ctx.Err << "telvo: Another FB type with the same name exists. Please type another FB name.\n";
        return 1;
    }
    const fs::path target = fs::path(out) / (name + ".fbt");
    // A link of that name, even one to a missing file, is something that
    // exists: the new file is not made wherever it points.
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec))) {
        ctx.Err << "telvo: " << target.string() << " exists already\n";
        return 1;
    }
    const fs::path templ =
        ctx.Workbench.LibraryFile(fs::path("templates") / (kind == "basic" ? "NEWBASICFB.fbt" : "NEWCOMPFB.fbt"));
    try {
        auto type = std::make_unique<TFB_Type>();
        if (!ReadFBType(ReadFileText(templ), *type, &ctx.Workbench.FBManager(), templ.string())) {
            ctx.Err << "telvo: " << templ.string() << ": Not an FB type file (the root element is not FBType)\n";
            return 1;
        }
        type->Name = name;
        TFB_Type base;
        base.FileName = templ.string();
        fs::create_directories(out);
        if (!WriteFBType(target.string(), *type, &base, true, type->Network.get(), &ctx.UI, TWriteMode::Create))
            return 1;
    } catch (const std::exception& e) {
        ctx.Err << "telvo: " << e.what() << "\n";
        return 1;
    }
    ctx.Out << target.string() << "\n";
    return 0;
}

TCliCommand reg{"type new", "basic|composite NAME --out DIR", typeNew,
                "Writes a new FB type named NAME from the shipped template of its kind to DIR/NAME.fbt and prints "
                "its path.\n"
                "  --out DIR    the folder for the new type file (made when missing); a file or link of that\n"
                "               name there is left alone"};

} // namespace

} // namespace telvo::cli

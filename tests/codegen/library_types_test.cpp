// Every basic type the workbench ships (library/events, library/opc and the
// NEWBASICFB template) generates a library that fpc compiles and that a
// runtime can load and create its FB from.

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "codegen/test_types.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <dlfcn.h>
#include <memory>

using namespace telvo;
using namespace telvo::test;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> ShippedTypeFiles()
{
    const fs::path library = SourceDir() / "library";
    std::vector<fs::path> files;
    for (const char* group : {"events", "opc"}) {
        if (!fs::is_directory(library / group))
            continue;
        for (const char* ext : {".fbt", ".xml"})
            for (auto& f : FilesWithExtension(library / group, ext))
                files.push_back(f);
    }
    if (fs::exists(library / "templates" / "NEWBASICFB.fbt"))
        files.push_back(library / "templates" / "NEWBASICFB.fbt");
    return files;
}

struct TShipped {
    fs::path File;
    std::unique_ptr<TFB_Type> Type;
    fs::path Source;
    std::unique_ptr<TPascalCompilation> Run;
};

TEST(LibraryTypes, EveryBasicTypeCompilesAndLoads)
{
    const auto files = ShippedTypeFiles();
    if (files.empty())
        GTEST_SKIP() << "library/events, library/opc and library/templates/NEWBASICFB.fbt hold no types yet";

    TempDir out;
    std::vector<TShipped> shipped;
    for (const auto& file : files) {
        TShipped s;
        s.File = file;
        s.Type = std::make_unique<TFB_Type>();
        try {
            ASSERT_TRUE(ReadFBType(ReadFileText(file), *s.Type, nullptr, file.string())) << file;
        } catch (const std::exception& e) {
            FAIL() << file << ": " << e.what();
        }
        if (s.Type->Composite)
            continue; // only basic types are generated
        // One folder per file: two groups may ship types of the same name.
        s.Source = GeneratePascalFile(*s.Type, out / std::to_string(shipped.size()));
        shipped.push_back(std::move(s));
    }
    ASSERT_FALSE(shipped.empty()) << "no basic type among " << files.size() << " library files";

    // A few compilers at a time: fpc is quick, the machine is small.
    const size_t parallel = 4;
    for (size_t next = 0, done = 0; done < shipped.size();) {
        while (next < shipped.size() && next - done < parallel) {
            shipped[next].Run = TPascalCompilation::Start(DefaultPascalCompiler, shipped[next].Source);
            ++next;
        }
        const TCompileResult& r = shipped[done].Run->Wait();
        ASSERT_TRUE(r.Started) << r.Error << " (scripts/setup installs fpc; this test needs it)";
        EXPECT_TRUE(r.Succeeded()) << DescribeCompile(shipped[done].File.string(), r.ExitCode, r.Output);
        ++done;
    }

    for (const auto& s : shipped) {
        if (!s.Run->Wait().Succeeded())
            continue;
        void* handle = ::dlopen(PascalLibraryFile(s.Source).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << s.File << ": " << ::dlerror();
        auto isValidFB = reinterpret_cast<int32_t (*)(const char*, int32_t)>(::dlsym(handle, "isValidFB"));
        auto freeFBDLL = reinterpret_cast<int32_t (*)()>(::dlsym(handle, "FreeFBDLL"));
        EXPECT_TRUE(::dlsym(handle, "HandleFBEvent") && ::dlsym(handle, "AssignCallBack")) << s.File;
        if (isValidFB && freeFBDLL) {
            EXPECT_EQ(isValidFB((s.Type->Name + "_").c_str(), 1), 0) << s.File;
            EXPECT_EQ(isValidFB(s.Type->Name.c_str(), 1), 1) << s.File;
            EXPECT_EQ(freeFBDLL(), 1) << s.File;
        } else {
            ADD_FAILURE() << s.File << ": isValidFB or FreeFBDLL not exported";
        }
        ::dlclose(handle);
    }
}

} // namespace

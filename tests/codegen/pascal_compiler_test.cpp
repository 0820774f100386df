// Starting the compiler: arguments, working folder, captured output and exit
// status, a missing compiler, cancelling, and the real fpc on real sources.

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "codegen/test_types.h"
#include "model/fb_type.h"
#include "model/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <sys/stat.h>

using namespace telvo;
using namespace telvo::test;
namespace fs = std::filesystem;

namespace {

// A shell script in place of the compiler, to see exactly how the runner
// starts a program: `body` prints what the test needs and picks the status.
fs::path WriteProbe(const TempDir& dir, const std::string& body)
{
    fs::path probe = dir.Write("bin/probe", "#!/bin/sh\n" + body);
    ::chmod(probe.c_str(), 0755);
    return probe;
}

TEST(PascalCompiler, ProgramComesFromSettingsElseFpc)
{
    TempDir dir;
    TSettings settings;
    ASSERT_TRUE(settings.Load(dir / "settings.ini"));
    EXPECT_EQ(PascalCompilerProgram(settings), "fpc");
    settings.SetString("PascalCompiler", "/opt/fpc/bin/fpc");
    EXPECT_EQ(PascalCompilerProgram(settings), "/opt/fpc/bin/fpc");
    settings.SetString("PascalCompiler", "");
    EXPECT_EQ(PascalCompilerProgram(settings), "fpc");
}

TEST(PascalCompiler, PathIsOneArgumentAndTheFileFolderIsTheWorkingFolder)
{
    TempDir dir;
    const fs::path probe = WriteProbe(dir, "for a in \"$@\"; do echo \"arg:$a\"; done\n"
                                           "echo \"cwd:$(pwd -P)\"\n"
                                           "echo \"stdin:$(cat)\"\n"
                                           "echo problem >&2\n"
                                           "exit 3\n");
    const fs::path source = dir.Write("my sources/it's \"odd\"; $(x)/T.pas", "library T;");
    TCompileResult r = CompilePascalFile(probe.string(), source);
    ASSERT_TRUE(r.Started) << r.Error;
    EXPECT_EQ(r.ExitCode, 3);
    EXPECT_EQ(r.Signal, 0);
    EXPECT_FALSE(r.Succeeded());
    const std::string folder = fs::canonical(source.parent_path()).string();
    EXPECT_EQ(r.Output, "arg:-Sd\narg:-Sh\narg:" + fs::absolute(source).string() + "\ncwd:" + folder +
                            "\nstdin:\nproblem\n");
}

TEST(PascalCompiler, RelativePathsStayRightAfterChangingFolder)
{
    TempDir dir;
    WriteProbe(dir, "echo \"$3\"; test -f \"$3\"\n");
    dir.Write("src/T.pas", "library T;");
    const fs::path old = fs::current_path();
    fs::current_path(dir.Path());
    TCompileResult r = CompilePascalFile("bin/probe", "src/T.pas");
    fs::current_path(old);
    ASSERT_TRUE(r.Started) << r.Error;
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, (dir.Path() / "src/T.pas").string() + "\n");
}

TEST(PascalCompiler, MissingCompilerIsReportedNotRun)
{
    TempDir dir;
    const fs::path source = dir.Write("T.pas", "library T;");
    struct Case {
        std::string program;
        std::string error;
    };
    const Case cases[] = {
        {"telvo-no-such-compiler", "Cannot start the compiler \"telvo-no-such-compiler\": No such file or directory"},
        {(dir / "nothing/fpc").string(),
         "Cannot start the compiler \"" + (dir / "nothing/fpc").string() + "\": No such file or directory"},
        {(dir / "T.pas").string(), "Cannot start the compiler \"" + (dir / "T.pas").string() +
                                       "\": Permission denied"},
    };
    const fs::path gone = dir / "gone/T.pas";
    for (const auto& c : cases) {
        std::promise<TCompileResult> told;
        auto run = TPascalCompilation::Start(c.program, source, [&](const TCompileResult& r) { told.set_value(r); });
        EXPECT_TRUE(run->Finished());
        const TCompileResult& r = run->Wait();
        EXPECT_FALSE(r.Started);
        EXPECT_FALSE(r.Succeeded());
        EXPECT_EQ(r.Error, c.error);
        EXPECT_EQ(told.get_future().get().Error, c.error);
    }
    const TCompileResult r = CompilePascalFile("fpc", gone);
    EXPECT_FALSE(r.Started);
    EXPECT_EQ(r.Error, "Cannot start the compiler \"fpc\": there is no source file " + gone.string());
}

TEST(PascalCompiler, StartReturnsAtOnceAndReportsWhenDone)
{
    TempDir dir;
    // The compiler waits for a file that the test creates only after Start
    // has returned: a blocking Start would never come back.
    const fs::path go = dir / "go";
    const fs::path probe = WriteProbe(dir, "while [ ! -e '" + go.string() + "' ]; do sleep 0.01; done\necho built\n");
    const fs::path source = dir.Write("T.pas", "library T;");
    std::promise<std::string> told;
    std::atomic<int> calls{0};
    auto run = TPascalCompilation::Start(probe.string(), source, [&](const TCompileResult& r) {
        if (calls++ == 0)
            told.set_value(r.Output);
    });
    EXPECT_FALSE(run->Finished());
    dir.Write("go", "");
    auto future = told.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(future.get(), "built\n");
    EXPECT_TRUE(run->Wait().Succeeded());
    EXPECT_TRUE(run->Finished());
    EXPECT_EQ(calls.load(), 1);
}

TEST(PascalCompiler, CancelStopsTheCompilerAndWhatItStarted)
{
    TempDir dir;
    // A child of the compiler that holds the output pipe open: cancelling
    // must stop it too, or collecting the output would wait for it.
    const fs::path probe = WriteProbe(dir, "sleep 60 &\necho started\nwait\n");
    const fs::path source = dir.Write("T.pas", "library T;");
    auto start = std::chrono::steady_clock::now();
    auto run = TPascalCompilation::Start(probe.string(), source);
    run->Cancel();
    const TCompileResult& r = run->Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_TRUE(r.Started);
    EXPECT_EQ(r.Signal, SIGKILL);
    EXPECT_EQ(r.ExitCode, -1);
    EXPECT_FALSE(r.Succeeded());

    // Dropping a handle whose compiler runs stops it as well.
    start = std::chrono::steady_clock::now();
    TPascalCompilation::Start(probe.string(), source).reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(PascalCompiler, RealFpcCompilesIntoTheSourceFolder)
{
    // Through the same path as every generated type, in a folder whose name
    // a shell would split.
    TempDir dir;
    auto type = MakeEventsOnlyType();
    type->Name = "CG_SPACED";
    const fs::path source = GeneratePascalFile(*type, dir / "with blanks");
    TCompileResult r = CompilePascalFile(DefaultPascalCompiler, source);
    ASSERT_TRUE(r.Started) << r.Error << " (scripts/setup installs fpc; this test needs it)";
    ASSERT_TRUE(r.Succeeded()) << DescribeCompile("fpc", r.ExitCode, r.Output);
    EXPECT_NE(r.Output.find("Compiling " + source.string()), std::string::npos) << r.Output;
    EXPECT_TRUE(fs::exists(PascalLibraryFile(source)));
}

TEST(PascalCompiler, RealFpcReportsWhatDoesNotCompile)
{
    // Conditions are code: the generator passes them on, fpc checks them,
    // and its verdict reaches the caller.
    TempDir dir;
    auto type = MakeEventsOnlyType();
    type->Name = "CG_BROKEN";
    type->Transitions[0]->Condition = "EI AND NOSUCHVAR";
    const fs::path source = GeneratePascalFile(*type, dir.Path());
    TCompileResult r = CompilePascalFile(DefaultPascalCompiler, source);
    ASSERT_TRUE(r.Started) << r.Error << " (scripts/setup installs fpc; this test needs it)";
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(r.Output.find("Identifier not found \"NOSUCHVAR\""), std::string::npos) << r.Output;
    EXPECT_FALSE(fs::exists(PascalLibraryFile(source)));
}

TEST(PascalCompiler, EveryTestTypeCompiles)
{
    for (const char* name : {"CG_ALL", "CG_EVENTS", "CG_NOSTATE"})
        EXPECT_TRUE(fs::exists(CompiledTestLibrary(name))) << name;
}

TEST(PascalCompiler, CommentsAndQuotedNamesCannotChangeWhatIsCompiled)
{
    // A line break in a comment once ended it and made the next line a
    // directive that pulled a file into the compile.
    TempDir dir;
    auto type = MakeEventsOnlyType();
    type->Name = "CG_TEXTS";
    type->States[0]->Comment = "waiting\r\n{$I /etc/hostname}\r\n";
    type->AddAlgorithm("noop", "does\nnothing {$FATAL no}");
    type->States[1]->AddAction("noop", "it's\r\nodd");
    const fs::path source = GeneratePascalFile(*type, dir.Path());
    TCompileResult r = CompilePascalFile(DefaultPascalCompiler, source);
    ASSERT_TRUE(r.Started) << r.Error << " (scripts/setup installs fpc; this test needs it)";
    EXPECT_TRUE(r.Succeeded()) << DescribeCompile("fpc", r.ExitCode, r.Output);
}

} // namespace

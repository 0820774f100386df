// telvo type new: a type file from the shipped template, and what it refuses.

#include "type_editor_fixture.h"

namespace telvo::test {

namespace fs = std::filesystem;

TEST_F(TypeEditorFixture, TypeNewWritesACheckableTypeFromTheTemplate)
{
    for (const char* kind : {"basic", "composite"}) {
        SCOPED_TRACE(kind);
        const std::string name = std::string("MY_") + kind;
        const fs::path out = Home / "made";
        ProcessResult r = Telvo({"type", "new", kind, name, "--out", out.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const fs::path file = out / (name + ".fbt");
        EXPECT_EQ(r.Out, file.string() + "\n");
        r = Telvo({"type", "check", file.string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        // The editor opens it as a type of that name and kind.
        ASSERT_TRUE(Editor->LoadTypeFile(QString::fromStdString(file.string())));
        EXPECT_EQ(Editor->WorkingType()->Name, name);
        EXPECT_EQ(Editor->WorkingType()->Composite, std::string(kind) == "composite");
    }
}

TEST_F(TypeEditorFixture, TypeNewRefusesBadNamesAndUse)
{
    const std::string out = (Home / "made").string();
    Home.Write("made/TAKEN.fbt", "<FBType Name=\"TAKEN\"/>");
    const struct {
        std::vector<std::string> Args;
        int Code;
        const char* Err;
    } cases[] = {
        {{"simple", "X", "--out", out}, 2, "telvo: type new needs the kind basic or composite\n"},
        {{"basic", "--out", out}, 2, "telvo: type new needs NAME and --out DIR\n"},
        {{"basic", "X"}, 2, "telvo: type new needs NAME and --out DIR\n"},
        {{"basic", "A/B", "--out", out}, 1, "telvo: the FB type name A/B cannot be used: it contains \"/\" or \"\\\"\n"},
        {{"basic", "e_ctu", "--out", out}, 1,
         "telvo: Another FB type with the same name exists. Please type another FB name.\n"},
        {{"basic", "TAKEN", "--out", out}, 1, nullptr},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"type", "new"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const ProcessResult r = Telvo(args);
        EXPECT_EQ(r.ExitCode, c.Code) << c.Args[1] << r.Err;
        if (c.Err)
            EXPECT_EQ(r.Err.substr(0, std::string(c.Err).size()), c.Err);
        else
            EXPECT_NE(r.Err.find("exists already"), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
    EXPECT_EQ(ReadFile(Home / "made" / "TAKEN.fbt"), "<FBType Name=\"TAKEN\"/>");
}

} // namespace telvo::test

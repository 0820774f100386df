#include "model/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace telvo;

TEST(Settings, KeepsUnknownKeysAndCommentsOnSave)
{
    test::TempDir dir;
    auto file = dir.Write("settings.ini", "; kept comment\n[Values]\nDonotShowInitWindow=1\nOther=x\n[Mine]\nk=v\n");
    TSettings s;
    ASSERT_TRUE(s.Load(file));
    EXPECT_TRUE(s.GetBool("DonotShowInitWindow", false));
    EXPECT_EQ(s.GetString("RoseStereotypesPath", "-"), "-");
    s.SetString("0", "/p/a.crf");
    s.Save();
    std::string text = test::ReadFile(file);
    EXPECT_NE(text.find("; kept comment"), std::string::npos);
    EXPECT_NE(text.find("Other = x"), std::string::npos);
    EXPECT_NE(text.find("[Mine]"), std::string::npos);
    TSettings again;
    ASSERT_TRUE(again.Load(file));
    EXPECT_EQ(again.GetString("0"), "/p/a.crf");
}

TEST(Settings, MissingFileGivesDefaults)
{
    test::TempDir dir;
    TSettings s;
    EXPECT_TRUE(s.Load(dir / "settings.ini"));
    EXPECT_EQ(s.GetInt("x", 7), 7);
}

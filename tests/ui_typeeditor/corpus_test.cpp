// Every type of the 4diac type library opened in the editor, each page
// visited, and saved: the file keeps every element and attribute.

#include "type_editor_fixture.h"

#include "../persistence/type_file_fixture.h"

#include "model/fb_type.h"
#include "ui/typeeditor/type_picture.h"

#include <QTreeWidget>

namespace telvo::test {

namespace fs = std::filesystem;

TEST_F(TypeEditorFixture, EveryCorpusTypeOpensAndSavesUnchanged)
{
    TELVO_REQUIRE_CORPUS();
    const auto files = FilesWithExtension(CorpusDir() / "4diac-typelibrary", ".fbt");
    ASSERT_FALSE(files.empty());
    // Composite types find their inner types in the library, as they would
    // on a user's machine: the corpus is linked in (never copied).
    fs::create_directory_symlink(CorpusDir() / "4diac-typelibrary", Home / "library" / "corpus");
    Workbench->IndexLibrary();
    for (const fs::path& original : files) {
        SCOPED_TRACE(original.string());
        // The corpus is read-only: the editor works on a copy.
        const fs::path copy = Home / "work.fbt";
        fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(Editor->LoadTypeFile(QString::fromStdString(copy.string())));
        for (const char* tab : {"XML spec", "Structure", "Algorithms", "Information"})
            Editor->ShowTab(QString::fromLatin1(tab));
        EXPECT_GT(Editor->StructureTree()->topLevelItemCount(), 0);
        EXPECT_FALSE(Editor->Picture()->Image().isNull());
        EXPECT_FALSE(Editor->Modified()) << "visiting the pages changed the type";
        if (Editor->Save()) {
            EXPECT_TRUE(RewriteKeepsEverything(original, copy));
        } else {
            // A network naming types the library lacks cannot be written
            // whole: it is refused instead of dropping those FBs.
            ASSERT_FALSE(UI.Messages().empty());
            EXPECT_NE(UI.Messages().back().find("not in the library"), std::string::npos) << UI.Messages().back();
            EXPECT_EQ(ReadFile(copy), ReadFile(original));
        }
    }
}

} // namespace telvo::test

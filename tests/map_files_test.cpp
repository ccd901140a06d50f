// Finding the image files a scene's maps name: case, paths from other machines, short
// aliases, the folders searched in order, and nothing found outside them.
#include "scene/map_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "load_fixture.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder for the running test, holding a scene folder `scene/`.
class MapFolders {
public:
    MapFolders() : root_(FixturePath(".maps")) {
        fs::remove_all(root_);
        fs::create_directories(root_ + "/scene");
    }
    ~MapFolders() { fs::remove_all(root_); }
    MapFolders(const MapFolders&) = delete;
    MapFolders& operator=(const MapFolders&) = delete;

    // Creates the file `relative` (and its folders) under the root; returns its path.
    std::string File(const std::string& relative) {
        const std::string path = root_ + "/" + relative;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << relative;
        return path;
    }
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    std::string Scene() const { return root_ + "/scene"; }

    // The path found for `name` beside scene/ (and in `extra`), relative to the root; "" for none.
    std::string Find(const char* name, const std::vector<std::string>& extra = {}) const {
        MapFinder finder;
        OpenMapFinder(finder, Scene(), extra);
        const std::string found = FindMapFile(finder, name);
        return found.empty() ? "" : fs::path(found).lexically_relative(root_).generic_string();
    }

private:
    std::string root_;
};

TEST(MapFiles, NamesFromOtherMachinesAndOldToolsFindTheFileBesideTheScene) {
    MapFolders folders;
    folders.File("scene/CWALL02.jpg");
    folders.File("scene/brick wall.jpg");
    folders.File("scene/wood.png");
    struct Case {
        const char* name;
        const char* found;
    };
    const Case cases[] = {
        {"CWALL02.jpg", "scene/CWALL02.jpg"},
        {"CWALL02.JPG", "scene/CWALL02.jpg"},  // upper-case 8.3 name, lower-case extension
        {"cwall02.JPG", "scene/CWALL02.jpg"},
        {"C:\\3DSMAX\\MAPS\\CWALL02.JPG", "scene/CWALL02.jpg"},  // the author's Windows path
        {"D:CWALL02.JPG", "scene/CWALL02.jpg"},                  // drive-relative
        {"/home/author/maps/WOOD.PNG", "scene/wood.png"},        // the author's Unix path
        {"maps\\wood.png", "scene/wood.png"},
        {"WOOD.PNG  ", "scene/wood.png"},          // trailing spaces, as Windows ignores them
        {"BRICKW~1.JPG", "scene/brick wall.jpg"},  // the short alias of a long name
        {"brickw~1.jpg", "scene/brick wall.jpg"},
        {"BRICKW~1.PNG", ""},  // the alias's extension must match
        {"MISSING.JPG", ""},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
        EXPECT_EQ(folders.Find(c.name), c.found);
    }
}

TEST(MapFiles, OfSeveralFilesMatchingTheExactNameWinsThenTheFirstInByteOrder) {
    MapFolders folders;
    folders.File("scene/wood.png");
    folders.File("scene/Wood.png");
    folders.File("scene/WOOD.png");
    EXPECT_EQ(folders.Find("Wood.png"), "scene/Wood.png");
    EXPECT_EQ(folders.Find("wood.png"), "scene/wood.png");
    EXPECT_EQ(folders.Find("WOOD.PNG"), "scene/WOOD.png");  // "WOOD" < "Wood" < "wood"
    EXPECT_EQ(folders.Find("wOOD.png"), "scene/WOOD.png");

    // Two long names with the same short alias: ~1 and ~2 in byte order; an alias with one
    // candidate finds it whatever its number.
    folders.File("scene/texture_one.jpg");
    folders.File("scene/texture_two.jpg");
    folders.File("scene/marble floor.tga");
    EXPECT_EQ(folders.Find("TEXTUR~1.JPG"), "scene/texture_one.jpg");
    EXPECT_EQ(folders.Find("TEXTUR~2.JPG"), "scene/texture_two.jpg");
    EXPECT_EQ(folders.Find("TEXTUR~3.JPG"), "");
    EXPECT_EQ(folders.Find("MARBLE~2.TGA"), "scene/marble floor.tga");
}

TEST(MapFiles, SearchesBesideTheSceneThenMapsThenTexturesThenTheFoldersGiven) {
    MapFolders folders;
    folders.File("scene/a.png");
    folders.File("scene/Maps/A.PNG");
    folders.File("scene/Maps/b.png");
    folders.File("scene/TEXTURES/B.png");
    folders.File("scene/TEXTURES/c.png");
    folders.File("scene/other/d.png");  // a folder of no such name is not searched
    folders.File("extra1/D.PNG");
    folders.File("extra1/e.png");
    folders.File("extra2/e.png");
    folders.File("extra2/f.png");
    const std::vector<std::string> extra = {folders.Path("extra1"), folders.Path("missing"),
                                            folders.Path("extra2")};
    EXPECT_EQ(folders.Find("A.png", extra), "scene/a.png");
    EXPECT_EQ(folders.Find("B.png", extra), "scene/Maps/b.png");
    EXPECT_EQ(folders.Find("c.png", extra), "scene/TEXTURES/c.png");
    EXPECT_EQ(folders.Find("d.png", extra), "extra1/D.PNG");
    EXPECT_EQ(folders.Find("e.png", extra), "extra1/e.png");
    EXPECT_EQ(folders.Find("f.png", extra), "extra2/f.png");
    EXPECT_EQ(folders.Find("f.png"), "");
    // The standard input has no folder: only the folders given are searched.
    MapFinder finder;
    OpenMapFinder(finder, SceneFolder("-"), extra);
    EXPECT_EQ(FindMapFile(finder, "a.png"), "");
    EXPECT_EQ(fs::path(FindMapFile(finder, "F.PNG")).filename(), "f.png");
}

TEST(MapFiles, NothingOutsideTheFoldersAndNothingButRegularFilesIsFound) {
    MapFolders folders;
    folders.File("outside.png");
    folders.File("scene/maps/inner.png");
    fs::create_directories(folders.Path("scene/folder.png"));
    ASSERT_EQ(mkfifo(folders.Path("scene/pipe.png").c_str(), 0600), 0);
    fs::create_symlink(folders.Path("outside.png"), folders.Path("scene/link.png"));
    fs::create_symlink(folders.Path("scene/folder.png"), folders.Path("scene/dirlink.png"));
    for (const char* name :
         {"../outside.png", "..\\outside.png", "outside.png", "..", ".", "maps", "folder.png",
          "pipe.png", "dirlink.png", "/etc/passwd", "maps/../..", "scene"}) {
        EXPECT_EQ(folders.Find(name), "") << name;
    }
    // A link the user put beside the scene to a regular file counts as that file.
    EXPECT_EQ(folders.Find("LINK.PNG"), "scene/link.png");
    EXPECT_EQ(folders.Find("maps/inner.png"), "scene/maps/inner.png");  // by its last part
}

TEST(MapFiles, TheLastPartOfAMapNameAndTheSceneFolder) {
    EXPECT_EQ(MapFileComponent("C:\\A\\B.JPG"), "B.JPG");
    EXPECT_EQ(MapFileComponent("a/b\\c:d.png. ."), "d.png");
    EXPECT_EQ(MapFileComponent("dir/"), "");
    EXPECT_EQ(MapFileComponent("..."), "");
    EXPECT_EQ(MapFileComponent(".hidden"), ".hidden");
    EXPECT_EQ(SceneFolder("svet.3ds"), ".");
    EXPECT_EQ(SceneFolder("models/svet.3ds"), "models");
    EXPECT_EQ(SceneFolder("/svet.3ds"), "/");
    EXPECT_EQ(SceneFolder("-"), "");
    EXPECT_EQ(SceneFolder(""), "");
}

}  // namespace

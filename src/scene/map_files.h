// Finding the image files that a scene's maps name, in the folders a user would put them.
//
// A material names its map as the modelling program wrote it: "CWALL02.JPG" from an old
// tool while the file on disk is "CWALL02.jpg", "C:\3DSMAX\MAPS\WOOD.JPG" from the author's
// machine, or "BRICKW~1.JPG", the short alias of "brickwall.jpg" that programs limited to
// 12-character names store. The finder looks for that file by its last component only,
// among the regular files of a short list of folders:
//
//   1. the scene file's own folder;
//   2. its subfolders named maps and textures (any case), in that order;
//   3. the extra folders the caller gives (the command line's --textures DIR), in order.
//
// The first folder holding a match wins. Within one folder a name matches, best first:
//   a. an entry equal to it byte for byte;
//   b. an entry equal to it ignoring the case of ASCII letters (bytes from 0x80 up must be
//      equal): of several, the first in byte order ("CWall02.jpg" before "cwall02.jpg");
//   c. when the name is a short alias BASE~N.EXT: the entries whose long name shortens to
//      BASE and EXT (upper case, spaces and dots of the base dropped, extension cut to three
//      characters); one such entry is taken whatever N, of several the N-th in byte order.
// Trailing spaces and dots of the name are dropped first, as Windows does when it opens one.
//
// The name is never used as a path: it is only compared with the entries the folders list,
// and the path returned is a listed folder joined with an entry's own name. So a name such
// as "../../etc/passwd" or "/dev/zero" finds nothing outside the folders above, and
// directories, devices and pipes are never returned (an entry that is a symbolic link
// counts when it leads to a regular file). Works on any file system the standard library
// can list, the web build's in-memory one included.
#pragma once

#include <string>
#include <vector>

// One folder searched for maps: its path as given (joined with entry names to make the
// paths returned) and the names of its regular files in byte order.
struct MapFolder {
    std::string path;
    std::vector<std::string> files;
};

// The folders of one scene, listed once when the scene is opened and then searched for
// each of its maps; nothing is read from the disk while searching.
struct MapFinder {
    std::vector<MapFolder> folders;  // in search order
};

// The folder holding the scene file `scenePath`: its path up to the last '/' (or '\' on
// Windows), "." for a bare file name; "" for "-" (standard input) or an empty path, which
// have no folder.
std::string SceneFolder(const std::string& scenePath);

// Lists the folders to search for the maps of a scene in `sceneFolder` ("" for none), then
// `extraFolders` in order. A folder that does not exist or cannot be listed is left out.
void OpenMapFinder(MapFinder& finder, const std::string& sceneFolder,
                   const std::vector<std::string>& extraFolders);

// The path of the file for the map named `mapName` (as the material holds it; null or
// empty finds nothing), or "" when none of the folders holds it.
std::string FindMapFile(const MapFinder& finder, const char* mapName);

// The part of `mapName` that is looked up: after its last '/', '\' or ':' (a drive letter),
// without trailing spaces and dots. "" when nothing is left, or for "." and "..".
std::string MapFileComponent(const char* mapName);

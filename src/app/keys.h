// The mouse and keys the viewer answers, in one list: the help over the frame is packed from
// it, the web page's table is filled from it, and README's table and the man page's section
// are written from it (a test holds them to it), so that no copy can say another thing.
#pragma once

#include <cstddef>
#include <string>

struct KeyHelp {
    const char* keys;    // as the manuals name them: "Page Down / Page Up, N / P"
    const char* detail;  // README and the man page: all that it does
    const char* brief;   // the web page: a few words
    const char* panel;   // the help over the frame: the fewest words, keys included
    bool desktopOnly;    // not in a web page (Escape: a page has nothing to close)
};

extern const KeyHelp kKeyHelp[];
extern const size_t kKeyHelpCount;

// The help's lines over the frame: the panel words of every entry, in order, packed into
// lines of at most kHelpLineChars characters, two blanks apart; at most kMostHelpLines
// lines. Returns the number of lines; `lines` holds them, each NUL-terminated.
inline constexpr size_t kHelpLineChars = 48;
inline constexpr size_t kMostHelpLines = 8;
size_t PackHelpLines(char (&lines)[kMostHelpLines][kHelpLineChars + 1]);

// README's table of the mouse and keys (Markdown, "| Input | Does |" and a row per entry),
// ending in a newline.
std::string KeyTableMarkdown();

// The man page's MOUSE AND KEYS entries (roff: ".TP", ".B keys", the detail), ending in a
// newline.
std::string KeyListRoff();

// The viewer's mouse and keys, and the manuals' texts made from them.
#include "app/keys.h"

#include <cstring>

const KeyHelp kKeyHelp[] = {
    {"left drag",
     "turns the scene about the vertical axis and tilts the view (0.5 degree per pixel; the "
     "tilt stays within 89 degrees up or down)",
     "turn and tilt", "drag turn", false},
    {"right or middle drag, Shift + left drag", "pans: the picture follows the pointer", "pan",
     "right drag pan", false},
    {"wheel, + / -", "zooms toward the view's centre (a camera's view narrows instead)", "zoom",
     "wheel + - zoom", false},
    {"arrow keys",
     "turn and tilt the view in steps of 5 degrees; with --animate stopped (Space), Left and "
     "Right step the animation a frame back or on",
     "turn and tilt in steps; a stopped animation: Left, Right step a frame",
     "arrows turn (animation stopped: step)", false},
    {"Space", "stops the turn, or the animation, and starts it again", "stop or restart the turn",
     "Space stop/go", false},
    {"F", "frames the scene again from where you look", "fit the scene again", "F fit", false},
    {"R", "back to the view the file was opened with, at its first frame",
     "back to the starting view", "R first view", false},
    {"C", "the file's next camera; after the last one, the orbit view again",
     "next camera of the file", "C camera", false},
    {"W",
     "the next way of drawing, as --render: wireframe, shaded, edges, hidden line, and round "
     "again; the files opened after keep it",
     "wireframe, shaded, edges, hidden line", "W drawing", false},
    {"U",
     "the other up axis: the file's y up (a file exported y-up lies on its side) or its z up "
     "again, as --up y|z; a fixed view becomes the orbit about the origin",
     "the file's y or z up", "U up axis", false},
    {"T", "textures on or off (with --no-textures, the first T loads the scene's maps)",
     "textures on or off", "T maps", false},
    {"Page Down / Page Up, N / P", "the next / previous file of the list (going round)",
     "next, previous file", "PgDn PgUp N P file", false},
    {"F12",
     "saves the frame shown as trellis-0001.png (the next free number) in the working "
     "directory and prints its path",
     "save the frame as a PNG", "F12 save", false},
    {"H, F1",
     "help over the frame: the keys, the file's name, what it holds, the view and how it is drawn",
     "help over the frame", "H help", false},
    {"a file or folder dropped on the window", "added to the list and opened",
     "added to the list and opened", "drop a file: open", false},
    {"Escape", "ends the program", "quit", "Esc quit", true},
};

const size_t kKeyHelpCount = sizeof kKeyHelp / sizeof kKeyHelp[0];

size_t PackHelpLines(char (&lines)[kMostHelpLines][kHelpLineChars + 1]) {
    size_t count = 0;
    size_t used = 0;  // characters on the line being filled
    for (size_t i = 0; i < kKeyHelpCount; ++i) {
        const char* words = kKeyHelp[i].panel;
        const size_t length = std::strlen(words);
        const size_t gap = used > 0 ? 2 : 0;
        if (count == 0 || used + gap + length > kHelpLineChars) {
            if (count == kMostHelpLines) break;
            ++count;
            used = 0;
            lines[count - 1][0] = '\0';
        }
        char* line = lines[count - 1];
        if (used > 0) {
            std::memcpy(line + used, "  ", 2);
            used += 2;
        }
        const size_t take = length < kHelpLineChars - used ? length : kHelpLineChars - used;
        std::memcpy(line + used, words, take);
        used += take;
        line[used] = '\0';
    }
    return count;
}

std::string KeyTableMarkdown() {
    std::string table = "| Input | Does |\n|---|---|\n";
    for (size_t i = 0; i < kKeyHelpCount; ++i) {
        table += "| ";
        table += kKeyHelp[i].keys;
        table += " | ";
        table += kKeyHelp[i].detail;
        table += " |\n";
    }
    return table;
}

namespace {

// Text for roff: a minus sign is written \- (a plain - may be set as a hyphen), and a
// backslash as \e.
std::string Roff(const char* text) {
    std::string out;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '-') {
            out += "\\-";
        } else if (*c == '\\') {
            out += "\\e";
        } else {
            out += *c;
        }
    }
    return out;
}

}  // namespace

std::string KeyListRoff() {
    std::string list;
    for (size_t i = 0; i < kKeyHelpCount; ++i) {
        list += ".TP\n.B ";
        list += Roff(kKeyHelp[i].keys);
        list += "\n";
        list += Roff(kKeyHelp[i].detail);
        list += "\n";
    }
    return list;
}

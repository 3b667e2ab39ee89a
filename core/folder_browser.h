// The folder browser: the shell's modal folder dialog, made larger, without a context-help
// button, with its edit box only when asked, and with OK enabled only on real folders.
#pragma once

#include <windows.h>

#include <cstdint>

// The root argument that shows the whole shell namespace.
constexpr int kBrowseWholeNamespace = -1;
// Smallest result buffer BrowseForFolder accepts (a full path).
constexpr int kBrowseResultMinSize = 260;

// The initial-folder argument for a shell special folder (a CSIDL number, 0xFFFF or less);
// CSIDL_DESKTOP (0) cannot be given this way, since 0 means no initial folder.
inline const char* SpecialFolderStart(int csidl) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(csidl));
}

// Shows the dialog and answers true when the user chose a folder that has a file-system path,
// which is then in outPath (at most outSize - 1 bytes; outSize below 260 or no buffer answers
// false at once, outPath is cleared otherwise).
//   initialFolder: a path, a SpecialFolderStart number or null (then, without a root, the
//                  current directory);
//   root: a CSIDL number that becomes the root of the tree, or kBrowseWholeNamespace;
//   caption: the dialog's title (null or empty keeps the shell's);
//   editBox: shows the shell's edit box.
bool BrowseForFolder(HWND owner, const char* initialFolder, int root, const char* caption,
                     char* outPath, int outSize, bool editBox);

// The layout the dialog gets when it opens (client coordinates, 10-pixel margins): 40 pixels
// wider and 30 taller (the edit box's height + 35 with the edit box), Cancel in the bottom-right
// corner with OK left of it in Cancel's size, the edit box across the top when editBox (else
// moved out of sight and hidden), and the tree ("SysTreeView32", else the namespace control)
// filling the rest. Without a tree nothing changes.
void LayOutFolderDialog(HWND dialog, bool editBox);

// The folder browser (screen 6): the sub-folders of a folder, each with the
// folder icon and, when it has sub-folders itself, an arrow at the right.
// Tapping the arrow opens that folder; tapping the row makes it the library
// folder (SetLibrary) and shows the song list. The title bar's "Up" button
// goes to the parent folder; the hint line above the bottom bar says so.
//
// The browser opens in the folder it was last left in (at first the parent
// of the music folder). Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/screen.h"
#include "library/scan.h"
#include "screens/list_view.h"

namespace kra {

struct FolderBrowser {
    std::u16string shownFolder;  // the folder whose sub-folders are listed
    std::u16string openFolder;   // where the browser opens next time
    std::vector<BrowseEntry> entries;
    std::u16string header;
    ListView list;
};

extern FolderBrowser g_folderBrowser;

void LayoutFolderBrowser(const Screen& screen);
// Lists the remembered folder and shows screen 6.
void OpenFolderBrowser();
// Lists `folder` in the browser (without changing screens).
void BrowseFolder(const std::u16string& folder);
bool FolderBrowserAtRoot();
std::u16string FolderBrowserHeader();
// The title bar's "Up": the parent folder; what is remembered stays.
void FolderBrowserUp();
// A tap on row `row` at x: the arrow opens the sub-folder, the rest of the
// row sets the library.
void ChooseFolderRow(int32_t row, int32_t x);
// The full path of an entry.
std::u16string FolderEntryPath(const BrowseEntry& entry);
void InstallFolderBrowser();
void ResetFolderBrowser();

}  // namespace kra

#pragma once
// The main window as its design draws it, the same for both front ends: the client area, each
// component's place, the texts it shows, the song list's columns and the pop-up menu's items.
// Texts are UTF-8; each toolkit converts them for its calls. Each front end keeps only what its
// toolkit needs (styles, fonts, colours, focus handling).

#include <array>
#include <string_view>

#include "service/song_list.h"

namespace ornivel::layout {

// A component's place in the client area, in pixels.
struct Place {
  int x;
  int y;
  int width;
  int height;
};

inline constexpr std::string_view kWindowTitle = "Ornivel";
inline constexpr int kClientWidth = 640;
inline constexpr int kClientHeight = 362;

// The components, in the order of the window design; none of them overlap. Their names are the
// design's own.
inline constexpr Place kSaveFolderBox{102, 321, 144, 24};    // 编辑框_保存, read-only
inline constexpr Place kSaveFolderCaption{14, 321, 80, 24};  // 透明标签2
inline constexpr std::string_view kSaveFolderCaptionText = "下载保存目录：";
inline constexpr Place kSearchCaption{258, 321, 90, 24};  // 透明标签1
inline constexpr std::string_view kSearchCaptionText = "输入歌曲/歌手：";
inline constexpr Place kSongList{5, 5, 627, 299};      // 超级列表框1
inline constexpr Place kSearchBox{345, 321, 168, 24};  // 编辑框_搜索
inline constexpr std::string_view kSearchBoxText = "告白气球";
inline constexpr Place kSearchButton{526, 319, 98, 26};  // 按钮_搜索
inline constexpr std::string_view kSearchButtonText = "搜索";

// The song list's columns, by the row contract's column numbers.
struct Column {
  std::string_view header;
  int width;  // 0: present for the list operations, never shown
};
inline constexpr std::array<Column, kColumnCount> kSongListColumns = {{
    {"id", 35},
    {"歌曲名称", 150},
    {"歌手", 100},
    {"专辑", 150},
    {"rid", 0},
    {"点击歌曲获取地址", 170},
}};
static_assert(kSongListColumns[kColumnIdentifier].width == 0, "the identifier is never shown");

// SongListMenu, the song list's pop-up menu: its title and its items, in order.
inline constexpr std::string_view kMenuTitle = "菜单";
enum class MenuItem { kCopyAddress, kDownload, kChooseFolder, kTip };
inline constexpr std::array<std::string_view, 4> kMenuItemTexts = {"复制歌曲地址", "下载此歌曲",
                                                                   "更改保存目录", "实现小目标"};

}  // namespace ornivel::layout

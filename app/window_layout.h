#pragma once
// The windows as their design draws them, the same for both front ends: the main window's client
// area, each component's place, the texts it shows, the song list's columns and the pop-up
// menu's items; the tip dialog's; the message boxes' title. Texts are UTF-8; each toolkit
// converts them for its calls. Each front end keeps only what its toolkit needs (styles, fonts,
// focus handling).

#include <array>
#include <cstddef>
#include <string_view>

#include "service/song_list.h"

namespace ornivel::layout {

// A rectangle of a client area, in pixels: its top left corner and its size.
struct Rect {
  int x;
  int y;
  int dx;
  int dy;
};

// A colour by its red, green and blue parts.
struct Colour {
  int red;
  int green;
  int blue;
};

// The frame the design draws around a client area (its borders and title bar): where a toolkit
// cannot tell its own frame before the window is shown, the outer size a window is centred by is
// its client area with this frame around it.
inline constexpr int kDesignFrameWidth = 6;
inline constexpr int kDesignFrameHeight = 31;

// The title of every message box of the program, and what it says when its window cannot be
// made.
inline constexpr std::string_view kMessageTitle = "信息：";
inline constexpr std::string_view kStartFailedText = "载入启动窗口失败";

inline constexpr std::string_view kWindowTitle = "Ornivel";
inline constexpr int kClientWidth = 640;
inline constexpr int kClientHeight = 362;

// The components, in the order of the window design; none of them overlap. Their names are the
// design's own.
inline constexpr Rect kSaveFolderBox{102, 321, 144, 24};    // 编辑框_保存, read-only
inline constexpr Rect kSaveFolderCaption{14, 321, 80, 24};  // 透明标签2
inline constexpr std::string_view kSaveFolderCaptionText = "下载保存目录：";
inline constexpr Rect kSearchCaption{258, 321, 90, 24};  // 透明标签1
inline constexpr std::string_view kSearchCaptionText = "输入歌曲/歌手：";
inline constexpr Rect kSongList{5, 5, 627, 299};      // 超级列表框1
inline constexpr Rect kSearchBox{345, 321, 168, 24};  // 编辑框_搜索
inline constexpr std::string_view kSearchBoxText = "告白气球";
inline constexpr Rect kSearchButton{526, 319, 98, 26};  // 按钮_搜索
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
enum class MenuItem { kCopyAddress, kDownload, kChangeFolder, kTip };
inline constexpr std::array<std::string_view, 4> kMenuItemTexts = {"复制歌曲地址", "下载此歌曲",
                                                                   "更改保存目录", "实现小目标"};
inline constexpr std::array<MenuItem, 4> kMenuItems = {MenuItem::kCopyAddress, MenuItem::kDownload,
                                                       MenuItem::kChangeFolder, MenuItem::kTip};
[[nodiscard]] constexpr std::string_view MenuItemText(MenuItem item) {
  return kMenuItemTexts[static_cast<std::size_t>(item)];
}

// The tip dialog of 实现小目标: two pink labels over the tip picture. A label's text taller than
// its rectangle runs on below it, over the dialog; only the rectangle is filled.
namespace tip {

inline constexpr std::string_view kTitle = "   微信扫一扫，打赏作者";
inline constexpr int kClientWidth = 379;
inline constexpr int kClientHeight = 334;

struct Label {
  std::string_view name;  // the design's
  Rect place;
  std::string_view text;
};
inline constexpr std::array<Label, 2> kLabels = {{
    {"标签1", {76, 8, 228, 19}, "某的小目标，你准备贡献多少？"},
    {"标签2", {40, 286, 304, 34}, "不打赏？！大坏蛋，人家要拿小拳拳捶你胸口，(?\?ˇ?ˇ?\?)哼！"},
}};
inline constexpr Colour kLabelFill{255, 168, 255};
inline constexpr Colour kLabelText{128, 0, 128};
inline constexpr int kLabelFontPixels = 16;  // character height, normal weight

// The picture, stretched to fill its box without keeping its aspect ratio.
inline constexpr std::string_view kPictureName = "图片框2";
inline constexpr Rect kPicture{66, 35, 243, 243};

}  // namespace tip

}  // namespace ornivel::layout

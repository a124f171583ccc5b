#pragma once
// The song list: the only store of search results, and the row contract every part of the song
// service shares.
//
// Each row holds six text cells (GBK):
//   0 the row's 1-based number, 1 the song title, 2 the singer, 3 the album,
//   4 the song's identifier at the service (a column of width 0: present but not visible),
//   5 the download address, or a lookup's or a download's status text in its place.
// Indexes of rows and columns are 0-based.
//
// The operations may be called from any thread: a call from a worker is carried out on the
// window thread while the worker waits, so every operation is atomic with respect to the others
// (a sequence of them is not; SetCellTextIfHolds is one operation for that reason). Once the
// window is gone they do nothing and return empty results.

#include <string>

namespace ornivel {

inline constexpr int kColumnNumber = 0;
inline constexpr int kColumnTitle = 1;
inline constexpr int kColumnSinger = 2;
inline constexpr int kColumnAlbum = 3;
inline constexpr int kColumnIdentifier = 4;
inline constexpr int kColumnAddress = 5;
inline constexpr int kColumnCount = 6;

class SongList {
 public:
  virtual ~SongList() = default;

  virtual void DeleteAllRows() = 0;
  // Adds a row of empty cells after the last; its index, or -1 when none could be added.
  virtual int AppendRow() = 0;
  // Sets one cell; a row or column that does not exist is ignored.
  virtual void SetCellText(int row, int column, const std::string& text) = 0;
  // One cell's text; empty for a row or column that does not exist.
  [[nodiscard]] virtual std::string GetCellText(int row, int column) = 0;
  // The selected row, -1 when none is.
  [[nodiscard]] virtual int SelectedRow() = 0;
  // Sets one cell only while cell `keyColumn` of the same row holds `key`, checked and written
  // in one step: a worker's result never lands in a row that a new search has refilled with
  // another song. Whether the cell was set.
  virtual bool SetCellTextIfHolds(int row, int column, const std::string& text, int keyColumn,
                                  const std::string& key) = 0;
};

}  // namespace ornivel

#pragma once
// What the song service asks of the user and of the rest of the window besides the list.
// Every operation may be called from any thread.

#include <string>

namespace ornivel {

enum class MessageIcon { kNone, kInformation, kError };

class Prompts {
 public:
  virtual ~Prompts() = default;

  // The text of the search box (GBK).
  [[nodiscard]] virtual std::string SearchText() = 0;
  // A message box titled "信息：" that the caller waits for.
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // A worker's yes/no question (no icon). It belongs to no window: the main window stays
  // usable and no other dialog blocks it while the worker waits for the answer. True for Yes.
  [[nodiscard]] virtual bool AskYesNo(const std::string& text) = 0;
  // Puts a GBK text on the clipboard; failures are silent.
  virtual void SetClipboardText(const std::string& text) = 0;
};

}  // namespace ornivel

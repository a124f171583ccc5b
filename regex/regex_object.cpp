#include "regex/regex_object.h"

#include <cstdint>

#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {
RegexObject::RegexObject() : engine_(CreateRegexEngine()) {}

RegexObject::~RegexObject() = default;

bool RegexObject::Create(std::string_view pattern, std::string_view subject,
                         const RegexOptions& options) {
  const std::string effectivePattern =
      options.quoteToken ? TextReplace(pattern, kQuotePlaceholder, "\"") : std::string(pattern);
  // Texts end at their first NUL, here as in every conversion.
  subject_.assign(subject.substr(0, subject.find('\0')));
  subject16_ = TextToUtf16(subject_, kCodePageSystem);
  unitIndex_ = GbkUnitIndex(subject_, subject16_);
  const RegexEngineOptions engineOptions{.ignoreCase = !options.caseSensitive,
                                         .multiline = options.multiline,
                                         .global = options.global};
  if (engine_->Execute(TextToUtf16(effectivePattern, kCodePageSystem), engineOptions, subject16_)) {
    return true;
  }
  // The engine holds nothing of this run or an earlier one; neither does the object.
  subject_.clear();
  subject16_.clear();
  unitIndex_ = GbkUnitIndex();
  return false;
}

int RegexObject::MatchCount() const {
  return static_cast<int>(engine_->MatchCount());
}

std::string RegexObject::SubMatchText(int match, int group) const {
  if (match < 1 || group < 1) return {};
  const auto text =
      engine_->MatchGroup(static_cast<std::size_t>(match - 1), static_cast<std::size_t>(group));
  return text ? Narrow(*text) : std::string();
}

std::string RegexObject::MatchText(int match) const {
  if (match < 1) return {};
  const auto text = engine_->MatchGroup(static_cast<std::size_t>(match - 1), 0);
  return text ? Narrow(*text) : std::string();
}

int RegexObject::SubMatchCount() const {
  return engine_->MatchCount() == 0 ? 0 : static_cast<int>(engine_->GroupCount());
}

std::string RegexObject::GetPattern() const {
  return Utf16ToText(engine_->Pattern());
}

std::string RegexObject::ReplaceMatches(std::string_view replacement) const {
  const auto replaced = engine_->Replace(TextToUtf16(replacement, kCodePageSystem));
  return replaced ? Utf16ToText(*replaced) : std::string();
}

std::string RegexObject::Narrow(std::u16string_view units) const {
  // A group that lies inside the subject is cut from the GBK bytes: the same text the code page
  // would give back, without converting it again.
  const auto base = reinterpret_cast<std::uintptr_t>(subject16_.data());
  const auto at = reinterpret_cast<std::uintptr_t>(units.data());
  if (!unitIndex_.empty() && at >= base &&
      at + units.size() * sizeof(char16_t) <= base + subject16_.size() * sizeof(char16_t)) {
    const auto first = (at - base) / sizeof(char16_t);
    const std::size_t begin = unitIndex_.ByteOffset(first);
    const std::size_t end = unitIndex_.ByteOffset(first + units.size());
    return subject_.substr(begin, end - begin);
  }
  return Utf16ToText(units);
}

}  // namespace ornivel

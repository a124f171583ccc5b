// The regular-expression engine over the platform's "VBScript.RegExp" automation class, every
// property and method reached by name. COM is initialised for the thread while the engine lives.
#include "regex/automation.h"
#include "regex/regex_engine.h"

namespace ornivel {
namespace {

class VbscriptEngine final : public RegexEngine {
 public:
  bool Execute(std::u16string_view pattern, const RegexEngineOptions& options,
               std::u16string_view subject) override {
    matches_.Reset();
    last_.clear();
    engine_ = CreateAutomationObject(L"VBScript.RegExp");
    subject_.assign(subject);
    Variant ignoreCase = Variant::Bool(options.ignoreCase);
    Variant multiline = Variant::Bool(options.multiline);
    Variant global = Variant::Bool(options.global);
    Variant patternText = Variant::String(std::u16string(pattern));
    PutProperty(engine_.get(), L"IgnoreCase", ignoreCase);
    PutProperty(engine_.get(), L"Multiline", multiline);
    PutProperty(engine_.get(), L"Global", global);
    PutProperty(engine_.get(), L"Pattern", patternText);
    Variant subjectText = Variant::String(subject_);
    Variant collection;
    if (SUCCEEDED(CallMethod(engine_.get(), L"Execute", &collection, &subjectText))) {
      matches_ = collection.Object();
    }
    if (!matches_) subject_.clear();  // nothing of this run or an earlier one is held
    return static_cast<bool>(matches_);
  }

  std::size_t MatchCount() const override {
    Variant count;
    if (FAILED(GetProperty(matches_.get(), L"Count", &count))) return 0;
    const long n = count.Number();
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }

  std::size_t GroupCount() const override {
    ComPtr<IDispatch> first = Match(0);
    Variant subMatches, count;
    if (FAILED(GetProperty(first.get(), L"SubMatches", &subMatches))) return 0;
    ComPtr<IDispatch> groups = subMatches.Object();
    if (FAILED(GetProperty(groups.get(), L"Count", &count))) return 0;
    const long n = count.Number();
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }

  std::optional<std::u16string_view> MatchGroup(std::size_t match,
                                                std::size_t group) const override {
    ComPtr<IDispatch> item = Match(match);
    if (!item) return std::nullopt;
    Variant value;
    if (group == 0) {
      if (FAILED(GetProperty(item.get(), L"Value", &value))) return std::nullopt;
    } else {
      Variant subMatches;
      if (FAILED(GetProperty(item.get(), L"SubMatches", &subMatches))) return std::nullopt;
      ComPtr<IDispatch> groups = subMatches.Object();
      Variant index = Variant::Long(static_cast<long>(group - 1));
      // A group that took no part is an empty variant: the empty text.
      if (FAILED(GetProperty(groups.get(), L"Item", &value, &index))) return std::nullopt;
    }
    last_ = value.Text();
    return std::u16string_view(last_);
  }

  std::u16string Pattern() const override {
    Variant pattern;
    if (FAILED(GetProperty(engine_.get(), L"Pattern", &pattern))) return {};
    return pattern.Text();
  }

  std::optional<std::u16string> Replace(std::u16string_view replacement) const override {
    if (!matches_) return std::nullopt;
    Variant subject = Variant::String(subject_);
    Variant with = Variant::String(std::u16string(replacement));
    Variant replaced;
    if (FAILED(CallMethod(engine_.get(), L"Replace", &replaced, &subject, &with))) {
      return std::nullopt;
    }
    return replaced.Text();
  }

 private:
  ComPtr<IDispatch> Match(std::size_t index) const {
    Variant position = Variant::Long(static_cast<long>(index));
    Variant item;
    if (FAILED(GetProperty(matches_.get(), L"Item", &item, &position))) return {};
    return item.Object();
  }

  ComScope com_;  // first in, last out: COM outlives the objects below
  ComPtr<IDispatch> engine_;
  ComPtr<IDispatch> matches_;
  std::u16string subject_;
  mutable std::u16string last_;  // backs the view MatchGroup returns
};

}  // namespace

std::unique_ptr<RegexEngine> CreateRegexEngine() { return std::make_unique<VbscriptEngine>(); }

}  // namespace ornivel

#include "http/fetch_session.h"

#include <string>
#include <vector>

#include "text/ascii.h"

namespace ornivel {

std::vector<std::string> RangeHeaderLines(const FetchRange& range) {
  if (range.from <= 0 || range.ifRange.empty() || HasAsciiControl(range.ifRange)) return {};
  return {"Range: bytes=" + std::to_string(range.from) + "-", "If-Range: " + range.ifRange};
}

}  // namespace ornivel

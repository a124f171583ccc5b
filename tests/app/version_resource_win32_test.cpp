// The version blocks of the shipped programs, read back as Windows reads them for the file's
// properties.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ornivel {
namespace {

struct VersionBlock {
  VS_FIXEDFILEINFO fixed{};
  std::wstring productName, productVersion, fileVersion, description, originalName;
};

std::wstring Text(const std::vector<BYTE>& data, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  if (!VerQueryValueW(data.data(), path.c_str(), &value, &length) || length == 0) return {};
  return std::wstring(static_cast<const wchar_t*>(value), length - 1);  // without its zero
}

bool ReadVersionBlock(const std::wstring& file, VersionBlock& block) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return false;
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", &fixed, &length) || length < sizeof block.fixed) {
    return false;
  }
  block.fixed = *static_cast<const VS_FIXEDFILEINFO*>(fixed);
  block.productName = Text(data, L"ProductName");
  block.productVersion = Text(data, L"ProductVersion");
  block.fileVersion = Text(data, L"FileVersion");
  block.description = Text(data, L"FileDescription");
  block.originalName = Text(data, L"OriginalFilename");
  return true;
}

std::wstring Wide(const char* ascii) {
  return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

TEST(VersionResourceTest, BothProgramsCarryTheProjectVersionAndTheirNames) {
  const struct {
    const char* path;
    const wchar_t* fileName;
  } programs[] = {{ORNIVEL_EXE, L"ornivel.exe"}, {ORNIVEL_DL_EXE, L"ornivel-dl.exe"}};
  for (const auto& program : programs) {
    SCOPED_TRACE(program.path);
    VersionBlock block;
    ASSERT_TRUE(ReadVersionBlock(Wide(program.path), block));
    EXPECT_EQ(block.fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(block.fixed.dwFileVersionMS,
              static_cast<DWORD>((ORNIVEL_VERSION_MAJOR << 16) | ORNIVEL_VERSION_MINOR));
    EXPECT_EQ(block.fixed.dwFileVersionLS, static_cast<DWORD>(ORNIVEL_VERSION_PATCH << 16));
    EXPECT_EQ(block.fixed.dwProductVersionMS, block.fixed.dwFileVersionMS);
    EXPECT_EQ(block.productName, L"Ornivel");
    EXPECT_EQ(block.fileVersion, Wide(ORNIVEL_VERSION));
    EXPECT_EQ(block.productVersion, Wide(ORNIVEL_VERSION));
    EXPECT_EQ(block.originalName, program.fileName);
    EXPECT_NE(block.description.find(L"Ornivel"), std::wstring::npos) << "no description";
  }
}

}  // namespace
}  // namespace ornivel

#include "service/file_error.h"

#include "text/text_convert.h"

namespace ornivel {

std::string FileErrorWords(FileError error) {
  switch (error) {
    case FileError::kNone:
      return std::string();
    case FileError::kNotFound:
      return Utf8ToGbk("文件夹不存在");
    case FileError::kNoPermission:
      return Utf8ToGbk("没有权限");
    case FileError::kDiskFull:
      return Utf8ToGbk("磁盘已满");
    case FileError::kBadName:
      return Utf8ToGbk("文件名无效");
    case FileError::kNotAFile:
      return Utf8ToGbk("不是普通文件");
    case FileError::kNameTaken:
      return Utf8ToGbk("文件已经存在");
    case FileError::kInUse:
      return Utf8ToGbk("文件正被其他程序使用");
    case FileError::kOther:
      break;
  }
  return Utf8ToGbk("系统错误");
}

}  // namespace ornivel

#include "http/http_failure.h"

#include "text/text_convert.h"

namespace ornivel {

std::string HttpFailureMessage(HttpFailure failure) {
  switch (failure) {
    case HttpFailure::kNone:
      break;
    case HttpFailure::kNoPlatformSupport:
      return Utf8ToGbk("700 当前系统不支持WinHttp服务!");
    case HttpFailure::kBadUrl:
      return Utf8ToGbk("701 解析URL地址失败!");
    case HttpFailure::kSession:
      return Utf8ToGbk("702 创建WinHttp会话失败!");
    case HttpFailure::kConnection:
      return Utf8ToGbk("703 创建WinHttp连接失败!");
    case HttpFailure::kRequest:
      return Utf8ToGbk("704 创建WinHttp请求失败!");
    case HttpFailure::kTimeouts:
      return Utf8ToGbk("705 设置超时时间失败!");
    case HttpFailure::kCredentials:
      return Utf8ToGbk("707 设置代理凭证失败!");
    case HttpFailure::kCookieOption:
      return Utf8ToGbk("708 禁止自动设置Cookies失败!");
    case HttpFailure::kRedirectOption:
      return Utf8ToGbk("709 重定向设置失败!");
    case HttpFailure::kHeaders:
      return Utf8ToGbk("710 设置协议头失败!");
    case HttpFailure::kSend:
      return Utf8ToGbk("711 发送请求失败!");
    case HttpFailure::kNoResponse:
      return Utf8ToGbk("712 服务器未响应!");
    case HttpFailure::kRead:
      return Utf8ToGbk("713 读取数据失败!");
  }
  return {};
}

}  // namespace ornivel

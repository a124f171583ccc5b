#include "win/com.h"

#include <ole2.h>
#include <oleauto.h>

#include <climits>
#include <cstring>
#include <cwchar>

namespace ornivel {

Variant Variant::Bool(bool value) {
  Variant v;
  v.v_.vt = VT_BOOL;
  v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Long(long value) {
  Variant v;
  v.v_.vt = VT_I4;
  v.v_.lVal = value;
  return v;
}

Variant Variant::String(std::u16string_view value) {
  Variant v;
  v.v_.vt = VT_BSTR;
  v.v_.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.data()),
                                   static_cast<UINT>(value.size()));
  return v;
}

Variant Variant::Bytes(std::span<const std::uint8_t> value) {
  Variant v;
  if (static_cast<std::uint64_t>(value.size()) > ULONG_MAX) return v;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(value.size()));
  if (array == nullptr) return v;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) {
    SafeArrayDestroy(array);
    return v;
  }
  if (!value.empty()) std::memcpy(data, value.data(), value.size());
  SafeArrayUnaccessData(array);
  v.v_.vt = VT_ARRAY | VT_UI1;
  v.v_.parray = array;
  return v;
}

std::u16string Variant::Text() const {
  if (v_.vt == VT_BSTR) {
    if (v_.bstrVal == nullptr) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(v_.bstrVal), SysStringLen(v_.bstrVal));
  }
  if (v_.vt == VT_EMPTY || v_.vt == VT_NULL) return {};
  VARIANT converted;
  VariantInit(&converted);
  std::u16string text;
  if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&v_), 0, VT_BSTR)) &&
      converted.bstrVal != nullptr) {
    text.assign(reinterpret_cast<const char16_t*>(converted.bstrVal),
                SysStringLen(converted.bstrVal));
  }
  VariantClear(&converted);
  return text;
}

long Variant::Number() const {
  VARIANT converted;
  VariantInit(&converted);
  long number = 0;
  // Read as a floating-point number and truncated toward zero.
  if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&v_), 0, VT_R8))) {
    number = static_cast<long>(converted.dblVal);
  }
  VariantClear(&converted);
  return number;
}

ComPtr<IDispatch> Variant::Object() const {
  ComPtr<IDispatch> object;
  if (v_.vt == VT_DISPATCH && v_.pdispVal != nullptr) {
    v_.pdispVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.Out()));
  }
  return object;
}

ComPtr<IDispatch> CreateAutomationObject(const wchar_t* progId) {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(progId, &clsid))) return {};
  ComPtr<IUnknown> unknown;
  DWORD contexts =
      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
  HRESULT hr = CoCreateInstance(clsid, nullptr, contexts, IID_IUnknown,
                                reinterpret_cast<void**>(unknown.Out()));
  if (hr == E_INVALIDARG) {
    contexts &= ~static_cast<DWORD>(CLSCTX_REMOTE_SERVER);
    hr = CoCreateInstance(clsid, nullptr, contexts, IID_IUnknown,
                          reinterpret_cast<void**>(unknown.Out()));
  }
  if (FAILED(hr) || !unknown) return {};
  if (FAILED(OleRun(unknown.get()))) return {};
  ComPtr<IDispatch> object;
  unknown.get()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.Out()));
  return object;
}

namespace {

HRESULT InvokeMember(IDispatch* dispatch, DISPID member, WORD flags, Variant* result,
                     VARIANTARG* arguments, UINT count, bool put) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{arguments, put ? &named : nullptr, count, put ? 1u : 0u};
  return dispatch->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                          result != nullptr ? result->get() : nullptr, nullptr, nullptr);
}

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, Variant* result,
               VARIANTARG* arguments, UINT count, bool put) {
  if (object == nullptr) return E_POINTER;
  // Each call asks the object for IDispatch anew and finds the member by its name.
  ComPtr<IDispatch> dispatch;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Out())))) {
    return E_NOINTERFACE;
  }
  DISPID member = 0;
  auto* memberName = const_cast<LPOLESTR>(name);
  HRESULT hr =
      dispatch.get()->GetIDsOfNames(IID_NULL, &memberName, 1, LOCALE_USER_DEFAULT, &member);
  if (FAILED(hr)) return hr;
  return InvokeMember(dispatch.get(), member, flags, result, arguments, count, put);
}

}  // namespace

HRESULT MemberIds::Find(IDispatch* object, const wchar_t* name, DISPID& id) {
  for (const auto& [known, knownId] : ids_) {
    if (known == name || wcscmp(known, name) == 0) {
      id = knownId;
      return S_OK;
    }
  }
  auto* memberName = const_cast<LPOLESTR>(name);
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, &memberName, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr)) ids_.emplace_back(name, id);
  return hr;
}

HRESULT GetProperty(IDispatch* object, MemberIds& ids, const wchar_t* name, Variant* result,
                    Variant* argument) {
  if (object == nullptr) return E_POINTER;
  DISPID member = 0;
  if (const HRESULT hr = ids.Find(object, name, member); FAILED(hr)) return hr;
  return InvokeMember(object, member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, result,
                      argument != nullptr ? argument->get() : nullptr, argument != nullptr ? 1 : 0,
                      false);
}

HRESULT PutProperty(IDispatch* object, const wchar_t* name, Variant& value) {
  return Invoke(object, name, DISPATCH_PROPERTYPUT, nullptr, value.get(), 1, true);
}

HRESULT GetProperty(IDispatch* object, const wchar_t* name, Variant* result, Variant* argument) {
  return Invoke(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, result,
                argument != nullptr ? argument->get() : nullptr, argument != nullptr ? 1 : 0,
                false);
}

HRESULT CallMethod(IDispatch* object, const wchar_t* name, Variant* result, Variant* first,
                   Variant* second) {
  // Automation takes its arguments last first.
  VARIANTARG arguments[2];
  UINT count = 0;
  if (second != nullptr) arguments[count++] = second->value();
  if (first != nullptr) arguments[count++] = first->value();
  return Invoke(object, name, DISPATCH_METHOD, result, count > 0 ? arguments : nullptr, count,
                false);
}

}  // namespace ornivel

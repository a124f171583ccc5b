#pragma once
// COM for the Windows backends and the window: the apartment of a thread, owned variants, and
// automation objects made by ProgID and reached by member name through IDispatch (the
// regular-expression class, the stream class of the response decoding). COM pointers are
// unique_owner.h's ComPtr. Windows only.

#include <oaidl.h>
#include <objbase.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win/unique_owner.h"

namespace ornivel {

// An owned VARIANT, cleared when it goes.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant& operator=(Variant&&) = delete;

  static Variant Bool(bool value);
  static Variant Long(long value);
  static Variant String(std::u16string_view value);
  // A one-dimensional array of unsigned bytes (VT_ARRAY | VT_UI1); empty when it cannot be made.
  static Variant Bytes(std::span<const std::uint8_t> value);

  VARIANT* get() { return &v_; }
  const VARIANT& value() const { return v_; }
  // The value as text (an empty variant, or one that converts to no text, gives "").
  std::u16string Text() const;
  // The value as a number (a count), truncated toward zero; 0 when it is none.
  long Number() const;
  // The value as an automation object; null when it is none.
  ComPtr<IDispatch> Object() const;

 private:
  VARIANT v_;
};

// Initialises COM for the calling thread for the life of the object, as many times as it is
// made. Only an initialisation that took place (S_OK, or S_FALSE when the thread already had
// COM) is balanced by CoUninitialize; one that failed (RPC_E_CHANGED_MODE on a thread of another
// apartment kind, for instance) left nothing to undo, and uninitialising anyway would take away
// an initialisation that belongs to someone else on the thread.
class ComScope {
 public:
  ComScope() {
    const HRESULT hr = CoInitialize(nullptr);
    initialised_ = hr == S_OK || hr == S_FALSE;
  }
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_ = false;
};

// A new automation object of the class `progId`: the class id is looked up, CoCreateInstance
// asks for IUnknown with the in-process, handler, local and remote server contexts (again
// without the remote one when that is refused with E_INVALIDARG), and the object is started
// with OleRun. Null when any step fails.
[[nodiscard]] ComPtr<IDispatch> CreateAutomationObject(const wchar_t* progId);

// The dispatch ids of the members of one kind of automation object (every object of one class
// shares them), each looked up by its name the first time it is used and then kept, so that a
// loop over many objects of the kind asks for each name once. `name` must be a literal.
class MemberIds {
 public:
  [[nodiscard]] HRESULT Find(IDispatch* object, const wchar_t* name, DISPID& id);

 private:
  std::vector<std::pair<const wchar_t*, DISPID>> ids_;
};

// Reads a property (or calls a method that takes at most one argument) through the ids of the
// object's kind. S_OK or the failure; `result` may be null.
HRESULT GetProperty(IDispatch* object, MemberIds& ids, const wchar_t* name, Variant* result,
                    Variant* argument = nullptr);

// Member calls by name. Each returns S_OK or the failure; `result` may be null.
HRESULT PutProperty(IDispatch* object, const wchar_t* name, Variant& value);
HRESULT GetProperty(IDispatch* object, const wchar_t* name, Variant* result,
                    Variant* argument = nullptr);
HRESULT CallMethod(IDispatch* object, const wchar_t* name, Variant* result,
                   Variant* first = nullptr, Variant* second = nullptr);

}  // namespace ornivel

#include "app/win32/accessible_name.h"

#include <commctrl.h>
#include <oleacc.h>

#include <atomic>
#include <utility>

#include "win/com.h"
#include "win/system_library.h"
#include "win/unique_owner.h"

namespace ornivel {
namespace {

// The identifiers oleacc.h declares, defined here: its import library carries no data.
constexpr CLSID kAccPropServicesClass = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr MSAAPROPID kNameProperty = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
constexpr IID kAccessibleInterface = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

ComPtr<IAccPropServices> PropertyService() {
  ComPtr<IAccPropServices> service;
  if (FAILED(CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                              kAccPropServicesInterface,
                              reinterpret_cast<void**>(service.Out())))) {
    return {};
  }
  return service;
}

bool Annotate(HWND component, const std::wstring& name) {
  const ComScope com;
  const ComPtr<IAccPropServices> service = PropertyService();
  return service &&
         SUCCEEDED(service.get()->SetHwndPropStr(component, static_cast<DWORD>(OBJID_CLIENT),
                                                 CHILDID_SELF, kNameProperty, name.c_str()));
}

// The annotation goes with the component: a window made later under the same handle is not
// named by it.
void ClearAnnotation(HWND component) {
  const ComScope com;
  const ComPtr<IAccPropServices> service = PropertyService();
  if (!service) return;
  MSAAPROPID property = kNameProperty;
  service.get()->ClearHwndProps(component, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                &property, 1);
}

// oleacc's functions for the component's own answer, taken by name when first needed.
struct Oleacc {
  using CreateStdAccessibleObjectFunction = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  using LresultFromObjectFunction = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  CreateStdAccessibleObjectFunction createStandard = nullptr;
  LresultFromObjectFunction lresultFromObject = nullptr;

  static const Oleacc& Get() {
    static const Oleacc functions = [] {
      const HMODULE module = LoadSystemLibrary(L"oleacc.dll");
      return Oleacc{
          SystemFunction<CreateStdAccessibleObjectFunction>(module, "CreateStdAccessibleObject"),
          SystemFunction<LresultFromObjectFunction>(module, "LresultFromObject")};
    }();
    return functions;
  }
};

// The component's standard accessible object with another name for the component itself;
// everything else is the standard object's. A COM object is deleted by its own Release, never
// through its interface, which has no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class NamedAccessible final : public IAccessible, public IOleWindow {
 public:
  NamedAccessible(HWND component, ComPtr<IAccessible> standard, const std::wstring& name)
      : component_(component), standard_(std::move(standard)), name_(name) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kAccessibleInterface)) {
      *object = static_cast<IAccessible*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow)) {
      *object = static_cast<IOleWindow*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return standard_.get()->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_.get()->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return standard_.get()->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* wrong) override {
    return standard_.get()->Invoke(id, iid, locale, flags, parameters, result, exception, wrong);
  }

  // IAccessible: the name of the component itself is ours.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    if (child.vt == VT_I4 && child.lVal == CHILDID_SELF) {
      *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
      return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    return standard_.get()->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return standard_.get()->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return standard_.get()->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_.get()->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_.get()->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return standard_.get()->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return standard_.get()->get_accRole(child, role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return standard_.get()->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return standard_.get()->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_.get()->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
    return standard_.get()->get_accKeyboardShortcut(child, keys);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    return standard_.get()->get_accFocus(child);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return standard_.get()->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_.get()->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG how, VARIANT child) override {
    return standard_.get()->accSelect(how, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    return standard_.get()->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_.get()->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    return standard_.get()->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return standard_.get()->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return standard_.get()->put_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return standard_.get()->put_accValue(child, value);
  }

  // IOleWindow: the window the object is, which readers map their events to.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = component_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  ~NamedAccessible() = default;

  HWND component_;
  ComPtr<IAccessible> standard_;
  std::wstring name_;
  std::atomic<ULONG> references_{1};
};
#pragma GCC diagnostic pop

constexpr UINT_PTR kNamingSubclass = 0x4F524E41;  // a number of our own among the subclasses

// What a named component keeps: its name, and whether the system's service holds it.
struct Naming {
  std::wstring name;
  bool annotated = false;
};

// The component's procedure in front of its own: where the service took no annotation, its
// accessible object, on request, is named; either way, the name goes when the component goes.
LRESULT CALLBACK NamingProcedure(HWND component, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR, DWORD_PTR data) {
  auto* naming = reinterpret_cast<Naming*>(data);
  if (message == WM_GETOBJECT && !naming->annotated && static_cast<LONG>(lParam) == OBJID_CLIENT) {
    const Oleacc& oleacc = Oleacc::Get();
    ComPtr<IAccessible> standard;
    if (SUCCEEDED(oleacc.createStandard(component, OBJID_CLIENT, kAccessibleInterface,
                                        reinterpret_cast<void**>(standard.Out())))) {
      auto* named = new NamedAccessible(component, std::move(standard), naming->name);
      const LRESULT answer =
          oleacc.lresultFromObject(kAccessibleInterface, wParam, static_cast<IAccessible*>(named));
      named->Release();  // the answer holds its own reference
      // Not marshalled (on a thread without COM, say): the component's own answer, unnamed, is
      // still better than none.
      if (answer >= 0) return answer;
    }
  }
  if (message == WM_NCDESTROY) {
    if (naming->annotated) ClearAnnotation(component);
    RemoveWindowSubclass(component, &NamingProcedure, kNamingSubclass);
    delete naming;
  }
  return DefSubclassProc(component, message, wParam, lParam);
}

}  // namespace

bool SetAccessibleName(HWND component, std::wstring name) {
  if (component == nullptr) return false;
  const bool annotated = Annotate(component, name);
  const Oleacc& oleacc = Oleacc::Get();
  if (!annotated && (oleacc.createStandard == nullptr || oleacc.lresultFromObject == nullptr)) {
    return false;
  }
  auto* naming = new Naming{std::move(name), annotated};
  if (!SetWindowSubclass(component, &NamingProcedure, kNamingSubclass,
                         reinterpret_cast<DWORD_PTR>(naming))) {
    delete naming;
    return annotated;
  }
  return true;
}

}  // namespace ornivel

#pragma once
// Names that screen readers read for components whose own text names nothing: an edit box's
// text is its contents, and the caption beside it, made after it, is not the label the readers
// look for. The name is an annotation through the system's accessibility services (oleacc's
// property service). Where that service takes no annotation, the component answers the readers'
// WM_GETOBJECT itself: with its standard accessible object, wrapped to give the name.

#include <windows.h>

#include <string>

namespace ornivel {

// Gives `component` the accessible name `name`, for as long as it lives. False when neither
// way could be set up (the component then keeps the name the readers find for it). The
// component's thread keeps a COM apartment for as long as readers may ask: the answer to a
// reader is marshalled into it.
bool SetAccessibleName(HWND component, std::wstring name);

}  // namespace ornivel

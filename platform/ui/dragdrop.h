// OLE drag and drop on the window layer: a window registers the drop target that
// answers drags of data over it; the automation API drags data as a person would.
#pragma once

#include "com/dataobject.h"
#include "ui/types.h"

constexpr HRESULT DRAGDROP_E_NOTREGISTERED = MakeHresult(0x80040100u);
constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = MakeHresult(0x80040101u);
constexpr HRESULT DRAGDROP_E_INVALIDHWND = MakeHresult(0x80040102u);

// Registers the target for the window, holding a reference to it until it is revoked. As
// on Windows, a registration is not undone by destroying its window: its owner revokes
// it (while the window still exists).
HRESULT RegisterDragDrop(HWND window, IDropTarget* target);
HRESULT RevokeDragDrop(HWND window);

namespace ui {

// The target a drag over the window reaches: the window's own, else the nearest of its
// parents' and owners'; empty when none takes drops.
com::ComPtr<IDropTarget> DropTargetAt(HWND window);
// How many registrations are held, for windows alive or gone.
int DropRegistrationCount();

}  // namespace ui

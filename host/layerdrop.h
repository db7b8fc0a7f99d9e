// What the module does with drags of host data over its windows: it takes dataset
// names, files and the host's layers ("Map Layers"), reads a dropped layer back and its
// data block, and changes nothing. The drop target classes answer through these.
#pragma once

#include <cstddef>

#include "com/dataobject.h"

namespace plenth {

// Drag enter: copy (S_OK) for data offering names, files or layers; no effect and
// E_FAIL for anything else. Data that cannot be read leaves the effect alone (S_OK).
HRESULT LayerDragEnter(IDataObject* data, DWORD* effect);
// Drag over and drag leave change nothing.
HRESULT LayerDragOver(DWORD* effect);
HRESULT LayerDragLeave();
// Drop: always S_OK.
HRESULT LayerDrop(IDataObject* data, DWORD* effect);

// Where the raw "Map Layers" block of a drop goes: nowhere, nothing reads it again.
void DroppedBlockSink(const void* bytes, std::size_t size);

}  // namespace plenth

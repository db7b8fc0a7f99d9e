// What the simulated host puts into a drag and how it reads one: the data of dragged
// layers ("Map Layers": a 32-bit count, then the layers as the object stream saves
// them), dataset names ("Dataset Names") and files, the object stream, and the reader
// of a drag's data.
#pragma once

#include <string>
#include <vector>

#include "com/dataobject.h"
#include "hostapi/dropdata.h"

namespace hostapp {

// The clipboard formats of the host's drags.
UINT MapLayersFormat();
UINT DatasetNamesFormat();

// Saves an object as its class id followed by what it saves itself (IPersistStream);
// loading creates the class by its id and lets the object load itself.
HRESULT SaveObject(IStream* stream, IUnknown* object);
HRESULT LoadObject(IStream* stream, REFIID riid, void** object);

// The data of dragging layers from the host's table of contents.
com::ComPtr<IDataObject> LayerDragData(const std::vector<Layer*>& layers);
// The data of dragging datasets from the host's catalog: each its workspace directory
// and its name.
struct NamedDataset {
  std::string workspace;
  std::string name;
};
com::ComPtr<IDataObject> DatasetDragData(const std::vector<NamedDataset>& datasets);
// The data of dragging files from the system's file manager.
com::ComPtr<IDataObject> FileDragData(const std::vector<std::string>& paths);
// The data of dragging plain text.
com::ComPtr<IDataObject> TextDragData(const std::string& text);

// Registers the object stream and the drop-data reader (done by RegisterHostClasses).
void RegisterDropDataClasses();

}  // namespace hostapp

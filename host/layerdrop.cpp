#include "host/layerdrop.h"

#include "com/boundary.h"
#include "com/classes.h"
#include "com/persist.h"
#include "host/command.h"
#include "hostapi/dropdata.h"

namespace plenth {
namespace {

// What the reader says the data can give, or nothing when the data cannot be read.
struct Offer {
  com::ComPtr<DropDataReader> reader;
  bool names = false;
  bool files = false;
  bool layers = false;
  bool any() const { return names || files || layers; }
};

bool Inspect(IDataObject* data, Offer* offer) {
  com::ComPtr<IUnknown> base;
  if (!data || FAILED(data->QueryInterface(base.put())) || !base) return false;
  offer->reader = com::CreateInstance<DropDataReader>(CLSID_DropDataReader);
  if (!offer->reader || FAILED(offer->reader->putref_DataObject(base.get()))) return false;
  VARIANT_BOOL names = VARIANT_FALSE, files = VARIANT_FALSE, layers = VARIANT_FALSE;
  offer->reader->CanGetNames(&names);
  offer->reader->CanGetFiles(&files);
  offer->reader->CanGetFormat(LayersClipboardFormat, &layers);
  offer->names = names != VARIANT_FALSE;
  offer->files = files != VARIANT_FALSE;
  offer->layers = layers != VARIANT_FALSE;
  return true;
}

void SetEffect(DWORD* effect, DWORD value) {
  if (effect) *effect = value;
}

// Each name's own name and its workspace's path are read.
void ReadNames(DropDataReader* reader) {
  com::ComPtr<EnumDatasetName> names;
  if (FAILED(reader->GetNames(names.put())) || !names) return;
  com::ComPtr<DatasetName> name;
  while (names->Next(name.put()) == S_OK && name) {
    com::BStr text, path;
    name->get_Name(text.put());
    com::ComPtr<WorkspaceName> workspace;
    if (SUCCEEDED(name->get_WorkspaceName(workspace.put())) && workspace) workspace->get_PathName(path.put());
  }
}

// The dropped layer is rebuilt from the block (after its leading 32-bit value) and its
// name read; then the block is read again whole and handed to the sink.
void ReadLayers(IDataObject* data) {
  FORMATETC format = com::ContentFormat(static_cast<CLIPFORMAT>(LayersClipboardFormat));
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&format, &medium))) return;
  com::ComPtr<IStream> stream;
  if (medium.tymed != TYMED_HGLOBAL || FAILED(CreateStreamOnHGlobal(medium.hGlobal, TRUE, stream.put()))) {
    ReleaseStgMedium(&medium);
    return;
  }
  std::uint32_t skipped = 0;
  com::ReadUInt32(stream.get(), &skipped);
  auto objects = com::CreateInstance<ObjectStream>(CLSID_ObjectStream);
  if (!objects || FAILED(objects->putref_Stream(stream.get()))) return;
  com::ComPtr<IUnknown> object;
  if (FAILED(objects->LoadObject(IUnknown::iid, object.put())) || !object) return;
  if (auto layer = object.query<Layer>()) {
    com::BStr name;
    layer->get_Name(name.put());
  }
  STGMEDIUM again{};
  if (FAILED(data->GetData(&format, &again))) return;
  if (again.tymed == TYMED_HGLOBAL) {
    if (const void* bytes = GlobalLock(again.hGlobal)) {
      DroppedBlockSink(bytes, GlobalSize(again.hGlobal));
      GlobalUnlock(again.hGlobal);
    }
  }
  ReleaseStgMedium(&again);
}

}  // namespace

HRESULT LayerDragEnter(IDataObject* data, DWORD* effect) {
  return com::Guard([&] {
    Offer offer;
    if (!Inspect(data, &offer)) return S_OK;
    SetEffect(effect, offer.any() ? DROPEFFECT_COPY : DROPEFFECT_NONE);
    return offer.any() ? S_OK : E_FAIL;
  });
}

HRESULT LayerDragOver(DWORD*) { return S_OK; }
HRESULT LayerDragLeave() { return S_OK; }

HRESULT LayerDrop(IDataObject* data, DWORD* effect) {
  try {
    Offer offer;
    if (!Inspect(data, &offer)) return S_OK;
    if (!offer.any()) {
      SetEffect(effect, DROPEFFECT_NONE);
    } else if (offer.names) {
      SetEffect(effect, DROPEFFECT_COPY);
      ReadNames(offer.reader.get());
    } else if (offer.layers) {
      ReadLayers(data);
    }
  } catch (...) {
    // Whatever the host's objects did, a drop changes nothing and is answered with S_OK.
  }
  return S_OK;
}

void DroppedBlockSink(const void*, std::size_t) {}

}  // namespace plenth

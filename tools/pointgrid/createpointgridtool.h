// The "Regular Point Grid Tool" command: it opens the point grid dialog, follows the
// host's document and view events while the dialog is open, draws the grid's preview
// after every redraw of the map, takes the bounds of a rectangle selected on the map,
// and accepts drags of host data onto the dialog's path.
#pragma once

#include "com/dataobject.h"
#include "host/command.h"
#include "hostapi/view.h"

struct ICreatePointGridTool : IUnknown {
  static constexpr IID iid = com::Guid("{0DF80E5D-8D34-438E-8516-EB5BB7FCCCA5}");

 protected:
  ~ICreatePointGridTool() = default;
};
inline constexpr CLSID CLSID_CreatePointGridTool = com::Guid("{33DAB5E3-F518-4BC4-88A8-FAC1BEBB5D7D}");

namespace plenth {

class CreatePointGridTool final : public Command<CreatePointGridTool, ICreatePointGridTool, DocumentEvents,
                                                 ActiveViewEvents, IDropTarget> {
 public:
  static const ClassInfo kClass;

  CreatePointGridTool();

  // The click: one dialog while it is open, and the subscriptions to the host's events.
  HRESULT Click() override;

  // What the dialog asks of its owner.
  // Copies the bounds of the selected (or the dominant selected) graphic element into the
  // dialog's bound edits.
  void UpdateArea();
  // Asks the view the document is shown through to draw again.
  void RefreshView();
  // Closes the dialog, ends the subscriptions and gives the host its select tool back.
  void Close();

  // DocumentEvents
  HRESULT ActiveViewChanged() override { return E_NOTIMPL; }
  HRESULT MapsChanged() override { return E_NOTIMPL; }
  HRESULT OnContextMenu(LONG, LONG, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT NewDocument() override;
  HRESULT OpenDocument() override;
  HRESULT BeforeCloseDocument(VARIANT_BOOL* abort) override { return abort ? E_NOTIMPL : E_POINTER; }
  HRESULT CloseDocument() override { return S_OK; }

  // ActiveViewEvents
  HRESULT ContentsChanged() override { return E_NOTIMPL; }
  HRESULT ContentsCleared() override { return E_NOTIMPL; }
  HRESULT ItemAdded(VARIANT) override { return E_NOTIMPL; }
  HRESULT ItemDeleted(VARIANT) override { return E_NOTIMPL; }
  HRESULT ItemReordered(VARIANT, LONG) override { return E_NOTIMPL; }
  HRESULT SelectionChanged() override { return E_NOTIMPL; }
  HRESULT ViewRefreshed(ActiveView*, LONG, VARIANT, Envelope*) override { return E_NOTIMPL; }
  // The preview of the grid, drawn in the phase of the graphics.
  HRESULT AfterDraw(Display* display, LONG phase) override;
  HRESULT AfterItemDraw(SHORT, Display*, LONG) override { return E_NOTIMPL; }
  HRESULT FocusMapChanged() override;
  HRESULT SpatialReferenceChanged() override { return E_NOTIMPL; }

  // The drop target of the dialog's path edit.
  HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

  // Closing gives the select tool back after ending the dialog and the subscriptions.
  void PrepareSelectToolRestore() override;

  bool dialogOpen() const { return dialogOpen_ != VARIANT_FALSE; }

 private:
  void Subscribe();
  void SubscribeFocusMap();
  void UnsubscribeFocusMap();
  void UnsubscribeDocument();
  void DrawPreview(Display* display);

  com::ComPtr<MapDocument> document_;
  com::ComPtr<ActiveView> activeView_;
  com::ComPtr<ActiveView> focusMapView_;
  DWORD documentCookie_ = 0;
  DWORD activeViewCookie_ = 0;
  DWORD focusMapCookie_ = 0;
  VARIANT_BOOL dialogOpen_ = VARIANT_FALSE;
};

}  // namespace plenth

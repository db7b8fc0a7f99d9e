#include "tools/pointgrid/createpointgridtool.h"

#include <cstdint>

#include "com/classes.h"
#include "com/connection.h"
#include "data/numbertext.h"
#include "host/layerdrop.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/pointgrid/pointgriddlg.h"
#include "tools/pointgrid/pointgridkernel.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo CreatePointGridTool::kClass = ClassRow<CreatePointGridTool, ICreatePointGridTool>({
    .name = "CreatePointGridTool",
    .clsid = CLSID_CreatePointGridTool,
    .scriptId = IDR_CREATEPOINTGRIDTOOL,
    .threadingModel = "both",
    .category = &CATID_HostCommands,
});

namespace {

const CommandInfo kInfo{
    CreatePointGridTool::kClass,
    "Regular Point Grid Tool",
    "Creates Regular Point Grid",
    "Creates a regular grid of points in a new shapefile",
    IDB_CREATEPOINTGRIDTOOL,
    CommandInfo::Creation::ClipboardFormat,
    CommandInfo::Click::Modeless,
    CommandInfo::Restore::Reporting,
};

// The connection point of an object for an event interface, or the status of failing to
// find it.
HRESULT FindPoint(IUnknown* object, const IID& events, com::ComPtr<IConnectionPoint>* point) {
  point->reset();
  com::ComPtr<IConnectionPointContainer> container;
  if (!object || FAILED(object->QueryInterface(container.put())) || !container) return E_NOINTERFACE;
  const HRESULT hr = container->FindConnectionPoint(events, point->put());
  if (SUCCEEDED(hr) && !*point) return E_FAIL;
  return hr;
}

// A bound written into an edit: "%f", at most 29 characters.
std::string BoundText(double value) { return FixedText(value).substr(0, 29); }

}  // namespace

CreatePointGridTool::CreatePointGridTool() : Command(kInfo) {}

HRESULT CreatePointGridTool::Click() {
  if (dialogOpen_ != VARIANT_FALSE) {
    if (IsWindow(window)) SetForegroundWindow(window);
    return S_OK;
  }
  dialogOpen_ = VARIANT_TRUE;
  if (!window) {
    OLE_HANDLE main = 0;
    application->get_hWnd(&main);
    window = CreateDialogParam(ModuleInstance(), IDD_POINTGRIDDLG, reinterpret_cast<HWND>(main), PointGridDlgProc,
                               reinterpret_cast<LPARAM>(this));
  }
  if (!IsWindow(window)) {
    window = nullptr;
    return S_OK;
  }
  Subscribe();
  SubscribeFocusMap();
  return S_OK;
}

void CreatePointGridTool::Subscribe() {
  if (!application) return;
  UnsubscribeDocument();
  com::ComPtr<Document> current;
  application->get_Document(current.put());
  document_ = current.query<MapDocument>();
  if (!document_) return;
  com::ComPtr<IConnectionPoint> point;
  HRESULT hr = FindPoint(document_.get(), DocumentEvents::iid, &point);
  if (FAILED(hr)) {
    ReportHostStatus(hr, "ECON");
    return;
  }
  hr = point->Advise(Identity(), &documentCookie_);
  if (FAILED(hr)) ReportHostStatus(hr, "ECON");
  document_->get_ActiveView(activeView_.put());
  if (!activeView_) return;
  hr = FindPoint(activeView_.get(), ActiveViewEvents::iid, &point);
  if (FAILED(hr)) {
    ReportHostStatus(hr, "FindConnectionPoint error");
    return;
  }
  hr = point->Advise(Identity(), &activeViewCookie_);
  if (FAILED(hr)) ReportHostStatus(hr, "Advise on ActiveViewEvents error");
}

void CreatePointGridTool::SubscribeFocusMap() {
  if (!document_) return;
  UnsubscribeFocusMap();
  com::ComPtr<Map> map;
  document_->get_FocusMap(map.put());
  focusMapView_ = map.query<ActiveView>();
  com::ComPtr<IConnectionPoint> point;
  HRESULT hr = FindPoint(focusMapView_.get(), ActiveViewEvents::iid, &point);
  if (FAILED(hr)) {
    ReportHostStatus(hr, "FindConnectionPoint error");
    return;
  }
  hr = point->Advise(Identity(), &focusMapCookie_);
  if (FAILED(hr)) ReportHostStatus(hr, "Advise on ActiveViewEvents error");
}

void CreatePointGridTool::UnsubscribeFocusMap() {
  if (focusMapView_) {
    com::ComPtr<IConnectionPoint> point;
    if (const HRESULT hr = FindPoint(focusMapView_.get(), ActiveViewEvents::iid, &point); FAILED(hr)) {
      ReportHostStatus(hr, "FindConnectionPoint error");
    } else {
      point->Unadvise(focusMapCookie_);
      focusMapCookie_ = 0;
    }
  }
  focusMapView_.reset();
}

void CreatePointGridTool::UnsubscribeDocument() {
  if (activeView_) {
    com::ComPtr<IConnectionPoint> point;
    if (const HRESULT hr = FindPoint(activeView_.get(), ActiveViewEvents::iid, &point); FAILED(hr)) {
      ReportHostStatus(hr, "FindConnectionPoint error");
    } else {
      point->Unadvise(activeViewCookie_);
      activeViewCookie_ = 0;
    }
  }
  activeView_.reset();
  if (document_) {
    com::ComPtr<IConnectionPoint> point;
    if (const HRESULT hr = FindPoint(document_.get(), DocumentEvents::iid, &point); FAILED(hr)) {
      ReportHostStatus(hr, "FindConnectionPoint error");
    } else {
      point->Unadvise(documentCookie_);
      documentCookie_ = 0;
    }
  }
  document_.reset();
}

void CreatePointGridTool::Close() {
  // Ending the subscriptions may let go of the last reference the host held through
  // them: the tool stays until the closing is done.
  com::ComPtr<IUnknown> self(Identity());
  SelectToolRestore(*this);
}

void CreatePointGridTool::PrepareSelectToolRestore() {
  dialogOpen_ = VARIANT_FALSE;
  DestroyModelessWindow();
  UnsubscribeFocusMap();
  UnsubscribeDocument();
}

void CreatePointGridTool::RefreshView() {
  if (!document_) return;
  com::ComPtr<ActiveView> view;
  document_->get_ActiveView(view.put());
  if (view) view->Refresh();
}

void CreatePointGridTool::UpdateArea() {
  if (!document_) return;
  com::ComPtr<ActiveView> view;
  com::ComPtr<Display> display;
  com::ComPtr<GraphicsContainer> container;
  document_->get_ActiveView(view.put());
  if (!view) return;
  view->get_ScreenDisplay(display.put());
  view->get_GraphicsContainer(container.put());
  const auto selection = container.query<GraphicsSelection>();
  LONG count = 0;
  if (!selection || FAILED(selection->get_ElementSelectionCount(&count)) || count <= 0) return;
  com::ComPtr<GraphicElement> element;
  if (count == 1)
    selection->SelectedElement(0, element.put());
  else
    selection->get_DominantElement(element.put());
  auto bounds = com::CreateInstance<Envelope>(CLSID_Envelope);
  if (!element || !bounds || FAILED(element->QueryBounds(display.get(), bounds.get()))) return;
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  if (FAILED(bounds->QueryCoords(&xMin, &yMin, &xMax, &yMax))) return;
  SetDlgItemText(window, IDC_POINTGRID_EAST, BoundText(xMax).c_str());
  SetDlgItemText(window, IDC_POINTGRID_WEST, BoundText(xMin).c_str());
  SetDlgItemText(window, IDC_POINTGRID_NORTH, BoundText(yMax).c_str());
  SetDlgItemText(window, IDC_POINTGRID_SOUTH, BoundText(yMin).c_str());
}

HRESULT CreatePointGridTool::NewDocument() {
  Close();
  return E_NOTIMPL;
}

HRESULT CreatePointGridTool::OpenDocument() {
  Subscribe();
  SubscribeFocusMap();
  return S_OK;
}

HRESULT CreatePointGridTool::FocusMapChanged() {
  SubscribeFocusMap();
  return S_OK;
}

HRESULT CreatePointGridTool::AfterDraw(Display* display, LONG phase) {
  if (phase != kViewGraphics || !PointGridPreviewFlag() || !IsWindowEnabled(GetDlgItem(window, IDC_POINTGRID_PREVIEW)))
    return S_OK;
  if (display) DrawPreview(display);
  return S_OK;
}

void CreatePointGridTool::DrawPreview(Display* display) {
  const PointGridInputs in = ReadPointGridInputs(window);
  com::ComPtr<DisplayTransformation> transformation;
  display->get_DisplayTransformation(transformation.put());
  if (!transformation) return;

  // Too dense: one spacing east of the west edge is 10 pixels or less away.
  LONG x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  auto probe = com::CreateInstance<Point>(CLSID_Point);
  if (!probe) return;
  probe->PutCoords(in.xMin, in.yMax);
  transformation->FromMapPoint(probe.get(), &x1, &y1);
  probe->PutCoords(in.xMin + in.d, in.yMax);
  transformation->FromMapPoint(probe.get(), &x2, &y2);
  const bool tooDense = std::int64_t{x2} - x1 <= 10;

  com::ComPtr<SpatialReference> reference;
  {
    com::ComPtr<ActiveView> view;
    com::ComPtr<Map> map;
    if (document_) document_->get_ActiveView(view.put());
    if (view) view->get_FocusMap(map.put());
    if (map) map->get_SpatialReference(reference.put());
  }
  auto area = com::CreateInstance<Envelope>(CLSID_Envelope);
  auto fill = com::CreateInstance<FillSymbol>(CLSID_SimpleFillSymbol);
  if (!area || !fill) return;
  area->PutCoords(in.xMin, in.yMin, in.xMax, in.yMax);
  area->putref_SpatialReference(reference.get());
  fill->put_Style(tooDense ? kFillDiagonalCross : kFillHollow);
  display->SetSymbol(fill.get());
  display->DrawRectangle(area.get());
  if (tooDense) return;  // the points would be too close to show

  com::ComPtr<Envelope> visibleBounds;
  transformation->get_VisibleBounds(visibleBounds.put());
  GridArea visible{};
  if (!visibleBounds ||
      FAILED(visibleBounds->QueryCoords(&visible.xMin, &visible.yMin, &visible.xMax, &visible.yMax)))
    return;
  GridArea grid{in.xMin, in.yMin, in.xMax, in.yMax};
  if (!ClipToVisible(grid, in.d, visible) || !GridStepAdvances(grid, in.d)) return;

  auto point = com::CreateInstance<Point>(CLSID_Point);
  auto marker = com::CreateInstance<MarkerSymbol>(CLSID_SimpleMarkerSymbol);
  if (!point || !marker) return;
  point->putref_SpatialReference(reference.get());
  marker->put_Style(kMarkerCircle);
  marker->put_Size(3);
  display->SetSymbol(marker.get());
  EmitRegularGrid(grid, in.d, [&](double x, double y) {
    point->PutCoords(x, y);
    display->DrawPoint(point.get());
  });
}

HRESULT CreatePointGridTool::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  return LayerDragEnter(data, effect);
}
HRESULT CreatePointGridTool::DragOver(DWORD, POINTL, DWORD* effect) { return LayerDragOver(effect); }
HRESULT CreatePointGridTool::DragLeave() { return LayerDragLeave(); }
HRESULT CreatePointGridTool::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) { return LayerDrop(data, effect); }

}  // namespace plenth

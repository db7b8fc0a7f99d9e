// The host's views and what is drawn on them: the view of a map and its events, the
// display with its transformation between map and device coordinates, symbols, and the
// graphic elements a person draws and selects on the map.
#pragma once

#include "hostapi/hostapi.h"

struct Display;
struct DisplayTransformation;
struct GraphicElement;

// The phases of drawing a view, in the order they are drawn; the after-draw event of
// each follows its drawing.
constexpr LONG kViewBackground = 1;
constexpr LONG kViewGeography = 2;
constexpr LONG kViewGeoSelection = 4;
constexpr LONG kViewGraphics = 8;
constexpr LONG kViewGraphicSelection = 16;
constexpr LONG kViewForeground = 32;

// Fill styles.
constexpr LONG kFillSolid = 0;
constexpr LONG kFillHollow = 1;
constexpr LONG kFillHorizontal = 2;
constexpr LONG kFillVertical = 3;
constexpr LONG kFillForwardDiagonal = 4;
constexpr LONG kFillBackwardDiagonal = 5;
constexpr LONG kFillCross = 6;
constexpr LONG kFillDiagonalCross = 7;
// Marker styles.
constexpr LONG kMarkerCircle = 0;
constexpr LONG kMarkerSquare = 1;
constexpr LONG kMarkerCross = 2;
constexpr LONG kMarkerX = 3;
constexpr LONG kMarkerDiamond = 4;

// A colour as 0x00RRGGBB.
using HostColor = LONG;

// How a geometry is drawn. Every symbol has a colour; sizes and widths are in points.
struct Symbol : IUnknown {
  static constexpr IID iid = com::Guid("{B89846DD-080F-4810-ACF9-0A2984C3301C}");
  virtual HRESULT get_Color(HostColor* color) = 0;
  virtual HRESULT put_Color(HostColor color) = 0;
};

struct FillSymbol : Symbol {
  static constexpr IID iid = com::Guid("{947957E0-8D69-4D97-9B21-241435786584}");
  virtual HRESULT get_Style(LONG* style) = 0;
  virtual HRESULT put_Style(LONG style) = 0;
  virtual HRESULT get_OutlineColor(HostColor* color) = 0;
  virtual HRESULT put_OutlineColor(HostColor color) = 0;
  virtual HRESULT get_OutlineWidth(double* points) = 0;
  virtual HRESULT put_OutlineWidth(double points) = 0;
};

struct MarkerSymbol : Symbol {
  static constexpr IID iid = com::Guid("{C5724C0F-6E42-4151-9F23-8B91A493B3D3}");
  virtual HRESULT get_Style(LONG* style) = 0;
  virtual HRESULT put_Style(LONG style) = 0;
  virtual HRESULT get_Size(double* points) = 0;
  virtual HRESULT put_Size(double points) = 0;
};

struct LineSymbol : Symbol {
  static constexpr IID iid = com::Guid("{8B52C8F6-5947-493C-A4FF-5BD67C7860D8}");
  virtual HRESULT get_Width(double* points) = 0;
  virtual HRESULT put_Width(double points) = 0;
};

inline constexpr CLSID CLSID_SimpleFillSymbol = com::Guid("{A3CD3D5C-2343-49FE-82AC-D1703DA1BD33}");
inline constexpr CLSID CLSID_SimpleMarkerSymbol = com::Guid("{B73955A7-C068-44A1-A405-323477186BF4}");
inline constexpr CLSID CLSID_SimpleLineSymbol = com::Guid("{1889171C-44CC-4DCA-9EF5-0BCB47C2ACDF}");

// Between map coordinates and the device's pixels: x grows to the east, y downwards
// from the top-left pixel of the device frame.
struct DisplayTransformation : IUnknown {
  static constexpr IID iid = com::Guid("{9BAE65F4-6FAF-48AE-865D-C2E27B3EC047}");
  // The pixel of a map point, rounded to the nearest; E_INVALIDARG for a point without
  // finite coordinates.
  virtual HRESULT FromMapPoint(Point* point, LONG* x, LONG* y) = 0;
  // The map point at the centre of a pixel.
  virtual HRESULT ToMapPoint(LONG x, LONG y, Point** point) = 0;
  // The map extent the device frame shows.
  virtual HRESULT get_VisibleBounds(Envelope** bounds) = 0;
  // Shows the extent whole, centred, widened on one side to the device frame's shape.
  virtual HRESULT put_VisibleBounds(Envelope* bounds) = 0;
  virtual HRESULT get_DeviceFrame(LONG* width, LONG* height) = 0;
  // A new size in pixels keeps the centre and the scale.
  virtual HRESULT put_DeviceFrame(LONG width, LONG height) = 0;
  // Pixels per inch: a point is 1/72 inch.
  virtual HRESULT get_Resolution(double* dpi) = 0;
};

// Where a view draws. A symbol is set, then geometries are drawn with it; the host
// brackets each pass of drawing with StartDrawing and FinishDrawing.
struct Display : IUnknown {
  static constexpr IID iid = com::Guid("{6D7697A0-233E-4CEC-8D21-DCB37228E724}");
  virtual HRESULT get_DisplayTransformation(DisplayTransformation** transformation) = 0;
  virtual HRESULT StartDrawing() = 0;
  virtual HRESULT FinishDrawing() = 0;
  // The symbol the following geometries are drawn with (its settings as they are now).
  virtual HRESULT SetSymbol(Symbol* symbol) = 0;
  virtual HRESULT DrawPoint(Geometry* point) = 0;          // with a marker symbol
  virtual HRESULT DrawRectangle(Envelope* rectangle) = 0;  // with a fill symbol
  virtual HRESULT DrawPolyline(Geometry* polyline) = 0;    // with a line symbol
  virtual HRESULT DrawPolygon(Geometry* polygon) = 0;      // with a fill symbol
  // Paints `pixels` (0xAARRGGBB, width x height, from the top row) over the map extent.
  virtual HRESULT DrawPixels(Envelope* extent, LONG width, LONG height, const DWORD* pixels) = 0;
};

// A graphic a person drew on the view (a rectangle, a line, a marker).
struct GraphicElement : IUnknown {
  static constexpr IID iid = com::Guid("{F31F2C5A-A975-4C6C-8176-7D1F299BCDAD}");
  virtual HRESULT get_Geometry(Geometry** geometry) = 0;
  virtual HRESULT putref_Geometry(Geometry* geometry) = 0;
  // The element's extent in map units as drawn on the display, into `bounds`.
  virtual HRESULT QueryBounds(Display* display, Envelope* bounds) = 0;
};

// The graphic elements of a view, in drawing order.
struct GraphicsContainer : IUnknown {
  static constexpr IID iid = com::Guid("{C2A054EE-A29D-4270-BB6F-C54F43E7FFB9}");
  virtual HRESULT AddElement(GraphicElement* element) = 0;
  virtual HRESULT DeleteAllElements() = 0;
  virtual HRESULT get_ElementCount(LONG* count) = 0;
  virtual HRESULT get_Element(LONG index, GraphicElement** element) = 0;
};

// The elements selected on a view. The dominant element is the one the others follow
// (when several are aligned, for instance); it is one of the selected.
struct GraphicsSelection : IUnknown {
  static constexpr IID iid = com::Guid("{9C805BE0-B032-4CFE-A273-CF2C7D74160E}");
  virtual HRESULT get_ElementSelectionCount(LONG* count) = 0;
  virtual HRESULT SelectedElement(LONG index, GraphicElement** element) = 0;
  virtual HRESULT get_DominantElement(GraphicElement** element) = 0;
  // Adds an element of the view to the selection; the first selected is dominant until
  // another is made so.
  virtual HRESULT SelectElement(GraphicElement* element) = 0;
  virtual HRESULT put_DominantElement(GraphicElement* element) = 0;
  virtual HRESULT UnselectAllElements() = 0;
};

// What a person looks at: a map (the data view) or a page. A map is its own view.
struct ActiveView : IUnknown {
  static constexpr IID iid = com::Guid("{0610B7D1-D332-48F7-B1E8-CCA3C4D0FC58}");
  virtual HRESULT get_FocusMap(Map** map) = 0;
  virtual HRESULT get_ScreenDisplay(Display** display) = 0;
  // Draws the whole view again, phase by phase, raising the after-draw event of each.
  virtual HRESULT Refresh() = 0;
  // The view's graphic elements (a GraphicsContainer that is also their GraphicsSelection).
  virtual HRESULT get_GraphicsContainer(GraphicsContainer** container) = 0;
  virtual HRESULT get_Extent(Envelope** extent) = 0;
  virtual HRESULT put_Extent(Envelope* extent) = 0;
};

// --- Events the host raises, through the connection points of documents and views ---

struct DocumentEvents : IUnknown {
  static constexpr IID iid = com::Guid("{6DB7C4BD-0A7C-11D1-86AA-0000F8751720}");
  virtual HRESULT ActiveViewChanged() = 0;
  virtual HRESULT MapsChanged() = 0;
  virtual HRESULT OnContextMenu(LONG x, LONG y, VARIANT_BOOL* handled) = 0;
  virtual HRESULT NewDocument() = 0;
  virtual HRESULT OpenDocument() = 0;
  virtual HRESULT BeforeCloseDocument(VARIANT_BOOL* abort) = 0;
  virtual HRESULT CloseDocument() = 0;
};

struct ActiveViewEvents : IUnknown {
  static constexpr IID iid = com::Guid("{E79C5940-52DD-11D0-98BE-00805F7CED21}");
  virtual HRESULT ContentsChanged() = 0;
  virtual HRESULT ContentsCleared() = 0;
  virtual HRESULT ItemAdded(VARIANT item) = 0;
  virtual HRESULT ItemDeleted(VARIANT item) = 0;
  virtual HRESULT ItemReordered(VARIANT item, LONG toIndex) = 0;
  virtual HRESULT SelectionChanged() = 0;
  virtual HRESULT ViewRefreshed(ActiveView* view, LONG phase, VARIANT data, Envelope* envelope) = 0;
  virtual HRESULT AfterDraw(Display* display, LONG phase) = 0;
  virtual HRESULT AfterItemDraw(SHORT index, Display* display, LONG phase) = 0;
  virtual HRESULT FocusMapChanged() = 0;
  virtual HRESULT SpatialReferenceChanged() = 0;
};

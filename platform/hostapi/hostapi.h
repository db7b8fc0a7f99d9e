// The host's contracts: the objects the module calls on the host, and the contracts the
// host calls on the module's commands, extension and toolbar.
#pragma once

#include "com/dispatch.h"
#include "com/variant.h"
#include "gis/gisapi.h"

struct CommandItem;
struct CommandBars;
struct StatusBar;
struct ClassIdValue;
struct Map;
struct Layer;

// A class id held as text ("{438E9AAF-...}").
struct ClassIdValue : IUnknown {
  static constexpr IID iid = com::Guid("{0D607279-B761-4492-9299-11768C3CD231}");
  virtual HRESULT put_Value(BSTR text) = 0;
  virtual HRESULT get_Value(BSTR* text) = 0;
};
inline constexpr CLSID CLSID_ClassIdValue = com::Guid("{78FF7FA1-FB2F-11D1-94A2-080009EEBECB}");

struct CommandItem : IUnknown {
  static constexpr IID iid = com::Guid("{E8B9834C-6FBE-4481-BBD6-A3ADD2A21F22}");
  virtual HRESULT get_Name(BSTR* name) = 0;
};

struct CommandBars : IUnknown {
  static constexpr IID iid = com::Guid("{39C2A60A-7DA8-4A26-ABF2-B1BCC3F233F1}");
  // Finds an item by its identifier (a string variant); the options ask not to search
  // recursively and not to create the item. No item found answers S_OK and none.
  virtual HRESULT Find(VARIANT identifier, VARIANT_BOOL noRecurse, VARIANT_BOOL noCreate, CommandItem** item) = 0;
};

struct StatusBar : IUnknown {
  static constexpr IID iid = com::Guid("{EA3C45FD-B8E0-4A92-BE21-DE099A137231}");
  virtual HRESULT put_Message(LONG pane, BSTR text) = 0;
  virtual HRESULT get_Message(LONG pane, BSTR* text) = 0;
};

struct Layer : IUnknown {
  static constexpr IID iid = com::Guid("{34C20002-4D3C-11D0-92D8-00805F7C28B0}");
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
};

// Where a layer's data lives: the dataset's name and its workspace's directory.
struct WorkspaceName : IUnknown {
  static constexpr IID iid = com::Guid("{08996CEA-FDC9-4241-9FF1-7FB8857386F8}");
  virtual HRESULT get_PathName(BSTR* path) = 0;
};
struct DatasetName : IUnknown {
  static constexpr IID iid = com::Guid("{8E65800D-7CE7-49D0-8B4C-5739584DF40F}");
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_WorkspaceName(WorkspaceName** workspace) = 0;
};
// A layer drawn from a dataset on disk.
struct DataLayer : IUnknown {
  static constexpr IID iid = com::Guid("{EAC2C26F-AFBF-449E-90C7-3DED94538D5E}");
  virtual HRESULT get_DataSourceName(DatasetName** name) = 0;
};

struct RasterLayer : IUnknown {
  static constexpr IID iid = com::Guid("{D02371C7-35F7-11d2-B1F2-00C04F8EDEFF}");
  virtual HRESULT get_Raster(RasterDataset** raster) = 0;
  virtual HRESULT get_ColumnCount(LONG* count) = 0;
  virtual HRESULT get_RowCount(LONG* count) = 0;
  // A list of identify results at a map point, or none outside the raster.
  virtual HRESULT Identify(Point* point, IdentifyResults** results) = 0;
};

struct FeatureLayer : IUnknown {
  static constexpr IID iid = com::Guid("{40A9E885-5533-11D0-98BE-00805F7CED21}");
  virtual HRESULT get_FeatureClass(FeatureClass** featureClass) = 0;
  virtual HRESULT putref_FeatureClass(FeatureClass* featureClass) = 0;
};

// A new feature layer (creatable): given a feature class and a name, it shows the class.
inline constexpr CLSID CLSID_FeatureLayer = com::Guid("{61E6FCF7-A971-4A14-8F3D-16EFA27C677C}");

struct GroupLayer : IUnknown {
  static constexpr IID iid = com::Guid("{6C37E45E-9E2D-4910-BDDE-3ECF0A061689}");
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT get_Layer(LONG index, Layer** layer) = 0;
  virtual HRESULT Add(Layer* layer) = 0;
};

struct EnumLayer : IUnknown {
  static constexpr IID iid = com::Guid("{F1EDC33D-5B52-4BA5-8878-DC6A96CA3E09}");
  // The next layer, or none and S_FALSE at the end.
  virtual HRESULT Next(Layer** layer) = 0;
  virtual HRESULT Reset() = 0;
};

struct Map : IUnknown {
  static constexpr IID iid = com::Guid("{FEE16B6A-CD93-493B-ACB5-F3B74DCDA0AF}");
  virtual HRESULT get_LayerCount(LONG* count) = 0;
  virtual HRESULT AddLayer(Layer* layer) = 0;
  // The layers that answer the interface whose id the value holds, in map order,
  // layers inside group layers included when recursive.
  virtual HRESULT get_Layers(ClassIdValue* kind, VARIANT_BOOL recursive, EnumLayer** layers) = 0;
  virtual HRESULT get_SpatialReference(SpatialReference** reference) = 0;
};

struct Document : IUnknown {
  static constexpr IID iid = com::Guid("{BCDF72DD-276D-40F2-8EA5-4ABEBCF19A23}");
  virtual HRESULT get_CommandBars(CommandBars** bars) = 0;
};

struct ActiveView;

// A map document raises its DocumentEvents through its connection points
// (IConnectionPointContainer, com/connection.h), a map its ActiveViewEvents.
struct MapDocument : IUnknown {
  static constexpr IID iid = com::Guid("{1ACD33EB-302A-48B0-9435-A1B5DFEE58DC}");
  virtual HRESULT get_FocusMap(Map** map) = 0;
  // The view the document is shown through: its focus map (data view) or a page.
  virtual HRESULT get_ActiveView(ActiveView** view) = 0;
};

struct HostApplication : IUnknown {
  static constexpr IID iid = com::Guid("{2E6929BA-5A30-40E2-AEBC-35F062001EF5}");
  virtual HRESULT get_Document(Document** document) = 0;
  virtual HRESULT get_hWnd(OLE_HANDLE* window) = 0;  // the main window, owner of dialogs
  virtual HRESULT get_StatusBar(StatusBar** bar) = 0;
  virtual HRESULT put_CurrentTool(CommandItem* tool) = 0;  // an empty item is allowed
  virtual HRESULT get_CurrentTool(CommandItem** tool) = 0;
  // The loaded extension whose class id the value holds, or none.
  virtual HRESULT FindExtensionByCLSID(ClassIdValue* clsid, IUnknown** extension) = 0;
};

// Handed to a toolbar definition to describe one of its items.
struct ToolbarItemDef : IUnknown {
  static constexpr IID iid = com::Guid("{17507F0A-1FCC-44F4-A4D2-DD64ABC7E08E}");
  virtual HRESULT put_ID(BSTR progId) = 0;
  virtual HRESULT put_Group(VARIANT_BOOL separator) = 0;
  virtual HRESULT put_SubType(LONG subType) = 0;
};

// --- Contracts the module implements for the host ---

struct HostCommand : IUnknown {
  static constexpr IID iid = com::Guid("{36B06538-4437-11D1-B970-080009EE4E51}");
  virtual HRESULT IsEnabled(VARIANT_BOOL* enabled) = 0;
  virtual HRESULT IsChecked(VARIANT_BOOL* checked) = 0;
  virtual HRESULT Name(BSTR* name) = 0;
  virtual HRESULT Caption(BSTR* caption) = 0;
  virtual HRESULT Tooltip(BSTR* tooltip) = 0;
  virtual HRESULT Message(BSTR* message) = 0;
  virtual HRESULT HelpFile(BSTR* file) = 0;
  virtual HRESULT HelpContextId(LONG* id) = 0;
  virtual HRESULT Bitmap(OLE_HANDLE* bitmap) = 0;
  virtual HRESULT Category(BSTR* category) = 0;
  virtual HRESULT OnCreate(IUnknown* hook) = 0;
  virtual HRESULT OnClick() = 0;
};

struct HostExtension : IUnknown {
  static constexpr IID iid = com::Guid("{7F657EC9-DBF1-11D2-9F2F-00C04F6BC69E}");
  virtual HRESULT Name(BSTR* name) = 0;
  virtual HRESULT Startup(VARIANT* initializationData) = 0;
  virtual HRESULT Shutdown() = 0;
};

struct HostExtensionConfig : IUnknown {
  static constexpr IID iid = com::Guid("{12A4C258-CC9D-4CA7-9F29-79DED88DD45F}");
  virtual HRESULT ProductName(BSTR* name) = 0;
  virtual HRESULT Description(BSTR* description) = 0;
  virtual HRESULT GetState(LONG* state) = 0;
  virtual HRESULT SetState(LONG state) = 0;
};

// ExtensionState values.
constexpr LONG kExtensionEnabled = 1;
constexpr LONG kExtensionDisabled = 2;
constexpr LONG kExtensionUnavailable = 4;

struct HostToolbarDef : IUnknown {
  static constexpr IID iid = com::Guid("{61B318F0-CDA0-11D1-B9A8-080009EE4E51}");
  virtual HRESULT ItemCount(LONG* count) = 0;
  virtual HRESULT ItemInfo(LONG position, ToolbarItemDef* item) = 0;
  virtual HRESULT Name(BSTR* name) = 0;
  virtual HRESULT Caption(BSTR* caption) = 0;
};

// The data library's contracts: workspaces, raster datasets, bands and their cells,
// feature classes with fields and cursors, geometries and spatial references.
#pragma once

#include "com/variant.h"
#include "gis/pixeltype.h"

// Geometry type codes.
constexpr LONG kGeometryNull = 0;
constexpr LONG kGeometryPoint = 1;
constexpr LONG kGeometryPolyline = 3;
constexpr LONG kGeometryPolygon = 4;
constexpr LONG kGeometryEnvelope = 5;
constexpr LONG kGeometryLine = 13;

// Field type codes.
constexpr LONG kFieldSmallInteger = 0;
constexpr LONG kFieldInteger = 1;
constexpr LONG kFieldSingle = 2;
constexpr LONG kFieldDouble = 3;
constexpr LONG kFieldString = 4;
constexpr LONG kFieldDate = 5;
constexpr LONG kFieldOID = 6;
constexpr LONG kFieldGeometry = 7;

constexpr LONG kFeatureTypeSimple = 1;

// Failure codes of the data library.
constexpr HRESULT GIS_E_NOTFOUND = MakeHresult(0x80041001u);      // no such directory, dataset or field
constexpr HRESULT GIS_E_EXISTS = MakeHresult(0x80041002u);        // a dataset of that name exists
constexpr HRESULT GIS_E_UNSUPPORTED = MakeHresult(0x80041003u);   // a type the store cannot hold
constexpr HRESULT GIS_E_BADNAME = MakeHresult(0x80041004u);       // a name the store cannot hold unchanged
constexpr HRESULT GIS_E_IO = MakeHresult(0x80041005u);            // reading or writing the store failed
constexpr HRESULT GIS_E_TOOLARGE = MakeHresult(0x80041006u);      // a raster larger than the format holds

struct SpatialReference;
struct Envelope;
struct Point;
struct Geometry;
struct Field;
struct Fields;
struct GeometryDef;
struct Feature;
struct FeatureBuffer;
struct FeatureCursor;
struct InsertCursor;
struct FeatureClass;
struct RasterDataset;
struct RasterBand;
struct PixelBlock;
struct CellArray;
struct XYPair;
struct Workspace;

struct XYPair : IUnknown {
  static constexpr IID iid = com::Guid("{3BD8BCBB-06B8-435A-A7EE-084AEC2F0CEB}");
  virtual HRESULT QueryCoords(double* x, double* y) = 0;
  virtual HRESULT PutCoords(double x, double y) = 0;
};

struct SpatialReference : IUnknown {
  static constexpr IID iid = com::Guid("{B3105278-0B53-4AF4-BF25-F28E75FCFA1D}");
  virtual HRESULT IsProjected(VARIANT_BOOL* projected) = 0;
  // The linear unit of a projected system; fails for any other.
  virtual HRESULT LinearUnit(BSTR* name, double* metersPerUnit) = 0;
  virtual HRESULT ExportToWkt(BSTR* wkt) = 0;
};

struct Geometry : IUnknown {
  static constexpr IID iid = com::Guid("{5D790C0D-F59C-4C84-825D-1536DC3AA6F3}");
  virtual HRESULT get_GeometryType(LONG* type) = 0;
  virtual HRESULT get_IsEmpty(VARIANT_BOOL* empty) = 0;
  virtual HRESULT get_SpatialReference(SpatialReference** reference) = 0;
  // Gives the geometry a spatial reference without moving its coordinates.
  virtual HRESULT putref_SpatialReference(SpatialReference* reference) = 0;
  // Moves the coordinates into another spatial reference.
  virtual HRESULT Project(SpatialReference* reference) = 0;
  virtual HRESULT get_Envelope(Envelope** envelope) = 0;
  virtual HRESULT Clone(Geometry** copy) = 0;
};

struct Point : Geometry {
  static constexpr IID iid = com::Guid("{230030E7-17F0-4A3C-ACEA-F4F0827E89FB}");
  virtual HRESULT get_X(double* x) = 0;
  virtual HRESULT get_Y(double* y) = 0;
  virtual HRESULT PutCoords(double x, double y) = 0;
};

struct Envelope : Geometry {
  static constexpr IID iid = com::Guid("{195D6640-E2CF-4091-9794-9EEC42B19080}");
  virtual HRESULT QueryCoords(double* xMin, double* yMin, double* xMax, double* yMax) = 0;
  virtual HRESULT PutCoords(double xMin, double yMin, double xMax, double yMax) = 0;
  virtual HRESULT get_LowerLeft(Point** point) = 0;
};

struct Segment : IUnknown {
  static constexpr IID iid = com::Guid("{6A1F3C2E-4B7D-4E8A-9C01-2D3E4F5A6B7C}");
  virtual HRESULT get_FromPoint(Point** point) = 0;
  virtual HRESULT get_ToPoint(Point** point) = 0;
  virtual HRESULT PutCoords(Point* from, Point* to) = 0;
};

// The segments of a polyline or polygon, over all its parts in order.
struct SegmentCollection : IUnknown {
  static constexpr IID iid = com::Guid("{7B2E4D3F-5C8E-4F9B-AD12-3E4F5A6B7C8D}");
  virtual HRESULT get_SegmentCount(LONG* count) = 0;
  virtual HRESULT get_Segment(LONG index, Segment** segment) = 0;
  // Adds a segment at the end: it continues the last part when it starts where that
  // part ends, and begins a new part otherwise.
  virtual HRESULT AddSegment(Segment* segment) = 0;
  // Copies the end points of `count` segments from `first` into coords, four doubles per
  // segment (from x, from y, to x, to y): a whole shape's outline in one call.
  virtual HRESULT QuerySegments(LONG first, LONG count, double* coords) = 0;
};

struct Polyline : Geometry {
  static constexpr IID iid = com::Guid("{8C3F5E40-6D9F-4FAC-BE23-4F5A6B7C8D9E}");
  virtual HRESULT get_PartCount(LONG* count) = 0;
};

struct Polygon : Geometry {
  static constexpr IID iid = com::Guid("{9D406F51-7EA0-40BD-CF34-5A6B7C8D9EAF}");
  // Strictly inside: a point on the boundary or in a hole is not contained.
  virtual HRESULT Contains(Point* point, VARIANT_BOOL* contains) = 0;
  // Its rings, part by part, each outer ring before its holes, in the order its segments
  // are listed: for ring `index` its first segment, its number of segments, and whether it
  // is the outer ring of its part.
  virtual HRESULT get_RingCount(LONG* count) = 0;
  virtual HRESULT QueryRing(LONG index, LONG* firstSegment, LONG* segmentCount, VARIANT_BOOL* exterior) = 0;
};

struct GeometryDef : IUnknown {
  static constexpr IID iid = com::Guid("{AE517062-8FB1-41CE-D045-6B7C8D9EAFB0}");
  virtual HRESULT get_GeometryType(LONG* type) = 0;
  virtual HRESULT put_GeometryType(LONG type) = 0;
  virtual HRESULT get_SpatialReference(SpatialReference** reference) = 0;
  virtual HRESULT putref_SpatialReference(SpatialReference* reference) = 0;
};

struct Field : IUnknown {
  static constexpr IID iid = com::Guid("{BF628173-90C2-42DF-E156-7C8D9EAFB0C1}");
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT get_Type(LONG* type) = 0;
  virtual HRESULT put_Type(LONG type) = 0;
  virtual HRESULT get_DefaultValue(VARIANT* value) = 0;
  virtual HRESULT put_DefaultValue(VARIANT value) = 0;
  virtual HRESULT get_Precision(LONG* precision) = 0;
  virtual HRESULT put_Precision(LONG precision) = 0;
  virtual HRESULT get_IsNullable(VARIANT_BOOL* nullable) = 0;
  virtual HRESULT put_IsNullable(VARIANT_BOOL nullable) = 0;
  virtual HRESULT get_GeometryDef(GeometryDef** definition) = 0;
  virtual HRESULT putref_GeometryDef(GeometryDef* definition) = 0;
};

struct Fields : IUnknown {
  static constexpr IID iid = com::Guid("{C0739284-A1D3-43E0-F267-8D9EAFB0C1D2}");
  virtual HRESULT get_FieldCount(LONG* count) = 0;
  virtual HRESULT get_Field(LONG index, Field** field) = 0;
  // The index of the field of that name (case-insensitive, as the store), or -1.
  virtual HRESULT FindField(BSTR name, LONG* index) = 0;
  virtual HRESULT AddField(Field* field) = 0;  // for building a new class's fields
};

// What features and feature buffers share: a shape and values by field index.
struct FeatureValues : IUnknown {
  static constexpr IID iid = com::Guid("{D184A395-B2E4-44F1-0378-9EAFB0C1D2E3}");
  virtual HRESULT get_Fields(Fields** fields) = 0;
  // The feature's shape. Changes to it are kept by putref_Shape.
  virtual HRESULT get_Shape(Geometry** shape) = 0;
  virtual HRESULT get_ShapeCopy(Geometry** shape) = 0;
  virtual HRESULT putref_Shape(Geometry* shape) = 0;
  virtual HRESULT get_Value(LONG index, VARIANT* value) = 0;
  // Converted to the field's type the way the store requires; fails without change.
  virtual HRESULT put_Value(LONG index, VARIANT value) = 0;
};

struct Feature : FeatureValues {
  static constexpr IID iid = com::Guid("{E295B4A6-C3F5-4502-1489-AFB0C1D2E3F4}");
  virtual HRESULT get_OID(LONG* id) = 0;
};

struct FeatureBuffer : FeatureValues {
  static constexpr IID iid = com::Guid("{F3A6C5B7-D406-4613-259A-B0C1D2E3F405}");
};

struct FeatureCursor : IUnknown {
  static constexpr IID iid = com::Guid("{04B7D6C8-E517-4724-36AB-C1D2E3F40516}");
  // The next feature, or none (S_OK) at the end.
  virtual HRESULT NextFeature(Feature** feature) = 0;
  // Writes the feature's values and shape back (update cursors only).
  virtual HRESULT UpdateFeature(Feature* feature) = 0;
  virtual HRESULT FindField(BSTR name, LONG* index) = 0;
  virtual HRESULT get_Fields(Fields** fields) = 0;
};

// Adds features to a class. A buffered cursor holds the features inserted until it is
// flushed (and gives no object id for them); an unbuffered one writes each at once.
// Flushing writes the held features into the class, where every reader of the class
// sees them; the class's files on disk are brought up to date (headers, index) when
// the cursor is released.
struct InsertCursor : IUnknown {
  static constexpr IID iid = com::Guid("{15C8E7D9-F628-4835-47BC-D2E3F4051627}");
  virtual HRESULT InsertFeature(FeatureBuffer* buffer, VARIANT* id) = 0;
  virtual HRESULT Flush() = 0;
  virtual HRESULT FindField(BSTR name, LONG* index) = 0;
};

struct FeatureClass : IUnknown {
  static constexpr IID iid = com::Guid("{26D9F8EA-0739-4946-58CD-E3F405162738}");
  virtual HRESULT get_ShapeType(LONG* type) = 0;
  virtual HRESULT get_ShapeFieldName(BSTR* name) = 0;
  virtual HRESULT get_FeatureType(LONG* type) = 0;
  virtual HRESULT get_CLSID(CLSID* clsid) = 0;
  virtual HRESULT get_EXTCLSID(CLSID* clsid) = 0;
  virtual HRESULT get_Fields(Fields** fields) = 0;
  virtual HRESULT get_SpatialReference(SpatialReference** reference) = 0;
  virtual HRESULT FindField(BSTR name, LONG* index) = 0;
  // Adds a column; a name the store cannot hold unchanged is refused (GIS_E_BADNAME).
  virtual HRESULT AddField(Field* field) = 0;
  virtual HRESULT FeatureCount(LONG* count) = 0;
  virtual HRESULT Search(VARIANT_BOOL recycling, FeatureCursor** cursor) = 0;
  virtual HRESULT Update(VARIANT_BOOL recycling, FeatureCursor** cursor) = 0;
  virtual HRESULT Insert(VARIANT_BOOL buffered, InsertCursor** cursor) = 0;
  virtual HRESULT CreateFeatureBuffer(FeatureBuffer** buffer) = 0;
  virtual HRESULT get_Name(BSTR* name) = 0;           // the dataset name
  virtual HRESULT get_WorkspacePath(BSTR* path) = 0;  // its directory
};

struct Workspace : IUnknown {
  static constexpr IID iid = com::Guid("{37EA09FB-184A-4A57-69DE-F40516273849}");
  virtual HRESULT get_PathName(BSTR* path) = 0;
};

struct RasterWorkspace : IUnknown {
  static constexpr IID iid = com::Guid("{48FB1A0C-295B-4B68-7AEF-05162738495A}");
  // The dataset by its name as given, else with ".tif"; a raster rotated on the map is
  // refused (GIS_E_UNSUPPORTED).
  virtual HRESULT OpenRasterDataset(BSTR name, RasterDataset** dataset) = 0;
  // A new dataset with its lower-left corner at origin; "GRID" datasets are GeoTIFFs
  // named by the name plus ".tif" when it has no extension. Never over an existing one;
  // a raster larger than a GeoTIFF holds is refused (GIS_E_TOOLARGE) before anything is
  // created.
  virtual HRESULT CreateRasterDataset(BSTR name, BSTR format, Point* origin, LONG columns, LONG rows,
                                      double cellX, double cellY, LONG bands, LONG pixelType,
                                      SpatialReference* reference, VARIANT_BOOL permanent,
                                      RasterDataset** dataset) = 0;
};

struct FeatureWorkspace : IUnknown {
  static constexpr IID iid = com::Guid("{590C2B1D-3A6C-4C79-8BF0-162738495A6B}");
  virtual HRESULT OpenFeatureClass(BSTR name, FeatureClass** featureClass) = 0;
  // A new shapefile; never over an existing one. The shape field's GeometryDef gives
  // the geometry type and spatial reference.
  virtual HRESULT CreateFeatureClass(BSTR name, Fields* fields, const CLSID* clsid, const CLSID* extClsid,
                                     LONG featureType, BSTR shapeFieldName, BSTR keyword,
                                     FeatureClass** featureClass) = 0;
};

struct WorkspaceFactory : IUnknown {
  static constexpr IID iid = com::Guid("{6A1D3C2E-4B7D-4D8A-9C01-2738495A6B7C}");
  virtual HRESULT OpenFromFile(BSTR path, OLE_HANDLE window, Workspace** workspace) = 0;
};

struct RasterDataset : IUnknown {
  static constexpr IID iid = com::Guid("{7B2E4D3F-5C8E-4E9B-AD12-38495A6B7C8D}");
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_WorkspacePath(BSTR* path) = 0;
  virtual HRESULT Delete() = 0;  // removes its files; the dataset is then closed
};

struct RasterBandCollection : IUnknown {
  static constexpr IID iid = com::Guid("{8C3F5E40-6D9F-4FAC-BE23-495A6B7C8D9E}");
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT Item(LONG index, RasterBand** band) = 0;  // from 0
};

struct RasterBand : IUnknown {
  static constexpr IID iid = com::Guid("{9D406F51-7EA0-4FBD-CF34-5A6B7C8D9EA0}");
  virtual HRESULT get_Index(LONG* index) = 0;
};

struct RasterProps : IUnknown {
  static constexpr IID iid = com::Guid("{AE517062-8FB1-4FCE-D045-6B7C8D9EAFB1}");
  virtual HRESULT get_Width(LONG* width) = 0;
  virtual HRESULT get_Height(LONG* height) = 0;
  virtual HRESULT get_PixelType(LONG* type) = 0;
  // A variant of the band's type; VT_EMPTY and S_FALSE for a band without one.
  virtual HRESULT get_NoDataValue(VARIANT* value) = 0;
  virtual HRESULT put_NoDataValue(VARIANT value) = 0;
  virtual HRESULT get_MeanCellSize(XYPair** size) = 0;
  virtual HRESULT get_SpatialReference(SpatialReference** reference) = 0;
  virtual HRESULT get_Extent(Envelope** extent) = 0;
};

// A band's raw cells.
struct RawPixels : IUnknown {
  static constexpr IID iid = com::Guid("{BF628173-90C2-4FDF-E156-7C8D9EAFB0C2}");
  virtual HRESULT CreatePixelBlock(XYPair* size, PixelBlock** block) = 0;
  // Fills the block from the cell at topLeft; cells past the raster's last row or
  // column get the band's no-data value (0 without one).
  virtual HRESULT Read(XYPair* topLeft, PixelBlock* block) = 0;
  // Writes the block's cells that fall inside the raster.
  virtual HRESULT Write(XYPair* topLeft, PixelBlock* block) = 0;
  virtual HRESULT AcquireCache(IUnknown** cache) = 0;
  virtual HRESULT ReturnCache(IUnknown* cache) = 0;
};

struct PixelBlock : IUnknown {
  static constexpr IID iid = com::Guid("{C0739284-A1D3-40E0-F267-8D9EAFB0C1D3}");
  virtual HRESULT get_Width(LONG* width) = 0;
  virtual HRESULT get_Height(LONG* height) = 0;
  virtual HRESULT get_PixelType(LONG plane, LONG* type) = 0;
  // The cells of a plane, row by row from the top row, in the band's cell type.
  virtual HRESULT GetPlane(LONG plane, CellArray** cells) = 0;
  virtual HRESULT PutPlane(LONG plane, CellArray* cells) = 0;
};

struct CellArray : IUnknown {
  static constexpr IID iid = com::Guid("{D184A395-B2E4-41F1-0378-9EAFB0C1D2E4}");
  virtual HRESULT get_PixelType(LONG* type) = 0;
  virtual HRESULT get_Width(LONG* width) = 0;
  virtual HRESULT get_Height(LONG* height) = 0;
  // The cells themselves, width x height of them, readable and writable.
  virtual HRESULT Data(void** cells) = 0;
};

struct IdentifyResult : IUnknown {
  static constexpr IID iid = com::Guid("{E295B4A6-C3F5-4202-1489-AFB0C1D2E3F5}");
  virtual HRESULT get_Name(BSTR* name) = 0;
};

// What identifying a raster at a point gives: the cell value as text.
struct RasterIdentifyResult : IdentifyResult {
  static constexpr IID iid = com::Guid("{F3A6C5B7-D406-4313-259A-B0C1D2E3F406}");
  virtual HRESULT get_Value(BSTR* text) = 0;
};

struct IdentifyResults : IUnknown {
  static constexpr IID iid = com::Guid("{04B7D6C8-E517-4424-36AB-C1D2E3F40517}");
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT get_Element(LONG index, IUnknown** element) = 0;
};


// Creatable classes.
inline constexpr CLSID CLSID_RasterWorkspaceFactory = com::Guid("{4C91D963-3390-11D2-8D25-0000F8780535}");
inline constexpr CLSID CLSID_ShapefileWorkspaceFactory = com::Guid("{A06ADB96-D95C-11D1-AA81-00C04FA33A15}");
inline constexpr CLSID CLSID_Point = com::Guid("{00A5CB41-52DA-11D0-A8F2-00608C85EDE5}");
inline constexpr CLSID CLSID_XYPair = com::Guid("{064087E4-09B9-4892-A893-FCA89BB171D1}");
inline constexpr CLSID CLSID_Envelope = com::Guid("{1A2B3C4D-5E6F-4A7B-8C9D-0E1F2A3B4C5D}");
inline constexpr CLSID CLSID_Polyline = com::Guid("{2B3C4D5E-6F7A-4B8C-9DAE-1F2A3B4C5D6E}");
inline constexpr CLSID CLSID_Segment = com::Guid("{3C4D5E6F-7A8B-4C9D-AEBF-2A3B4C5D6E7F}");
inline constexpr CLSID CLSID_Field = com::Guid("{4D5E6F7A-8B9C-4DAE-BFC0-3B4C5D6E7F80}");
inline constexpr CLSID CLSID_Fields = com::Guid("{5E6F7A8B-9CAD-4EBF-C0D1-4C5D6E7F8091}");
inline constexpr CLSID CLSID_GeometryDef = com::Guid("{6F7A8B9C-ADBE-4FC0-D1E2-5D6E7F8091A2}");

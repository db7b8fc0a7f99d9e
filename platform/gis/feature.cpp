#include "gis/feature.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <strings.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "com/boundary.h"
#include "com/object.h"
#include "gis/geometry.h"
#include "gis/gis.h"

namespace gis::detail {
namespace {

namespace fs = std::filesystem;

// A feature, buffer or insert cursor of a class, told before the class's columns change.
struct HeldFeature {
  virtual void Detach() = 0;

 protected:
  ~HeldFeature() = default;
};

// The open shapefile behind a feature class and its features.
struct Source {
  GDALDatasetUniquePtr dataset;
  OGRLayer* layer = nullptr;
  std::string path;
  std::shared_ptr<OGRSpatialReference> ref;
  std::vector<HeldFeature*> held;  // the class's features and buffers still alive
};
using SourceRef = std::shared_ptr<Source>;

// Field indexes: 0 the object id, 1 the shape, then the attribute columns.
constexpr LONG kFirstAttribute = 2;

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

LONG TypeCodeOf(OGRFieldType type) {
  switch (type) {
    case OFTInteger:
    case OFTInteger64: return kFieldInteger;
    case OFTReal: return kFieldDouble;
    case OFTDate:
    case OFTDateTime: return kFieldDate;
    default: return kFieldString;
  }
}

class GeometryDefImpl final : public com::ComClass<GeometryDefImpl, GeometryDef> {
 public:
  HRESULT get_GeometryType(LONG* type) override { return com::Out(type_, type); }
  HRESULT put_GeometryType(LONG type) override {
    type_ = type;
    return S_OK;
  }
  HRESULT get_SpatialReference(SpatialReference** reference) override { return ref_.CopyTo(reference); }
  HRESULT putref_SpatialReference(SpatialReference* reference) override {
    ref_ = reference;
    return S_OK;
  }

 private:
  LONG type_ = kGeometryNull;
  com::ComPtr<SpatialReference> ref_;
};

class FieldImpl final : public com::ComClass<FieldImpl, Field> {
 public:
  FieldImpl() = default;
  FieldImpl(std::string name, LONG type) : name_(std::move(name)), type_(type) {}
  HRESULT get_Name(BSTR* name) override { return com::Guard([&] { return com::Out(name_, name); }); }
  HRESULT put_Name(BSTR name) override {
    return com::Guard([&] { name_ = Utf8(name); });
  }
  HRESULT get_Type(LONG* type) override { return com::Out(type_, type); }
  HRESULT put_Type(LONG type) override {
    type_ = type;
    return S_OK;
  }
  HRESULT get_DefaultValue(VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    return VariantCopy(value, &default_.get());
  }
  HRESULT put_DefaultValue(VARIANT value) override {
    return com::Guard([&] { default_ = com::Variant(value); });
  }
  HRESULT get_Precision(LONG* precision) override { return com::Out(precision_, precision); }
  HRESULT put_Precision(LONG precision) override {
    precision_ = precision;
    return S_OK;
  }
  HRESULT get_IsNullable(VARIANT_BOOL* nullable) override { return com::Out(nullable_, nullable); }
  HRESULT put_IsNullable(VARIANT_BOOL nullable) override {
    nullable_ = nullable;
    return S_OK;
  }
  HRESULT get_GeometryDef(GeometryDef** definition) override { return geometryDef_.CopyTo(definition); }
  HRESULT putref_GeometryDef(GeometryDef* definition) override {
    geometryDef_ = definition;
    return S_OK;
  }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  LONG type_ = kFieldInteger;
  com::Variant default_;
  LONG precision_ = 0;
  VARIANT_BOOL nullable_ = VARIANT_TRUE;
  com::ComPtr<GeometryDef> geometryDef_;
};

class FieldsImpl final : public com::ComClass<FieldsImpl, Fields> {
 public:
  HRESULT get_FieldCount(LONG* count) override { return com::Out(static_cast<LONG>(fields_.size()), count); }
  HRESULT get_Field(LONG index, Field** field) override {
    if (!field) return E_POINTER;
    *field = nullptr;
    if (index < 0 || index >= static_cast<LONG>(fields_.size())) return E_INVALIDARG;
    return com::Out(fields_[static_cast<std::size_t>(index)], field);
  }
  HRESULT FindField(BSTR name, LONG* index) override {
    if (!index) return E_POINTER;
    *index = -1;
    return com::Guard([&] {
      const std::string wanted = Utf8(name);
      for (std::size_t i = 0; i < fields_.size(); ++i) {
        com::BStr n;
        if (SUCCEEDED(fields_[i]->get_Name(n.put())) && SameName(n.utf8(), wanted)) {
          *index = static_cast<LONG>(i);
          break;
        }
      }
    });
  }
  HRESULT AddField(Field* field) override {
    if (!field) return E_POINTER;
    return com::Guard([&] { fields_.emplace_back(field); });
  }

 private:
  std::vector<com::ComPtr<Field>> fields_;
};

// The name of one of the library's own fields (the object id, the shape): the first of
// `names`, then of the first name followed by _1, _2, ..., that no column of the table
// has. A table may have a column of the usual name (a column FID or fid is common in
// files converted from other stores); that column then keeps the name, so that a lookup
// by it finds the column's values, and the names of a class's fields stay unique.
std::string OwnFieldName(OGRFeatureDefn& defn, std::initializer_list<const char*> names) {
  const auto taken = [&](const std::string& name) {
    for (int i = 0; i < defn.GetFieldCount(); ++i)
      if (SameName(defn.GetFieldDefn(i)->GetNameRef(), name)) return true;
    return false;
  };
  for (const char* name : names)
    if (!taken(name)) return name;
  for (int n = 1;; ++n) {
    std::string name = *names.begin();
    name += '_';
    name += std::to_string(n);
    if (!taken(name)) return name;
  }
}

std::string ObjectIdName(OGRFeatureDefn& defn) { return OwnFieldName(defn, {"FID", "OID"}); }
std::string ShapeName(OGRFeatureDefn& defn) { return OwnFieldName(defn, {"Shape", "Geometry"}); }

com::ComPtr<Fields> FieldsOf(const Source& source) {
  OGRFeatureDefn* defn = source.layer->GetLayerDefn();
  auto fields = com::MakeObject<FieldsImpl>();
  fields->AddField(com::MakeObject<FieldImpl>(ObjectIdName(*defn), kFieldOID).get());
  auto shape = com::MakeObject<FieldImpl>(ShapeName(*defn), kFieldGeometry);
  auto def = com::MakeObject<GeometryDefImpl>();
  const auto flat = wkbFlatten(defn->GetGeomType());
  def->put_GeometryType(flat == wkbPoint || flat == wkbMultiPoint ? kGeometryPoint
                        : flat == wkbPolygon || flat == wkbMultiPolygon ? kGeometryPolygon
                        : flat == wkbLineString || flat == wkbMultiLineString ? kGeometryPolyline
                                                                                : kGeometryNull);
  def->putref_SpatialReference(WrapReference(source.ref).get());
  shape->putref_GeometryDef(def.get());
  fields->AddField(shape.get());
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const OGRFieldDefn* f = defn->GetFieldDefn(i);
    auto field = com::MakeObject<FieldImpl>(f->GetNameRef(), TypeCodeOf(f->GetType()));
    field->put_Precision(f->GetPrecision());
    fields->AddField(field.get());
  }
  return com::ComPtr<Fields>(fields.get());
}

// Features and feature buffers: an OGR feature of the class's shapefile.
//
// An OGR feature holds one value per column of its definition, which is the layer's own.
// Adding a column grows that definition under features already made, so before it does,
// each held feature moves onto a private copy of the old columns (Detach), and moves back
// onto the layer's grown definition the next time it is used (Ogr).
template <class Derived, class Interface>
class FeatureBase : public com::ComClass<Derived, Interface>, public HeldFeature {
 public:
  FeatureBase(SourceRef source, std::unique_ptr<OGRFeature> feature)
      : source_(std::move(source)), feature_(std::move(feature)) {
    source_->held.push_back(this);
  }
  ~FeatureBase() override { std::erase(source_->held, static_cast<HeldFeature*>(this)); }

  void Detach() override {
    OGRFeatureDefn* defn = feature_->GetDefnRef();
    if (defn != source_->layer->GetLayerDefn()) return;  // already on its own columns
    feature_->SetFDefnUnsafe(defn->Clone());            // the same columns: the values stay valid
  }

  // The feature on the layer's current columns; values of new columns are unset.
  OGRFeature& Ogr() {
    OGRFeatureDefn* layerDefn = source_->layer->GetLayerDefn();
    if (feature_->GetDefnRef() != layerDefn) {
      auto current = std::make_unique<OGRFeature>(layerDefn);
      std::vector<int> same(static_cast<std::size_t>(feature_->GetFieldCount()));
      for (std::size_t i = 0; i < same.size(); ++i) same[i] = static_cast<int>(i);
      current->SetFrom(feature_.get(), same.data(), TRUE);
      current->SetFID(feature_->GetFID());
      feature_ = std::move(current);
    }
    return *feature_;
  }

  // The feature to write into a layer, or null when it is not of that layer's columns.
  OGRFeature* WritableTo(OGRLayer* layer) {
    OGRFeature& f = Ogr();
    OGRFeatureDefn* defn = layer->GetLayerDefn();
    return f.GetDefnRef() == defn || f.GetDefnRef()->IsSame(defn) ? &f : nullptr;
  }

  HRESULT get_Fields(Fields** fields) override {
    if (!fields) return E_POINTER;
    return com::Guard([&] { return com::Out(FieldsOf(*source_), fields); });
  }
  HRESULT get_Shape(Geometry** shape) override { return get_ShapeCopy(shape); }
  HRESULT get_ShapeCopy(Geometry** shape) override {
    if (!shape) return E_POINTER;
    *shape = nullptr;
    return com::Guard([&] {
      const OGRGeometry* g = Ogr().GetGeometryRef();
      if (g) *shape = WrapGeometry(std::unique_ptr<OGRGeometry>(g->clone()), source_->ref).detach();
    });
  }
  HRESULT putref_Shape(Geometry* shape) override {
    return com::Guard([&] {
      if (!shape) {
        Ogr().SetGeometryDirectly(nullptr);
        return S_OK;
      }
      auto g = OgrCopy(shape);
      if (!g) return E_INVALIDARG;
      Ogr().SetGeometryDirectly(g.release());
      return S_OK;
    });
  }
  HRESULT get_Value(LONG index, VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    return com::Guard([&] { return Value(index, value); });
  }
  HRESULT put_Value(LONG index, VARIANT value) override {
    return com::Guard([&] { return PutValue(index, value); });
  }

 private:
  HRESULT Value(LONG index, VARIANT* value) {
    if (index == 0) {
      value->vt = VT_I4;
      value->lVal = static_cast<LONG>(Ogr().GetFID());
      return S_OK;
    }
    if (index == 1) {
      com::ComPtr<Geometry> shape;
      get_ShapeCopy(shape.put());
      if (!shape) {
        value->vt = VT_NULL;
        return S_OK;
      }
      value->vt = VT_UNKNOWN;
      value->punkVal = shape.detach();
      return S_OK;
    }
    const int i = index - kFirstAttribute;
    if (i < 0 || i >= Ogr().GetFieldCount()) return E_INVALIDARG;
    if (!Ogr().IsFieldSetAndNotNull(i)) {
      value->vt = VT_NULL;
      return S_OK;
    }
    switch (Ogr().GetFieldDefnRef(i)->GetType()) {
      case OFTInteger:
        value->vt = VT_I4;
        value->lVal = Ogr().GetFieldAsInteger(i);
        break;
      case OFTInteger64: {
        // The store reads wide integer columns (the library's own among them) as 64-bit.
        const GIntBig v = Ogr().GetFieldAsInteger64(i);
        if (v >= INT32_MIN && v <= INT32_MAX) {
          value->vt = VT_I4;
          value->lVal = static_cast<LONG>(v);
        } else {
          value->vt = VT_I8;
          value->llVal = v;
        }
        break;
      }
      case OFTReal:
        value->vt = VT_R8;
        value->dblVal = Ogr().GetFieldAsDouble(i);
        break;
      default:
        value->vt = VT_BSTR;
        value->bstrVal = com::AllocBstr(Ogr().GetFieldAsString(i));
    }
    return S_OK;
  }
  HRESULT PutValue(LONG index, VARIANT value) {
    if (index == 1) {
      if (value.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
      com::ComPtr<Geometry> shape;
      if (value.punkVal) value.punkVal->QueryInterface(shape.put());
      return putref_Shape(shape.get());
    }
    const int i = index - kFirstAttribute;
    if (i < 0 || i >= Ogr().GetFieldCount()) return E_INVALIDARG;  // the object id is the store's
    if (value.vt == VT_NULL || value.vt == VT_EMPTY) {
      Ogr().SetFieldNull(i);
      return S_OK;
    }
    com::Variant converted;
    HRESULT hr = S_OK;
    switch (Ogr().GetFieldDefnRef(i)->GetType()) {
      case OFTInteger:
        hr = VariantChangeType(converted.put(), &value, 0, VT_I4);
        if (SUCCEEDED(hr)) Ogr().SetField(i, static_cast<int>(converted.get().lVal));
        break;
      case OFTInteger64:
        hr = VariantChangeType(converted.put(), &value, 0, VT_I8);
        if (SUCCEEDED(hr)) Ogr().SetField(i, static_cast<GIntBig>(converted.get().llVal));
        break;
      case OFTReal:
        hr = VariantChangeType(converted.put(), &value, 0, VT_R8);
        if (SUCCEEDED(hr)) Ogr().SetField(i, converted.get().dblVal);
        break;
      default:
        hr = VariantChangeType(converted.put(), &value, 0, VT_BSTR);
        if (SUCCEEDED(hr)) Ogr().SetField(i, com::ToUtf8(converted.get().bstrVal).c_str());
    }
    return hr;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    if (riid == FeatureValues::iid) {
      *object = static_cast<FeatureValues*>(static_cast<Interface*>(this));
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  SourceRef source_;
  std::unique_ptr<OGRFeature> feature_;
};

class FeatureImpl final : public FeatureBase<FeatureImpl, Feature> {
 public:
  using FeatureBase::FeatureBase;
  HRESULT get_OID(LONG* id) override {
    return com::Guard([&] { return com::Out(static_cast<LONG>(Ogr().GetFID()), id); });
  }
};

class FeatureBufferImpl final : public FeatureBase<FeatureBufferImpl, FeatureBuffer> {
 public:
  using FeatureBase::FeatureBase;
};

// Only the library's own features and buffers of the layer's columns are written to it.
template <class T>
OGRFeature* OgrOf(IUnknown* object, OGRLayer* layer) {
  auto* impl = dynamic_cast<T*>(object);
  return impl ? impl->WritableTo(layer) : nullptr;
}

// An update cursor writes the features it is given in batches, in the order given: a
// store such as a shapefile writes a run of records one after the other far faster than
// records between reads. The features reach the store when a batch is full, when the
// cursor reaches the end, and at the latest when it is released; a write that fails
// makes the call that wrote its batch fail.
class FeatureCursorImpl final : public com::ComClass<FeatureCursorImpl, FeatureCursor> {
 public:
  static constexpr std::size_t kBatch = 4096;

  FeatureCursorImpl(SourceRef source, bool update) : source_(std::move(source)), update_(update) {
    source_->layer->ResetReading();
  }
  ~FeatureCursorImpl() override { com::GuardAll([&] { return WritePending(); }); }

  HRESULT NextFeature(Feature** feature) override {
    if (!feature) return E_POINTER;
    *feature = nullptr;
    return com::Guard([&] {
      std::unique_ptr<OGRFeature> next(source_->layer->GetNextFeature());
      if (next) {
        *feature = com::MakeObject<FeatureImpl>(source_, std::move(next)).detach();
        return S_OK;
      }
      return WritePending();
    });
  }
  HRESULT UpdateFeature(Feature* feature) override {
    if (!feature) return E_POINTER;
    if (!update_) return E_FAIL;
    return com::Guard([&] {
      OGRFeature* f = OgrOf<FeatureImpl>(static_cast<Feature*>(feature), source_->layer);
      if (!f) return E_INVALIDARG;
      std::unique_ptr<OGRFeature> copy(f->Clone());
      if (!copy) return E_OUTOFMEMORY;
      pending_.push_back(std::move(copy));
      return pending_.size() < kBatch ? S_OK : WritePending();
    });
  }
  HRESULT FindField(BSTR name, LONG* index) override {
    return com::Guard([&] { return FieldsOf(*source_)->FindField(name, index); });
  }
  HRESULT get_Fields(Fields** fields) override {
    if (!fields) return E_POINTER;
    return com::Guard([&] { return com::Out(FieldsOf(*source_), fields); });
  }

 private:
  HRESULT WritePending() {
    bool failed = false;
    for (const auto& f : pending_) failed |= source_->layer->SetFeature(f.get()) != OGRERR_NONE;
    pending_.clear();
    return failed ? GIS_E_IO : S_OK;
  }

  SourceRef source_;
  bool update_;
  std::vector<std::unique_ptr<OGRFeature>> pending_;
};

class InsertCursorImpl final : public com::ComClass<InsertCursorImpl, InsertCursor>, public HeldFeature {
 public:
  InsertCursorImpl(SourceRef source, bool buffered) : source_(std::move(source)), buffered_(buffered) {
    source_->held.push_back(this);
  }
  ~InsertCursorImpl() override {
    WriteHeld();
    // One sync when the cursor goes: GDAL rewrites the whole index each time it syncs,
    // so syncing at every flush would make inserting quadratic in the count.
    if (written_) source_->layer->SyncToDisk();
    std::erase(source_->held, static_cast<HeldFeature*>(this));
  }

  HRESULT InsertFeature(FeatureBuffer* buffer, VARIANT* id) override {
    if (!buffer) return E_POINTER;
    if (id) VariantInit(id);
    return com::Guard([&] {
      OGRFeature* f = OgrOf<FeatureBufferImpl>(static_cast<FeatureBuffer*>(buffer), source_->layer);
      if (!f) return E_INVALIDARG;
      std::unique_ptr<OGRFeature> copy(f->Clone());
      if (!copy) return E_OUTOFMEMORY;
      copy->SetFID(OGRNullFID);
      if (buffered_) {
        held_.push_back(std::move(copy));
        return S_OK;
      }
      if (const HRESULT hr = Write(*copy); FAILED(hr)) return hr;
      if (id) {
        id->vt = VT_I4;
        id->lVal = static_cast<LONG>(copy->GetFID());
      }
      return S_OK;
    });
  }
  HRESULT Flush() override {
    return com::Guard([&] { return WriteHeld(); });
  }
  HRESULT FindField(BSTR name, LONG* index) override {
    return com::Guard([&] { return FieldsOf(*source_)->FindField(name, index); });
  }

  // The class's columns are about to change: the held features go in first.
  void Detach() override { WriteHeld(); }

 private:
  HRESULT Write(OGRFeature& feature) {
    if (source_->layer->CreateFeature(&feature) != OGRERR_NONE) return GIS_E_IO;
    written_ = true;
    return S_OK;
  }
  HRESULT WriteHeld() {
    HRESULT result = S_OK;
    for (auto& f : held_)
      if (const HRESULT hr = Write(*f); FAILED(hr) && SUCCEEDED(result)) result = hr;
    held_.clear();
    return result;
  }

  SourceRef source_;
  bool buffered_;
  bool written_ = false;
  std::vector<std::unique_ptr<OGRFeature>> held_;
};

std::unique_ptr<OGRFieldDefn> OgrField(const std::string& name, LONG type, LONG precision, HRESULT* hr) {
  auto field = std::make_unique<OGRFieldDefn>(name.c_str(), OFTString);
  OGRFieldDefn& f = *field;
  *hr = S_OK;
  switch (type) {
    case kFieldSmallInteger: f.SetType(OFTInteger); f.SetWidth(6); break;
    case kFieldInteger: f.SetType(OFTInteger); f.SetWidth(11); break;  // every 32-bit value
    case kFieldSingle: f.SetType(OFTReal); f.SetWidth(13); f.SetPrecision(precision > 0 ? precision : 6); break;
    case kFieldDouble: f.SetType(OFTReal); f.SetWidth(19); f.SetPrecision(precision > 0 ? precision : 11); break;
    case kFieldString: f.SetType(OFTString); f.SetWidth(50); break;
    case kFieldDate: f.SetType(OFTDate); break;
    default: *hr = GIS_E_UNSUPPORTED;
  }
  return field;
}

// Adds a column to an open shapefile, refusing names the store would change.
HRESULT AddColumn(Source& source, Field* field) {
  com::BStr name;
  LONG type = 0, precision = 0;
  if (FAILED(field->get_Name(name.put())) || FAILED(field->get_Type(&type)) || FAILED(field->get_Precision(&precision)))
    return E_INVALIDARG;
  const std::string n = name.utf8();
  if (n.empty()) return E_INVALIDARG;
  if (n.size() > 10) return GIS_E_BADNAME;  // a DBF column name holds 10 bytes
  OGRFeatureDefn* defn = source.layer->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i)
    if (SameName(defn->GetFieldDefn(i)->GetNameRef(), n)) return GIS_E_EXISTS;
  HRESULT hr = S_OK;
  const auto f = OgrField(n, type, precision, &hr);
  if (FAILED(hr)) return hr;
  for (HeldFeature* held : source.held) held->Detach();
  if (source.layer->CreateField(f.get(), FALSE) != OGRERR_NONE) return GIS_E_IO;
  return S_OK;
}

class FeatureClassImpl final : public com::ComClass<FeatureClassImpl, FeatureClass> {
 public:
  explicit FeatureClassImpl(SourceRef source) : source_(std::move(source)) {}

  HRESULT get_ShapeType(LONG* type) override {
    if (!type) return E_POINTER;
    return com::Guard([&] {
      com::ComPtr<Field> shape;
      com::ComPtr<GeometryDef> def;
      if (FAILED(FieldsOf(*source_)->get_Field(1, shape.put())) || FAILED(shape->get_GeometryDef(def.put())) || !def)
        return E_FAIL;
      return def->get_GeometryType(type);
    });
  }
  HRESULT get_ShapeFieldName(BSTR* name) override {
    return com::Guard([&] { return com::Out(ShapeName(*source_->layer->GetLayerDefn()), name); });
  }
  HRESULT get_FeatureType(LONG* type) override { return com::Out(kFeatureTypeSimple, type); }
  HRESULT get_CLSID(CLSID* clsid) override { return com::Out(GUID_NULL, clsid); }
  HRESULT get_EXTCLSID(CLSID* clsid) override { return get_CLSID(clsid); }
  HRESULT get_Fields(Fields** fields) override {
    if (!fields) return E_POINTER;
    return com::Guard([&] { return com::Out(FieldsOf(*source_), fields); });
  }
  HRESULT get_SpatialReference(SpatialReference** reference) override { return OutReference(source_->ref, reference); }
  HRESULT FindField(BSTR name, LONG* index) override {
    return com::Guard([&] { return FieldsOf(*source_)->FindField(name, index); });
  }
  HRESULT AddField(Field* field) override {
    if (!field) return E_POINTER;
    return com::Guard([&] { return AddColumn(*source_, field); });
  }
  HRESULT FeatureCount(LONG* count) override {
    return com::Guard([&] { return com::Out(static_cast<LONG>(source_->layer->GetFeatureCount(TRUE)), count); });
  }
  HRESULT Search(VARIANT_BOOL, FeatureCursor** cursor) override { return Cursor(false, cursor); }
  HRESULT Update(VARIANT_BOOL, FeatureCursor** cursor) override { return Cursor(true, cursor); }
  HRESULT Insert(VARIANT_BOOL buffered, InsertCursor** cursor) override {
    if (!cursor) return E_POINTER;
    return com::Guard(
        [&] { *cursor = com::MakeObject<InsertCursorImpl>(source_, buffered != VARIANT_FALSE).detach(); });
  }
  HRESULT CreateFeatureBuffer(FeatureBuffer** buffer) override {
    if (!buffer) return E_POINTER;
    return com::Guard([&] {
      auto f = std::make_unique<OGRFeature>(source_->layer->GetLayerDefn());
      *buffer = com::MakeObject<FeatureBufferImpl>(source_, std::move(f)).detach();
    });
  }
  HRESULT get_Name(BSTR* name) override {
    return com::Guard([&] { return com::Out(fs::path(source_->path).stem().string(), name); });
  }
  HRESULT get_WorkspacePath(BSTR* path) override {
    return com::Guard([&] { return com::Out(DirectoryOf(source_->path), path); });
  }

 private:
  HRESULT Cursor(bool update, FeatureCursor** cursor) {
    if (!cursor) return E_POINTER;
    return com::Guard([&] { *cursor = com::MakeObject<FeatureCursorImpl>(source_, update).detach(); });
  }
  SourceRef source_;
};

OGRwkbGeometryType OgrGeometryType(LONG code) {
  switch (code) {
    case kGeometryPoint: return wkbPoint;
    case kGeometryPolyline:
    case kGeometryLine: return wkbLineString;
    case kGeometryPolygon: return wkbPolygon;
    default: return wkbUnknown;
  }
}

class FeatureWorkspaceImpl final : public com::ComClass<FeatureWorkspaceImpl, Workspace, FeatureWorkspace> {
 public:
  explicit FeatureWorkspaceImpl(std::string directory) : directory_(std::move(directory)) {}

  HRESULT get_PathName(BSTR* path) override { return com::Guard([&] { return com::Out(directory_, path); }); }

  HRESULT OpenFeatureClass(BSTR name, FeatureClass** featureClass) override {
    if (!featureClass) return E_POINTER;
    *featureClass = nullptr;
    return com::Guard([&] {
      const std::string n = Utf8(name);
      if (n.empty()) return E_INVALIDARG;
      HRESULT hr = S_OK;
      *featureClass = OpenFeaturePath(FindShapefile(directory_, n), &hr).detach();
      return hr;
    });
  }

  HRESULT CreateFeatureClass(BSTR name, Fields* fields, const CLSID*, const CLSID*, LONG, BSTR, BSTR,
                             FeatureClass** featureClass) override {
    if (!featureClass) return E_POINTER;
    *featureClass = nullptr;
    if (!fields) return E_POINTER;
    return com::Guard([&] { return Create(Utf8(name), fields, featureClass); });
  }

 private:
  HRESULT Create(const std::string& name, Fields* fields, FeatureClass** featureClass) {
    if (name.empty() || name.find('/') != std::string::npos) return E_INVALIDARG;
    const std::string path = ShapefilePath(directory_, name);
    for (const char* ext : {".shp", ".shx", ".dbf"})
      if (Exists(fs::path(path).replace_extension(ext).string())) return GIS_E_EXISTS;
    // The shape field's definition gives the geometry type and spatial reference.
    LONG count = 0;
    if (FAILED(fields->get_FieldCount(&count))) return E_INVALIDARG;
    std::vector<com::ComPtr<Field>> columns;
    OGRwkbGeometryType geometryType = wkbUnknown;
    std::shared_ptr<OGRSpatialReference> ref;
    for (LONG i = 0; i < count; ++i) {
      com::ComPtr<Field> f;
      LONG type = 0;
      if (FAILED(fields->get_Field(i, f.put())) || !f || FAILED(f->get_Type(&type))) return E_INVALIDARG;
      if (type == kFieldOID) continue;
      if (type != kFieldGeometry) {
        columns.push_back(f);
        continue;
      }
      com::ComPtr<GeometryDef> def;
      LONG code = 0;
      if (FAILED(f->get_GeometryDef(def.put())) || !def || FAILED(def->get_GeometryType(&code))) return E_INVALIDARG;
      geometryType = OgrGeometryType(code);
      com::ComPtr<SpatialReference> r;
      if (FAILED(def->get_SpatialReference(r.put()))) return E_INVALIDARG;
      ref = ReferenceOf(r.get());
    }
    if (geometryType == wkbUnknown) return GIS_E_UNSUPPORTED;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    if (!driver) return GIS_E_UNSUPPORTED;
    auto source = std::make_shared<Source>();
    source->dataset.reset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!source->dataset) return GIS_E_IO;
    source->path = path;
    source->ref = ref;
    // A class that cannot be made whole leaves no files behind.
    const auto discard = [&](HRESULT hr) {
      source.reset();
      std::error_code ignored;
      for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"})
        fs::remove(fs::path(path).replace_extension(ext), ignored);
      return hr;
    };
    source->layer = source->dataset->CreateLayer(fs::path(path).stem().c_str(), ref.get(), geometryType, nullptr);
    if (!source->layer) return discard(GIS_E_IO);
    for (const auto& f : columns)
      if (const HRESULT hr = AddColumn(*source, f.get()); FAILED(hr)) return discard(hr);
    // Written whole, then opened again for its features: without the optional end-of-file
    // byte of the attribute file, whose upkeep costs the writer four system calls per
    // feature.
    source->layer = nullptr;
    source->dataset.reset();
    const char* const options[] = {"DBF_EOF_CHAR=NO", nullptr};
    const char* const drivers[] = {"ESRI Shapefile", nullptr};
    source->dataset.reset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, options));
    if (!source->dataset || source->dataset->GetLayerCount() < 1) return discard(GIS_E_IO);
    source->layer = source->dataset->GetLayer(0);
    *featureClass = com::MakeObject<FeatureClassImpl>(source).detach();
    return S_OK;
  }

 private:
  std::string directory_;
};

}  // namespace

com::ComPtr<FeatureClass> OpenFeaturePath(const std::string& path, HRESULT* result) {
  EnsureGdal();
  const auto fail = [&](HRESULT hr) {
    if (result) *result = hr;
    return com::ComPtr<FeatureClass>();
  };
  if (!Exists(path)) return fail(GIS_E_NOTFOUND);
  auto source = std::make_shared<Source>();
  source->dataset.reset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
  if (!source->dataset) source->dataset.reset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
  if (!source->dataset || source->dataset->GetLayerCount() < 1) return fail(GIS_E_IO);
  source->layer = source->dataset->GetLayer(0);
  source->path = path;
  source->ref = SharedReference(source->layer->GetSpatialRef());
  if (result) *result = S_OK;
  return com::ComPtr<FeatureClass>(com::MakeObject<FeatureClassImpl>(source).get());
}

com::ComPtr<Workspace> OpenFeatureWorkspace(const std::string& directory, HRESULT* result) {
  EnsureGdal();
  if (!IsDirectory(directory)) {
    if (result) *result = GIS_E_NOTFOUND;
    return {};
  }
  if (result) *result = S_OK;
  return com::ComPtr<Workspace>(static_cast<Workspace*>(com::MakeObject<FeatureWorkspaceImpl>(directory).get()));
}

HRESULT CreateField(IUnknown* outer, REFIID riid, void** object) { return com::CreateObject<FieldImpl>(outer, riid, object); }
HRESULT CreateFields(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<FieldsImpl>(outer, riid, object);
}
HRESULT CreateGeometryDef(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<GeometryDefImpl>(outer, riid, object);
}

}  // namespace gis::detail

namespace gis {

std::string ShapefilePath(const std::string& directory, const std::string& name) {
  std::filesystem::path p = std::filesystem::path(directory) / name;
  if (strcasecmp(p.extension().c_str(), ".shp") != 0) p += ".shp";
  return p.string();
}

std::string FindShapefile(const std::string& directory, const std::string& name) {
  namespace fs = std::filesystem;
  const std::string path = ShapefilePath(directory, name);
  if (detail::Exists(path)) return path;
  // A shapefile copied from a system whose file names ignore case, as ROADS.SHP.
  const fs::path wanted = fs::path(path).filename();
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path(), error)) {
    const fs::path file = entry.path().filename();
    if (file.stem() == wanted.stem() && strcasecmp(file.extension().c_str(), ".shp") == 0) return entry.path().string();
  }
  return path;
}

}  // namespace gis

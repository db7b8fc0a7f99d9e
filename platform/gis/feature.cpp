#include "gis/feature.h"

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <strings.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "com/boundary.h"
#include "com/object.h"
#include "gis/geometry.h"
#include "gis/gis.h"
#include "gis/tablerewrite.h"

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
//
// Columns added to a shapefile, and values written through an update cursor, reach its
// table in one sequential pass that writes the table anew beside the old one (see
// TableRewrite): an added column waits in `added` until the next pass, which an update
// cursor begins with its first feature written and ends with its last. Where a table
// cannot be written so (another kind of store, a table whose columns GDAL would describe
// otherwise, an insert cursor at work), columns and records are written in place.
struct Source {
  GDALDatasetUniquePtr dataset;
  OGRLayer* layer = nullptr;
  std::string path;
  std::shared_ptr<OGRSpatialReference> ref;
  std::vector<HeldFeature*> held;  // the class's features and buffers still alive
  // The table's columns and, after them, the columns added since it was last written
  // (null when no column is waiting), and an empty table in memory in which GDAL made
  // those columns as it will make them in the table.
  OGRFeatureDefn* added = nullptr;
  GDALDatasetUniquePtr addedTable;
  std::string addedPath;
  // The table being written anew, by the update cursor `rewriter`, and the features that
  // cursor could not write into it in order, written in place once it is there.
  std::unique_ptr<TableRewrite> rewrite;
  const void* rewriter = nullptr;
  std::vector<std::unique_ptr<OGRFeature>> afterRewrite;
  HRESULT rewriteResult = S_OK;  // how a rewrite ended by another than its cursor went
  // A class this library made keeps its table without the optional end-of-file byte,
  // whose upkeep costs the writer four system calls per feature, however often it is
  // opened anew.
  bool withoutEndMark = false;
  int inserters = 0;             // insert cursors alive
  unsigned generation = 0;       // how often the files were opened anew

  // The columns of the class's features.
  OGRFeatureDefn* Columns() const { return added ? added : layer->GetLayerDefn(); }
  ~Source();
};
using SourceRef = std::shared_ptr<Source>;

void DetachHeld(Source& source) {
  for (HeldFeature* held : source.held) held->Detach();
}

// Opens the shapefile again once its table was replaced, so that the class reads and
// writes the new table; reading goes on where it was (see FeatureCursorImpl).
HRESULT Reopen(Source& source) {
  const char* const options[] = {source.withoutEndMark ? "DBF_EOF_CHAR=NO" : nullptr, nullptr};
  GDALDatasetUniquePtr fresh(GDALDataset::Open(source.path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, options));
  if (!fresh || fresh->GetLayerCount() < 1) return GIS_E_IO;
  source.layer = fresh->GetLayer(0);
  source.dataset = std::move(fresh);
  ++source.generation;
  return S_OK;
}

// A feature's values and shape on the layer's columns, by position.
std::unique_ptr<OGRFeature> OnLayerColumns(Source& source, std::unique_ptr<OGRFeature> feature) {
  OGRFeatureDefn* defn = source.layer->GetLayerDefn();
  if (feature->GetDefnRef() == defn) return feature;
  auto out = std::make_unique<OGRFeature>(defn);
  std::vector<int> map(static_cast<std::size_t>(feature->GetFieldCount()));
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<int>(i) < defn->GetFieldCount() ? static_cast<int>(i) : -1;
  out->SetFieldsFrom(feature.get(), map.data(), TRUE);
  out->SetGeometryDirectly(feature->StealGeometry());
  out->SetFID(feature->GetFID());
  return out;
}

// Writes features into their records where they lie, one at a time.
HRESULT WriteInPlace(Source& source, std::vector<std::unique_ptr<OGRFeature>>& features) {
  bool failed = false;
  for (auto& f : features) failed |= source.layer->SetFeature(OnLayerColumns(source, std::move(f)).get()) != OGRERR_NONE;
  features.clear();
  return failed ? GIS_E_IO : S_OK;
}

void DropAddedColumns(Source& source) {
  if (source.added) source.added->Release();  // features still on them hold their own reference
  source.added = nullptr;
  if (source.addedTable) {
    source.addedTable.reset();
    RemoveTable(source.addedPath);
  }
}

// Ends the rewrite under way, if any: the new table takes the old one's place (with the
// columns added before it began), then the features it could not take are written.
HRESULT FinishRewrite(Source& source) {
  if (!source.rewrite) return S_OK;
  const auto rewrite = std::move(source.rewrite);
  source.rewriter = nullptr;
  auto after = std::move(source.afterRewrite);
  HRESULT hr = rewrite->Finish();
  if (SUCCEEDED(hr)) hr = Reopen(source);
  if (SUCCEEDED(hr)) DropAddedColumns(source);  // columns are added only between rewrites
  if (SUCCEEDED(hr)) hr = WriteInPlace(source, after);
  return hr;
}

// Puts the columns added since the table was last written into the table.
HRESULT WriteAddedColumns(Source& source) {
  if (!source.added) {
    DropAddedColumns(source);
    return S_OK;
  }
  if (source.inserters == 0)
    if (const auto rewrite = TableRewrite::Begin(*source.dataset, *source.layer, *source.Columns())) {
      HRESULT hr = rewrite->Finish();
      if (SUCCEEDED(hr)) hr = Reopen(source);
      if (SUCCEEDED(hr)) DropAddedColumns(source);
      return hr;
    }
  // In place, the store rewriting the table for each column.
  HRESULT hr = S_OK;
  const OGRFeatureDefn* columns = source.Columns();
  for (int i = source.layer->GetLayerDefn()->GetFieldCount(); i < columns->GetFieldCount(); ++i) {
    DetachHeld(source);
    OGRFieldDefn column(columns->GetFieldDefn(i));
    if (source.layer->CreateField(&column, FALSE) != OGRERR_NONE && SUCCEEDED(hr)) hr = GIS_E_IO;
  }
  DropAddedColumns(source);
  return hr;
}

// Brings the table up to date before it is written in place or the class goes: the
// rewrite under way ended, the added columns written.
HRESULT Settle(Source& source) {
  const HRESULT finished = source.rewrite ? (source.rewriteResult = FinishRewrite(source)) : S_OK;
  const HRESULT written = WriteAddedColumns(source);
  return FAILED(finished) ? finished : written;
}

Source::~Source() {
  try {
    Settle(*this);
    DropAddedColumns(*this);
  } catch (...) {  // nothing leaves a release
  }
}

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
  OGRFeatureDefn* defn = source.Columns();
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
// An OGR feature holds one value per column of its definition, which is the class's
// (the layer's own, or its columns with those added since). Adding a column grows that
// definition under features already made, so before it does, each held feature moves
// onto a private copy of the old columns (Detach), and moves onto the class's grown
// columns the next time it is used (Ogr).
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
    if (defn != source_->layer->GetLayerDefn() && defn != source_->Columns()) return;  // on its own columns
    feature_->SetFDefnUnsafe(defn->Clone());  // the same columns: the values stay valid
  }

  // The feature on the class's current columns; values of new columns are unset.
  OGRFeature& Ogr() {
    OGRFeatureDefn* columns = source_->Columns();
    if (feature_->GetDefnRef() != columns) {
      auto current = std::make_unique<OGRFeature>(columns);
      std::vector<int> same(static_cast<std::size_t>(feature_->GetFieldCount()));
      for (std::size_t i = 0; i < same.size(); ++i)
        same[i] = static_cast<int>(i) < columns->GetFieldCount() ? static_cast<int>(i) : -1;
      current->SetFieldsFrom(feature_.get(), same.data(), TRUE);
      current->SetGeometryDirectly(feature_->StealGeometry());
      current->SetFID(feature_->GetFID());
      feature_ = std::move(current);
    }
    return *feature_;
  }

  // The feature to write with these columns, or null when it is not of them.
  OGRFeature* WritableTo(OGRFeatureDefn* defn) {
    OGRFeature& f = Ogr();
    return f.GetDefnRef() == defn || f.GetDefnRef()->IsSame(defn) ? &f : nullptr;
  }
  // Whether its shape was given anew since it was read.
  bool ShapeChanged() const { return shapeChanged_; }

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
      shapeChanged_ = true;
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
  bool shapeChanged_ = false;
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

// Only the library's own features and buffers of the class's columns are written to it.
template <class T>
OGRFeature* OgrOf(IUnknown* object, OGRFeatureDefn* columns) {
  auto* impl = dynamic_cast<T*>(object);
  return impl ? impl->WritableTo(columns) : nullptr;
}

// A search or update cursor: the class's features in order.
//
// An update cursor of a shapefile writes the features it is given into a new table,
// written in one pass beside the old one, which takes the old one's place once the
// cursor has passed the last feature or is released (see Source): the shapes are never
// touched, and the table holds the old values or the new ones, never some of each. A
// feature given again after a later one, or with a new shape, is written in place once
// the new table is there. Where a table cannot be written anew, the cursor writes the
// features in place in batches, in the order given: a store such as a shapefile writes a
// run of records one after the other far faster than records between reads. Either way
// the features reach the store at the latest when the cursor reaches the end or is
// released; a write that fails makes the call that wrote them fail.
class FeatureCursorImpl final : public com::ComClass<FeatureCursorImpl, FeatureCursor> {
 public:
  static constexpr std::size_t kBatch = 4096;

  FeatureCursorImpl(SourceRef source, bool update)
      : source_(std::move(source)), update_(update), generation_(source_->generation) {
    source_->layer->ResetReading();
  }
  ~FeatureCursorImpl() override { com::GuardAll([&] { return End(); }); }

  HRESULT NextFeature(Feature** feature) override {
    if (!feature) return E_POINTER;
    *feature = nullptr;
    return com::Guard([&] {
      if (generation_ != source_->generation) {
        // The files were opened anew since the last feature: go on after it.
        source_->layer->SetNextByIndex(next_);
        generation_ = source_->generation;
      }
      std::unique_ptr<OGRFeature> next(source_->layer->GetNextFeature());
      if (next) {
        next_ = next->GetFID() + 1;
        *feature = com::MakeObject<FeatureImpl>(source_, std::move(next)).detach();
        return S_OK;
      }
      return End();
    });
  }
  HRESULT UpdateFeature(Feature* feature) override {
    if (!feature) return E_POINTER;
    if (!update_) return E_FAIL;
    return com::Guard([&] {
      auto* impl = dynamic_cast<FeatureImpl*>(feature);
      OGRFeature* f = OgrOf<FeatureImpl>(static_cast<Feature*>(feature), source_->Columns());
      if (!f) return E_INVALIDARG;
      return Write(*f, impl->ShapeChanged());
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
  enum class Mode { Undecided, Rewrite, InPlace };

  HRESULT Write(const OGRFeature& f, bool shapeChanged) {
    Source& source = *source_;
    HRESULT ended = S_OK;
    if (mode_ == Mode::Undecided) mode_ = BeginRewrite() ? Mode::Rewrite : Mode::InPlace;
    if (mode_ == Mode::Rewrite) {
      if (source.rewriter == this) {
        HRESULT hr = S_OK;
        if (!shapeChanged && source.rewrite->Put(f, &hr)) return hr;
        source.afterRewrite.emplace_back(f.Clone());
        return S_OK;
      }
      // The class changed under the cursor (a column added, records inserted), which
      // ended its rewrite: the remaining features go in place.
      mode_ = Mode::InPlace;
      ended = std::exchange(source.rewriteResult, S_OK);
    }
    std::unique_ptr<OGRFeature> copy(f.Clone());
    if (!copy) return E_OUTOFMEMORY;
    pending_.push_back(std::move(copy));
    const HRESULT hr = pending_.size() < kBatch ? S_OK : WritePending();
    return FAILED(ended) ? ended : hr;
  }

  bool BeginRewrite() {
    Source& source = *source_;
    if (source.inserters > 0) return false;
    if (source.rewrite) source.rewriteResult = FinishRewrite(source);  // another cursor's
    if (!CanRewriteTable(*source.dataset)) return false;
    source.rewrite = TableRewrite::Begin(*source.dataset, *source.layer, *source.Columns());
    if (!source.rewrite) return false;
    source.rewriter = this;
    return true;
  }

  HRESULT WritePending() {
    if (pending_.empty()) return S_OK;
    // Anything else under way ends first: records are written into the table that is there.
    const HRESULT settled = Settle(*source_);
    const HRESULT written = WriteInPlace(*source_, pending_);
    return FAILED(settled) ? settled : written;
  }

  // Everything given reaches the store.
  HRESULT End() {
    HRESULT hr = WritePending();
    if (mode_ == Mode::Rewrite) {
      const HRESULT rewritten =
          source_->rewriter == this ? FinishRewrite(*source_) : std::exchange(source_->rewriteResult, S_OK);
      if (SUCCEEDED(hr)) hr = rewritten;
      mode_ = Mode::Undecided;  // a feature written after the end begins another rewrite
    }
    return hr;
  }

  SourceRef source_;
  bool update_;
  Mode mode_ = Mode::Undecided;
  unsigned generation_;
  GIntBig next_ = 0;  // the index of the next feature to read
  std::vector<std::unique_ptr<OGRFeature>> pending_;
};

class InsertCursorImpl final : public com::ComClass<InsertCursorImpl, InsertCursor>, public HeldFeature {
 public:
  // Made once the class's table is up to date (see Source): while an insert cursor is
  // alive, everything is written in place.
  InsertCursorImpl(SourceRef source, bool buffered) : source_(std::move(source)), buffered_(buffered) {
    source_->held.push_back(this);
    ++source_->inserters;
  }
  ~InsertCursorImpl() override {
    WriteHeld();
    // One sync when the cursor goes: GDAL rewrites the whole index each time it syncs,
    // so syncing at every flush would make inserting quadratic in the count.
    if (written_) source_->layer->SyncToDisk();
    --source_->inserters;
    std::erase(source_->held, static_cast<HeldFeature*>(this));
  }

  HRESULT InsertFeature(FeatureBuffer* buffer, VARIANT* id) override {
    if (!buffer) return E_POINTER;
    if (id) VariantInit(id);
    return com::Guard([&] {
      OGRFeature* f = OgrOf<FeatureBufferImpl>(static_cast<FeatureBuffer*>(buffer), source_->Columns());
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
// Adds a column to a shapefile, refusing names the store would change. The column waits
// for the table's next rewrite unless `waits` is false or the table is written in place.
HRESULT AddColumn(Source& source, Field* field, bool waits = true) {
  com::BStr name;
  LONG type = 0, precision = 0;
  if (FAILED(field->get_Name(name.put())) || FAILED(field->get_Type(&type)) || FAILED(field->get_Precision(&precision)))
    return E_INVALIDARG;
  const std::string n = name.utf8();
  if (n.empty()) return E_INVALIDARG;
  if (n.size() > 10) return GIS_E_BADNAME;  // a DBF column name holds 10 bytes
  const OGRFeatureDefn* defn = source.Columns();
  for (int i = 0; i < defn->GetFieldCount(); ++i)
    if (SameName(defn->GetFieldDefn(i)->GetNameRef(), n)) return GIS_E_EXISTS;
  HRESULT hr = S_OK;
  const auto f = OgrField(n, type, precision, &hr);
  if (FAILED(hr)) return hr;
  // A rewrite under way ends first: its new table has the columns it began with.
  if (source.rewrite) source.rewriteResult = FinishRewrite(source);
  if (waits && source.inserters == 0 && !source.addedTable && CanRewriteTable(*source.dataset)) {
    source.addedPath = CPLSPrintf("/vsimem/plenth_columns_%p.dbf", static_cast<void*>(&source));
    source.addedTable = CreateTable(source.addedPath, CodingOf(*source.layer, TableFileOf(*source.dataset)),
                                    *source.layer->GetLayerDefn());
    if (!source.addedTable) RemoveTable(source.addedPath);
  }
  if (waits && source.addedTable && source.inserters == 0) {
    // GDAL makes the column now, in an empty table of the same columns, and refuses it
    // as it would in the table itself.
    OGRLayer* table = source.addedTable->GetLayer(0);
    if (table->CreateField(f.get(), FALSE) != OGRERR_NONE) return GIS_E_IO;
    DetachHeld(source);
    if (!source.added) {
      source.added = source.layer->GetLayerDefn()->Clone();
      source.added->Reference();
    }
    source.added->AddFieldDefn(table->GetLayerDefn()->GetFieldDefn(table->GetLayerDefn()->GetFieldCount() - 1));
    return S_OK;
  }
  if (const HRESULT settled = Settle(source); FAILED(settled)) return settled;
  DetachHeld(source);
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
    return com::Guard([&] { return com::Out(ShapeName(*source_->Columns()), name); });
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
    return com::Guard([&] {
      // Records are added to the table that is there: what waits is written first.
      if (const HRESULT hr = Settle(*source_); FAILED(hr)) return hr;
      *cursor = com::MakeObject<InsertCursorImpl>(source_, buffered != VARIANT_FALSE).detach();
      return S_OK;
    });
  }
  HRESULT CreateFeatureBuffer(FeatureBuffer** buffer) override {
    if (!buffer) return E_POINTER;
    return com::Guard([&] {
      auto f = std::make_unique<OGRFeature>(source_->Columns());
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
      if (const HRESULT hr = AddColumn(*source, f.get(), false); FAILED(hr)) return discard(hr);
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
    source->withoutEndMark = true;
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

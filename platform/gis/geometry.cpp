#include "gis/geometry.h"

#include <ogr_api.h>

#include <array>
#include <optional>
#include <vector>

#include "com/boundary.h"
#include "com/object.h"
#include "gis/gis.h"

namespace gis::detail {
namespace {

// The library's own view of a geometry object: its OGR geometry and reference.
struct OgrSource : IUnknown {
  static constexpr IID iid = com::Guid("{8091A2B3-C4D5-46E7-F809-1A2B3C4D5E6F}");
  virtual std::unique_ptr<OGRGeometry> CopyOgr() = 0;
  virtual std::shared_ptr<OGRSpatialReference> Reference() = 0;
};

// The Geometry part shared by every geometry class: Derived supplies its OGR geometry.
template <class Derived, class Interface, class... More>
class GeometryBase : public com::ComClass<Derived, Interface, OgrSource, More...> {
 public:
  HRESULT get_GeometryType(LONG* type) override { return com::Out(static_cast<Derived*>(this)->TypeCode(), type); }
  HRESULT get_IsEmpty(VARIANT_BOOL* empty) override {
    return com::Out(static_cast<Derived*>(this)->Ogr().IsEmpty() ? VARIANT_TRUE : VARIANT_FALSE, empty);
  }
  HRESULT get_SpatialReference(SpatialReference** reference) override { return OutReference(ref_, reference); }
  HRESULT putref_SpatialReference(SpatialReference* reference) override {
    return com::Guard([&] { ref_ = ReferenceOf(reference); });
  }
  HRESULT Project(SpatialReference* reference) override {
    return com::Guard([&] {
      auto target = ReferenceOf(reference);
      if (!target) return E_INVALIDARG;
      if (!ref_) return E_FAIL;  // nothing to project from
      if (!TransformGeometry(static_cast<Derived*>(this)->Ogr(), ref_, target)) return E_FAIL;
      ref_ = target;
      static_cast<Derived*>(this)->Changed();
      return S_OK;
    });
  }
  HRESULT get_Envelope(Envelope** envelope) override {
    if (!envelope) return E_POINTER;
    return com::Guard([&] {
      OGREnvelope e;
      static_cast<Derived*>(this)->Ogr().getEnvelope(&e);
      return com::Out(MakeEnvelope(e.MinX, e.MinY, e.MaxX, e.MaxY, ref_), envelope);
    });
  }
  HRESULT Clone(Geometry** copy) override {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    return com::Guard([&] {
      *copy = WrapGeometry(CopyOgr(), ref_).detach();
      return *copy ? S_OK : E_FAIL;
    });
  }
  std::unique_ptr<OGRGeometry> CopyOgr() override {
    return std::unique_ptr<OGRGeometry>(static_cast<Derived*>(this)->Ogr().clone());
  }
  std::shared_ptr<OGRSpatialReference> Reference() override { return ref_; }
  void Changed() {}

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    if (riid == Geometry::iid) {
      *object = static_cast<Geometry*>(static_cast<Interface*>(this));
      this->AddRef();
      return S_OK;
    }
    return More2(riid, object);
  }
  virtual HRESULT More2(REFIID, void** object) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::shared_ptr<OGRSpatialReference> ref_;
};

class PointImpl final : public GeometryBase<PointImpl, Point> {
 public:
  PointImpl() = default;
  PointImpl(OGRPoint p, std::shared_ptr<OGRSpatialReference> ref) : point_(std::move(p)) { ref_ = std::move(ref); }
  HRESULT get_X(double* x) override { return com::Out(point_.getX(), x); }
  HRESULT get_Y(double* y) override { return com::Out(point_.getY(), y); }
  HRESULT PutCoords(double x, double y) override {
    point_.setX(x);
    point_.setY(y);
    return S_OK;
  }
  LONG TypeCode() const { return kGeometryPoint; }
  OGRGeometry& Ogr() { return point_; }

 private:
  OGRPoint point_{0, 0};
};

class SegmentImpl final : public com::ComClass<SegmentImpl, Segment> {
 public:
  SegmentImpl() = default;
  SegmentImpl(double x1, double y1, double x2, double y2, std::shared_ptr<OGRSpatialReference> ref)
      : x1_(x1), y1_(y1), x2_(x2), y2_(y2), ref_(std::move(ref)) {}
  HRESULT get_FromPoint(Point** point) override {
    if (!point) return E_POINTER;
    return com::Guard([&] { return com::Out(MakePoint(x1_, y1_, WrapReference(ref_).get()), point); });
  }
  HRESULT get_ToPoint(Point** point) override {
    if (!point) return E_POINTER;
    return com::Guard([&] { return com::Out(MakePoint(x2_, y2_, WrapReference(ref_).get()), point); });
  }
  HRESULT PutCoords(Point* from, Point* to) override {
    if (!from || !to) return E_POINTER;
    return com::Guard([&] {
      double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
      com::ComPtr<SpatialReference> r;
      if (FAILED(from->get_X(&x1)) || FAILED(from->get_Y(&y1)) || FAILED(to->get_X(&x2)) || FAILED(to->get_Y(&y2)) ||
          FAILED(from->get_SpatialReference(r.put())))
        return E_INVALIDARG;
      ref_ = ReferenceOf(r.get());
      x1_ = x1, y1_ = y1, x2_ = x2, y2_ = y2;
      return S_OK;
    });
  }
  double x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
  std::shared_ptr<OGRSpatialReference> ref_;
};

void SegmentsOf(const OGRLineString& line, std::vector<std::array<double, 4>>& out) {
  for (int i = 0; i + 1 < line.getNumPoints(); ++i)
    out.push_back({line.getX(i), line.getY(i), line.getX(i + 1), line.getY(i + 1)});
}

// Hands out segment `index` of a geometry's segments.
HRESULT SegmentAt(const std::vector<std::array<double, 4>>& all, LONG index,
                  const std::shared_ptr<OGRSpatialReference>& ref, Segment** segment) {
  if (index < 0 || index >= static_cast<LONG>(all.size())) return E_INVALIDARG;
  const auto& s = all[static_cast<std::size_t>(index)];
  return com::Out(com::ComPtr<Segment>(com::MakeObject<SegmentImpl>(s[0], s[1], s[2], s[3], ref).get()), segment);
}

// Copies segments [first, first + count) of a geometry's segments.
HRESULT CopySegments(const std::vector<std::array<double, 4>>& all, LONG first, LONG count, double* coords) {
  if (!coords && count != 0) return E_POINTER;
  if (first < 0 || count < 0 || first > static_cast<LONG>(all.size()) - count) return E_INVALIDARG;
  for (LONG i = 0; i < count; ++i) {
    const auto& s = all[static_cast<std::size_t>(first + i)];
    std::copy(s.begin(), s.end(), coords + 4 * static_cast<std::size_t>(i));
  }
  return S_OK;
}

// Polylines are held as multi-line strings: one line string per part.
class PolylineImpl final : public GeometryBase<PolylineImpl, Polyline, SegmentCollection> {
 public:
  PolylineImpl() = default;
  PolylineImpl(std::unique_ptr<OGRGeometry> g, std::shared_ptr<OGRSpatialReference> ref) {
    ref_ = std::move(ref);
    if (auto* multi = dynamic_cast<OGRMultiLineString*>(g.get())) {
      lines_ = *multi;
    } else if (auto* line = dynamic_cast<OGRLineString*>(g.get())) {
      lines_.addGeometry(line);
    }
  }
  HRESULT get_PartCount(LONG* count) override { return com::Out(lines_.getNumGeometries(), count); }
  HRESULT get_SegmentCount(LONG* count) override {
    if (!count) return E_POINTER;
    return com::Guard([&] { return com::Out(static_cast<LONG>(Segments().size()), count); });
  }
  HRESULT get_Segment(LONG index, Segment** segment) override {
    if (!segment) return E_POINTER;
    *segment = nullptr;
    return com::Guard([&] { return SegmentAt(Segments(), index, ref_, segment); });
  }
  HRESULT AddSegment(Segment* segment) override {
    if (!segment) return E_POINTER;
    return com::Guard([&] { return Add(*segment); });
  }
  HRESULT QuerySegments(LONG first, LONG count, double* coords) override {
    return com::Guard([&] { return CopySegments(Segments(), first, count, coords); });
  }
  LONG TypeCode() const { return kGeometryPolyline; }
  OGRGeometry& Ogr() { return lines_; }
  void Changed() { segments_.reset(); }

 private:
  HRESULT Add(Segment& segment) {
    com::ComPtr<Point> from, to;
    if (FAILED(segment.get_FromPoint(from.put())) || FAILED(segment.get_ToPoint(to.put())) || !from || !to)
      return E_INVALIDARG;
    double x1, y1, x2, y2;
    if (FAILED(from->get_X(&x1)) || FAILED(from->get_Y(&y1)) || FAILED(to->get_X(&x2)) || FAILED(to->get_Y(&y2)))
      return E_INVALIDARG;
    Changed();
    const int parts = lines_.getNumGeometries();
    auto* last = parts ? lines_.getGeometryRef(parts - 1) : nullptr;
    if (last && last->getNumPoints() > 0 && last->getX(last->getNumPoints() - 1) == x1 &&
        last->getY(last->getNumPoints() - 1) == y1) {
      last->addPoint(x2, y2);
    } else {
      OGRLineString part;
      part.addPoint(x1, y1);
      part.addPoint(x2, y2);
      lines_.addGeometry(&part);
    }
    return S_OK;
  }

 protected:
  HRESULT More2(REFIID riid, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  // The segments over all parts, listed once and kept until the line changes.
  const std::vector<std::array<double, 4>>& Segments() {
    if (!segments_) {
      segments_.emplace();
      for (int i = 0; i < lines_.getNumGeometries(); ++i) SegmentsOf(*lines_.getGeometryRef(i), *segments_);
    }
    return *segments_;
  }
  OGRMultiLineString lines_;
  std::optional<std::vector<std::array<double, 4>>> segments_;
};

class PolygonImpl final : public GeometryBase<PolygonImpl, Polygon, SegmentCollection> {
 public:
  PolygonImpl(std::unique_ptr<OGRGeometry> g, std::shared_ptr<OGRSpatialReference> ref) : shape_(std::move(g)) {
    ref_ = std::move(ref);
  }

  HRESULT Contains(Point* point, VARIANT_BOOL* contains) override {
    if (!point || !contains) return E_POINTER;
    return com::Guard([&] {
      double x = 0, y = 0;
      if (FAILED(point->get_X(&x)) || FAILED(point->get_Y(&y))) return E_INVALIDARG;
      if (!prepared_) prepared_.reset(OGRCreatePreparedGeometry(OGRGeometry::ToHandle(shape_.get())));
      OGRPoint p(x, y);
      const bool inside = prepared_ ? OGRPreparedGeometryContains(prepared_.get(), OGRGeometry::ToHandle(&p))
                                    : shape_->Contains(&p);
      return com::Out(inside ? VARIANT_TRUE : VARIANT_FALSE, contains);
    });
  }
  HRESULT get_SegmentCount(LONG* count) override {
    if (!count) return E_POINTER;
    return com::Guard([&] { return com::Out(static_cast<LONG>(Segments().size()), count); });
  }
  HRESULT get_Segment(LONG index, Segment** segment) override {
    if (!segment) return E_POINTER;
    *segment = nullptr;
    return com::Guard([&] { return SegmentAt(Segments(), index, ref_, segment); });
  }
  HRESULT AddSegment(Segment*) override { return E_NOTIMPL; }
  HRESULT QuerySegments(LONG first, LONG count, double* coords) override {
    return com::Guard([&] { return CopySegments(Segments(), first, count, coords); });
  }
  HRESULT get_RingCount(LONG* count) override {
    if (!count) return E_POINTER;
    return com::Guard([&] {
      Segments();
      return com::Out(static_cast<LONG>(rings_.size()), count);
    });
  }
  HRESULT QueryRing(LONG index, LONG* firstSegment, LONG* segmentCount, VARIANT_BOOL* exterior) override {
    if (!firstSegment || !segmentCount || !exterior) return E_POINTER;
    return com::Guard([&] {
      Segments();
      if (index < 0 || index >= static_cast<LONG>(rings_.size())) return E_INVALIDARG;
      const Ring& ring = rings_[static_cast<std::size_t>(index)];
      *firstSegment = ring.first;
      *segmentCount = ring.count;
      *exterior = ring.exterior ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
  }
  LONG TypeCode() const { return kGeometryPolygon; }
  OGRGeometry& Ogr() { return *shape_; }
  // The prepared form and the segments answer for the shape as it was: a moved shape
  // prepares and lists them anew.
  void Changed() {
    prepared_.reset();
    segments_.reset();
  }

 private:
  struct Ring {
    LONG first, count;
    bool exterior;
  };
  // The segments of every ring, shell first, over all parts, with where each ring begins;
  // listed once.
  const std::vector<std::array<double, 4>>& Segments() {
    if (!segments_) {
      std::vector<std::array<double, 4>> out;
      rings_.clear();
      const auto rings = [&](const OGRPolygon& p) {
        bool exterior = true;
        for (const OGRLinearRing* ring : p) {
          const auto first = static_cast<LONG>(out.size());
          SegmentsOf(*ring, out);
          rings_.push_back({first, static_cast<LONG>(out.size()) - first, exterior});
          exterior = false;
        }
      };
      if (auto* p = dynamic_cast<const OGRPolygon*>(shape_.get())) rings(*p);
      if (auto* m = dynamic_cast<const OGRMultiPolygon*>(shape_.get()))
        for (const OGRPolygon* p : *m) rings(*p);
      segments_ = std::move(out);
    }
    return *segments_;
  }
  std::unique_ptr<OGRGeometry> shape_;
  OGRPreparedGeometryUniquePtr prepared_;
  std::optional<std::vector<std::array<double, 4>>> segments_;
  std::vector<Ring> rings_;
};

class EnvelopeImpl final : public com::ComClass<EnvelopeImpl, Envelope, OgrSource> {
 public:
  EnvelopeImpl() = default;
  EnvelopeImpl(double x0, double y0, double x1, double y1, std::shared_ptr<OGRSpatialReference> ref)
      : x0_(x0), y0_(y0), x1_(x1), y1_(y1), ref_(std::move(ref)) {}

  HRESULT get_GeometryType(LONG* type) override { return com::Out(kGeometryEnvelope, type); }
  HRESULT get_IsEmpty(VARIANT_BOOL* empty) override {
    return com::Out(x0_ > x1_ || y0_ > y1_ ? VARIANT_TRUE : VARIANT_FALSE, empty);
  }
  HRESULT get_SpatialReference(SpatialReference** reference) override { return OutReference(ref_, reference); }
  HRESULT putref_SpatialReference(SpatialReference* reference) override {
    return com::Guard([&] { ref_ = ReferenceOf(reference); });
  }
  HRESULT Project(SpatialReference* reference) override {
    return com::Guard([&] {
      auto target = ReferenceOf(reference);
      if (!target || !ref_) return E_FAIL;
      auto poly = CopyOgr();
      if (!TransformGeometry(*poly, ref_, target)) return E_FAIL;
      OGREnvelope e;
      poly->getEnvelope(&e);
      x0_ = e.MinX, y0_ = e.MinY, x1_ = e.MaxX, y1_ = e.MaxY;
      ref_ = target;
      return S_OK;
    });
  }
  HRESULT get_Envelope(Envelope** envelope) override {
    if (!envelope) return E_POINTER;
    return com::Guard([&] { return com::Out(MakeEnvelope(x0_, y0_, x1_, y1_, ref_), envelope); });
  }
  HRESULT Clone(Geometry** copy) override {
    if (!copy) return E_POINTER;
    return com::Guard([&] { return com::Out(MakeEnvelope(x0_, y0_, x1_, y1_, ref_), copy); });
  }
  HRESULT QueryCoords(double* xMin, double* yMin, double* xMax, double* yMax) override {
    if (!xMin || !yMin || !xMax || !yMax) return E_POINTER;
    *xMin = x0_, *yMin = y0_, *xMax = x1_, *yMax = y1_;
    return S_OK;
  }
  HRESULT PutCoords(double xMin, double yMin, double xMax, double yMax) override {
    x0_ = xMin, y0_ = yMin, x1_ = xMax, y1_ = yMax;
    return S_OK;
  }
  HRESULT get_LowerLeft(Point** point) override {
    if (!point) return E_POINTER;
    return com::Guard([&] { return com::Out(MakePoint(x0_, y0_, WrapReference(ref_).get()), point); });
  }
  std::unique_ptr<OGRGeometry> CopyOgr() override {
    auto ring = std::make_unique<OGRLinearRing>();
    ring->addPoint(x0_, y0_);
    ring->addPoint(x0_, y1_);
    ring->addPoint(x1_, y1_);
    ring->addPoint(x1_, y0_);
    ring->closeRings();
    auto poly = std::make_unique<OGRPolygon>();
    poly->addRingDirectly(ring.release());
    return poly;
  }
  std::shared_ptr<OGRSpatialReference> Reference() override { return ref_; }

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    if (riid == Geometry::iid) {
      *object = static_cast<Geometry*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  double x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
  std::shared_ptr<OGRSpatialReference> ref_;
};

class XYPairImpl final : public com::ComClass<XYPairImpl, XYPair> {
 public:
  HRESULT QueryCoords(double* x, double* y) override {
    if (!x || !y) return E_POINTER;
    *x = x_, *y = y_;
    return S_OK;
  }
  HRESULT PutCoords(double x, double y) override {
    x_ = x, y_ = y;
    return S_OK;
  }

 private:
  double x_ = 0, y_ = 0;
};

}  // namespace

com::ComPtr<Geometry> WrapGeometry(std::unique_ptr<OGRGeometry> g, std::shared_ptr<OGRSpatialReference> ref) {
  if (!g) return {};
  switch (wkbFlatten(g->getGeometryType())) {
    case wkbPoint: {
      auto* p = static_cast<OGRPoint*>(g.get());
      return com::ComPtr<Geometry>(com::MakeObject<PointImpl>(OGRPoint(p->getX(), p->getY()), ref).get());
    }
    case wkbLineString:
    case wkbMultiLineString:
      return com::ComPtr<Geometry>(static_cast<Polyline*>(com::MakeObject<PolylineImpl>(std::move(g), ref).get()));
    case wkbPolygon:
    case wkbMultiPolygon:
      return com::ComPtr<Geometry>(static_cast<Polygon*>(com::MakeObject<PolygonImpl>(std::move(g), ref).get()));
    default: return {};
  }
}

std::unique_ptr<OGRGeometry> OgrCopy(Geometry* geometry) {
  if (!geometry) return nullptr;
  com::ComPtr<OgrSource> source;
  if (FAILED(geometry->QueryInterface(source.put()))) return nullptr;
  return source->CopyOgr();
}

std::shared_ptr<OGRSpatialReference> ReferenceOfGeometry(Geometry* geometry) {
  if (!geometry) return nullptr;
  com::ComPtr<OgrSource> source;
  if (FAILED(geometry->QueryInterface(source.put()))) return nullptr;
  return source->Reference();
}

com::ComPtr<Envelope> MakeEnvelope(double xMin, double yMin, double xMax, double yMax,
                                   std::shared_ptr<OGRSpatialReference> ref) {
  return com::ComPtr<Envelope>(com::MakeObject<EnvelopeImpl>(xMin, yMin, xMax, yMax, std::move(ref)).get());
}

HRESULT CreatePoint(IUnknown* outer, REFIID riid, void** object) { return com::CreateObject<PointImpl>(outer, riid, object); }
HRESULT CreateXYPair(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<XYPairImpl>(outer, riid, object);
}
HRESULT CreateEnvelope(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<EnvelopeImpl>(outer, riid, object);
}
HRESULT CreatePolyline(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<PolylineImpl>(outer, riid, object);
}
HRESULT CreateSegment(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<SegmentImpl>(outer, riid, object);
}

}  // namespace gis::detail

namespace gis {

com::ComPtr<Point> MakePoint(double x, double y, SpatialReference* reference) {
  auto p = com::MakeObject<detail::PointImpl>(OGRPoint(x, y), detail::ReferenceOf(reference));
  return com::ComPtr<Point>(p.get());
}

com::ComPtr<Geometry> GeometryFromWkt(const std::string& wkt, SpatialReference* reference) {
  detail::EnsureGdal();
  OGRGeometry* g = nullptr;
  if (OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g) != OGRERR_NONE) {
    delete g;
    return {};
  }
  return detail::WrapGeometry(std::unique_ptr<OGRGeometry>(g), detail::ReferenceOf(reference));
}

com::ComPtr<XYPair> MakeXYPair(double x, double y) {
  auto p = com::MakeObject<detail::XYPairImpl>();
  p->PutCoords(x, y);
  return com::ComPtr<XYPair>(p.get());
}

}  // namespace gis

#include "hostapp/graphics.h"

#include "com/boundary.h"
#include "com/classes.h"

namespace hostapp {

HRESULT ShapeElement::QueryBounds(Display*, Envelope* bounds) {
  if (!bounds) return E_POINTER;
  if (!geometry_) return E_FAIL;
  return com::Guard([&] {
    com::ComPtr<Envelope> extent;
    if (FAILED(geometry_->get_Envelope(extent.put())) || !extent) return E_FAIL;
    double x0, y0, x1, y1;
    extent->QueryCoords(&x0, &y0, &x1, &y1);
    return bounds->PutCoords(x0, y0, x1, y1);
  });
}

com::ComPtr<GraphicElement> MakeRectangleElement(double xMin, double yMin, double xMax, double yMax) {
  auto rectangle = com::CreateInstance<Envelope>(CLSID_Envelope);
  rectangle->PutCoords(xMin, yMin, xMax, yMax);
  auto element = com::MakeObject<ShapeElement>();
  element->putref_Geometry(rectangle.query<Geometry>().get());
  return com::ComPtr<GraphicElement>(element.get());
}

}  // namespace hostapp

// The host's simple symbols: a fill (style, colour, outline), a marker (style, size,
// colour) and a line (width, colour). Each is creatable by its class id.
#pragma once

#include "com/object.h"
#include "hostapi/view.h"

namespace hostapp {

// What every symbol has: a colour, and an answer for the Symbol contract.
template <class Derived, class Interface>
class SymbolBase : public com::ComClass<Derived, Interface> {
 public:
  HRESULT get_Color(HostColor* color) override { return com::Out(color_, color); }
  HRESULT put_Color(HostColor color) override {
    color_ = color & 0xFFFFFF;
    return S_OK;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    if (riid == Symbol::iid) {
      *object = static_cast<Symbol*>(static_cast<Interface*>(this));
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HostColor color_ = 0x000000;  // black
};

// A solid black fill by default, outlined in black 1 point wide.
class SimpleFillSymbol final : public SymbolBase<SimpleFillSymbol, FillSymbol> {
 public:
  HRESULT get_Style(LONG* style) override { return com::Out(style_, style); }
  HRESULT put_Style(LONG style) override;  // E_INVALIDARG outside the eight styles
  HRESULT get_OutlineColor(HostColor* color) override { return com::Out(outline_, color); }
  HRESULT put_OutlineColor(HostColor color) override {
    outline_ = color & 0xFFFFFF;
    return S_OK;
  }
  HRESULT get_OutlineWidth(double* points) override { return com::Out(outlineWidth_, points); }
  HRESULT put_OutlineWidth(double points) override;

 private:
  LONG style_ = kFillSolid;
  HostColor outline_ = 0x000000;
  double outlineWidth_ = 1.0;
};

// A black circle 8 points across by default.
class SimpleMarkerSymbol final : public SymbolBase<SimpleMarkerSymbol, MarkerSymbol> {
 public:
  HRESULT get_Style(LONG* style) override { return com::Out(style_, style); }
  HRESULT put_Style(LONG style) override;  // E_INVALIDARG outside the five styles
  HRESULT get_Size(double* points) override { return com::Out(size_, points); }
  HRESULT put_Size(double points) override;

 private:
  LONG style_ = kMarkerCircle;
  double size_ = 8.0;
};

// A black line 1 point wide by default.
class SimpleLineSymbol final : public SymbolBase<SimpleLineSymbol, LineSymbol> {
 public:
  HRESULT get_Width(double* points) override { return com::Out(width_, points); }
  HRESULT put_Width(double points) override;

 private:
  double width_ = 1.0;
};

}  // namespace hostapp

#include "com/connection.h"

#include <algorithm>

namespace com {

HRESULT ConnectionPoint::GetConnectionInterface(IID* events) { return Out(events_, events); }

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = container_;
  if (!container_) return E_UNEXPECTED;
  container_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  if (sinks_.size() >= limit_) return CONNECT_E_ADVISELIMIT;
  return Guard([&] {
    ComPtr<IUnknown> events;
    if (FAILED(sink->QueryInterface(events_, events.put_void())) || !events) return CONNECT_E_CANNOTCONNECT;
    sinks_.emplace_back(nextCookie_, std::move(events));
    *cookie = nextCookie_++;
    return S_OK;
  });
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  const auto found = std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& s) { return s.first == cookie; });
  if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
  // The sink may be released last here: take it out of the list before letting it go.
  ComPtr<IUnknown> leaving = std::move(found->second);
  sinks_.erase(found);
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (!connections) return E_POINTER;
  *connections = nullptr;
  return E_NOTIMPL;
}

void ConnectionPoint::DisconnectAll() {
  auto leaving = std::move(sinks_);
  sinks_.clear();
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Snapshot() const {
  std::vector<ComPtr<IUnknown>> out;
  out.reserve(sinks_.size());
  for (const auto& s : sinks_) out.push_back(s.second);
  return out;
}

ConnectionPoints::~ConnectionPoints() {
  for (const auto& p : points_) p->ForgetContainer();
}

ConnectionPoint& ConnectionPoints::Add(const IID& events) {
  points_.push_back(MakeObject<ConnectionPoint>(events, container_));
  return *points_.back().get();
}

ConnectionPoint* ConnectionPoints::Find(const IID& events) const {
  for (const auto& p : points_)
    if (p->events() == events) return p.get();
  return nullptr;
}

HRESULT ConnectionPoints::FindConnectionPoint(REFIID riid, IConnectionPoint** point) const {
  if (!point) return E_POINTER;
  *point = nullptr;
  ConnectionPoint* found = Find(riid);
  if (!found) return CONNECT_E_NOCONNECTION;
  *point = found;
  found->AddRef();
  return S_OK;
}

void ConnectionPoints::DisconnectAll() {
  for (const auto& p : points_) p->DisconnectAll();
}

}  // namespace com

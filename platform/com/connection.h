// Connection points: how an object tells the sinks that subscribed to it about its
// events. A sink advises a connection point of the object's container and gets a cookie
// back; unadvising that cookie ends the subscription.
#pragma once

#include <utility>
#include <vector>

#include "com/object.h"

struct IConnectionPointContainer;
struct IEnumConnections;
struct IEnumConnectionPoints;

struct IConnectionPoint : IUnknown {
  static constexpr IID iid = com::Guid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
  static constexpr IID iid = com::Guid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  // The connection point for the event interface; CONNECT_E_NOCONNECTION when the
  // object has none.
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

namespace com {

// One connection point of a container: the sinks advised on it, each held as the event
// interface it answered, in the order they advised.
class ConnectionPoint final : public ComClass<ConnectionPoint, IConnectionPoint> {
 public:
  ConnectionPoint(const IID& events, IConnectionPointContainer* container) : events_(events), container_(container) {}

  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  // A sink that does not answer the event interface is refused (CONNECT_E_CANNOTCONNECT);
  // past the advise limit, CONNECT_E_ADVISELIMIT.
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;  // CONNECT_E_NOCONNECTION for an unknown cookie
  HRESULT EnumConnections(IEnumConnections** connections) override;

  const IID& events() const { return events_; }
  // How many sinks may be advised at once (no limit by default).
  void SetAdviseLimit(std::size_t limit) { limit_ = limit; }
  std::size_t SinkCount() const { return sinks_.size(); }
  // Lets every sink go, as the object does when it is taken apart.
  void DisconnectAll();
  // The container goes before its points: they no longer name it.
  void ForgetContainer() { container_ = nullptr; }

  // Calls `event` on every sink advised when the call starts, as the event interface
  // Sink; a sink may unadvise (itself or another) during the call.
  template <class Sink, class Event>
  void Raise(Event&& event) const {
    for (const auto& sink : Snapshot()) event(static_cast<Sink*>(sink.get()));
  }

 private:
  std::vector<ComPtr<IUnknown>> Snapshot() const;

  IID events_;
  IConnectionPointContainer* container_;
  std::vector<std::pair<DWORD, ComPtr<IUnknown>>> sinks_;
  DWORD nextCookie_ = 1;
  std::size_t limit_ = static_cast<std::size_t>(-1);
};

// The connection points of one container, found by their event interface.
class ConnectionPoints {
 public:
  explicit ConnectionPoints(IConnectionPointContainer* container) : container_(container) {}
  ~ConnectionPoints();
  ConnectionPoints(const ConnectionPoints&) = delete;
  ConnectionPoints& operator=(const ConnectionPoints&) = delete;

  // Adds the point for an event interface and returns it.
  ConnectionPoint& Add(const IID& events);
  ConnectionPoint* Find(const IID& events) const;
  // What the container's FindConnectionPoint answers.
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) const;
  void DisconnectAll();

 private:
  IConnectionPointContainer* container_;
  std::vector<ComPtr<ConnectionPoint>> points_;
};

}  // namespace com

// Connection points, the pieces objects write to streams, and data objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/connection.h"
#include "com/dataobject.h"
#include "com/persist.h"

namespace {

struct ITicks : IUnknown {
  static constexpr IID iid = com::Guid("{3F0C8E7A-51B2-4C1D-9E0F-7A6B5C4D3E21}");
  virtual void Tick() = 0;
};

std::vector<std::string> heard;

// A sink that notes each tick, and can unadvise a cookie while it hears one.
class Listener final : public com::ComClass<Listener, ITicks> {
 public:
  explicit Listener(std::string name) : name_(std::move(name)) {}
  void Tick() override {
    heard.push_back(name_);
    if (point && cookie) point->Unadvise(std::exchange(cookie, 0));
  }
  com::ConnectionPoint* point = nullptr;
  DWORD cookie = 0;

 private:
  std::string name_;
};

class Mute final : public com::ComClass<Mute, IUnknown> {};

class Source final : public com::ComClass<Source, IConnectionPointContainer> {
 public:
  Source() : ticks(points_.Add(ITicks::iid)) {}
  ~Source() override { points_.DisconnectAll(); }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    return points_.FindConnectionPoint(riid, point);
  }
  com::ConnectionPoints points_{this};
  com::ConnectionPoint& ticks;
};

TEST(ConnectionPoint, SinksHearEventsInTheOrderTheyAdvisedUntilTheyUnadvise) {
  auto source = com::MakeObject<Source>();
  com::ComPtr<IConnectionPoint> point;
  ASSERT_EQ(source->FindConnectionPoint(ITicks::iid, point.put()), S_OK);
  EXPECT_EQ(source->FindConnectionPoint(IUnknown::iid, com::ComPtr<IConnectionPoint>().put()), CONNECT_E_NOCONNECTION);

  auto a = com::MakeObject<Listener>("a"), b = com::MakeObject<Listener>("b");
  DWORD ca = 0, cb = 0;
  ASSERT_EQ(point->Advise(a->Identity(), &ca), S_OK);
  ASSERT_EQ(point->Advise(b->Identity(), &cb), S_OK);
  EXPECT_NE(ca, cb);
  DWORD refused = 0;
  EXPECT_EQ(point->Advise(com::MakeObject<Mute>()->Identity(), &refused), CONNECT_E_CANNOTCONNECT);

  // a unadvises b while hearing the first tick: b still hears that one, not the next.
  a->point = &source->ticks;
  a->cookie = cb;
  heard.clear();
  source->ticks.Raise<ITicks>([](ITicks* sink) { sink->Tick(); });
  source->ticks.Raise<ITicks>([](ITicks* sink) { sink->Tick(); });
  EXPECT_EQ(heard, (std::vector<std::string>{"a", "b", "a"}));
  EXPECT_EQ(point->Unadvise(cb), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(ca), S_OK);
  EXPECT_EQ(source->ticks.SinkCount(), 0u);

  source->ticks.SetAdviseLimit(1);
  ASSERT_EQ(point->Advise(a->Identity(), &ca), S_OK);
  EXPECT_EQ(point->Advise(b->Identity(), &cb), CONNECT_E_ADVISELIMIT);
}

TEST(StreamPieces, ValuesAndTextsReadBackAndAShortStreamFails) {
  com::ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  ASSERT_EQ(com::WriteUInt32(stream.get(), 0xA1B2C3D4u), S_OK);
  ASSERT_EQ(com::WriteText(stream.get(), "Straße"), S_OK);
  ASSERT_EQ(com::WriteGuid(stream.get(), ITicks::iid), S_OK);
  ASSERT_EQ(com::WriteText(stream.get(), "long enough"), S_OK);
  LARGE_INTEGER start{};
  ASSERT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);

  std::uint32_t value = 0;
  std::string text;
  GUID guid{};
  EXPECT_EQ(com::ReadUInt32(stream.get(), &value), S_OK);
  EXPECT_EQ(value, 0xA1B2C3D4u);
  EXPECT_EQ(com::ReadText(stream.get(), &text), S_OK);
  EXPECT_EQ(text, "Straße");
  EXPECT_EQ(com::ReadGuid(stream.get(), &guid), S_OK);
  EXPECT_EQ(guid, ITicks::iid);
  // A count past the limit is refused before anything is read.
  EXPECT_EQ(com::ReadText(stream.get(), &text, 4), com::STG_E_READFAULT);
  // A text whose bytes run out fails too.
  LARGE_INTEGER back{};
  back.QuadPart = -4;
  ASSERT_EQ(stream->Seek(back, STREAM_SEEK_CUR, nullptr), S_OK);
  ASSERT_EQ(com::WriteUInt32(stream.get(), 1000), S_OK);
  ASSERT_EQ(stream->Seek(back, STREAM_SEEK_CUR, nullptr), S_OK);
  EXPECT_EQ(com::ReadText(stream.get(), &text), com::STG_E_READFAULT);
}

TEST(DataObject, GivesANewGlobalBlockOfEachFormatItHolds) {
  auto data = com::MakeObject<com::DataObject>();
  data->Put(CF_TEXT, {'h', 'i', 0});
  FORMATETC text = com::ContentFormat(CF_TEXT);
  EXPECT_EQ(data->QueryGetData(&text), S_OK);
  FORMATETC files = com::ContentFormat(CF_HDROP);
  FORMATETC inStream = text;
  inStream.tymed = TYMED_ISTREAM;
  // What it does not hold, or not in that medium, it does not offer and does not give.
  STGMEDIUM none{};
  EXPECT_EQ(data->QueryGetData(&files), S_FALSE);
  EXPECT_EQ(data->GetData(&files, &none), DV_E_FORMATETC);
  EXPECT_EQ(data->QueryGetData(&inStream), S_FALSE);
  EXPECT_EQ(data->GetData(&inStream, &none), DV_E_TYMED);

  STGMEDIUM first{}, second{};
  ASSERT_EQ(data->GetData(&text, &first), S_OK);
  ASSERT_EQ(data->GetData(&text, &second), S_OK);
  EXPECT_NE(first.hGlobal, second.hGlobal);
  EXPECT_EQ(GlobalSize(first.hGlobal), 3u);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(first.hGlobal)), "hi");
  GlobalUnlock(first.hGlobal);
  ReleaseStgMedium(&first);
  ReleaseStgMedium(&second);
}

}  // namespace

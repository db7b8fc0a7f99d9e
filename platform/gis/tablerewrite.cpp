#include "gis/tablerewrite.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace gis::detail {
namespace {

// The end-of-file mark a table may carry after its last record.
constexpr unsigned char kEndMark = 0x1A;

std::mutex hookLock;
TableRewriteHooks& Hooks() {
  static TableRewriteHooks hooks;
  return hooks;
}

// Sets a GDAL configuration option on this thread for as long as it lives.
class ThreadOption {
 public:
  ThreadOption(const char* key, const std::string& value) : key_(key) {
    if (const char* before = CPLGetThreadLocalConfigOption(key, nullptr)) before_ = before;
    CPLSetThreadLocalConfigOption(key, value.c_str());
  }
  ~ThreadOption() { CPLSetThreadLocalConfigOption(key_, before_ ? before_->c_str() : nullptr); }
  ThreadOption(const ThreadOption&) = delete;
  ThreadOption& operator=(const ThreadOption&) = delete;

 private:
  const char* key_;
  std::optional<std::string> before_;
};

// What the rewrite compares of a table: its header as it stands on disk and how the
// file's length agrees with it. Nothing here is written.
struct Header {
  std::string bytes;  // the whole header, field descriptors and terminator included
  std::uint32_t records = 0;
  std::uint32_t headerLength = 0, recordLength = 0;
  bool whole = false;    // the file holds the header and every record, and nothing else
  bool endMark = false;  // ... followed by the end-of-file mark
};

std::uint32_t Little(const std::string& bytes, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

std::optional<Header> ReadHeader(const std::string& path) {
  VSIStatBufL st;
  if (VSIStatL(path.c_str(), &st) != 0) return std::nullopt;
  VSILFILE* file = VSIFOpenL(path.c_str(), "rb");
  if (!file) return std::nullopt;
  const std::unique_ptr<VSILFILE, int (*)(VSILFILE*)> closer(file, VSIFCloseL);
  Header h;
  h.bytes.resize(32);
  if (VSIFReadL(h.bytes.data(), 1, 32, file) != 32) return std::nullopt;
  h.records = Little(h.bytes, 4, 4);
  h.headerLength = Little(h.bytes, 8, 2);
  h.recordLength = Little(h.bytes, 10, 2);
  if (h.headerLength < 33) return std::nullopt;
  h.bytes.resize(h.headerLength);
  if (VSIFReadL(h.bytes.data() + 32, 1, h.headerLength - 32, file) != h.headerLength - 32) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t body = h.headerLength + std::uint64_t{h.records} * h.recordLength;
  if (size == body + 1) {
    unsigned char last = 0;
    h.endMark = VSIFSeekL(file, body, SEEK_SET) == 0 && VSIFReadL(&last, 1, 1, file) == 1 && last == kEndMark;
    h.whole = h.endMark;
  } else {
    h.whole = size == body;
  }
  return h;
}

// Whether two headers describe the same columns in the same way: all but the date of the
// last change and the number of records.
bool SameLayout(const Header& a, const Header& b) {
  return a.headerLength == b.headerLength && a.recordLength == b.recordLength && a.bytes[0] == b.bytes[0] &&
         a.bytes.compare(12, std::string::npos, b.bytes, 12, std::string::npos) == 0;
}

// A column as GDAL made it from a definition: the same name and values of the same type
// (GDAL sets some widths itself, which the store's header then holds).
bool MadeAsGiven(const OGRFieldDefn& made, const OGRFieldDefn& given) {
  return std::strcmp(made.GetNameRef(), given.GetNameRef()) == 0 && made.GetType() == given.GetType() &&
         made.GetSubType() == given.GetSubType();
}

std::string CodePageFileOf(const std::string& table) { return CPLResetExtension(table.c_str(), "cpg"); }

// A name beside `table` for its new version, unique in this process.
std::string NewTableName(const std::string& table) {
  static std::atomic<unsigned> count{0};
  const std::string stem = CPLGetBasename(table.c_str());
  const std::string directory = CPLGetPath(table.c_str());
  const std::string name = stem + ".new" + std::to_string(::getpid()) + "_" + std::to_string(count++);
  return CPLFormFilename(directory.c_str(), name.c_str(), "dbf");
}

bool SyncFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

std::string TableFileOf(GDALDataset& dataset) {
  const CPLStringList files(dataset.GetFileList(), TRUE);
  for (int i = 0; i < files.size(); ++i)
    if (strcasecmp(CPLGetExtension(files[i]), "dbf") == 0) return files[i];
  return {};
}

bool CanRewriteTable(GDALDataset& dataset) {
  // (A vector dataset opened for update need not say so in its access: its layer does.)
  GDALDriver* driver = dataset.GetDriver();
  return driver && EQUAL(driver->GetDescription(), "ESRI Shapefile") && dataset.GetLayerCount() == 1 &&
         dataset.GetLayer(0)->TestCapability(OLCRandomWrite) && !TableFileOf(dataset).empty();
}

TableCoding CodingOf(OGRLayer& layer, const std::string& table) {
  TableCoding coding;
  if (const auto header = ReadHeader(table)) coding.codePage = static_cast<unsigned char>(header->bytes[29]);
  if (const char* encoding = layer.GetMetadataItem("SOURCE_ENCODING", "SHAPEFILE")) coding.encoding = encoding;
  return coding;
}

GDALDatasetUniquePtr CreateTable(const std::string& path, const TableCoding& coding, const OGRFeatureDefn& columns) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  if (!driver) return {};
  GDALDatasetUniquePtr ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!ds) return {};
  CPLStringList options;
  // The code page the header names; the text goes in the encoding the old table is read
  // in, whatever that code page says (a .cpg file beside the table may name another).
  options.SetNameValue("ENCODING", coding.codePage ? ("LDID/" + std::to_string(coding.codePage)).c_str() : "");
  // Without the optional end mark, whose upkeep costs system calls at every record; a
  // rewrite adds it once at the end where the table needs it.
  options.SetNameValue("DBF_EOF_CHAR", "NO");
  // Records the old table holds as deleted stay in place, deleted.
  options.SetNameValue("AUTO_REPACK", "NO");
  OGRLayer* layer = nullptr;
  {
    const ThreadOption encoding("SHAPE_ENCODING", coding.encoding);
    layer = ds->CreateLayer(CPLGetBasename(path.c_str()), nullptr, wkbNone, options.List());
  }
  if (!layer) return {};
  for (int i = 0; i < columns.GetFieldCount(); ++i) {
    OGRFieldDefn column(columns.GetFieldDefn(i));
    if (layer->CreateField(&column, FALSE) != OGRERR_NONE) return {};
    if (!MadeAsGiven(*layer->GetLayerDefn()->GetFieldDefn(i), column)) return {};
  }
  return ds;
}

void RemoveTable(const std::string& path) {
  VSIUnlink(path.c_str());
  VSIUnlink(CodePageFileOf(path).c_str());
}

void SetTableRewriteHooks(TableRewriteHooks hooks) {
  const std::lock_guard lock(hookLock);
  Hooks() = std::move(hooks);
}

// The new table is written on a thread of its own: the caller hands each record over and
// goes on with its work (reading shapes, sampling cells) while GDAL formats and writes the
// records before it. Everything the writer touches (the old table's reader, the new
// table) is its own until it is joined.
struct TableRewrite::Impl {
  std::string table, next;  // the old table and the new one beside it
  Header old;
  mode_t mode = 0644;
  bool columnsAdded = false;
  GDALDatasetUniquePtr reader;  // the old table's records, without their shapes
  OGRLayer* from = nullptr;
  GDALDatasetUniquePtr writer;
  OGRLayer* to = nullptr;
  OGRFeatureDefn* recordColumns = nullptr;  // the new table's, taken before the writer starts
  std::unique_ptr<OGRFeature> record;       // a copied record being written
  int ownColumns = 0, columns = 0;
  GIntBig records = 0, written = 0;
  GIntBig taken = 0;  // the records before this one are handed over (the caller's count)
  bool lastPut = false, ended = false;

  // The records handed over and not yet written, each with its record number as its FID,
  // in batches: a hand-over per record would cost more than the writing it saves. The
  // batches go back and forth, their records made once and filled anew each time, so
  // that neither thread allocates or frees what the other one made.
  struct Batch {
    std::vector<std::unique_ptr<OGRFeature>> records;
    std::size_t used = 0;
  };
  static constexpr std::size_t kBatch = 512, kQueued = 4;
  Batch gathering;  // the caller's, until it is handed over
  std::mutex queueLock;
  std::condition_variable wake, room;
  std::deque<Batch> queue, spare;
  bool closing = false;
  std::atomic<bool> failed{false};
  std::thread thread;

  ~Impl() {
    Join();
    if (!ended) Discard();
  }

  void Start() {
    thread = std::thread([this] { Drain(); });
  }

  // Waits for every record handed over to be written (or dropped after a failure).
  void Join() {
    if (!thread.joinable()) return;
    Hand();
    {
      const std::lock_guard guard(queueLock);
      closing = true;
    }
    wake.notify_one();
    thread.join();
  }

  void Drain() {
    for (;;) {
      Batch batch;
      {
        std::unique_lock guard(queueLock);
        wake.wait(guard, [&] { return closing || !queue.empty(); });
        if (queue.empty()) return;
        batch = std::move(queue.front());
        queue.pop_front();
      }
      for (std::size_t i = 0; i < batch.used && !failed.load(std::memory_order_relaxed); ++i) {
        OGRFeature& f = *batch.records[i];
        if (!CopyUntil(f.GetFID()) || !Append(f)) failed = true;  // the rest dropped: the rewrite has ended
      }
      batch.used = 0;
      {
        const std::lock_guard guard(queueLock);
        spare.push_back(std::move(batch));
      }
      room.notify_one();
    }
  }

  // The caller's next record to fill, its number `fid`.
  OGRFeature& Gather(GIntBig fid) {
    if (gathering.used == gathering.records.size())
      gathering.records.push_back(std::make_unique<OGRFeature>(recordColumns));
    OGRFeature& f = *gathering.records[gathering.used++];
    f.SetFID(fid);
    return f;
  }

  // Hands the records gathered over to the writer.
  void Hand() {
    if (gathering.used == 0) return;
    {
      std::unique_lock guard(queueLock);
      room.wait(guard, [&] { return queue.size() < kQueued; });
      queue.push_back(std::move(gathering));
      if (spare.empty()) {
        gathering = Batch{};
      } else {
        gathering = std::move(spare.front());
        spare.pop_front();
      }
    }
    wake.notify_one();
  }

  void Discard() {
    ended = true;
    to = nullptr;
    writer.reset();
    reader.reset();
    RemoveTable(next);
  }

  // `into` with the first `count` values of `values` and the rest empty.
  void Fill(OGRFeature& into, const OGRFeature& values, int count) const {
    for (int i = 0; i < columns; ++i) {
      if (i >= count || !values.IsFieldSet(i)) into.UnsetField(i);
      else if (values.IsFieldNull(i)) into.SetFieldNull(i);
      else into.SetField(i, values.GetRawFieldRef(i));
    }
  }

  // Writes `f` as the next record.
  bool Append(OGRFeature& f) {
    f.SetFID(OGRNullFID);
    if (to->CreateFeature(&f) != OGRERR_NONE || f.GetFID() != written) return false;
    ++written;
    return true;
  }

  bool WriteDeleted() {
    for (int i = 0; i < columns; ++i) record->UnsetField(i);
    if (!Append(*record)) return false;
    if (to->DeleteFeature(written - 1) != OGRERR_NONE) return false;
    return true;
  }

  // Copies the old table's records up to `end` (not included) that are not written yet.
  bool CopyUntil(GIntBig end) {
    if (written >= end) return true;
    if (from->SetNextByIndex(written) != OGRERR_NONE) return false;
    while (written < end) {
      CPLErrorReset();
      const std::unique_ptr<OGRFeature> f(from->GetNextFeature());
      if (!f && CPLGetLastErrorType() >= CE_Failure) return false;
      // The reader passes over deleted records: the ones before the next it gives.
      const GIntBig at = f ? f->GetFID() : records;
      if (at < written) return false;
      while (written < std::min(at, end))
        if (!WriteDeleted()) return false;
      if (!f || at >= end) return true;
      Fill(*record, *f, ownColumns);
      if (!Append(*record)) return false;
    }
    return true;
  }

  HRESULT Complete() {
    VSIUnlink(CodePageFileOf(next).c_str());  // the old table's own .cpg stays
    const auto made = ReadHeader(next);
    if (!made || !made->whole || made->records != old.records) return GIS_E_IO;
    // The end mark as writing in place leaves it: kept where it was, and written with a
    // new column or with the last record.
    if (old.endMark || columnsAdded || lastPut) {
      VSILFILE* file = VSIFOpenL(next.c_str(), "ab");
      if (!file) return GIS_E_IO;
      const bool added = VSIFWriteL(&kEndMark, 1, 1, file) == 1;
      if (VSIFCloseL(file) != 0 || !added) return GIS_E_IO;
    }
    if (::chmod(next.c_str(), mode) != 0) return GIS_E_IO;
    {
      const std::lock_guard lock(hookLock);
      if (Hooks().replace)
        if (const HRESULT hr = Hooks().replace(next); FAILED(hr)) return hr;
    }
    // On disk before it takes the old table's name, so that the name holds one table or
    // the other whenever the machine stops.
    if (!SyncFile(next, O_RDONLY)) return GIS_E_IO;
    if (::rename(next.c_str(), table.c_str()) != 0) return GIS_E_IO;
    SyncFile(CPLGetPath(table.c_str()), O_RDONLY | O_DIRECTORY);
    return S_OK;
  }
};

TableRewrite::TableRewrite(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TableRewrite::~TableRewrite() = default;

std::unique_ptr<TableRewrite> TableRewrite::Begin(GDALDataset& shapefile, OGRLayer& layer,
                                                  const OGRFeatureDefn& columns) {
  if (!CanRewriteTable(shapefile)) return nullptr;
  {
    const std::lock_guard lock(hookLock);
    if (Hooks().begin && !Hooks().begin()) return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->ended = true;  // nothing to remove yet
  impl->table = TableFileOf(shapefile);
  if (impl->table.empty()) return nullptr;
  // A table reached through a link, or one file of several names, is written in place:
  // a new file under one name would part it from the others.
  struct stat st {};
  if (::lstat(impl->table.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) return nullptr;
  impl->mode = st.st_mode & 07777;
  auto old = ReadHeader(impl->table);
  if (!old || !old->whole) return nullptr;
  impl->old = std::move(*old);

  // The columns begin with the table's own.
  const OGRFeatureDefn& own = *layer.GetLayerDefn();
  impl->ownColumns = own.GetFieldCount();
  impl->columns = columns.GetFieldCount();
  if (impl->columns < impl->ownColumns) return nullptr;
  for (int i = 0; i < impl->ownColumns; ++i)
    if (!MadeAsGiven(*columns.GetFieldDefn(i), *own.GetFieldDefn(i))) return nullptr;
  impl->columnsAdded = impl->columns > impl->ownColumns;

  // GDAL must describe the table's own columns exactly as the table does (a column
  // type it reads but writes as another, such as logical or float, or a header written
  // otherwise keeps the table in place).
  TableCoding coding = CodingOf(layer, impl->table);
  coding.codePage = static_cast<unsigned char>(impl->old.bytes[29]);
  {
    const std::string probe = CPLSPrintf("/vsimem/plenth_layout_%p.dbf", static_cast<void*>(impl.get()));
    const bool made = static_cast<bool>(CreateTable(probe, coding, own));
    const auto layout = made ? ReadHeader(probe) : std::nullopt;
    RemoveTable(probe);
    if (!layout || !SameLayout(impl->old, *layout)) return nullptr;
  }

  const char* const drivers[] = {"ESRI Shapefile", nullptr};
  impl->reader.reset(GDALDataset::Open(shapefile.GetDescription(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers));
  if (!impl->reader || impl->reader->GetLayerCount() < 1) return nullptr;
  impl->from = impl->reader->GetLayer(0);
  impl->records = impl->from->GetFeatureCount(TRUE);
  // Shapes and records must pair up, one record to a shape.
  if (impl->records != impl->old.records || impl->from->GetLayerDefn()->GetFieldCount() != impl->ownColumns)
    return nullptr;
  const char* ignored[] = {"OGR_GEOMETRY", "OGR_STYLE", nullptr};
  impl->from->SetIgnoredFields(ignored);

  impl->next = NewTableName(impl->table);
  impl->ended = false;
  impl->writer = CreateTable(impl->next, coding, columns);
  if (!impl->writer) return nullptr;
  impl->to = impl->writer->GetLayer(0);
  impl->recordColumns = impl->to->GetLayerDefn();
  impl->record = std::make_unique<OGRFeature>(impl->recordColumns);
  impl->Start();
  return std::unique_ptr<TableRewrite>(new TableRewrite(std::move(impl)));
}

bool TableRewrite::Put(const OGRFeature& feature, HRESULT* result) {
  Impl& r = *impl_;
  *result = S_OK;
  const GIntBig fid = feature.GetFID();
  if (r.failed) {
    *result = GIS_E_IO;
    return true;
  }
  if (r.ended || fid < r.taken || fid >= r.records || feature.GetFieldCount() != r.columns) return false;
  r.Fill(r.Gather(fid), feature, r.columns);
  if (r.gathering.used >= Impl::kBatch) r.Hand();
  r.taken = fid + 1;
  r.lastPut = r.lastPut || fid == r.records - 1;
  return true;
}

HRESULT TableRewrite::Finish() {
  Impl& r = *impl_;
  r.Join();
  if (r.ended) return r.failed ? GIS_E_IO : S_OK;
  if (!r.failed && !r.CopyUntil(r.records)) r.failed = true;
  r.to = nullptr;
  r.writer.reset();  // closed: GDAL writes the header
  r.reader.reset();
  const HRESULT hr = r.failed ? GIS_E_IO : r.Complete();
  if (FAILED(hr)) {
    r.failed = true;
    r.Discard();
  }
  r.ended = true;
  return hr;
}

}  // namespace gis::detail

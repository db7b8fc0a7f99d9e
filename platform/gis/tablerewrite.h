// A shapefile's attribute table written anew in one pass: every record, in order, into a
// new table beside the old one, which then takes the old one's place by a rename. The
// shapes (.shp, .shx) are never touched, and a rewrite that ends before the rename leaves
// the old table as it was.
//
// GDAL writes the new table (a layer without shapes is a lone .dbf) in the code page and
// encoding of the old one, and reads the old one's records; the rewrite itself only
// compares headers: it goes ahead only when GDAL writes the old table's own columns
// exactly as the old table describes them, so that every record it copies comes out as
// writing that record in place would leave it.
#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gis/gisapi.h"

namespace gis::detail {

// How a table's text and header are written: the code page its header names (0 for
// none) and the encoding its text is read and written in ("" for bytes as they are).
struct TableCoding {
  unsigned char codePage = 0;
  std::string encoding;
};

// The attribute table (.dbf) of a shapefile open in `dataset`, "" when it has none.
std::string TableFileOf(GDALDataset& dataset);
// Whether `dataset` is a shapefile open for update with a table, which a rewrite may
// write anew (it may still find the table one to write in place).
bool CanRewriteTable(GDALDataset& dataset);
// The coding of the table of a shapefile layer, as the layer reads it.
TableCoding CodingOf(OGRLayer& layer, const std::string& table);

// A new table alone (a .dbf without shapes) with these columns in this order, written in
// `coding`; null when GDAL does not make every column as given.
GDALDatasetUniquePtr CreateTable(const std::string& path, const TableCoding& coding, const OGRFeatureDefn& columns);
// Removes a table made by CreateTable, with the code page file GDAL may write beside it.
void RemoveTable(const std::string& path);

class TableRewrite {
 public:
  // Begins the new table of the shapefile open for update in `shapefile` (its layer
  // `layer`) with `columns`: the table's own columns, in their order, then any added
  // ones. Null when the table cannot be written anew this way: the caller then writes
  // its records in place.
  static std::unique_ptr<TableRewrite> Begin(GDALDataset& shapefile, OGRLayer& layer, const OGRFeatureDefn& columns);
  ~TableRewrite();  // an unfinished new table is removed
  TableRewrite(const TableRewrite&) = delete;
  TableRewrite& operator=(const TableRewrite&) = delete;

  // Writes the values of `feature` (of `columns`) as its record, after copying the
  // records before it from the old table. False, with nothing written, when that record
  // was written already or the table has no such record: the caller writes it in place
  // once the new table is there. *result is a failure to write, after which the rewrite
  // ends without a new table.
  bool Put(const OGRFeature& feature, HRESULT* result);
  // Copies the remaining records and puts the new table in the old one's place.
  HRESULT Finish();

 private:
  struct Impl;
  explicit TableRewrite(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// For tests: what a rewrite asks of the test before it begins (false: the table is
// written in place) and, with the new table's path, once that table is complete, just
// before it replaces the old one (a failure ends the rewrite there, the old table kept).
struct TableRewriteHooks {
  std::function<bool()> begin;
  std::function<HRESULT(const std::string& newTable)> replace;
};
void SetTableRewriteHooks(TableRewriteHooks hooks);

}  // namespace gis::detail

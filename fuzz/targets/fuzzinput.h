// The entry points the fuzzers drive, each taking one input as bytes. The same functions
// replay the kept inputs in the ordinary tests, so what a fuzzer once found stays fixed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plenthfuzz {

// The grid text reader: header, then values (one by one, in blocks and in strips).
void GridFile(const std::uint8_t* data, std::size_t size);
// The .reg text reader, and that what it accepts is written back to the same tree.
void RegText(const std::uint8_t* data, std::size_t size);
// The registry script parser, then registration and unregistration of what it parsed.
void RegistryScript(const std::uint8_t* data, std::size_t size);
// The resource script parser.
void ResourceScript(const std::uint8_t* data, std::size_t size);
// plenth's map document reader.
void MapDocument(const std::uint8_t* data, std::size_t size);
// A GeoTIFF (the input's bytes as the file) opened and read through the data library.
void RasterFile(const std::uint8_t* data, std::size_t size);
// A shapefile set (the input split into .shp, .shx and .dbf, see SplitShapefile) opened
// and read through the data library.
void ShapeFile(const std::uint8_t* data, std::size_t size);

// A directory of this process for the files an input is written to.
std::string ScratchDirectory();
// Writes bytes to a file, replacing it.
void WriteFile(const std::string& path, const void* data, std::size_t size);

}  // namespace plenthfuzz

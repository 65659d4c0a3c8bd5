#include "compress/gzip_framing.h"

#include <algorithm>
#include <new>

#include "compress/gzip_crc.h"

namespace compression {

namespace {

// zlib takes its memory from the request; nothing is freed one by one, the request
// releases it all at its end.
voidpf requestAlloc(voidpf opaque, uInt items, uInt size) {
  return static_cast<compression::RequestMemory*>(opaque)->allocate(static_cast<std::size_t>(items) * size);
}
void requestFree(voidpf, voidpf) {}

constexpr int kWindowBits = -15;  // raw deflate, 32 KB window: the gzip wrapper is ours
constexpr int kMemLevel = 9;      // most memory for the best ratio; it is the request's

void putLittleEndian(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> Compress(compression::RequestMemory& memory, const std::uint8_t* input,
                                                  std::size_t length, Compressor& record, int level,
                                                  bool gzipWrapper) try {
  // zlib takes -1 as its default level; a rule's level must be a real one.
  if (level < 0 || level > 9) return std::nullopt;
  if (length > 0x3FFFFFFF) return std::nullopt;  // the capacity below must fit uInt
  record.stream = z_stream{};
  record.stream.zalloc = requestAlloc;
  record.stream.zfree = requestFree;
  record.stream.opaque = &memory;
  // zlib's state first: it is the same size for every response and takes the request
  // memory's reused slab; a large output area is the one that goes elsewhere.
  if (deflateInit2_(&record.stream, level, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY, "1.1.4",
                    static_cast<int>(sizeof(z_stream))) != Z_OK)
    return std::nullopt;
  record.workCapacity = 2 * length + 31;
  // The work area is the request's and is never cleared: deflate writes what is read of it.
  auto* work = static_cast<std::uint8_t*>(memory.allocate(record.workCapacity));
  if (!work) {
    deflateEnd(&record.stream);
    return std::nullopt;
  }
  record.stream.next_in = const_cast<Bytef*>(input);
  record.stream.avail_in = static_cast<uInt>(length);
  record.stream.next_out = work;
  record.stream.avail_out = static_cast<uInt>(record.workCapacity);

  if (gzipWrapper) record.crc = GzipCrc(0, input, length);
  // The capacity always holds the whole stream, so one call finishes it.
  deflate(&record.stream, Z_FINISH);
  const std::size_t produced = record.stream.total_out;
  const std::size_t offset = gzipWrapper ? kGzipHeaderBytes : 0;
  std::vector<std::uint8_t> out(offset + produced + (gzipWrapper ? kGzipTrailerBytes : 0));
  if (gzipWrapper) {
    out[0] = 0x1F;  // ID1
    out[1] = 0x8B;  // ID2
    out[2] = 0x08;  // CM: deflate
    out[3] = 0x00;  // FLG: no name, comment, extra field or header CRC
    putLittleEndian(&out[4], 0);  // MTIME: none
    out[8] = 0x00;  // XFL
    out[9] = 0x0B;  // OS: NTFS
    putLittleEndian(&out[offset + produced], record.crc);
    putLittleEndian(&out[offset + produced + 4], static_cast<std::uint32_t>(record.stream.total_in));
  }
  std::copy(work, work + produced, out.begin() + static_cast<std::ptrdiff_t>(offset));
  deflateEnd(&record.stream);
  return out;
} catch (const std::bad_alloc&) {
  return std::nullopt;
}

}  // namespace compression

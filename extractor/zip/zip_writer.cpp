#include "extractor/zip/zip_writer.h"

#include <zlib.h>

namespace tovra::zip {
namespace {

void Put16(std::string *s, uint32_t v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string *s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

struct Written {
  uint32_t offset, crc, csize, usize;
};

// The fields a local header and its central directory record both carry,
// from the version needed to the name's length.
void PutSharedFields(std::string *s, const WriteEntry &e, const Written &w, size_t nameSize) {
  Put16(s, e.version_needed);
  Put16(s, e.flags);
  Put16(s, e.method);
  Put16(s, e.dos_time);
  Put16(s, e.dos_date);
  Put32(s, w.crc);
  Put32(s, w.csize);
  Put32(s, w.usize);
  Put16(s, static_cast<uint32_t>(nameSize));
}

}  // namespace

std::string Deflate(std::string_view data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef *>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string WriteZip(const std::vector<WriteEntry> &entries, int level, std::string_view comment) {
  std::string zip, central;
  std::vector<Written> written;
  for (const WriteEntry &e : entries) {
    const std::string packed = e.deflated      ? *e.deflated
                               : e.method == 8 ? Deflate(e.data, level)
                                               : e.data;
    Written w;
    w.crc = e.crc32.value_or(static_cast<uint32_t>(crc32(
        0, reinterpret_cast<const Bytef *>(e.data.data()), static_cast<uInt>(e.data.size()))));
    w.csize = e.compressed_size.value_or(static_cast<uint32_t>(packed.size()));
    w.usize = e.uncompressed_size.value_or(static_cast<uint32_t>(e.data.size()));
    if (e.share_local_with >= 0 && static_cast<size_t>(e.share_local_with) < written.size()) {
      w.offset = written[e.share_local_with].offset;
    } else {
      w.offset = static_cast<uint32_t>(zip.size());
      const std::string &local_name = e.local_name ? *e.local_name : e.name;
      Put32(&zip, 0x04034b50);
      PutSharedFields(&zip, e, w, local_name.size());
      Put16(&zip, 0);
      zip += local_name;
      zip += packed;
    }
    written.push_back(w);
    Put32(&central, 0x02014b50);
    Put16(&central, e.version_made_by);
    PutSharedFields(&central, e, w, e.name.size());
    Put16(&central, 0);
    Put16(&central, 0);
    Put16(&central, 0);
    Put16(&central, 0);
    Put32(&central, e.external_attributes);
    Put32(&central, w.offset);
    central += e.name;
  }
  const uint32_t cd_offset = static_cast<uint32_t>(zip.size());
  zip += central;
  Put32(&zip, 0x06054b50);
  Put16(&zip, 0);
  Put16(&zip, 0);
  Put16(&zip, static_cast<uint32_t>(entries.size()));
  Put16(&zip, static_cast<uint32_t>(entries.size()));
  Put32(&zip, static_cast<uint32_t>(central.size()));
  Put32(&zip, cd_offset);
  Put16(&zip, static_cast<uint32_t>(comment.size()));
  zip += comment;
  return zip;
}

}  // namespace tovra::zip

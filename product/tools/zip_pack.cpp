#include "product/tools/zip_pack.h"

#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "extractor/zip/zip_writer.h"

namespace {

// Limits of a plain (non-ZIP64) archive.
constexpr uint64_t kMax32 = 0xFFFFFFFFull;
constexpr size_t kMaxEntries = 0xFFFF;

struct Packed {
  std::string name_cp936;
  bool folder = false;
  uint32_t crc = 0;
  uint64_t size = 0;
  std::vector<uint8_t> data;  // deflated bytes
  std::string error;
};

bool ReadFile(const std::string &path, std::vector<uint8_t> *data) {
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return false;
  data->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data->insert(data->end(), buf, buf + n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

// Raw deflate at level 9: what the "maximum" flag bits 1-2 = 01 announce.
bool Deflate(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out->resize(deflateBound(&z, in.size()));
  z.next_in = const_cast<Bytef *>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out->data();
  z.avail_out = uInt(out->size());
  int rc = deflate(&z, Z_FINISH);
  out->resize(z.total_out);
  deflateEnd(&z);
  return rc == Z_STREAM_END;
}

void Compress(const PackEntry &entry, Packed *p) {
  std::vector<uint8_t> raw;
  if (!ReadFile(entry.path, &raw)) {
    p->error = "cannot read " + entry.path;
    return;
  }
  if (raw.size() > kMax32) {
    p->error = entry.path + " is too large for a plain ZIP";
    return;
  }
  p->size = raw.size();
  p->crc = uint32_t(crc32(crc32(0, nullptr, 0), raw.data(), uInt(raw.size())));
  if (!Deflate(raw, &p->data)) p->error = "deflate failed on " + entry.path;
}

bool ListInto(const std::string &root, const std::string &prefix, std::vector<PackEntry> *entries,
              std::string *error) {
  std::string dir = prefix.empty() ? root : root + "/" + prefix;
  DIR *d = opendir(dir.c_str());
  if (!d) {
    *error = "cannot open folder " + dir;
    return false;
  }
  std::vector<std::string> names;
  while (dirent *e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string &n : names) {
    std::string path = dir + "/" + n;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      *error = "cannot stat " + path;
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      entries->push_back({prefix + n + "/", ""});
      if (!ListInto(root, prefix + n + "/", entries, error)) return false;
    } else if (S_ISREG(st.st_mode)) {
      entries->push_back({prefix + n, path});
    }
  }
  return true;
}

}  // namespace

bool Utf8ToCp936(const std::string &utf8, std::string *cp936) {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  if (cd == (iconv_t)-1) return false;
  std::string out(utf8.size() * 2 + 4, '\0');
  char *in = const_cast<char *>(utf8.data());
  size_t in_left = utf8.size();
  char *o = &out[0];
  size_t out_left = out.size();
  bool ok = iconv(cd, &in, &in_left, &o, &out_left) != size_t(-1) && in_left == 0;
  iconv_close(cd);
  if (!ok) return false;
  out.resize(out.size() - out_left);
  *cp936 = out;
  return true;
}

bool ListFolder(const std::string &root, std::vector<PackEntry> *entries, std::string *error) {
  entries->clear();
  return ListInto(root, "", entries, error);
}

bool PackZip(const std::vector<PackEntry> &entries, const std::string &out, uint16_t dos_time,
             uint16_t dos_date, std::string *error) {
  if (entries.size() > kMaxEntries) {
    *error = "too many entries for a plain ZIP";
    return false;
  }
  std::vector<Packed> packed(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    packed[i].folder = entries[i].path.empty();
    if (!Utf8ToCp936(entries[i].name, &packed[i].name_cp936) ||
        packed[i].name_cp936.size() > 0xFFFF) {
      *error = "name has no CP936 form: " + entries[i].name;
      return false;
    }
  }
  // Each file deflates on its own, so the workers' order cannot change the bytes.
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next++) < entries.size();)
      if (!packed[i].folder) Compress(entries[i], &packed[i]);
  };
  unsigned n = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < n; ++t) workers.emplace_back(work);
  work();
  for (auto &t : workers) t.join();

  FILE *f = fopen(out.c_str(), "wb");
  if (!f) {
    *error = "cannot create " + out;
    return false;
  }
  // The archive's limits, checked in entry order before anything is written.
  std::vector<tovra::zip::WriteEntry> written;
  uint64_t offset = 0, central = 0;
  bool ok = true;
  for (Packed &p : packed) {
    if (!p.error.empty()) {
      *error = p.error;
      ok = false;
      break;
    }
    if (offset > kMax32 || p.data.size() > kMax32) {
      *error = "archive too large for a plain ZIP";
      ok = false;
      break;
    }
    offset += 30 + p.name_cp936.size() + p.data.size();
    central += 46 + p.name_cp936.size();
    tovra::zip::WriteEntry e;
    e.name = p.name_cp936;
    e.method = p.folder ? 0 : 8;
    e.flags = p.folder ? 0 : 0x0002;
    e.version_needed = p.folder ? 10 : 20;
    e.dos_time = dos_time;
    e.dos_date = dos_date;
    e.external_attributes = p.folder ? 0x10 : 0x20;  // DOS directory / archive bit
    e.crc32 = p.crc;
    e.uncompressed_size = uint32_t(p.size);
    e.deflated = std::string(p.data.begin(), p.data.end());
    p.data.clear();
    written.push_back(std::move(e));
  }
  if (ok && (offset > kMax32 || central > kMax32)) {
    *error = "archive too large for a plain ZIP";
    ok = false;
  }
  if (ok) {
    const std::string zip = tovra::zip::WriteZip(written);
    ok = fwrite(zip.data(), 1, zip.size(), f) == zip.size();
    if (!ok) *error = "cannot write " + out;
  }
  if (fclose(f) != 0 && ok) {
    *error = "cannot write " + out;
    ok = false;
  }
  if (!ok) remove(out.c_str());
  return ok;
}

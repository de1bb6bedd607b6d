#pragma once
// Builds small but valid PE images for the tests and the fuzz corpus: DOS
// header, PE32 or PE32+ headers, one section holding an import table naming
// KERNEL32.dll and a resource tree with a VS_VERSIONINFO per language.
#include <cstdint>
#include <cstring>
#include <vector>

struct PeLanguage {
  uint16_t id;
  uint32_t file_ms, file_ls;
};

struct PeBuild {
  bool pe32_plus = false;
  uint16_t machine = 0x14C;
  uint16_t subsystem = 2;
  bool version = true;
  uint32_t file_ms = (3u << 16) | 0, file_ls = (26u << 16) | 203;
  // The records under RT_VERSION, in this order; none: one of language 0x804
  // with the version above.
  std::vector<PeLanguage> languages;
  uint32_t version_id = 1;  // the name ID the records sit under
};

// Where the parts sit in an image with one language, for tests that corrupt
// them; more languages make the section and the image longer.
struct PeLayout {
  static constexpr size_t kLfanew = 0x40;
  static constexpr size_t kSection = 0x200;  // raw offset of the one section
  static constexpr uint32_t kSectionRva = 0x1000;
  static constexpr size_t kResources = kSection + 0x100;
  static constexpr size_t kDataEntry = kResources + 0x48;
  static constexpr size_t kVersionInfo = kResources + 0x60;
  static constexpr size_t kFixedInfo = kVersionInfo + 40;
  static constexpr size_t kVersionEnd = kVersionInfo + 92;
  static constexpr size_t kSize = kSection + 0x200;
};

inline std::vector<uint8_t> BuildPe(const PeBuild &b) {
  std::vector<PeLanguage> languages = b.languages;
  if (languages.empty()) languages.push_back({0x804, b.file_ms, b.file_ls});
  const size_t n = languages.size();
  // Resource tree, relative to its start: three directories, then a data
  // entry per language, then the records, 92 bytes each.
  const size_t data_entries = 0x30 + 16 + 8 * n;
  const size_t records = (data_entries + 16 * n + 15) & ~size_t(15);
  const size_t tree_size = b.version ? records + 92 * n : 0;
  const size_t tree_room = tree_size > 0x100 ? (tree_size + 15) & ~size_t(15) : 0x100;
  const size_t section_size = (0x100 + tree_room + 0x1FF) & ~size_t(0x1FF);

  std::vector<uint8_t> v(PeLayout::kSection + section_size);
  auto p16 = [&](size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
  };
  auto p32 = [&](size_t at, uint32_t x) {
    p16(at, x & 0xFFFF);
    p16(at + 2, x >> 16);
  };
  v[0] = 'M';
  v[1] = 'Z';
  p32(0x3C, PeLayout::kLfanew);
  size_t pe = PeLayout::kLfanew;
  memcpy(&v[pe], "PE\0\0", 4);
  size_t coff = pe + 4;
  uint16_t opt_size = b.pe32_plus ? 240 : 224;
  p16(coff, b.machine);
  p16(coff + 2, 1);
  p16(coff + 16, opt_size);
  size_t opt = coff + 20;
  p16(opt, b.pe32_plus ? 0x20B : 0x10B);
  p16(opt + 68, b.subsystem);
  size_t count_at = opt + (b.pe32_plus ? 108 : 92);
  p32(count_at, 16);
  size_t dirs = count_at + 4;
  const uint32_t rva = PeLayout::kSectionRva;
  p32(dirs + 8, rva);  // imports at the section's start
  p32(dirs + 12, 40);
  if (b.version) {
    p32(dirs + 16, rva + 0x100);
    p32(dirs + 20, uint32_t(tree_room));
  }
  size_t sec = opt + opt_size;
  memcpy(&v[sec], ".data", 5);
  p32(sec + 8, uint32_t(section_size));
  p32(sec + 12, rva);
  p32(sec + 16, uint32_t(section_size));
  p32(sec + 20, PeLayout::kSection);

  size_t s = PeLayout::kSection;
  p32(s + 12, rva + 0x40);  // DLL name
  p32(s + 16, rva + 0x60);  // import address table
  memcpy(&v[s + 0x40], "KERNEL32.dll", 12);
  if (b.version) {
    size_t r = PeLayout::kResources;
    p16(r + 14, 1);
    p32(r + 16, 16);  // RT_VERSION
    p32(r + 20, 0x80000000u | 0x18);
    p16(r + 0x18 + 14, 1);
    p32(r + 0x18 + 16, b.version_id);
    p32(r + 0x18 + 20, 0x80000000u | 0x30);
    p16(r + 0x30 + 14, uint16_t(n));
    for (size_t i = 0; i < n; ++i) {
      const size_t entry = data_entries + 16 * i, record = records + 92 * i;
      p32(r + 0x30 + 16 + 8 * i, languages[i].id);
      p32(r + 0x30 + 20 + 8 * i, uint32_t(entry));
      p32(r + entry, uint32_t(rva + 0x100 + record));
      p32(r + entry + 4, 92);
      size_t vi = r + record;
      p16(vi, 92);
      p16(vi + 2, 52);
      const char key[] = "VS_VERSION_INFO";
      for (size_t k = 0; k < sizeof key; ++k) p16(vi + 6 + 2 * k, uint8_t(key[k]));
      size_t f = vi + 40;
      p32(f, 0xFEEF04BDu);
      p32(f + 4, 0x10000);
      p32(f + 8, languages[i].file_ms);
      p32(f + 12, languages[i].file_ls);
      p32(f + 16, languages[i].file_ms);
      p32(f + 20, languages[i].file_ls);
    }
  }
  return v;
}

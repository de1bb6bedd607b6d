#pragma once
// An entry's DOS time as the host time of its file, read as local time the
// way the extractors set it.
#include <ctime>

#include "extractor/zip/zip_reader.h"

inline time_t LocalTimeOf(const tovra::zip::Entry &e) {
  const tovra::zip::DosTime t = tovra::zip::SplitDosTime(e.dos_date, e.dos_time);
  struct tm tm = {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return mktime(&tm);
}
